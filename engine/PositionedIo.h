#pragma once

#include <cstdint>
#include <span>

namespace orvanta {

// All of `bytes` read from or written to `offset` of an open file without moving its position
// (pread, pwrite), so that threads may share one descriptor. False on an error, or on the end of
// the file before all of them were read.
bool ReadAt(int descriptor, uint64_t offset, std::span<uint8_t> bytes);
bool WriteAt(int descriptor, uint64_t offset, std::span<const uint8_t> bytes);

} // namespace orvanta
