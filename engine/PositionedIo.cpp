#include "PositionedIo.h"

#include <cerrno>
#include <unistd.h>

namespace orvanta {

namespace {

// Repeats `transfer` (pread or pwrite) until every byte is through.
template <typename Byte, typename Transfer>
bool TransferAt(int descriptor, uint64_t offset, std::span<Byte> bytes, Transfer transfer) {
    while (!bytes.empty()) {
        const ssize_t done =
            transfer(descriptor, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(done));
        offset += static_cast<uint64_t>(done);
    }
    return true;
}

} // namespace

bool ReadAt(int descriptor, uint64_t offset, std::span<uint8_t> bytes) {
    return TransferAt(descriptor, offset, bytes, &::pread);
}

bool WriteAt(int descriptor, uint64_t offset, std::span<const uint8_t> bytes) {
    return TransferAt(descriptor, offset, bytes, &::pwrite);
}

} // namespace orvanta
