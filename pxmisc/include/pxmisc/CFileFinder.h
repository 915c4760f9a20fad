#pragma once

#include "pxmisc/CPath.h"
#include "pxmisc/PXMiscExport.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// Lists the entries of a folder (and optionally of its subfolders) that match a name mask and
// a set of filters. The results accumulate across searches until removed.
class PXMISC_EXPORT CFileFinder {
public:
    // Attributes as the filter sees them on Linux:
    //   READONLY   the user's permission class (owner, group or other) has no write bit;
    //   HIDDEN     the name begins with ".";
    //   SYSTEM     a device, FIFO or socket;
    //   DIRECTORY  a folder;
    //   ARCHIVE    a regular file without the file system's no-dump flag (chattr +d);
    //   COMPRESSED the file system's compressed flag;
    //   TEMPORARY  never: Linux keeps no such mark;
    //   NORMAL     none of the others.
    enum FILE_ATTRIBUTES : uint32_t {
        ATTR_READONLY = 0x001,
        ATTR_HIDDEN = 0x002,
        ATTR_SYSTEM = 0x004,
        ATTR_DIRECTORY = 0x010,
        ATTR_ARCHIVE = 0x020,
        ATTR_NORMAL = 0x080,
        ATTR_TEMPORARY = 0x100,
        ATTR_COMPRESSED = 0x800
    };

    // Events given to the callback.
    enum FIND_EVENT : uint32_t {
        FF_FOUND = 0,     // an entry matched and was added
        FF_DISCARDED = 1, // an entry was examined and did not match
        FF_FOLDER = 2,    // the search of a folder begins (see GetSearchingFolder)
        FF_FINDTEXT = 3   // progress while a file is scanned for text, every tenth block
    };

    using FinderCallback = void (*)(CFileFinder* finder, uint32_t event, void* userData);

    struct PXMISC_EXPORT CFindOpts {
        enum FILTER_FLAGS : uint32_t {
            FIND_SIZE = 0x01,
            FIND_DATEMODIFIED = 0x02,
            FIND_DATECREATED = 0x04,
            FIND_DATEACCESSED = 0x08,
            FIND_ATTRIBUTES = 0x10,
            FIND_TEXT = 0x20
        };

        CFindOpts();

        std::string baseFolder;
        // "*" stands for any run of characters and "?" for one; letters match in either case
        // (ASCII), and a trailing ".*" also matches a name without a dot, so "*.*" takes all.
        std::string fileMask = "*.*";
        std::string findText;
        bool subfolders = false;
        uint32_t filterFlags = 0;
        // In bytes, both ends included; a folder counts as 0.
        uint64_t minSize = 0;
        uint64_t maxSize = 0;
        // Each range includes both ends, to the second. Where the file system keeps no birth
        // time, the creation range is checked against the last status change.
        std::time_t minCreated;
        std::time_t maxCreated;
        std::time_t minModified;
        std::time_t maxModified;
        std::time_t minAccessed;
        std::time_t maxAccessed;
        // The entry passes when it has at least one of these attributes.
        uint32_t attributes = 0;
    };

    CFileFinder();
    virtual ~CFileFinder();

    // Searches `baseFolder` for `fileMask`, keeping entries with any attribute of 0x927
    // (read-only, hidden, system, archive, temporary, compressed). Returns the list's size.
    int FindFiles(const std::string& baseFolder, const std::string& fileMask,
                  bool subfolders = false);
    // Searches with `options` (their base folder gains a trailing "/"); subfolders are searched
    // before the folder's own entries, and symbolic links to folders are not followed into.
    // Returns the list's size.
    int Find(CFindOpts& options);

    int GetFileCount() const;
    // The path at `index`, or an empty path outside the list.
    CPath GetFilePath(int index) const;
    // Index of the first entry equal to `path` ignoring ASCII case, -1 when none.
    int FindPathItem(const std::string& path) const;
    void RemoveAt(int index);
    void RemoveAll();

    const char* GetSearchingFolder() const;
    void SetCallback(FinderCallback callback, void* userData);
    // Ends the running search after the current entry, or a scan for text after its block.
    void StopSearch();

    // Whether the file holds `text`, ignoring ASCII case. False for a null or empty text, for
    // anything but a regular file, for a file that cannot be opened or read, and when the
    // search is stopped during the scan. A file that shrinks meanwhile is read to its new end.
    bool FindTextInFile(const char* filePath, const char* text);

private:
    std::vector<std::string> m_found;
    bool m_stop = false;
    FinderCallback m_callback = nullptr;
    void* m_userData = nullptr;
    std::string m_searchingFolder;
};
