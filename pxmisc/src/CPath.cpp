#include "pxmisc/CPath.h"

#include "AsciiCase.h"
#include "pxmisc/CFileSpec.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// Words separated by blanks; double quotes group a word with blanks and are dropped. "\" is an
// ordinary character, as it is in a Linux path.
std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

std::string QuoteIfBlank(const std::string& word) {
    return word.find_first_of(" \t") == std::string::npos ? word : "\"" + word + "\"";
}

std::vector<std::string> SplitDirs(const std::string& folder) {
    std::vector<std::string> dirs;
    std::size_t start = 0;
    while (start < folder.size()) {
        const std::size_t slash = folder.find('/', start);
        const std::size_t end = slash == std::string::npos ? folder.size() : slash;
        if (end > start) {
            dirs.push_back(folder.substr(start, end - start));
        }
        start = end + 1;
    }
    return dirs;
}

std::vector<std::string> ProcessCommandLine() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < all.size()) {
        const std::size_t end = std::min(all.find('\0', start), all.size());
        words.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

} // namespace

CPath::CPath() = default;

CPath::CPath(const std::string& path, bool isFolderPath, bool hasArguments) {
    SetPath(path, isFolderPath, hasArguments);
}

CPath::CPath(int source) {
    SetPath(source);
}

CPath::CPath(const CPath& other) = default;

CPath& CPath::operator=(const CPath& other) = default;

CPath& CPath::operator=(const std::string& path) {
    SetPath(path);
    return *this;
}

CPath::~CPath() = default;

void CPath::SetPath(const std::string& path, bool isFolderPath, bool hasArguments) {
    // Copied first: `path` may be one of this object's own texts.
    std::string text = path;
    *this = CPath();
    m_source = text;
    if (hasArguments) {
        std::vector<std::string> words = SplitCommandLine(text);
        if (words.empty()) {
            return;
        }
        text = words.front();
        m_arguments.assign(std::make_move_iterator(words.begin() + 1),
                           std::make_move_iterator(words.end()));
    } else if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.empty()) {
        return;
    }
    const CFileSpec spec(text);
    m_drive = spec.Drive();
    m_folder = spec.Path();
    if (isFolderPath) {
        // The last name is a folder: all of it, a dot included, joins the folder part.
        const std::string last = spec.GetFileNameEx();
        if (!last.empty()) {
            m_folder += last + "/";
        }
    } else {
        m_fileTitle = spec.FileName();
        if (!m_fileTitle.empty()) {
            m_extension = spec.TrueExtension();
            std::erase(m_extension, '.');
        }
    }
    m_dirs = SplitDirs(m_folder);
}

void CPath::SetPath(int source) {
    *this = CPath();
    if (source == PATH_CMDLINE) {
        const std::vector<std::string> words = ProcessCommandLine();
        if (words.empty()) {
            return;
        }
        SetPath(words.front());
        m_arguments.assign(words.begin() + 1, words.end());
        // The words arrive already split, so no blank inside one is taken for a separator;
        // the source text quotes them back into one line.
        m_source = QuoteIfBlank(words.front());
        for (std::size_t i = 1; i < words.size(); ++i) {
            m_source += ' ';
            m_source += QuoteIfBlank(words[i]);
        }
    } else if (source == PATH_MODULE) {
        SetPath(CFileSpec(CFileSpec::FS_EXE_PATH).GetFullSpec());
    }
}

bool CPath::IsLocalPath() const {
    return !m_folder.empty() && m_folder.front() == '/';
}

bool CPath::IsRelativePath() const {
    return !m_folder.empty() && m_folder.front() != '/';
}

bool CPath::IsFilePath() const {
    return !m_fileTitle.empty();
}

bool CPath::ExistFile() const {
    const std::string path = GetPath();
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}

bool CPath::ExistLocation() const {
    const std::string location = GetLocation();
    std::error_code error;
    return !location.empty() && fs::is_directory(location, error);
}

std::string CPath::GetAbsolutePath(const std::string& baseFolder) const {
    const std::string path = GetPath();
    if (path.empty()) {
        return {};
    }
    fs::path full = IsLocalPath() ? fs::path(path) : fs::path(baseFolder) / path;
    std::string result = full.lexically_normal().string();
    // Normalising keeps a folder's trailing "/" but drops a lone "." that stood for it.
    return IsFilePath() ? result : AddBackSlash(result);
}

