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
using orvanta::test::ReadBytes;
using orvanta::test::RunShell;
using orvanta::test::WriteBytes;

const Bytes kPrevious(777, 0x5A);

class MakingRingtoneTest : public ::testing::Test, public PageFixture {
public:
    void SetUp() override { MakeSong("master.wav", 60); }
    // The song alone in its folder, and `previous` as its ringtone when given.
    void FreshSongFolder(const Bytes* previous) const {
        fs::remove_all(dir.Path("music"));
        fs::create_directory(dir.Path("music"));
        fs::copy_file(dir.Path("master.wav"), Song());
        if (previous != nullptr) {
            WriteBytes(Mp3(), *previous);
        }
    }
    std::string Song() const { return dir.Path("music/song.wav"); }
    std::string Mp3() const { return dir.Path("music/song_ringtone.mp3"); }
    EditPage* Edit() const { return qobject_cast<EditPage*>(window->TabControl()->Page(1)); }

    int Import(const std::string& song) {
        Open();
        qobject_cast<ImportPage*>(window->TabControl()->Page(0))
            ->SetSourcePath(QString::fromStdString(song));
        Next();
        return Current();
    }
    int ImportAndCreate(HookedProgressSteps::Phase cancelIn = HookedProgressSteps::kLoading) {
        Import(Song());
        progress.beforeStep = [cancelIn](HookedProgressSteps::Phase phase) {
            if (phase == cancelIn && CurrentProgressDialog() != nullptr) {
                QTest::keyClick(CurrentProgressDialog(), Qt::Key_Escape);
            }
        };
        Next();
        return Current();
    }
    // orvanta-cli with `arguments`; with `stopWhileEncoding` Ctrl-C comes once the MP3's part
    // file stands beside the song. The tool's exit status.
    int Cli(const std::string& arguments, bool stopWhileEncoding = false) const {
        const std::string run =
            std::string(ORVANTA_CLI_PATH) + " " + arguments + " >/dev/null 2>&1";
        if (!stopWhileEncoding) {
            return RunShell(run);
        }
        return RunShell(run + " & pid=$!; until ls '" + dir.Path("music") +
                        "'/.orvanta-*.part >/dev/null 2>&1 || ! kill -0 $pid 2>/dev/null; do "
                        "sleep 0.002; done; kill -INT $pid; wait $pid");
    }
};

struct Shown {
    const char* textId;
    MessageKind kind;
    std::string detailPart;
};

enum class Mp3After { None, Previous, New };

struct MakingRow {
    const char* fault;
    bool previousFile;
    std::vector<int> answers;
    std::function<int(MakingRingtoneTest&)> act; // the page reached, or the tool's exit status
    int expected;
    std::vector<Shown> shown;
    Mp3After mp3;
};

