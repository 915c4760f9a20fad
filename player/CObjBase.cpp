#include "CObjBase.h"

namespace orvanta {

CObjBase::~CObjBase() = default;

const char* CObjBase::GetRuntimeClassName() const {
    return "CObjBase";
}

void CObjBase::Serialize(ArchiveWriter& archive) const {
    archive.WriteInt32(m_baseValue);
}

bool CObjBase::Deserialize(ArchiveReader& archive) {
    return archive.ReadInt32(m_baseValue);
}

} // namespace orvanta
