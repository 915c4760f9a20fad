#include "EditPage.h"
#include "ImportPage.h"
#include "PageFixture.h"
#include "ProgressDialog.h"
#include "SavePage.h"
#include "WaveEditor.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using orvanta::test::Bytes;

const Bytes kPrevious(777, 0x5A);

enum class Act { Create, Cancel, CreateTwice, Short, NoFolder, FolderAtMp3, NoDesktop, Cli, Stop };
enum class Left { NoMp3, Previous, NewMp3 };

struct MakingRow {
    const char* fault;
    Act act;
    bool previous;         // an older file of the ringtone's name
    int answer;            // to the first message
    const char* arguments; // of orvanta-cli: the command, then what follows the song
    int expected;          // the page reached, or the tool's exit status
    const char* message;   // the last one shown, if any
    MessageKind kind;
    const char* detailPart;
    Left left;
};

class MakingRingtoneTest : public ::testing::Test, public PageFixture {
protected:
    std::string Song() const { return dir.Path("music/song.wav"); }
    std::string Mp3() const { return dir.Path("music/song_ringtone.mp3"); }
    QWidget* Page(int index) const { return window->TabControl()->Page(index); }

    // Imports the song and presses Create Ringtone, with Cancel pressed while encoding if asked.
    int Create(bool cancel, const std::function<void()>& beforeCreate = {}) {
        Open();
        qobject_cast<ImportPage*>(Page(0))->SetSourcePath(QString::fromStdString(Song()));
        Next();
        progress.beforeStep = [cancel](HookedProgressSteps::Phase phase) {
            if (cancel && phase == HookedProgressSteps::kEncoding) {
                QTest::keyClick(CurrentProgressDialog(), Qt::Key_Escape);
            }
        };
        if (beforeCreate) {
            beforeCreate();
        }
        Next();
        return Current();
    }
    // orvanta-cli's exit status; `stop` sends Ctrl-C once the MP3's part file is there.
    int Cli(const std::string& arguments, bool stop) const {
        const std::string run = ORVANTA_CLI_PATH " " + arguments + " >/dev/null 2>&1";
        return orvanta::test::RunShell(
            !stop ? run
                  : run + " & pid=$!; until ls " + dir.Path("music") +
                        "/.orvanta-*.part || ! kill -0 $pid; do sleep 0.002; done >/dev/null "
                        "2>&1; kill -INT $pid; wait $pid");
    }
    // Answers the save dialog with Cancel first, then with `chosen`.
    int WithoutFolder(const std::string& chosen) {
        Create(false, [&] {
            fs::remove_all(dir.Path("music"));
            orvanta::test::WriteBytes(dir.Path("music"), kPrevious); // a file where it was
            SetSavePathChooser([&](const std::string& proposed) {
                proposals.push_back(proposed);
                return proposals.size() == 1 ? std::string() : chosen;
            });
        });
        EXPECT_EQ(Current(), 1);
        Next();
        SetSavePathChooser({});
        EXPECT_TRUE(Page(2)->findChild<QPlainTextEdit*>()->toPlainText().endsWith(
            QString::fromStdString(chosen)));
        return Current();
    }

    int Run(const MakingRow& row) {
        switch (row.act) {
        case Act::Create:
            return Create(false);
        case Act::Cancel:
            return Create(true);
        case Act::CreateTwice:
            Create(false);
            Previous();
            Next();
            return Current();
        case Act::Short:
            return Create(false, [this] {
                qobject_cast<EditPage*>(Page(1))->Editor()->SetSelection(5000, 5000);
            });
        case Act::NoFolder:
            return WithoutFolder(dir.Path("chosen.mp3"));
        case Act::FolderAtMp3:
            fs::create_directory(Mp3());
            return Create(false);
        case Act::NoDesktop:
            Create(false);
            SetUrlOpener([](const QUrl&) { return false; });
            qobject_cast<SavePage*>(Page(2))->OpenFolder();
            window->HelpMenu()->actions().constFirst()->trigger();
            SetUrlOpener({});
            return Current();
        case Act::Cli:
        case Act::Stop:
            break;
        }
        const std::string arguments = row.arguments;
        const std::size_t command = arguments.find(' ');
        return Cli(arguments.substr(0, command) + " " + Song() + arguments.substr(command),
                   row.act == Act::Stop);
    }

