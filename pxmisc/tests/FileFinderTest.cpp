#include "pxmisc/CFileFinder.h"

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class CFileFinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "finder-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern + "/";
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(m_root, error);
    }

    std::string Make(const std::string& relative, const std::string& content = "x") {
        const std::string path = m_root + relative;
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string MakeFolder(const std::string& relative) {
        fs::create_directories(m_root + relative);
        return m_root + relative + "/";
    }

    static std::vector<std::string> Found(const CFileFinder& finder) {
        std::vector<std::string> paths;
        for (int i = 0; i < finder.GetFileCount(); ++i) {
            paths.emplace_back(static_cast<const char*>(finder.GetFilePath(i)));
        }
        return paths;
    }

    std::string m_root;
};

using Paths = std::vector<std::string>;

TEST_F(CFileFinderTest, FindFilesWithAMaskListsOnlyThatFolder) {
    const std::string setup = Make("setup.exe");
    const std::string upper = Make("OLD.EXE");
    Make("readme.txt");
    Make("setup.exe.txt");
    Make("sub/inner.exe");

    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*.exe"), 2);
    // Letters in the mask match either case, as on the original platform.
    EXPECT_EQ(Found(finder), (Paths{upper, setup}));
}

TEST_F(CFileFinderTest, FindFilesWithSubfoldersSearchesThemFirst) {
    const std::string top = Make("a.exe");
    const std::string deep = Make("sub/deeper/c.exe");
    const std::string inner = Make("sub/b.exe");
    Make("sub/b.txt");

    CFileFinder finder;
    // The base folder gains its trailing "/".
    EXPECT_EQ(finder.FindFiles(m_root.substr(0, m_root.size() - 1), "*.exe", true), 3);
    EXPECT_EQ(Found(finder), (Paths{deep, inner, top}));
}

TEST_F(CFileFinderTest, NoMatchGivesZero) {
    Make("a.txt");
    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*.exe"), 0);
    EXPECT_EQ(finder.FindFiles(m_root + "missing/", "*.*", true), 0);
}

TEST_F(CFileFinderTest, ResultsGrowAcrossSearches) {
    const std::string exe = Make("a.exe");
    const std::string txt = Make("b.txt");
    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*.exe"), 1);
    EXPECT_EQ(finder.FindFiles(m_root, "*.txt"), 2);
    EXPECT_EQ(Found(finder), (Paths{exe, txt}));
    finder.RemoveAll();
    EXPECT_EQ(finder.GetFileCount(), 0);
}

TEST_F(CFileFinderTest, DefaultMaskTakesNamesWithoutADot) {
    const std::string plain = Make("README");
    const std::string dotted = Make("a.b");
    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*.*"), 2);
    EXPECT_EQ(Found(finder), (Paths{plain, dotted}));
    EXPECT_EQ(finder.FindFiles(m_root, "READ?E.*"), 3);
    EXPECT_EQ(finder.FindFiles(m_root, "a.?"), 4);
}

TEST_F(CFileFinderTest, FoldersPassOnlyWithAnAttributeOfTheMask) {
    MakeFolder("plain");
    const std::string hidden = MakeFolder(".hidden");
    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*"), 1);
    EXPECT_EQ(Found(finder), (Paths{hidden}));
}

TEST_F(CFileFinderTest, NormalFileDoesNotPassTheDefaultMask) {
    const std::string path = Make("nodump.bin");
    {
        const int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        const std::unique_ptr<const int, void (*)(const int*)> closer(
            &fd, [](const int* f) { ::close(*f); });
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            GTEST_SKIP() << "file flags not supported here";
        }
        flags |= FS_NODUMP_FL;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) {
            GTEST_SKIP() << "cannot set the no-dump flag here";
        }
    }
    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*"), 0);

    CFileFinder::CFindOpts options;
    options.baseFolder = m_root;
    options.filterFlags = CFileFinder::CFindOpts::FIND_ATTRIBUTES;
    options.attributes = CFileFinder::ATTR_NORMAL;
    EXPECT_EQ(finder.Find(options), 1);
}