TEST_F(MakingRingtoneTest, EachFaultOfMakingIsMended) {
    const std::string song = "'" + Song() + "'";
    const std::string wav = dir.Path("ring.wav");
    const std::string chosen = dir.Path("chosen.mp3");
    const std::string music =
        QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString();
    std::vector<std::string> proposals;
    const MakingRow rows[] = {
        {"an edge dragged onto the other",
         false,
         {},
         [](MakingRingtoneTest& t) {
             t.Import(t.Song());
             WaveEditor* editor = t.Edit()->Editor();
             const QRect band = editor->Model().GetSelectionRect(editor->rect());
             const int y = editor->height() / 2;
             const QPoint rightEdge(band.left() + band.width(), y);
             QTest::mouseMove(editor, rightEdge);
             QTest::mousePress(editor, Qt::LeftButton, {}, rightEdge);
             QTest::mouseMove(editor, QPoint(band.left(), y));
             QTest::mouseRelease(editor, Qt::LeftButton, {}, QPoint(band.left(), y));
             const auto [lower, upper] = editor->GetSelectionInSeconds();
             EXPECT_LT(upper - lower, 1.0f);
             t.Next();
             return t.Current();
         },
         1,
         {{"ide_selection_too_short", MessageKind::Warning, ""}},
         Mp3After::None},
        {"cut of 999 ms",
         false,
         {},
         [&](MakingRingtoneTest& t) { return t.Cli("cut " + song + " " + wav + " 0 999"); },
         2,
         {},
         Mp3After::None},
        {"make of 999 ms",
         false,
         {},
         [&](MakingRingtoneTest& t) { return t.Cli("make " + song + " --start 5000 --end 5999"); },
         2,
         {},
         Mp3After::None},
        {"cancel while encoding",
         false,
         {},
         [](MakingRingtoneTest& t) { return t.ImportAndCreate(HookedProgressSteps::kEncoding); },
         1,
         {},
         Mp3After::None},
        {"cancel while encoding over an older ringtone",
         true,
         {IDYES},
         [](MakingRingtoneTest& t) { return t.ImportAndCreate(HookedProgressSteps::kEncoding); },
         1,
         {{"idd_confirm_replace_ringtone", MessageKind::Question, "song_ringtone.mp3"}},
         Mp3After::Previous},
        {"make stopped while encoding",
         false,
         {},
         [&](MakingRingtoneTest& t) { return t.Cli("make " + song + " --end 60000", true); },
         130,
         {},
         Mp3After::None},
        {"make stopped while encoding over an older ringtone",
         true,
         {},
         [&](MakingRingtoneTest& t) { return t.Cli("make " + song + " --end 60000", true); },
         130,
         {},
         Mp3After::Previous},
        {"an older ringtone, No",
         true,
         {IDNO},
         [](MakingRingtoneTest& t) { return t.ImportAndCreate(); },
         1,
         {{"idd_confirm_replace_ringtone", MessageKind::Question, "song_ringtone.mp3"}},
         Mp3After::Previous},
        {"an older ringtone, Yes, then made again by this job",
         true,
         {IDYES},
         [](MakingRingtoneTest& t) {
             EXPECT_EQ(t.ImportAndCreate(), 2);
             t.Previous();
             t.Next();
             return t.Current();
         },
         2,
         {{"idd_confirm_replace_ringtone", MessageKind::Question, "song_ringtone.mp3"}},
         Mp3After::New},
        {"make --no-clobber",
         true,
         {},
         [&](MakingRingtoneTest& t) { return t.Cli("make " + song + " --no-clobber"); },
         1,
         {},
         Mp3After::Previous},
        {"make without --no-clobber",
         true,
         {},
         [&](MakingRingtoneTest& t) { return t.Cli("make " + song); },
         0,
         {},
         Mp3After::New},
        {"a song whose folder takes no file",
         false,
         {},
         [&](MakingRingtoneTest& t) {
             t.Import(t.Song());
             fs::remove_all(t.dir.Path("music"));
             WriteBytes(t.dir.Path("music"), kPrevious);
             const std::string answers[] = {"", chosen};
             SetSavePathChooser([&](const std::string& proposed) {
                 proposals.push_back(proposed);
                 return answers[proposals.size() - 1];
             });
             t.Next();
             EXPECT_EQ(t.Current(), 1);
             t.Next();
             SetSavePathChooser({});
             EXPECT_EQ(proposals, std::vector<std::string>(2, music + "/song_ringtone.mp3"));
             EXPECT_TRUE(fs::is_regular_file(chosen));
             const auto* result = t.window->TabControl()->Page(2)->findChild<QPlainTextEdit*>();
             EXPECT_TRUE(result->toPlainText().endsWith(QString::fromStdString(chosen)));
             return t.Current();
         },
         2,
         {},
         Mp3After::None},
        {"a folder where the MP3 goes",
         false,
         {},
         [](MakingRingtoneTest& t) {
             fs::create_directory(t.Mp3());
             return t.ImportAndCreate();
         },
         1,
         {{"ide_internal_engine_failed", MessageKind::Error, "not a regular file"}},
         Mp3After::None},
        {"an Ogg song",
         false,
         {},
         [](MakingRingtoneTest& t) {
             WriteBytes(t.dir.Path("music/tune.ogg"), Bytes(4000, 'x'));
             return t.Import(t.dir.Path("music/tune.ogg"));
         },
         0,
         {{"ide_failed_decoding", MessageKind::Error, "vorbis"}},
         Mp3After::None},
        {"a desktop that opens nothing",
         false,
         {},
         [](MakingRingtoneTest& t) {
             EXPECT_EQ(t.ImportAndCreate(), 2);
             SetUrlOpener([](const QUrl&) { return false; });
             qobject_cast<SavePage*>(t.window->TabControl()->Page(2))->OpenFolder();
             t.window->HelpMenu()->actions().constFirst()->trigger();
             SetUrlOpener({});
             return t.Current();
         },
         2,
         {{"ide_cannot_open_on_desktop", MessageKind::Warning, "/music"},
          {"ide_cannot_open_on_desktop", MessageKind::Warning, "http"}},
         Mp3After::New},
    };
    for (const MakingRow& row : rows) {
        SCOPED_TRACE(row.fault);
        FreshSongFolder(row.previousFile ? &kPrevious : nullptr);
        progress.beforeStep = {};
        MessageRecorder messages(row.answers);
        EXPECT_EQ(row.act(*this), row.expected);
        EXPECT_EQ(messages.shown().size(), row.shown.size());
        for (std::size_t i = 0; i < std::min(row.shown.size(), messages.shown().size()); ++i) {
            EXPECT_EQ(messages.shown()[i].text, Text(row.shown[i].textId));
            EXPECT_EQ(messages.shown()[i].kind, row.shown[i].kind);
            EXPECT_NE(messages.shown()[i].detail.find(row.shown[i].detailPart), std::string::npos)
                << messages.shown()[i].detail;
        }
        const bool isFile = fs::is_regular_file(Mp3());
        EXPECT_EQ(isFile, row.mp3 != Mp3After::None);
        EXPECT_EQ(isFile && ReadBytes(Mp3()) == kPrevious, row.mp3 == Mp3After::Previous);
        window.reset();
    }
}

} // namespace
