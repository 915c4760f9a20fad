#include "PrivateTempFolder.h"

#include "TestSources.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A process of its own that makes a private folder with a working file in it and lives until
// End kills it: the folder is never removed.
class FolderMaker {
public:
    FolderMaker() {
        int made[2];
        if (::pipe(made) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(made[0]);
            const auto* folder = new orvanta::PrivateTempFolder;
            std::ofstream(folder->Path() + "song.wav") << "audio";
            const std::string& path = folder->Path();
            if (::write(made[1], path.data(), path.size()) != static_cast<ssize_t>(path.size())) {
                ::_exit(1);
            }
            ::close(made[1]);
            for (;;) {
                ::pause();
            }
        }
        ::close(made[1]);
        char buffer[4096];
        ssize_t length = 0;
        while ((length = ::read(made[0], buffer, sizeof buffer)) > 0) {
            m_path.append(buffer, static_cast<std::size_t>(length));
        }
        ::close(made[0]);
    }
    ~FolderMaker() { End(); }
    FolderMaker(const FolderMaker&) = delete;
    FolderMaker& operator=(const FolderMaker&) = delete;

    void End() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    const std::string& Path() const { return m_path; }

private:
    pid_t m_pid = -1;
    std::string m_path;
};

std::string MakeFolder(const std::string& pattern) {
    std::string path = pattern;
    return ::mkdtemp(path.data()) != nullptr ? path + "/" : std::string();
}

TEST(PrivateTempFolderTest, TheSweepRemovesOnlyFoldersWhoseMakerIsProvedGone) {
    const orvanta::test::TempDir base;
    const std::string tmpdir = base.Path("");
    const char* const oldTmpdir = std::getenv("TMPDIR");
    const std::string restore = oldTmpdir != nullptr ? oldTmpdir : "";
    ASSERT_EQ(::setenv("TMPDIR", tmpdir.c_str(), 1), 0);
    FolderMaker dead;
    FolderMaker live;
    const orvanta::PrivateTempFolder own;
    const std::string unmarked = MakeFolder(tmpdir + "orvanta-XXXXXX");
    dead.End();
    // A link that wears the dead maker's name points at a folder that is not ours to empty.
    const fs::path deadName = fs::path(dead.Path()).parent_path().filename();
    const std::string link =
        tmpdir + deadName.string().substr(0, deadName.string().size() - 6) + "linked";
    fs::create_directory_symlink(unmarked, link);
    std::ofstream(unmarked + "keep.txt") << "mine";

    EXPECT_EQ(orvanta::PrivateTempFolder::RemoveAbandoned(), 1);
    const std::pair<std::string, bool> rows[] = {
        {dead.Path(), false},          {live.Path(), true}, {own.Path(), true},
        {unmarked + "keep.txt", true}, {link, true},
    };
    for (const auto& [path, kept] : rows) {
        EXPECT_EQ(fs::exists(fs::symlink_status(path)), kept) << path;
    }
    live.End();
    EXPECT_EQ(orvanta::PrivateTempFolder::RemoveAbandoned(), 1);
    EXPECT_FALSE(fs::exists(live.Path()));
    EXPECT_TRUE(fs::exists(own.Path()));
    if (oldTmpdir != nullptr) {
        ::setenv("TMPDIR", restore.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

} // namespace
