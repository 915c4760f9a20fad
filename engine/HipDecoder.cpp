#include "HipDecoder.h"

#include "EngineLog.h"
#include "PrivateTempFolder.h"
#include "ReaderState.h"

#include <array>
#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace orvanta {

namespace {

// LAME hands its own printf-style messages on; the attribute lets the compiler see that.
__attribute__((format(printf, 1, 0))) void ReportDecoderInfo(const char* format, va_list args) {
    EngineLog::VInfo(format, args);
}
__attribute__((format(printf, 1, 0))) void ReportDecoderError(const char* format, va_list args) {
    EngineLog::VError(format, args);
}

void IgnoreMessage(const char* /*format*/, va_list /*args*/) {}

// More than the decoder's deepest call chain uses on the stack (about 10 KiB, measured by painting
// it).
constexpr std::size_t kDecoderStackBytes = 16 * 1024;

// More decoders at once than this wait for a free copy; each copy maps about half a MiB.
constexpr std::size_t kMaxLibraries = 8;

struct LibraryCloser {
    void operator()(void* handle) const { dlclose(handle); }
};
using LibraryHandle = std::unique_ptr<void, LibraryCloser>;

} // namespace

// The decoder's entry points in one loaded copy of LAME. Only functions that call no other
// exported function of the library are used: such a call would go to the first copy loaded.
struct HipLibrary {
    LibraryHandle handle; // null for the copy the program links
    hip_t (*init)() = &hip_decode_init;
    int (*exit)(hip_t) = &hip_decode_exit;
    int (*decode)(hip_t, unsigned char*, std::size_t, short[], short[], mp3data_struct*, int*,
                  int*) = &hip_decode1_headersB;
    void (*setErrorf)(hip_t, lame_report_function) = &hip_set_errorf;
    void (*setMsgf)(hip_t, lame_report_function) = &hip_set_msgf;
    void (*setDebugf)(hip_t, lame_report_function) = &hip_set_debugf;
    bool busy = false;
};

namespace {

template <typename Function> bool Find(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

// A copy of the linked LAME under a private name, loaded on its own: the loader shares a library
// between everyone who asks for the same file.
std::unique_ptr<HipLibrary> LoadCopy() {
    Dl_info linked{};
    if (dladdr(reinterpret_cast<void*>(&hip_decode_init), &linked) == 0 ||
        linked.dli_fname == nullptr) {
        return nullptr;
    }
    const PrivateTempFolder folder; // the loaded copy outlives its file
    if (folder.Path().empty()) {
        return nullptr;
    }
    const std::string copy = folder.Path() + "decoder.so";
    std::error_code error;
    if (!std::filesystem::copy_file(linked.dli_fname, copy, error)) {
        return nullptr;
    }
    auto library = std::make_unique<HipLibrary>();
    library->handle.reset(dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL));
    void* handle = library->handle.get();
    if (handle == nullptr || !Find(handle, "hip_decode_init", library->init) ||
        !Find(handle, "hip_decode_exit", library->exit) ||
        !Find(handle, "hip_decode1_headersB", library->decode) ||
        !Find(handle, "hip_set_errorf", library->setErrorf) ||
        !Find(handle, "hip_set_msgf", library->setMsgf) ||
        !Find(handle, "hip_set_debugf", library->setDebugf)) {
        return nullptr;
    }
    return library;
}

class LibraryPool {
public:
    LibraryPool() { m_libraries.push_back(std::make_unique<HipLibrary>()); }

    // A free copy; null where none is free or can be loaded and `wait` is false.
    HipLibrary* Acquire(bool wait) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            for (const auto& library : m_libraries) {
                if (!library->busy) {
                    library->busy = true;
                    return library.get();
                }
            }
            if (m_copiesLoad && m_libraries.size() < kMaxLibraries) {
                std::unique_ptr<HipLibrary> copy = LoadCopy();
                if (copy) {
                    copy->busy = true;
                    m_libraries.push_back(std::move(copy));
                    return m_libraries.back().get();
                }
                m_copiesLoad = false;
            }
            if (!wait) {
                return nullptr;
            }
            m_freed.wait(lock);
        }
    }

    void Release(HipLibrary& library) {
        {
            const std::lock_guard lock(m_mutex);
            library.busy = false;
        }
        m_freed.notify_one();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_freed;
    std::vector<std::unique_ptr<HipLibrary>> m_libraries;
    bool m_copiesLoad = true; // until a copy failed to load
};

