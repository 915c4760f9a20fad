#include "PrivateTempFolder.h"

#include "TestSources.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The folder of a copy that ended without removing it, as a kill leaves it.
std::string FolderOfAnEndedCopy() {
    int made[2];
    if (::pipe(made) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const auto* folder = new orvanta::PrivateTempFolder;
        std::ofstream(folder->Path() + "song.wav") << "audio";
        ::_exit(::write(made[1], folder->Path().data(), folder->Path().size()) > 0 ? 0 : 1);
    }
    ::close(made[1]);
    char path[4096];
    const ssize_t length = ::read(made[0], path, sizeof path);
    ::close(made[0]);
    ::waitpid(child, nullptr, 0);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

TEST(PrivateTempFolderTest, TheSweepRemovesOnlyFoldersWhoseMakerIsProvedGone) {
    const orvanta::test::TempDir base;
    const std::string tmpdir = base.Path("");
    const std::string oldTmpdir = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    ASSERT_EQ(::setenv("TMPDIR", tmpdir.c_str(), 1), 0);
    const std::string ended = FolderOfAnEndedCopy();
    const orvanta::PrivateTempFolder live;
    std::string unmarked = tmpdir + "orvanta-XXXXXX";
    ASSERT_NE(::mkdtemp(unmarked.data()), nullptr);
    std::ofstream(unmarked + "/keep.txt") << "mine";
    // A link that wears the ended copy's mark points at a folder that is not ours to empty.
    ASSERT_FALSE(ended.empty());
    const std::string name = fs::path(ended).parent_path().filename().string();
    const std::string link = tmpdir + name.substr(0, name.size() - 6) + "linked";
    fs::create_directory_symlink(unmarked, link);

    EXPECT_EQ(orvanta::PrivateTempFolder::RemoveAbandoned(), 1);
    const std::pair<std::string, bool> rows[] = {
        {ended, false}, {live.Path(), true}, {unmarked + "/keep.txt", true}, {link, true}};
    for (const auto& [path, kept] : rows) {
        EXPECT_EQ(fs::exists(fs::symlink_status(path)), kept) << path;
    }
    ::setenv("TMPDIR", oldTmpdir.c_str(), 1);
}

} // namespace
