#pragma once

#include "MediaArchive.h"

#include <cstdint>

namespace orvanta {

// The base of the serialisable records: one integer, 1 unless an archive said otherwise.
class CObjBase {
public:
    CObjBase() = default;
    CObjBase(const CObjBase&) = default;
    CObjBase& operator=(const CObjBase&) = default;
    virtual ~CObjBase();

    virtual const char* GetRuntimeClassName() const;

    // Appends the record to `archive`.
    virtual void Serialize(ArchiveWriter& archive) const;
    // Reads the record back; on failure the record keeps its old values.
    virtual bool Deserialize(ArchiveReader& archive);

    int32_t GetBaseValue() const { return m_baseValue; }

protected:
    int32_t m_baseValue = 1;
};

} // namespace orvanta
