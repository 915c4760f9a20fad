#include "pxmisc/CFileSpec.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "pxmisc-files-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ScratchFolder() {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

struct SplitRow {
    const char* what;
    std::string input;
    std::string path;
    std::string fileName;
    std::string extension;
    std::string trueExtension;
};

TEST(CFileSpecTest, SplitsIntoFolderNameAndExtension) {
    const SplitRow rows[] = {
        {"bare name", "song.mp3", "", "song", ".mp3", "mp3"},
        {"two dots split at the last", "/music/live.2009.mp3", "/music/", "live.2009", ".mp3",
         "mp3"},
        {"no extension", "/usr/bin/orvanta", "/usr/bin/", "orvanta", "", ""},
        {"folder only", "/home/user/", "/home/user/", "", "", ""},
        {"root", "/", "/", "", "", ""},
        {"hidden file has no extension", "/home/user/.profile", "/home/user/", ".profile", "", ""},
        {"hidden file with an extension", ".config.bak", "", ".config", ".bak", "bak"},
        {"trailing dot", "name.", "", "name", ".", ""},
        {"dot in a folder only", "/a.b/c", "/a.b/", "c", "", ""},
        {"parent folder name", "../..", "../", "..", "", ""},
        {"backslash is a name character", "C:\\Music\\a.wav", "", "C:\\Music\\a", ".wav", "wav"},
        {"empty", "", "", "", "", ""},
    };
    for (const SplitRow& row : rows) {
        SCOPED_TRACE(row.what);
        const CFileSpec file(row.input);
        EXPECT_EQ(file.Drive(), "");
        EXPECT_EQ(file.Path(), row.path);
        EXPECT_EQ(file.FileName(), row.fileName);
        EXPECT_EQ(file.Extension(), row.extension);
        EXPECT_EQ(file.TrueExtension(), row.trueExtension);
        EXPECT_EQ(file.GetFullSpec(), row.input);
        EXPECT_EQ(file.GetFullPath(), row.path);
        EXPECT_EQ(file.GetFileNameEx(), row.fileName + row.extension);
        EXPECT_EQ(file.FullPathNoExtension(), row.path + row.fileName);
        EXPECT_STREQ(static_cast<const char*>(file), row.input.c_str());
    }
}

TEST(CFileSpecTest, KeepsLongFoldersAndNamesInFull) {
    std::string folder = "/";
    while (folder.size() < 700) {
        folder += std::string(60, 'd') + "/";
    }
    const std::string name(300, 'n');
    const std::string extension = "." + std::string(270, 'e');
    const CFileSpec file(folder + name + extension);
    EXPECT_EQ(file.Path(), folder);
    EXPECT_EQ(file.FileName(), name);
    EXPECT_EQ(file.Extension(), extension);
    EXPECT_EQ(file.GetFullSpec(), folder + name + extension);

    CFileSpec renamed(folder + "x.y");
    renamed.SetFileNameEx(name + extension);
    EXPECT_EQ(renamed.GetFullSpec(), folder + name + extension);
}

TEST(CFileSpecTest, SetFileNameExKeepsTheFolder) {
    CFileSpec file("/music/source.mp3");
    file.SetFileNameEx("/elsewhere/source_ringtone.mp3");
    EXPECT_EQ(file.GetFullSpec(), "/music/source_ringtone.mp3");
    file.Extension() = ".wfp";
    EXPECT_EQ(file.GetFullSpec(), "/music/source_ringtone.wfp");
}

TEST(CFileSpecTest, CopiesAreIndependent) {
    const CFileSpec original("/a/b.c");
    CFileSpec copy(original);
    copy.FileName() = "z";
    CFileSpec assigned;
    assigned = copy;
    EXPECT_EQ(original.GetFullSpec(), "/a/b.c");
    EXPECT_EQ(copy.GetFullSpec(), "/a/z.c");
    EXPECT_EQ(assigned.GetFullSpec(), "/a/z.c");
}

TEST(CFileSpecTest, ConversionTextSurvivesARepeatedConversion) {
    const CFileSpec file("/a/b.c");
    const char* first = file;
    const char* second = file;
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "/a/b.c");
}