TEST_F(CFileFinderTest, AttributeMaskFollowsLinuxFileFacts) {
    const std::string plain = Make("plain");
    const std::string readOnly = Make("locked");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    const std::string hidden = Make(".dotted");
    const std::string folder = MakeFolder("folder");
    const std::string fifo = m_root + "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);

    struct Row {
        uint32_t mask;
        Paths expected;
    };
    const Row rows[] = {
        {CFileFinder::ATTR_READONLY, {readOnly}},
        {CFileFinder::ATTR_HIDDEN, {hidden}},
        {CFileFinder::ATTR_SYSTEM, {fifo}},
        {CFileFinder::ATTR_DIRECTORY, {folder}},
        {CFileFinder::ATTR_ARCHIVE, {hidden, readOnly, plain}},
        {CFileFinder::ATTR_TEMPORARY, {}},
        {CFileFinder::ATTR_NORMAL, {}},
        {CFileFinder::ATTR_HIDDEN | CFileFinder::ATTR_SYSTEM, {hidden, fifo}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mask);
        CFileFinder finder;
        CFileFinder::CFindOpts options;
        options.baseFolder = m_root;
        options.filterFlags = CFileFinder::CFindOpts::FIND_ATTRIBUTES;
        options.attributes = row.mask;
        finder.Find(options);
        EXPECT_EQ(Found(finder), row.expected);
    }
}

TEST_F(CFileFinderTest, SizeRangeIncludesBothEnds) {
    Make("10", std::string(10, 'a'));
    const std::string twenty = Make("20", std::string(20, 'a'));
    const std::string thirty = Make("30", std::string(30, 'a'));
    Make("31", std::string(31, 'a'));
    CFileFinder finder;
    CFileFinder::CFindOpts options;
    options.baseFolder = m_root;
    options.filterFlags = CFileFinder::CFindOpts::FIND_SIZE;
    options.minSize = 20;
    options.maxSize = 30;
    EXPECT_EQ(finder.Find(options), 2);
    EXPECT_EQ(Found(finder), (Paths{twenty, thirty}));
}