    std::vector<std::string> proposals;
};

TEST_F(MakingRingtoneTest, EachFaultOfMakingIsMended) {
    MakeSong("master.wav", 60);
    const MessageKind replace = MessageKind::Question;
    const MessageKind kNone = MessageKind::Information;
    const MakingRow rows[] = {
        {"an empty selection", Act::Short, false, IDOK, "", 1, "ide_selection_too_short",
         MessageKind::Warning, "", Left::NoMp3},
        {"cut of 999 ms", Act::Cli, false, IDOK, "cut /dev/null 0 999", 2, nullptr, kNone, "",
         Left::NoMp3},
        {"make of 999 ms", Act::Cli, false, IDOK, "make --start 9 --end 1008", 2, nullptr, kNone,
         "", Left::NoMp3},
        {"cancel while encoding", Act::Cancel, false, IDOK, "", 1, nullptr, kNone, "", Left::NoMp3},
        {"cancel over an older file", Act::Cancel, true, IDYES, "", 1,
         "idd_confirm_replace_ringtone", replace, "song_ringtone.mp3", Left::Previous},
        {"make stopped while encoding", Act::Stop, false, IDOK, "make --end 60000", 130, nullptr,
         kNone, "", Left::NoMp3},
        {"make stopped over an older file", Act::Stop, true, IDOK, "make --end 60000", 130, nullptr,
         kNone, "", Left::Previous},
        {"an older file, No", Act::Create, true, IDNO, "", 1, "idd_confirm_replace_ringtone",
         replace, "", Left::Previous},
        {"an older file, Yes, then again", Act::CreateTwice, true, IDYES, "", 2,
         "idd_confirm_replace_ringtone", replace, "", Left::NewMp3},
        {"make --no-clobber", Act::Cli, true, IDOK, "make --no-clobber", 1, nullptr, kNone, "",
         Left::Previous},
        {"a folder that takes no file", Act::NoFolder, false, IDOK, "", 2, nullptr, kNone, "",
         Left::NoMp3},
        {"a folder where the MP3 goes", Act::FolderAtMp3, false, IDOK, "", 1,
         "ide_internal_engine_failed", MessageKind::Error, "not a regular file", Left::NoMp3},
        {"a desktop that opens nothing", Act::NoDesktop, false, IDOK, "", 2,
         "ide_cannot_open_on_desktop", MessageKind::Warning, "http", Left::NewMp3},
    };
    for (const MakingRow& row : rows) {
        SCOPED_TRACE(row.fault);
        fs::remove_all(dir.Path("music"));
        fs::create_directory(dir.Path("music"));
        fs::copy_file(dir.Path("master.wav"), Song());
        if (row.previous) {
            orvanta::test::WriteBytes(Mp3(), kPrevious);
        }
        MessageRecorder messages({row.answer});
        EXPECT_EQ(Run(row), row.expected);
        // A row with a message shows just that one; only a failing desktop is met twice.
        EXPECT_EQ(messages.shown().size(), row.message == nullptr      ? 0u
                                           : row.act == Act::NoDesktop ? 2u
                                                                       : 1u);
        if (row.message != nullptr && !messages.shown().empty()) {
            EXPECT_EQ(messages.shown().back().text, Text(row.message));
            EXPECT_EQ(messages.shown().back().kind, row.kind);
            EXPECT_NE(messages.shown().back().detail.find(row.detailPart), std::string::npos);
        }
        const bool mp3 = fs::is_regular_file(Mp3());
        EXPECT_EQ(mp3, row.left != Left::NoMp3);
        EXPECT_EQ(mp3 && orvanta::test::ReadBytes(Mp3()) == kPrevious, row.left == Left::Previous);
        window.reset();
    }
    const std::string music =
        QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString();
    EXPECT_EQ(proposals, std::vector<std::string>(2, music + "/song_ringtone.mp3"));
    EXPECT_TRUE(fs::is_regular_file(dir.Path("chosen.mp3")));
}

} // namespace
