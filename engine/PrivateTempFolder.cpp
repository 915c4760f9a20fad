#include "PrivateTempFolder.h"

#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvanta {

namespace {

constexpr int kStartTimeField = 22; // of /proc/PID/stat, in clock ticks after boot

std::string TempBase() {
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && *base != '\0' ? base : "/tmp";
}

// When process `pid` ("self" for this one) started; none when it does not run or /proc cannot
// tell. A process id alone proves nothing: it is used again after its process ends.
std::optional<unsigned long long> StartTime(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return std::nullopt;
    }
    // The program name before the fields may hold blanks and parentheses of its own.
    const std::size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line.substr(nameEnd + 1));
    std::string field;
    for (int number = 3; number <= kStartTimeField; ++number) {
        if (!(fields >> field)) {
            return std::nullopt;
        }
    }
    unsigned long long start = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), start);
    if (error != std::errc() || end != field.data() + field.size()) {
        return std::nullopt;
    }
    return start;
}

struct Maker {
    std::string pid;
    std::string start;
};

// The maker a folder's name records, none when the name is not "orvanta-PID-START-XXXXXX".
std::optional<Maker> MakerOf(const std::string& name) {
    static const std::regex kMarked("orvanta-([0-9]+)-([0-9]+)-[A-Za-z0-9]{6}");
    std::smatch parts;
    if (!std::regex_match(name, parts, kMarked)) {
        return std::nullopt;
    }
    return Maker{parts[1].str(), parts[2].str()};
}

bool HasEnded(const Maker& maker) {
    const std::optional<unsigned long long> start = StartTime(maker.pid);
    return !start || std::to_string(*start) != maker.start;
}

// Closes the descriptor it was given when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

int OpenFolder(const std::string& path) {
    // O_NOFOLLOW: a link that wears a folder's name is never followed.
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool RemoveIfAbandoned(const std::filesystem::path& folder) {
    const std::optional<Maker> maker = MakerOf(folder.filename().string());
    if (!maker || !HasEnded(*maker)) {
        return false;
    }
    const Descriptor opened(OpenFolder(folder.string()));
    struct stat status {};
    // The lock is held until the folder is gone, so two sweeps never share one.
    if (opened.Get() < 0 || ::fstat(opened.Get(), &status) != 0 || status.st_uid != ::getuid() ||
        ::flock(opened.Get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return !error;
}

} // namespace

PrivateTempFolder::PrivateTempFolder() {
    const std::string start = std::to_string(StartTime("self").value_or(0));
    std::string pattern =
        TempBase() + "/orvanta-" + std::to_string(::getpid()) + "-" + start + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    m_path = pattern + "/";
    m_lock = OpenFolder(pattern);
    if (m_lock >= 0) {
        ::flock(m_lock, LOCK_EX | LOCK_NB);
    }
}

PrivateTempFolder::~PrivateTempFolder() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    if (m_lock >= 0) {
        ::close(m_lock);
    }
}

int PrivateTempFolder::RemoveAbandoned() {
    // Without /proc no maker can be proved gone.
    if (!StartTime("self")) {
        return 0;
    }
    int removed = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(TempBase(), error), end; !error && entry != end;
         entry.increment(error)) {
        removed += RemoveIfAbandoned(entry->path()) ? 1 : 0;
    }
    return removed;
}

} // namespace orvanta
