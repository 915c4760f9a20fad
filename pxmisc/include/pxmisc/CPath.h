#pragma once

#include "pxmisc/PXMiscExport.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// A path in parsed form: folder, its single directories, file title, extension and, for a
// command line, the arguments that follow the path. The separator is "/"; drives are always
// empty on Linux.
class PXMISC_EXPORT CPath {
public:
    enum FILE_TIME { FILE_CREATION = 0, FILE_ACCESS = 1, FILE_WRITE = 2 };
    // What the constructor from a number reads.
    enum PATH_SOURCE { PATH_CMDLINE = 0, PATH_MODULE = 1 };

    CPath();
    // `isFolderPath`: the last name is a folder, not a file. `hasArguments`: `path` is a
    // command line whose first word is the path.
    explicit CPath(const std::string& path, bool isFolderPath = false, bool hasArguments = false);
    explicit CPath(int source);
    CPath(const CPath& other);
    CPath& operator=(const CPath& other);
    CPath& operator=(const std::string& path);
    virtual ~CPath();

    void SetPath(const std::string& path, bool isFolderPath = false, bool hasArguments = false);
    // 0: this process's command line, with its arguments; 1: the executable's path; any other
    // value leaves the object empty.
    void SetPath(int source);

    // An absolute path (Linux has no drives, so this stands for "has a drive").
    bool IsLocalPath() const;
    // A folder part that does not begin with "/"; a bare name has none and is not relative.
    bool IsRelativePath() const;
    bool IsFilePath() const;
    bool ExistFile() const;
    bool ExistLocation() const;

    // This path resolved against `baseFolder` (when relative) and normalised by text.
    std::string GetAbsolutePath(const std::string& baseFolder) const;
    // This path relative to `baseFolder`, worked out by text; "" when there is no such path.
    std::string GetRelativePath(const std::string& baseFolder) const;
    std::string GetPath(bool withArguments = false, bool sourceText = false) const;
    // Linux has no 8.3 names: both give the path itself.
    std::string GetShortPath() const;
    std::string GetLongPath() const;

    std::string GetDrive() const;
    int GetDirCount() const;
    // One directory of the folder part, or the whole folder part for -1; "" outside.
    std::string GetDir(int index = -1) const;
    // drive + folder part.
    std::string GetLocation() const;
    std::string GetFileTitle() const;
    // title + "." + extension, or the title alone when there is no extension.
    std::string GetFileName() const;
    // "." + extension, "" without one.
    std::string GetExtension() const;
    std::string GetExtName() const;

    int GetArgCount() const;
    std::string GetArgument(int index) const;
    // Replaces the arguments with the words of `arguments` (split as a command line is).
    void SetArguments(const std::string& arguments);
    // Appends `argument` unless an equal one (ignoring ASCII case) is there; returns its index.
    int AddSetArgument(const std::string& argument);
    void RemoveArgument(int index);
    // Index of the first argument equal to `argument` ignoring ASCII case, -1 when none.
    int FindArgument(const std::string& argument) const;

    // Read afresh from the file system on each call; false when the entry cannot be read.
    bool GetFileSize(uint64_t& size) const;
    // FILE_CREATION gives the birth time where the file system keeps one, else the time of the
    // last status change.
    bool GetFileTime(std::time_t& time, FILE_TIME which = FILE_WRITE) const;

    // Appends "/" unless the text is empty or already ends with one.
    static std::string AddBackSlash(const std::string& text);
    // Removes one trailing "/", except from the root folder "/" itself.
    static std::string RemoveBackSlash(const std::string& text);

    // location + file name; the text stays valid until the next conversion or change.
    operator const char*() const;

private:
    std::string m_source;
    std::string m_drive;
    std::string m_folder;
    std::vector<std::string> m_dirs;
    std::string m_fileTitle;
    std::string m_extension;
    std::vector<std::string> m_arguments;
    mutable std::string m_converted;
};