std::string CPath::GetRelativePath(const std::string& baseFolder) const {
    const std::string path = GetPath();
    if (path.empty()) {
        return {};
    }
    const fs::path relative = fs::path(path).lexically_relative(RemoveBackSlash(baseFolder));
    if (relative.empty()) {
        return {};
    }
    const std::string result = relative.string();
    return IsFilePath() || result == "." ? result : AddBackSlash(result);
}

std::string CPath::GetPath(bool withArguments, bool sourceText) const {
    std::string path = sourceText ? m_source : GetLocation() + GetFileName();
    if (withArguments) {
        for (const std::string& argument : m_arguments) {
            path += ' ';
            path += QuoteIfBlank(argument);
        }
    }
    return path;
}

std::string CPath::GetShortPath() const {
    return GetPath();
}

std::string CPath::GetLongPath() const {
    return GetPath();
}

std::string CPath::GetDrive() const {
    return m_drive;
}

int CPath::GetDirCount() const {
    return static_cast<int>(m_dirs.size());
}

std::string CPath::GetDir(int index) const {
    if (index == -1) {
        return m_folder;
    }
    if (index < 0 || index >= GetDirCount()) {
        return {};
    }
    return m_dirs[static_cast<std::size_t>(index)];
}

std::string CPath::GetLocation() const {
    return m_drive + m_folder;
}

std::string CPath::GetFileTitle() const {
    return m_fileTitle;
}

std::string CPath::GetFileName() const {
    return m_extension.empty() ? m_fileTitle : m_fileTitle + "." + m_extension;
}

std::string CPath::GetExtension() const {
    return m_extension.empty() ? std::string() : "." + m_extension;
}

std::string CPath::GetExtName() const {
    return m_extension;
}

int CPath::GetArgCount() const {
    return static_cast<int>(m_arguments.size());
}

std::string CPath::GetArgument(int index) const {
    if (index < 0 || index >= GetArgCount()) {
        return {};
    }
    return m_arguments[static_cast<std::size_t>(index)];
}

void CPath::SetArguments(const std::string& arguments) {
    m_arguments = SplitCommandLine(arguments);
}

int CPath::AddSetArgument(const std::string& argument) {
    const int found = FindArgument(argument);
    if (found >= 0) {
        return found;
    }
    m_arguments.push_back(argument);
    return GetArgCount() - 1;
}

void CPath::RemoveArgument(int index) {
    if (index >= 0 && index < GetArgCount()) {
        m_arguments.erase(m_arguments.begin() + index);
    }
}

int CPath::FindArgument(const std::string& argument) const {
    for (int i = 0; i < GetArgCount(); ++i) {
        if (AsciiEqualNoCase(m_arguments[static_cast<std::size_t>(i)], argument)) {
            return i;
        }
    }
    return -1;
}

bool CPath::GetFileSize(uint64_t& size) const {
    struct stat info {};
    if (::stat(GetPath().c_str(), &info) != 0) {
        return false;
    }
    size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    return true;
}

bool CPath::GetFileTime(std::time_t& time, FILE_TIME which) const {
    struct statx info {};
    if (::statx(AT_FDCWD, GetPath().c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        return false;
    }
    switch (which) {
    case FILE_CREATION:
        time = (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec;
        return true;
    case FILE_ACCESS:
        time = info.stx_atime.tv_sec;
        return true;
    case FILE_WRITE:
        time = info.stx_mtime.tv_sec;
        return true;
    }
    return false;
}

std::string CPath::AddBackSlash(const std::string& text) {
    return text.empty() || text.back() == '/' ? text : text + "/";
}

std::string CPath::RemoveBackSlash(const std::string& text) {
    if (text.size() > 1 && text.back() == '/') {
        return text.substr(0, text.size() - 1);
    }
    return text;
}

CPath::operator const char*() const {
    const std::string path = GetPath();
    if (path != m_converted) {
        m_converted = path;
    }
    return m_converted.c_str();
}
