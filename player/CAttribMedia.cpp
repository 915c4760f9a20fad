#include "CAttribMedia.h"

#include <utility>

namespace orvanta {

CAttribMedia::CAttribMedia(std::string pathName) : m_path(std::move(pathName)) {}

const char* CAttribMedia::GetRuntimeClassName() const {
    return "CAttribMedia";
}

void CAttribMedia::Serialize(ArchiveWriter& archive) const {
    CObjBase::Serialize(archive);
    archive.WriteString(m_path);
    archive.WriteInt32(m_duration);
}

bool CAttribMedia::Deserialize(ArchiveReader& archive) {
    // Into a copy first, so a short or damaged archive leaves this record as it was.
    CAttribMedia read;
    if (!read.CObjBase::Deserialize(archive) || !archive.ReadString(read.m_path) ||
        !archive.ReadInt32(read.m_duration)) {
        return false;
    }
    *this = read;
    return true;
}

} // namespace orvanta
