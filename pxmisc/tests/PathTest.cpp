#include "pxmisc/CPath.h"

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ParseRow {
    const char* what;
    std::string text;
    bool isFolder;
    bool hasArguments;
    std::string location;
    std::string title;
    std::string extName;
    std::vector<std::string> dirs;
    std::vector<std::string> arguments;
    bool relative;
    bool local;
};

TEST(CPathTest, SetPathParsesTheParts) {
    const ParseRow rows[] = {
        {"absolute file",
         "/usr/local/bin/tool.tar.gz",
         false,
         false,
         "/usr/local/bin/",
         "tool.tar",
         "gz",
         {"usr", "local", "bin"},
         {},
         false,
         true},
        {"quoted with blanks",
         "\"/my music/a song.mp3\"",
         false,
         false,
         "/my music/",
         "a song",
         "mp3",
         {"my music"},
         {},
         false,
         true},
        {"folder flag",
         "/opt/app",
         true,
         false,
         "/opt/app/",
         "",
         "",
         {"opt", "app"},
         {},
         false,
         true},
        {"folder flag keeps a dotted name",
         "/opt/app.d",
         true,
         false,
         "/opt/app.d/",
         "",
         "",
         {"opt", "app.d"},
         {},
         false,
         true},
        {"folder flag on a folder with its slash",
         "/opt/app/",
         true,
         false,
         "/opt/app/",
         "",
         "",
         {"opt", "app"},
         {},
         false,
         true},
        {"relative",
         "rel/dir/file",
         false,
         false,
         "rel/dir/",
         "file",
         "",
         {"rel", "dir"},
         {},
         true,
         false},
        {"bare name is not relative",
         "file.txt",
         false,
         false,
         "",
         "file",
         "txt",
         {},
         {},
         false,
         false},
        {"trailing dot leaves no extension",
         "/a/name.",
         false,
         false,
         "/a/",
         "name",
         "",
         {"a"},
         {},
         false,
         true},
        {"command line",
         "\"/a b/prog\" -x \"two words\" last",
         false,
         true,
         "/a b/",
         "prog",
         "",
         {"a b"},
         {"-x", "two words", "last"},
         false,
         true},
        {"backslash is a name character",
         "dir\\name.ext",
         false,
         false,
         "",
         "dir\\name",
         "ext",
         {},
         {},
         false,
         false},
        {"empty", "", false, false, "", "", "", {}, {}, false, false},
        {"blank command line", "   ", false, true, "", "", "", {}, {}, false, false},
    };
    for (const ParseRow& row : rows) {
        SCOPED_TRACE(row.what);
        const CPath path(row.text, row.isFolder, row.hasArguments);
        EXPECT_EQ(path.GetLocation(), row.location);
        EXPECT_EQ(path.GetDir(), row.location);
        EXPECT_EQ(path.GetFileTitle(), row.title);
        EXPECT_EQ(path.GetExtName(), row.extName);
        EXPECT_EQ(path.IsFilePath(), !row.title.empty());
        EXPECT_EQ(path.IsRelativePath(), row.relative);
        EXPECT_EQ(path.IsLocalPath(), row.local);
        EXPECT_EQ(path.GetDrive(), "");
        ASSERT_EQ(path.GetDirCount(), static_cast<int>(row.dirs.size()));
        for (int i = 0; i < path.GetDirCount(); ++i) {
            EXPECT_EQ(path.GetDir(i), row.dirs[static_cast<std::size_t>(i)]);
        }
        ASSERT_EQ(path.GetArgCount(), static_cast<int>(row.arguments.size()));
        for (int i = 0; i < path.GetArgCount(); ++i) {
            EXPECT_EQ(path.GetArgument(i), row.arguments[static_cast<std::size_t>(i)]);
        }
        EXPECT_EQ(path.GetPath(false, true), row.text);
    }
}

TEST(CPathTest, NamesAndTexts) {
    const CPath path("\"/a b/prog.sh\" -v \"x y\"", false, true);
    EXPECT_EQ(path.GetFileName(), "prog.sh");
    EXPECT_EQ(path.GetExtension(), ".sh");
    EXPECT_STREQ(static_cast<const char*>(path), "/a b/prog.sh");
    EXPECT_EQ(path.GetPath(), "/a b/prog.sh");
    EXPECT_EQ(path.GetPath(true), "/a b/prog.sh -v \"x y\"");
    EXPECT_EQ(path.GetShortPath(), "/a b/prog.sh");
    EXPECT_EQ(path.GetLongPath(), "/a b/prog.sh");

    const CPath bare("/a/README");
    EXPECT_EQ(bare.GetFileName(), "README");
    EXPECT_EQ(bare.GetExtension(), "");
    for (const int outside : {-2, 1, 5}) {
        EXPECT_EQ(bare.GetDir(outside), "");
        EXPECT_EQ(bare.GetArgument(outside), "");
    }
}

