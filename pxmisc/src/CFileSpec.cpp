#include "pxmisc/CFileSpec.h"

#include <QStandardPaths>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

namespace {

namespace fs = std::filesystem;

struct Parts {
    std::string path;
    std::string fileName;
    std::string extension;
};

// The folder runs up to and including the last "/"; the extension starts at the last dot of
// the name. A name that begins with its only dot (".profile") is a hidden file, not an
// extension, and "." and ".." are names of their own.
Parts Split(const std::string& text) {
    Parts parts;
    const std::size_t slash = text.rfind('/');
    std::string name = text;
    if (slash != std::string::npos) {
        parts.path = text.substr(0, slash + 1);
        name = text.substr(slash + 1);
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name == "..") {
        parts.fileName = name;
    } else {
        parts.fileName = name.substr(0, dot);
        parts.extension = name.substr(dot);
    }
    return parts;
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string TempFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    return WithSlash(tmpdir != nullptr && *tmpdir != '\0' ? std::string(tmpdir) : "/tmp");
}

std::string ExePath() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

// Qt reads the XDG user-dirs file and falls back to the usual folder under $HOME.
std::string UserFolder(QStandardPaths::StandardLocation location) {
    return WithSlash(QStandardPaths::writableLocation(location).toStdString());
}

std::string FreeTempName() {
    const std::string folder = TempFolder();
    std::random_device seed;
    std::mt19937 random(seed());
    // A handful of tries is plenty for a 32-bit random name; a folder that refuses every one
    // (it cannot be read, say) yields no name rather than a loop.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "~%08x.tmp", static_cast<unsigned>(random()));
        const std::string candidate = folder + name;
        std::error_code error;
        const fs::file_status status = fs::symlink_status(candidate, error);
        if (status.type() == fs::file_type::not_found) {
            return candidate;
        }
    }
    return {};
}

} // namespace

CFileSpec::CFileSpec(FS_BUILTINS location) {
    SetFullSpec(location);
}

CFileSpec::CFileSpec(const char* pathName) {
    SetFullSpec(pathName);
}

CFileSpec::CFileSpec(const std::string& pathName) {
    SetFullSpec(pathName);
}

CFileSpec::CFileSpec(const CFileSpec& other)
    : m_drive(other.m_drive), m_path(other.m_path), m_fileName(other.m_fileName),
      m_extension(other.m_extension) {}

CFileSpec& CFileSpec::operator=(const CFileSpec& other) {
    if (this != &other) {
        m_drive = other.m_drive;
        m_path = other.m_path;
        m_fileName = other.m_fileName;
        m_extension = other.m_extension;
    }
    return *this;
}

CFileSpec::~CFileSpec() = default;

void CFileSpec::SetFullSpec(FS_BUILTINS location) {
    SetFullSpec(std::string());
    switch (location) {
    case FS_EXE_PATH:
        SetFullSpec(ExePath());
        break;
    case FS_EXE_FOLDER:
        SetFullSpec(ExePath());
        m_fileName.clear();
        m_extension.clear();
        break;
    case FS_TEMP_FOLDER:
        m_path = TempFolder();
        break;
    case FS_DESKTOP_FOLDER:
        SetFullSpec(UserFolder(QStandardPaths::DesktopLocation));
        break;
    case FS_DOCUMENTS_FOLDER:
        SetFullSpec(UserFolder(QStandardPaths::DocumentsLocation));
        break;
    case FS_MUSIC_FOLDER:
        SetFullSpec(UserFolder(QStandardPaths::MusicLocation));
        break;
    case FS_TEMP_FILE:
        SetFullSpec(FreeTempName());
        break;
    case FS_NONE:
    case FS_WINDOWS_FOLDER:
    case FS_SYSTEM_FOLDER:
    case FS_FAVORITES_FOLDER:
    default:
        break;
    }
}

void CFileSpec::SetFullSpec(const char* pathName) {
    SetFullSpec(pathName != nullptr ? std::string(pathName) : std::string());
}

void CFileSpec::SetFullSpec(const std::string& pathName) {
    Parts parts = Split(pathName);
    m_drive.clear();
    m_path = std::move(parts.path);
    m_fileName = std::move(parts.fileName);
    m_extension = std::move(parts.extension);
}

std::string CFileSpec::GetFullSpec() const {
    return m_drive + m_path + m_fileName + m_extension;
}

std::string CFileSpec::GetFullPath() const {
    return m_drive + m_path;
}

std::string CFileSpec::FullPathNoExtension() const {
    return m_drive + m_path + m_fileName;
}

std::string CFileSpec::GetFileNameEx() const {
    return m_fileName + m_extension;
}

void CFileSpec::SetFileNameEx(const std::string& nameEx) {
    Parts parts = Split(nameEx);
    m_fileName = std::move(parts.fileName);
    m_extension = std::move(parts.extension);
}

std::string CFileSpec::TrueExtension() const {
    return m_extension.empty() ? std::string() : m_extension.substr(1);
}

bool CFileSpec::Exists() const {
    const std::string whole = GetFullSpec();
    if (whole.empty()) {
        return false;
    }
    std::error_code error;
    return fs::symlink_status(whole, error).type() != fs::file_type::not_found && !error;
}

CFileSpec::operator const char*() const {
    // Reassigning an equal text keeps the buffer, so an earlier pointer stays valid.
    const std::string whole = GetFullSpec();
    if (whole != m_converted) {
        m_converted = whole;
    }
    return m_converted.c_str();
}
