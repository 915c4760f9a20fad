// libFuzzer target: the media record archive. Records are read one after the other from the
// input, as a stored list would be; each record read must write back as exactly the bytes it
// took, and a failed read must leave the record as it was.

#include "CAttribMedia.h"
#include "FuzzCheck.h"
#include "MediaArchive.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

using orvanta::fuzz::Violation;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    orvanta::ArchiveReader reader(bytes);
    for (;;) {
        const std::size_t before = reader.Remaining();
        orvanta::CAttribMedia record("unchanged");
        record.SetDuration(-7);
        if (!record.Deserialize(reader)) {
            if (record.GetPath() != "unchanged" || record.GetDuration() != -7 ||
                record.GetBaseValue() != 1) {
                Violation("a failed read changed the record");
            }
            return 0;
        }
        const std::size_t taken = before - reader.Remaining();
        orvanta::ArchiveWriter writer;
        record.Serialize(writer);
        const auto read = bytes.subspan(size - before, taken);
        if (!std::equal(read.begin(), read.end(), writer.Bytes().begin(), writer.Bytes().end())) {
            Violation("a record does not write back as the bytes it was read from");
        }
    }
}