TEST(CPathTest, BackSlashHelpers) {
    struct Row {
        std::string text;
        std::string added;
        std::string removed;
    };
    const Row rows[] = {
        {"", "", ""},
        {"C:", "C:/", "C:"},
        {"/a/b", "/a/b/", "/a/b"},
        {"/a/b/", "/a/b/", "/a/b"},
        {"/", "/", "/"},
        // "\" names a character here, not a separator.
        {"a\\", "a\\/", "a\\"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(CPath::AddBackSlash(row.text), row.added);
        EXPECT_EQ(CPath::RemoveBackSlash(row.text), row.removed);
    }
}

TEST(CPathTest, AbsoluteAndRelativeForms) {
    EXPECT_EQ(CPath("docs/../music/a.mp3").GetAbsolutePath("/home/u"), "/home/u/music/a.mp3");
    EXPECT_EQ(CPath("/x/./y/z.txt").GetAbsolutePath("/ignored/"), "/x/y/z.txt");
    EXPECT_EQ(CPath("sub", true).GetAbsolutePath("/base/"), "/base/sub/");
    EXPECT_EQ(CPath().GetAbsolutePath("/base/"), "");

    EXPECT_EQ(CPath("/home/u/music/a.mp3").GetRelativePath("/home/u/"), "music/a.mp3");
    EXPECT_EQ(CPath("/home/u/music/a.mp3").GetRelativePath("/home/v"), "../u/music/a.mp3");
    EXPECT_EQ(CPath("/home/u/music", true).GetRelativePath("/home/u"), "music/");
    // No relative way from an absolute base to a relative path.
    EXPECT_EQ(CPath("rel/a.mp3").GetRelativePath("/home"), "");
}

TEST(CPathTest, Arguments) {
    CPath path("/bin/prog");
    path.SetArguments("-a \"b c\" -D");
    EXPECT_EQ(path.GetArgCount(), 3);
    EXPECT_EQ(path.FindArgument("-d"), 2);
    EXPECT_EQ(path.FindArgument("b"), -1);
    EXPECT_EQ(path.AddSetArgument("-A"), 0);
    EXPECT_EQ(path.AddSetArgument("--new"), 3);
    path.RemoveArgument(1);
    path.RemoveArgument(9);
    EXPECT_EQ(path.GetPath(true), "/bin/prog -a -D --new");
}

TEST(CPathTest, AssignmentAndCopy) {
    CPath path("\"/a/b.c\" -x", false, true);
    CPath copy(path);
    path = std::string("/d/e.f");
    EXPECT_EQ(path.GetArgCount(), 0);
    EXPECT_STREQ(static_cast<const char*>(path), "/d/e.f");
    EXPECT_EQ(copy.GetPath(true), "/a/b.c -x");
    // Setting a path from the object's own text must not read freed text.
    copy.SetPath(copy.GetPath(false, true), false, true);
    EXPECT_EQ(copy.GetPath(true), "/a/b.c -x");
}

TEST(CPathTest, ProcessPaths) {
    std::error_code error;
    const std::string exe = fs::read_symlink("/proc/self/exe", error).string();
    ASSERT_FALSE(error);
    const CPath module(CPath::PATH_MODULE);
    EXPECT_EQ(module.GetPath(), exe);
    EXPECT_TRUE(module.ExistFile());

    const CPath commandLine(CPath::PATH_CMDLINE);
    EXPECT_EQ(commandLine.GetFileName(), "pxmisc_tests");
    for (int i = 0; i < commandLine.GetArgCount(); ++i) {
        EXPECT_FALSE(commandLine.GetArgument(i).empty());
    }

    EXPECT_STREQ(static_cast<const char*>(CPath(7)), "");
}

TEST(CPathTest, FileFacts) {
    std::string pattern = (fs::temp_directory_path() / "path-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::string file = pattern + "/data.bin";
    std::ofstream(file, std::ios::binary) << std::string(1234, 'x');
    const timespec times[2] = {{1'500'000'000, 0}, {1'600'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

    const CPath path(file);
    EXPECT_TRUE(path.ExistFile());
    EXPECT_TRUE(path.ExistLocation());
    uint64_t size = 0;
    EXPECT_TRUE(path.GetFileSize(size));
    EXPECT_EQ(size, 1234u);
    std::time_t time = 0;
    EXPECT_TRUE(path.GetFileTime(time, CPath::FILE_ACCESS));
    EXPECT_EQ(time, 1'500'000'000);
    EXPECT_TRUE(path.GetFileTime(time, CPath::FILE_WRITE));
    EXPECT_EQ(time, 1'600'000'000);
    EXPECT_TRUE(path.GetFileTime(time, CPath::FILE_CREATION));
    EXPECT_GT(time, 1'600'000'000);

    const CPath missing(pattern + "/none/other.bin");
    EXPECT_FALSE(missing.ExistFile());
    EXPECT_FALSE(missing.ExistLocation());
    EXPECT_FALSE(missing.GetFileSize(size));
    EXPECT_FALSE(missing.GetFileTime(time));
    fs::remove_all(pattern);
}

} // namespace
