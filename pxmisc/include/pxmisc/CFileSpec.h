#pragma once

#include "pxmisc/PXMiscExport.h"

#include <string>

// A path split into drive, folder, file name and extension, or a well-known location. On Linux
// the drive is always empty, the separator is "/" and "\" is an ordinary name character.
// Every part keeps its full text, whatever its length.
class PXMISC_EXPORT CFileSpec {
public:
    enum FS_BUILTINS {
        FS_NONE = 0,
        FS_EXE_PATH = 1,
        FS_EXE_FOLDER = 2,
        // Linux has neither a Windows nor a system folder: both leave every part empty.
        FS_WINDOWS_FOLDER = 3,
        FS_SYSTEM_FOLDER = 4,
        // $TMPDIR, or /tmp when it is unset or empty.
        FS_TEMP_FOLDER = 5,
        // The XDG user folders; Linux has no Favorites, so that one stays empty.
        FS_DESKTOP_FOLDER = 6,
        FS_FAVORITES_FOLDER = 7,
        FS_DOCUMENTS_FOLDER = 8,
        FS_MUSIC_FOLDER = 9,
        // A name "~<random>.tmp" in the temporary folder that no entry there has yet. The file
        // is not created, so another process may still take the name before the caller does.
        FS_TEMP_FILE = 10
    };

    explicit CFileSpec(FS_BUILTINS location = FS_NONE);
    explicit CFileSpec(const char* pathName);
    explicit CFileSpec(const std::string& pathName);
    CFileSpec(const CFileSpec& other);
    CFileSpec& operator=(const CFileSpec& other);
    ~CFileSpec();

    void SetFullSpec(FS_BUILTINS location);
    void SetFullSpec(const char* pathName);
    void SetFullSpec(const std::string& pathName);

    std::string& Drive() { return m_drive; }
    std::string& Path() { return m_path; }
    std::string& FileName() { return m_fileName; }
    std::string& Extension() { return m_extension; }
    const std::string& Drive() const { return m_drive; }
    const std::string& Path() const { return m_path; }
    const std::string& FileName() const { return m_fileName; }
    const std::string& Extension() const { return m_extension; }

    // drive + folder + name + extension.
    std::string GetFullSpec() const;
    // drive + folder, with the folder's trailing "/".
    std::string GetFullPath() const;
    std::string FullPathNoExtension() const;
    // name + extension.
    std::string GetFileNameEx() const;
    // Takes only the name and extension of `nameEx`; drive and folder stay.
    void SetFileNameEx(const std::string& nameEx);
    // The extension without its ".", "" when there is none.
    std::string TrueExtension() const;
    // Whether the whole path names an existing entry of any type (a dangling symbolic link
    // counts as existing). No access rights are checked.
    bool Exists() const;

    // The whole path. The text stays valid until the object changes or is converted again to a
    // different text.
    operator const char*() const;

private:
    std::string m_drive;
    std::string m_path;
    std::string m_fileName;
    std::string m_extension;
    mutable std::string m_converted;
};