LibraryPool& Pool() {
    static LibraryPool pool;
    return pool;
}

} // namespace

HipDecoder::~HipDecoder() {
    Stop();
}

bool HipDecoder::Start() {
    Stop();
    m_library = Pool().Acquire(/*wait=*/true);
    return Restart();
}

bool HipDecoder::TryStart() {
    Stop();
    m_library = Pool().Acquire(/*wait=*/false);
    return m_library != nullptr && Restart();
}

namespace {

// LAME's decoder hands every frame out through one static buffer of its library, and for some
// damaged frames it hands out more samples than it decoded: the rest are whatever an earlier
// decode, of this file or another, left there. A silent stereo MPEG-1 layer III frame (128
// kbit/s, 44.1 kHz, no reservoir, nothing coded) fills the whole buffer with zeros, so every
// decode starts from the same buffer, as in a process that has decoded nothing yet.
void ClearSharedOutput(HipLibrary& library) {
    constexpr std::size_t kFrameBytes = 417;
    std::array<unsigned char, kFrameBytes> frame{0xFF, 0xFB, 0x90, 0x04};
    std::array<short, kMaxFrameSamples> left{};
    std::array<short, kMaxFrameSamples> right{};
    hip_t decoder = library.init();
    if (decoder == nullptr) {
        return;
    }
    library.setErrorf(decoder, &IgnoreMessage);
    library.setMsgf(decoder, &IgnoreMessage);
    library.setDebugf(decoder, &IgnoreMessage);
    mp3data_struct facts{};
    int delay = 0;
    int padding = 0;
    // A new decoder takes a frame's header in one call and its data in the next.
    library.decode(decoder, frame.data(), frame.size(), left.data(), right.data(), &facts, &delay,
                   &padding);
    library.decode(decoder, frame.data(), 0, left.data(), right.data(), &facts, &delay, &padding);
    library.exit(decoder);
}

} // namespace

bool HipDecoder::Restart() {
    if (m_decoder != nullptr) {
        m_library->exit(m_decoder);
    }
    ClearSharedOutput(*m_library);
    m_decoder = m_library->init();
    if (m_decoder == nullptr) {
        Stop();
        return false;
    }
    SetQuiet(false);
    return true;
}

void HipDecoder::SetQuiet(bool quiet) {
    m_library->setErrorf(m_decoder, quiet ? &IgnoreMessage : &ReportDecoderError);
    m_library->setMsgf(m_decoder, quiet ? &IgnoreMessage : &ReportDecoderInfo);
    m_library->setDebugf(m_decoder, quiet ? &IgnoreMessage : &ReportDecoderInfo);
}

void HipDecoder::Swap(HipDecoder& other) noexcept {
    std::swap(m_library, other.m_library);
    std::swap(m_decoder, other.m_decoder);
}

void HipDecoder::Stop() {
    if (m_library == nullptr) {
        return;
    }
    if (m_decoder != nullptr) {
        m_library->exit(m_decoder);
        m_decoder = nullptr;
    }
    Pool().Release(*m_library);
    m_library = nullptr;
}

namespace {

// For some damaged frames LAME's decoder reads a local variable it never set, so the frame
// decodes to whatever earlier calls left on the stack: the same file could decode differently
// after another file, or on another thread. The stack the decoder is about to use is zeroed
// first, so that read finds the same value every time.
__attribute__((noinline)) void ZeroStackBelowCaller() {
    std::array<unsigned char, kDecoderStackBytes> scratch; // zeroed below, not at declaration
    std::memset(scratch.data(), 0, scratch.size());
    // Keeps the compiler from dropping the stores to a buffer nobody reads.
    asm volatile("" : : "r"(scratch.data()) : "memory");
}

} // namespace

int HipDecoder::Decode(unsigned char* bytes, std::size_t count, short left[], short right[],
                       mp3data_struct* facts, int* delay, int* padding) {
    ZeroStackBelowCaller();
    return m_library->decode(m_decoder, bytes, count, left, right, facts, delay, padding);
}

} // namespace orvanta
