#include "pxmisc/CFileFinder.h"

#include "AsciiCase.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// "*" and "?" wildcards with backtracking to the last "*"; no other character is special.
bool WildcardMatch(const std::string& mask, const std::string& name) {
    std::size_t m = 0;
    std::size_t n = 0;
    std::size_t starMask = std::string::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() &&
            (mask[m] == '?' || (mask[m] != '*' && AsciiSameNoCase(mask[m], name[n])))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

// As the original platform did, a trailing ".*" also takes names without any dot, so the
// default "*.*" lists everything.
bool MaskMatches(const std::string& mask, const std::string& name) {
    if (mask.empty()) {
        return true;
    }
    if (WildcardMatch(mask, name)) {
        return true;
    }
    return mask.size() >= 2 && mask.ends_with(".*") && name.find('.') == std::string::npos &&
           WildcardMatch(mask.substr(0, mask.size() - 2), name);
}

bool UserInGroup(gid_t group) {
    if (group == ::getegid()) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 &&
           std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// The write bit of the permission class the user falls in. Root's power to write anyway is
// deliberately ignored: the bits are what the owner chose to mark.
bool ReadOnly(const struct statx& info) {
    if (info.stx_uid == ::geteuid()) {
        return (info.stx_mode & S_IWUSR) == 0;
    }
    if (UserInGroup(info.stx_gid)) {
        return (info.stx_mode & S_IWGRP) == 0;
    }
    return (info.stx_mode & S_IWOTH) == 0;
}

struct EntryInfo {
    bool known = false;
    bool isFolder = false;
    uint32_t attributes = 0;
    uint64_t size = 0;
    std::time_t created = 0;
    std::time_t modified = 0;
    std::time_t accessed = 0;
};

EntryInfo Inspect(const std::string& path, const std::string& name) {
    EntryInfo entry;
    struct statx info {};
    // A dangling symbolic link is described by the link itself.
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0 &&
        ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                &info) != 0) {
        return entry;
    }
    entry.known = true;
    const mode_t type = info.stx_mode & S_IFMT;
    entry.isFolder = type == S_IFDIR;
    uint32_t attributes = 0;
    if (ReadOnly(info)) {
        attributes |= CFileFinder::ATTR_READONLY;
    }
    if (name.starts_with('.')) {
        attributes |= CFileFinder::ATTR_HIDDEN;
    }
    if (type == S_IFCHR || type == S_IFBLK || type == S_IFIFO || type == S_IFSOCK) {
        attributes |= CFileFinder::ATTR_SYSTEM;
    }
    if (entry.isFolder) {
        attributes |= CFileFinder::ATTR_DIRECTORY;
    }
    const bool noDump = (info.stx_attributes_mask & STATX_ATTR_NODUMP) != 0 &&
                        (info.stx_attributes & STATX_ATTR_NODUMP) != 0;
    if (type == S_IFREG && !noDump) {
        attributes |= CFileFinder::ATTR_ARCHIVE;
    }
    if ((info.stx_attributes_mask & STATX_ATTR_COMPRESSED) != 0 &&
        (info.stx_attributes & STATX_ATTR_COMPRESSED) != 0) {
        attributes |= CFileFinder::ATTR_COMPRESSED;
    }
    entry.attributes = attributes != 0 ? attributes : CFileFinder::ATTR_NORMAL;
    entry.size = type == S_IFREG ? info.stx_size : 0;
    entry.created =
        (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec;
    entry.modified = info.stx_mtime.tv_sec;
    entry.accessed = info.stx_atime.tv_sec;
    return entry;
}

bool InRange(std::time_t value, std::time_t low, std::time_t high) {
    return value >= low && value <= high;
}

// The entries of a folder by name, sorted so that results do not depend on the order the file
// system keeps them in. An unreadable folder has none.
struct FolderEntry {
    std::string name;
    bool realFolder = false;
};

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    const fs::directory_iterator end;
    while (!error && it != end) {
        std::error_code typeError;
        // Not following links keeps a link to a parent folder from recursing without end.
        const bool realFolder = it->is_directory(typeError) && !it->is_symlink(typeError);
        entries.push_back({it->path().filename().string(), realFolder});
        it.increment(error);
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

struct FdCloser {
    void operator()(const int* fd) const {
        ::close(*fd);
        delete fd;
    }
};
using FdOwner = std::unique_ptr<int, FdCloser>;

} // namespace

CFileFinder::CFindOpts::CFindOpts() {
    const std::time_t now = std::time(nullptr);
    minCreated = maxCreated = now;
    minModified = maxModified = now;
    minAccessed = maxAccessed = now;
}

CFileFinder::CFileFinder() = default;

CFileFinder::~CFileFinder() = default;

int CFileFinder::FindFiles(const std::string& baseFolder, const std::string& fileMask,
                           bool subfolders) {
    CFindOpts options;
    options.baseFolder = baseFolder;
    options.fileMask = fileMask;
    options.subfolders = subfolders;
    options.filterFlags |= CFindOpts::FIND_ATTRIBUTES;
    options.attributes =
        ATTR_READONLY | ATTR_HIDDEN | ATTR_SYSTEM | ATTR_ARCHIVE | ATTR_TEMPORARY | ATTR_COMPRESSED;
    return Find(options);
}

int CFileFinder::Find(CFindOpts& options) {
    // Cleared once for the whole walk, so a stop inside a subfolder ends every level.
    m_stop = false;
    options.baseFolder = CPath::AddBackSlash(options.baseFolder);
    const uint32_t flags = options.filterFlags;

    const auto matches = [&](const std::string& path, const std::string& name, bool& isFolder) {
        const EntryInfo entry = Inspect(path, name);
        isFolder = entry.isFolder;
        if ((flags & CFindOpts::FIND_ATTRIBUTES) != 0 &&
            (!entry.known || (entry.attributes & options.attributes) == 0)) {
            return false;
        }
        if ((flags & CFindOpts::FIND_SIZE) != 0 &&
            (!entry.known || entry.size < options.minSize || entry.size > options.maxSize)) {
            return false;
        }
        if ((flags & CFindOpts::FIND_DATEMODIFIED) != 0 &&
            (!entry.known || !InRange(entry.modified, options.minModified, options.maxModified))) {
            return false;
        }
        if ((flags & CFindOpts::FIND_DATECREATED) != 0 &&
            (!entry.known || !InRange(entry.created, options.minCreated, options.maxCreated))) {
            return false;
        }
        if ((flags & CFindOpts::FIND_DATEACCESSED) != 0 &&
            (!entry.known || !InRange(entry.accessed, options.minAccessed, options.maxAccessed))) {
            return false;
        }
        return (flags & CFindOpts::FIND_TEXT) == 0 ||
               FindTextInFile(path.c_str(), options.findText.c_str());
    };

    std::function<void(const std::string&)> search = [&](const std::string& folder) {
        const std::vector<FolderEntry> entries = ListFolder(folder);
        if (options.subfolders) {
            for (const FolderEntry& entry : entries) {
                if (m_stop) {
                    return;
                }
                if (entry.realFolder) {
                    search(folder + entry.name + "/");
                }
            }
        }
        if (m_stop) {
            return;
        }
        m_searchingFolder = folder;
        if (m_callback != nullptr) {
            m_callback(this, FF_FOLDER, m_userData);
        }
        for (const FolderEntry& entry : entries) {
            if (m_stop) {
                return;
            }
            if (!MaskMatches(options.fileMask, entry.name)) {
                continue;
            }
            const std::string path = folder + entry.name;
            bool isFolder = false;
            const bool matched = matches(path, entry.name, isFolder);
            if (matched) {
                m_found.push_back(isFolder ? path + "/" : path);
            }
            if (m_callback != nullptr) {
                m_callback(this, matched ? FF_FOUND : FF_DISCARDED, m_userData);
            }
        }
    };
    search(options.baseFolder);
    return GetFileCount();
}

int CFileFinder::GetFileCount() const {
    return static_cast<int>(m_found.size());
}

CPath CFileFinder::GetFilePath(int index) const {
    if (index < 0 || index >= GetFileCount()) {
        return CPath();
    }
    return CPath(m_found[static_cast<std::size_t>(index)]);
}

int CFileFinder::FindPathItem(const std::string& path) const {
    for (int i = 0; i < GetFileCount(); ++i) {
        if (AsciiEqualNoCase(m_found[static_cast<std::size_t>(i)], path)) {
            return i;
        }
    }
    return -1;
}

void CFileFinder::RemoveAt(int index) {
    if (index >= 0 && index < GetFileCount()) {
        m_found.erase(m_found.begin() + index);
    }
}

void CFileFinder::RemoveAll() {
    m_found.clear();
}

const char* CFileFinder::GetSearchingFolder() const {
    return m_searchingFolder.c_str();
}

void CFileFinder::SetCallback(FinderCallback callback, void* userData) {
    m_callback = callback;
    m_userData = userData;
}

void CFileFinder::StopSearch() {
    m_stop = true;
}

bool CFileFinder::FindTextInFile(const char* filePath, const char* text) {
    // An empty text would match at every position of every file.
    if (filePath == nullptr || text == nullptr || *text == '\0') {
        return false;
    }
    std::string needle(text);
    std::transform(needle.begin(), needle.end(), needle.begin(), AsciiUpper);

    // Non-blocking, so that a FIFO met on the way cannot hang the search; it is refused below.
    const int fd = ::open(filePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const FdOwner owner(new int(fd));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }

    const std::size_t blockSize = needle.size() * 2 > 129 ? needle.size() * 2 : 128;
    std::vector<char> block(blockSize);
    // The tail of the previous block joins the next one, so a match across the boundary counts.
    std::string window;
    const std::size_t keep = needle.size() - 1;
    // Inside Find this runs only while the search is not stopped, so only a stop asked for
    // during this scan ends it; a stop left from an earlier search must not.
    m_stop = false;
    for (uint64_t blocks = 1;; ++blocks) {
        if (m_stop) {
            return false;
        }
        ssize_t got = 0;
        do {
            got = ::read(fd, block.data(), blockSize);
        } while (got < 0 && errno == EINTR);
        // The end of the file, wherever it now lies, or a read error ends the scan.
        if (got <= 0) {
            return false;
        }
        const std::size_t start = window.size();
        window.append(block.data(), static_cast<std::size_t>(got));
        std::transform(window.begin() + static_cast<std::ptrdiff_t>(start), window.end(),
                       window.begin() + static_cast<std::ptrdiff_t>(start), AsciiUpper);
        if (window.find(needle) != std::string::npos) {
            return true;
        }
        if (window.size() > keep) {
            window.erase(0, window.size() - keep);
        }
        if (blocks % 10 == 0 && m_callback != nullptr) {
            m_callback(this, FF_FINDTEXT, m_userData);
        }
    }
}