TEST_F(CFileFinderTest, TimeRangesIncludeBothEnds) {
    const std::time_t base = 1'600'000'000;
    const std::string early = Make("early");
    const std::string late = Make("late");
    const auto setTimes = [](const std::string& path, std::time_t accessed, std::time_t written) {
        const timespec times[2] = {{accessed, 0}, {written, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    setTimes(early, base, base + 100);
    setTimes(late, base + 50, base + 200);

    struct Row {
        const char* what;
        uint32_t flag;
        std::time_t low;
        std::time_t high;
        Paths expected;
    };
    const std::time_t now = std::time(nullptr);
    const Row rows[] = {
        {"written, both ends",
         CFileFinder::CFindOpts::FIND_DATEMODIFIED,
         base + 100,
         base + 200,
         {early, late}},
        {"written, low end only",
         CFileFinder::CFindOpts::FIND_DATEMODIFIED,
         base + 101,
         base + 200,
         {late}},
        {"accessed, high end", CFileFinder::CFindOpts::FIND_DATEACCESSED, base, base + 49, {early}},
        {"created just now",
         CFileFinder::CFindOpts::FIND_DATECREATED,
         now - 600,
         now + 600,
         {early, late}},
        {"created long ago", CFileFinder::CFindOpts::FIND_DATECREATED, base, base + 200, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CFileFinder finder;
        CFileFinder::CFindOpts options;
        options.baseFolder = m_root;
        options.filterFlags = row.flag;
        options.minModified = options.minAccessed = options.minCreated = row.low;
        options.maxModified = options.maxAccessed = options.maxCreated = row.high;
        finder.Find(options);
        EXPECT_EQ(Found(finder), row.expected);
    }
}

TEST_F(CFileFinderTest, TextFilterKeepsFilesHoldingTheText) {
    const std::string with = Make("with.txt", "some Ringtone here");
    Make("without.txt", "nothing");
    MakeFolder("folder.txt");
    CFileFinder finder;
    CFileFinder::CFindOpts options;
    options.baseFolder = m_root;
    options.filterFlags = CFileFinder::CFindOpts::FIND_TEXT;
    options.findText = "RINGTONE";
    EXPECT_EQ(finder.Find(options), 1);
    EXPECT_EQ(Found(finder), (Paths{with}));

    // An empty text matches nothing rather than everything.
    options.findText.clear();
    EXPECT_EQ(finder.Find(options), 1);
}

TEST_F(CFileFinderTest, FindTextAcrossBlockBoundariesIgnoringCase) {
    const std::string longText(100, 'q');
    struct Row {
        const char* what;
        std::string content;
        std::string text;
        bool expected;
    };
    const Row rows[] = {
        {"spans the 128-byte boundary", std::string(125, '.') + "NeEdLe", "needle", true},
        {"ends on the boundary", std::string(122, '.') + "needle", "NEEDLE", true},
        {"starts the second block", std::string(128, '.') + "needle", "needle", true},
        {"spans a later boundary", std::string(1277, '.') + "Needle" + std::string(9, '.'),
         "nEEDLE", true},
        {"a long text spans a 200-byte boundary",
         std::string(150, '.') + longText + std::string(300, '.'), longText, true},
        {"absent", std::string(1000, '.') + "needl", "needle", false},
        {"longer than the file", "need", "needle", false},
        {"empty file", "", "needle", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string path = Make("scan.bin", row.content);
        CFileFinder finder;
        EXPECT_EQ(finder.FindTextInFile(path.c_str(), row.text.c_str()), row.expected);
    }
}

TEST_F(CFileFinderTest, FindTextRefusesEmptyTextsAndUnreadableFiles) {
    const std::string file = Make("file.txt", "text");
    const std::string fifo = m_root + "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    struct Row {
        const char* what;
        const char* path;
        const char* text;
    };
    const Row rows[] = {
        {"null text", file.c_str(), nullptr},
        {"empty text", file.c_str(), ""},
        {"null path", nullptr, "text"},
        {"missing file", "/nonexistent/file.txt", "text"},
        {"a folder", m_root.c_str(), "text"},
        // Opening a FIFO for reading would wait for a writer.
        {"a FIFO", fifo.c_str(), "text"},
        // A regular file whose first read fails with EIO.
        {"read error", "/proc/self/mem", "text"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CFileFinder finder;
        EXPECT_FALSE(finder.FindTextInFile(row.path, row.text));
    }
}

TEST_F(CFileFinderTest, FindTextInAFileWithoutReadPermission) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads any file";
    }
    const std::string file = Make("secret.txt", "text");
    fs::permissions(file, fs::perms::none);
    CFileFinder finder;
    EXPECT_FALSE(finder.FindTextInFile(file.c_str(), "text"));
}

struct ShrinkState {
    std::string path;
    int progressEvents = 0;
};

TEST_F(CFileFinderTest, FileThatShrinksDuringTheScanEndsIt) {
    ShrinkState state{Make("shrinks.bin", std::string(128 * 40, '.') + "needle"), 0};
    CFileFinder finder;
    finder.SetCallback(
        [](CFileFinder*, uint32_t event, void* data) {
            auto* shrink = static_cast<ShrinkState*>(data);
            if (event == CFileFinder::FF_FINDTEXT && ++shrink->progressEvents == 1) {
                fs::resize_file(shrink->path, 100);
            }
        },
        &state);
    EXPECT_FALSE(finder.FindTextInFile(state.path.c_str(), "needle"));
    EXPECT_EQ(state.progressEvents, 1);
}

TEST_F(CFileFinderTest, ProgressEveryTenthBlock) {
    const std::string path = Make("big.bin", std::string(128 * 35, '.'));
    int progress = 0;
    CFileFinder finder;
    finder.SetCallback(
        [](CFileFinder*, uint32_t event, void* data) {
            if (event == CFileFinder::FF_FINDTEXT) {
                ++*static_cast<int*>(data);
            }
        },
        &progress);
    EXPECT_FALSE(finder.FindTextInFile(path.c_str(), "absent"));
    EXPECT_EQ(progress, 3);
}

TEST_F(CFileFinderTest, StopDuringATextScanEndsOnlyThatScan) {
    const std::string path = Make("big.bin", std::string(128 * 30, '.') + "needle");
    CFileFinder finder;
    finder.SetCallback(
        [](CFileFinder* self, uint32_t event, void*) {
            if (event == CFileFinder::FF_FINDTEXT) {
                self->StopSearch();
            }
        },
        nullptr);
    EXPECT_FALSE(finder.FindTextInFile(path.c_str(), "needle"));
    finder.SetCallback(nullptr, nullptr);
    EXPECT_TRUE(finder.FindTextInFile(path.c_str(), "needle"));
}

struct EventLog {
    std::vector<std::string> lines;
};

TEST_F(CFileFinderTest, CallbackSeesFoldersMatchesAndMisses) {
    Make("a.exe");
    Make("b.exe", "");
    Make("c.txt");
    Make("sub/d.exe");
    EventLog log;
    CFileFinder finder;
    finder.SetCallback(
        [](CFileFinder* self, uint32_t event, void* data) {
            std::string line = std::to_string(event);
            if (event == CFileFinder::FF_FOLDER) {
                line += " " + std::string(self->GetSearchingFolder());
            }
            static_cast<EventLog*>(data)->lines.push_back(line);
        },
        &log);
    CFileFinder::CFindOpts options;
    options.baseFolder = m_root;
    options.fileMask = "*.exe";
    options.subfolders = true;
    options.filterFlags = CFileFinder::CFindOpts::FIND_SIZE;
    options.minSize = 1;
    options.maxSize = 1;
    EXPECT_EQ(finder.Find(options), 2);
    // The mask decides which entries are examined at all: c.txt and the folder "sub" are not.
    EXPECT_EQ(log.lines, (Paths{"2 " + m_root + "sub/", "0", "2 " + m_root, "0", "1"}));
    EXPECT_STREQ(finder.GetSearchingFolder(), m_root.c_str());
}

TEST_F(CFileFinderTest, StopInASubfolderEndsTheWholeSearch) {
    Make("a/1.exe");
    Make("a/2.exe");
    Make("b/3.exe");
    Make("4.exe");
    CFileFinder finder;
    finder.SetCallback(
        [](CFileFinder* self, uint32_t event, void*) {
            if (event == CFileFinder::FF_FOUND) {
                self->StopSearch();
            }
        },
        nullptr);
    EXPECT_EQ(finder.FindFiles(m_root, "*.exe", true), 1);
    EXPECT_EQ(Found(finder), (Paths{m_root + "a/1.exe"}));
    // The next search starts afresh.
    EXPECT_EQ(finder.FindFiles(m_root, "4.exe"), 2);
}

TEST_F(CFileFinderTest, LongFolderPathsAreListedInFull) {
    std::string relative;
    while (relative.size() < 400) {
        relative += std::string(90, 'f') + "/";
    }
    const std::string file = Make(relative + std::string(200, 'n') + ".exe");
    ASSERT_GT(file.size(), 600u);
    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*.exe", true), 1);
    EXPECT_EQ(Found(finder), (Paths{file}));
}

TEST_F(CFileFinderTest, LinkBackToAParentDoesNotRecurse) {
    const std::string file = Make("sub/a.exe");
    fs::create_directory_symlink(m_root, m_root + "sub/loop");
    CFileFinder finder;
    EXPECT_EQ(finder.FindFiles(m_root, "*.exe", true), 1);
    EXPECT_EQ(Found(finder), (Paths{file}));
}

TEST_F(CFileFinderTest, ListAccess) {
    const std::string lower = Make("setup.exe");
    const std::string upper = Make("SETUP2.EXE");
    CFileFinder finder;
    ASSERT_EQ(finder.FindFiles(m_root, "*.exe"), 2);

    EXPECT_EQ(finder.FindPathItem(lower), 1);
    EXPECT_EQ(finder.FindPathItem(m_root + "setup2.exe"), 0);
    EXPECT_EQ(finder.FindPathItem(m_root + "setup"), -1);

    for (const int outside : {-1, 2, 100}) {
        SCOPED_TRACE(outside);
        EXPECT_STREQ(static_cast<const char*>(finder.GetFilePath(outside)), "");
        finder.RemoveAt(outside);
        EXPECT_EQ(finder.GetFileCount(), 2);
    }
    const CPath path = finder.GetFilePath(1);
    EXPECT_EQ(path.GetFileName(), "setup.exe");
    EXPECT_EQ(path.GetLocation(), m_root);

    finder.RemoveAt(0);
    EXPECT_EQ(Found(finder), (Paths{lower}));
}

} // namespace