TEST(CFileSpecTest, TempFolderFollowsTmpdir) {
    const ScratchFolder scratch;
    struct Row {
        std::optional<std::string> tmpdir;
        std::string expected;
    };
    const Row rows[] = {
        {scratch.Path(), scratch.Path() + "/"},
        {scratch.Path() + "/", scratch.Path() + "/"},
        {std::nullopt, "/tmp/"},
        {std::string(), "/tmp/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tmpdir.value_or("<unset>"));
        const ScopedEnv env("TMPDIR", row.tmpdir);
        const CFileSpec file(CFileSpec::FS_TEMP_FOLDER);
        EXPECT_EQ(file.GetFullPath(), row.expected);
        EXPECT_EQ(file.GetFullSpec(), row.expected);
        EXPECT_EQ(file.FileName(), "");
        EXPECT_EQ(file.Extension(), "");
    }
}

TEST(CFileSpecTest, TempFileIsAFreeNameInTheTempFolder) {
    const ScratchFolder scratch;
    const ScopedEnv env("TMPDIR", scratch.Path());
    CFileSpec file(CFileSpec::FS_TEMP_FILE);
    EXPECT_EQ(file.GetFullPath(), scratch.Path() + "/");
    ASSERT_FALSE(file.FileName().empty());
    EXPECT_EQ(file.FileName().front(), '~');
    EXPECT_FALSE(file.Exists());

    std::ofstream(file.GetFullSpec()).put('x');
    ASSERT_TRUE(file.Exists());
    const CFileSpec next(CFileSpec::FS_TEMP_FILE);
    EXPECT_NE(next.GetFullSpec(), file.GetFullSpec());
    EXPECT_FALSE(next.Exists());
}

TEST(CFileSpecTest, ExecutableLocations) {
    std::error_code error;
    const std::string exe = fs::read_symlink("/proc/self/exe", error).string();
    ASSERT_FALSE(error);

    const CFileSpec path(CFileSpec::FS_EXE_PATH);
    EXPECT_EQ(path.GetFullSpec(), exe);
    EXPECT_EQ(path.FileName(), "pxmisc_tests");
    EXPECT_TRUE(path.Exists());

    const CFileSpec folder(CFileSpec::FS_EXE_FOLDER);
    EXPECT_EQ(folder.GetFullSpec(), exe.substr(0, exe.rfind('/') + 1));
    EXPECT_EQ(folder.FileName(), "");
    EXPECT_TRUE(folder.Exists());
}

TEST(CFileSpecTest, UserFoldersComeFromXdgUserDirs) {
    const ScratchFolder home;
    const ScopedEnv homeEnv("HOME", home.Path());
    const ScopedEnv configEnv("XDG_CONFIG_HOME", home.Path() + "/config");
    fs::create_directories(home.Path() + "/config");
    std::ofstream(home.Path() + "/config/user-dirs.dirs")
        << "# written by the test\n"
        << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n"
        << "XDG_DOCUMENTS_DIR=\"" << home.Path() << "/Papers\"\n";

    struct Row {
        CFileSpec::FS_BUILTINS location;
        std::string expected;
    };
    const Row rows[] = {
        {CFileSpec::FS_MUSIC_FOLDER, home.Path() + "/Tunes/"},
        {CFileSpec::FS_DOCUMENTS_FOLDER, home.Path() + "/Papers/"},
        // Not in the file: the usual folder under $HOME.
        {CFileSpec::FS_DESKTOP_FOLDER, home.Path() + "/Desktop/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        const CFileSpec file(row.location);
        EXPECT_EQ(file.GetFullSpec(), row.expected);
        EXPECT_EQ(file.GetFullPath(), row.expected);
    }
}

TEST(CFileSpecTest, LocationsLinuxLacksAreEmpty) {
    const CFileSpec::FS_BUILTINS locations[] = {CFileSpec::FS_NONE, CFileSpec::FS_WINDOWS_FOLDER,
                                                CFileSpec::FS_SYSTEM_FOLDER,
                                                CFileSpec::FS_FAVORITES_FOLDER,
                                                // Past the last location.
                                                static_cast<CFileSpec::FS_BUILTINS>(11)};
    for (const CFileSpec::FS_BUILTINS location : locations) {
        SCOPED_TRACE(static_cast<int>(location));
        CFileSpec file("/left/over.txt");
        file.SetFullSpec(location);
        EXPECT_EQ(file.GetFullSpec(), "");
        EXPECT_FALSE(file.Exists());
    }
}

TEST(CFileSpecTest, ExistsForFilesFoldersAndLinks) {
    const ScratchFolder scratch;
    const std::string file = scratch.Path() + "/Song.MP3";
    std::ofstream(file).put('x');
    fs::create_symlink(scratch.Path() + "/missing", scratch.Path() + "/dangling");
    EXPECT_TRUE(CFileSpec(file).Exists());
    EXPECT_TRUE(CFileSpec(scratch.Path() + "/").Exists());
    EXPECT_TRUE(CFileSpec(scratch.Path() + "/dangling").Exists());
    // File systems here tell case apart.
    EXPECT_FALSE(CFileSpec(scratch.Path() + "/song.mp3").Exists());
    EXPECT_FALSE(CFileSpec(scratch.Path() + "/missing").Exists());
}

} // namespace
