#include "EditPage.h"

#include "ImportPage.h"
#include "PageFixture.h"
#include "ProgressDialog.h"
#include "WaveEditor.h"
#include "WorkFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace {

namespace fs = std::filesystem;
using orvanta::test::ReadBytes;
using orvanta::test::RunShell;

class EditPageTest : public ::testing::Test, public PageFixture {
protected:
    ImportPage* Import() const { return qobject_cast<ImportPage*>(window->TabControl()->Page(0)); }
    EditPage* Edit() const { return qobject_cast<EditPage*>(window->TabControl()->Page(1)); }
    template <typename Control> Control* Find(const char* name) const {
        return Edit()->findChild<Control*>(name);
    }

    // Opens the window and imports `song` as a person would.
    void OpenWith(const std::string& song) {
        Open();
        Import()->SetSourcePath(QString::fromStdString(song));
        Next();
        ASSERT_EQ(Current(), 1);
    }

    // Drags on the waveform from column `from` to column `to`.
    void Drag(int from, int to) const {
        WaveEditor* editor = Edit()->Editor();
        const int y = editor->height() / 2;
        QTest::mouseMove(editor, QPoint(from, y));
        QTest::mousePress(editor, Qt::LeftButton, Qt::NoModifier, QPoint(from, y));
        QTest::mouseMove(editor, QPoint(to, y));
        QTest::mouseRelease(editor, Qt::LeftButton, Qt::NoModifier, QPoint(to, y));
    }

    QRect Band() const {
        return Edit()->Editor()->Model().GetSelectionRect(Edit()->Editor()->rect());
    }

    // A 30-second MP3 made by LAME from music-like sound.
    std::string MakeMp3(const std::string& name) const {
        const std::string wav = MakeSong(name + ".wav", 30);
        const std::string mp3 = dir.Path(name + ".mp3");
        EXPECT_EQ(RunShell("lame --quiet -b 128 '" + wav + "' '" + mp3 + "'"), 0);
        fs::remove(wav);
        return mp3;
    }
};

TEST_F(EditPageTest, APersonMakesARingtoneThatMatchesTheCommandLinesByteForByte) {
    const std::string song = MakeMp3("song");
    OpenWith(song);

    // Shorten the default 20 s to about 4 s by its right edge, then move the band right.
    const QRect initial = Band();
    ASSERT_FALSE(initial.isNull());
    Drag(initial.left() + initial.width(), initial.left() + initial.width() / 5);
    const QRect shortened = Band();
    Drag(shortened.center().x(), shortened.center().x() + 120);
    const auto [lower, upper] = Edit()->Editor()->GetSelectionInSeconds();
    EXPECT_GT(lower, 4.0f);
    EXPECT_NEAR(upper - lower, 4.0f, 0.5f);

    Find<QComboBox>("amplify")->setCurrentIndex(7);
    QTest::mouseClick(Find<QCheckBox>("stereo"), Qt::LeftButton);
    Find<QComboBox>("quality")->setCurrentIndex(1);

    Edit()->OnPlayButton();
    EXPECT_TRUE(Edit()->IsPlaying());
    EXPECT_TRUE(Edit()->Editor()->isEnabled()) << "the selection stays editable";
    QTRY_VERIFY_WITH_TIMEOUT(!Edit()->IsPlaying(), 15000);
    EXPECT_EQ(Edit()->Player().GetState(), "Stopped");
    EXPECT_TRUE(Edit()->Editor()->isEnabled());

    const orvanta::RingtoneSettings settings = Edit()->GatherSettings();
    EXPECT_EQ(settings.amplify, 120 * 0.01f);
    EXPECT_TRUE(settings.stereo);
    EXPECT_EQ(settings.outSampleRate, 22050);
    Next();
    ASSERT_EQ(Current(), 2);
    const std::string mp3 = dir.Path("song_ringtone.mp3");
    ASSERT_TRUE(fs::exists(mp3));

    orvanta::test::TempDir peer;
    fs::copy_file(song, peer.Path("song.mp3"));
    ASSERT_EQ(RunShell(std::string(ORVANTA_CLI_PATH) + " make '" + peer.Path("song.mp3") +
                       "' --start " + std::to_string(settings.startMs) + " --end " +
                       std::to_string(settings.endMs) +
                       " --amplify 120 --stereo --quality medium > /dev/null"),
              0);
    EXPECT_EQ(ReadBytes(mp3), ReadBytes(peer.Path("song_ringtone.mp3")));

    Previous();
    ASSERT_EQ(Current(), 1);
    EXPECT_EQ(Edit()->Editor()->GetSelectionInSeconds(), std::make_pair(lower, upper));
    EXPECT_EQ(Find<QComboBox>("amplify")->currentText(), "120%");
    EXPECT_TRUE(Find<QCheckBox>("stereo")->isChecked());

    Next();
    ASSERT_EQ(Current(), 2);
    const orvanta::WorkFiles job = orvanta::CurrentWorkFiles();
    Next();
    ASSERT_EQ(Current(), 0);
    EXPECT_TRUE(Import()->SourcePath().isEmpty());
    for (const std::string& temporary :
         {job.workingWavPath, job.peakFilePath, job.ringtoneWavPath}) {
        EXPECT_FALSE(fs::exists(temporary)) << temporary;
    }
    EXPECT_TRUE(fs::exists(mp3));
    EXPECT_TRUE(fs::exists(song));
}

TEST_F(EditPageTest, TypedTimesMakeTheRingtoneOfTheCommandLineWithAndWithoutSnapping) {
    const std::string song = MakeSong("song.wav", 40);
    OpenWith(song);
    const auto type = [this](const char* field, const char* text) {
        QLineEdit* edit = Find<QLineEdit>(field);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    };
    for (const bool snap : {false, true}) {
        SCOPED_TRACE(snap ? "snapped" : "exact");
        Find<QCheckBox>("snap")->setChecked(snap);
        type("selectionStart", "12.345");
        type("selectionEnd", "0:31.5");
        if (!snap) {
            EXPECT_EQ(Find<QLineEdit>("selectionStart")->text(), "0:12.345");
            EXPECT_EQ(Find<QLineEdit>("selectionLength")->text(), "0:19.155");
        }
        const orvanta::RingtoneSettings settings = Edit()->GatherSettings();
        EXPECT_EQ(std::pair(settings.startMs, settings.endMs), std::pair(12345, 31500));
        const auto shown = Edit()->ShownSelectionMs();
        EXPECT_LE(std::abs(shown.first - 12345), snap ? 5 : 0);
        EXPECT_LE(std::abs(shown.second - 31500), snap ? 5 : 0);
        Next();
        ASSERT_EQ(Current(), 2);
        orvanta::test::TempDir peer;
        fs::copy_file(song, peer.Path("song.wav"));
        ASSERT_EQ(RunShell(std::string(ORVANTA_CLI_PATH) + " make '" + peer.Path("song.wav") +
                           "' --start 12345 --end 31500" + (snap ? " --snap" : "") +
                           " > /dev/null"),
                  0);
        EXPECT_EQ(ReadBytes(dir.Path("song_ringtone.mp3")),
                  ReadBytes(peer.Path("song_ringtone.mp3")));
        Previous();
        ASSERT_EQ(Current(), 1);
    }
}

// Counts the player's events by name while it lives.
class EventCounter : public IObserver {
public:
    EventCounter(orvanta::MediaPlayer& player, std::initializer_list<const char*> names)
        : m_player(player) {
        for (const char* name : names) {
            m_player.AddObserver(this, name, 0);
        }
    }
    ~EventCounter() override { m_player.RemoveObserver(this); }
    void Update(ISubject*, std::string event, uint32_t, uint32_t arg1, uint32_t) override {
        ++counts[event];
        lastArg1[event] = arg1;
    }
    std::map<std::string, int> counts;
    std::map<std::string, uint32_t> lastArg1;

private:
    orvanta::MediaPlayer& m_player;
};

TEST_F(EditPageTest, ALoopPlaysEachPassWithItsFadesUntilStop) {
    OpenWith(MakeSong("song.wav", 10));
    Edit()->OnSelectionTyped(1000, 4200); // 1 s fades
    Find<QCheckBox>("loop")->setChecked(true);
    Find<QCheckBox>("fadeIn")->setChecked(false); // a loop plays the file's fades regardless
    EventCounter events(Edit()->Player(), {"Playing", "FadingIn", "FadingOut", "Stopped"});
    Edit()->OnPlayButton();
    QTRY_VERIFY_WITH_TIMEOUT(events.counts["FadingOut"] == 3, 30000);
    EXPECT_EQ(events.counts["Playing"], 3);
    EXPECT_EQ(events.counts["FadingIn"], 3);
    EXPECT_TRUE(Edit()->IsPlaying());

    Edit()->OnPlayButton();
    EXPECT_FALSE(Edit()->IsPlaying());
    EXPECT_EQ(Edit()->Player().GetState(), "Stopped");
    QTest::qWait(500);
    EXPECT_EQ(events.counts["Playing"], 3) << "no pass after Stop";
}

TEST_F(EditPageTest, AnEditDuringThePreviewPlaysTheNewSelectionAtOnce) {
    OpenWith(MakeSong("song.wav", 10));
    Edit()->OnSelectionTyped(1000, 6000);
    EventCounter events(Edit()->Player(), {"Playing", "PositionsChanged"});
    Edit()->OnPlayButton();
    QTest::qWait(300);
    Edit()->OnSelectionTyped(2500, 6000);
    EXPECT_TRUE(Edit()->IsPlaying());
    EXPECT_EQ(events.counts["Playing"], 2);
    EXPECT_EQ(events.lastArg1["PositionsChanged"], 2500u);
    Edit()->OnPlayButton();
    EXPECT_FALSE(Edit()->IsPlaying());
}

TEST_F(EditPageTest, AFailedOrCancelledNextStaysWithAWorkingPreview) {
    const std::string song = MakeSong("song.wav", 6);
    OpenWith(song);
    const std::string mp3 = dir.Path("song_ringtone.mp3");
    const struct {
        const char* what;
        HookedProgressSteps::Phase cancelIn;
        bool folderInTheWay;
        const char* message; // nullptr: none
    } rows[] = {
        {"cancel while cutting", HookedProgressSteps::kSplitting, false, nullptr},
        {"cancel while encoding", HookedProgressSteps::kEncoding, false, nullptr},
        {"a folder where the MP3 goes", HookedProgressSteps::kLoading, true,
         "ide_internal_engine_failed"},
    };
    for (const auto& row : rows) {
        progress.beforeStep = [&row](HookedProgressSteps::Phase current) {
            if (current == row.cancelIn && CurrentProgressDialog() != nullptr) {
                QTest::keyClick(CurrentProgressDialog(), Qt::Key_Escape);
            }
        };
        if (row.folderInTheWay) {
            fs::remove(mp3);
            fs::create_directory(mp3);
        }
        MessageRecorder messages;
        Next();
        EXPECT_EQ(Current(), 1) << row.what;
        ASSERT_EQ(messages.shown().size(), row.message != nullptr ? 1u : 0u) << row.what;
        if (row.message != nullptr) {
            EXPECT_EQ(messages.shown()[0].text, Text(row.message)) << row.what;
        }
        EXPECT_EQ(CurrentProgressDialog(), nullptr) << row.what;
        EXPECT_TRUE(window->isEnabled()) << row.what;
        EXPECT_EQ(Edit()->Player().GetState(), "Loaded") << row.what;
        for (const auto& entry : fs::directory_iterator(dir.Path(""))) {
            EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << row.what;
        }
    }
    EXPECT_TRUE(fs::is_directory(mp3));
}

TEST_F(EditPageTest, ClosingTheWindowDuringALongStepAsksFirstAndYesStopsItAndQuits) {
    OpenWith(MakeSong("song.wav", 6));
    bool closed = false;
    progress.beforeStep = [&](HookedProgressSteps::Phase phase) {
        if (phase == HookedProgressSteps::kSplitting && !closed) {
            closed = true;
            window->close();
        }
    };
    MessageRecorder messages;
    Next();
    ASSERT_EQ(messages.shown().size(), std::size_t{1});
    EXPECT_EQ(messages.shown()[0].text, Text("idd_confirm_exit"));
    EXPECT_EQ(Current(), 1);
    EXPECT_FALSE(fs::exists(dir.Path("song_ringtone.mp3")));
    QTRY_VERIFY(!window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(EditPageTest, TheScrollBarAndTheViewAlwaysAgree) {
    OpenWith(MakeSong("song.wav", 20));
    QScrollBar* bar = Find<QScrollBar>("scrollBar");
    WaveEditor* editor = Edit()->Editor();
    const auto agree = [&](const char* step) {
        EXPECT_EQ(bar->maximum(), editor->GetScrollRange().second) << step;
        EXPECT_EQ(bar->value(), editor->ScrollPosition()) << step;
    };
    agree("loaded");
    for (int zoom = 0; zoom < 3; ++zoom) {
        Edit()->OnZoomCommand(EditPage::kZoomIn);
    }
    agree("zoomed in");
    ASSERT_GT(bar->maximum(), 20);
    const int page = bar->maximum() / 10;
    const struct {
        QAbstractSlider::SliderAction action;
        int expected;
    } steps[] = {
        {QAbstractSlider::SliderToMinimum, 0},
        {QAbstractSlider::SliderSingleStepSub, 0},
        {QAbstractSlider::SliderSingleStepAdd, 1},
        {QAbstractSlider::SliderPageStepAdd, 1 + page},
        {QAbstractSlider::SliderPageStepSub, 1},
        {QAbstractSlider::SliderPageStepSub, 0},
        {QAbstractSlider::SliderToMaximum, bar->maximum()},
        {QAbstractSlider::SliderPageStepAdd, bar->maximum()},
        {QAbstractSlider::SliderSingleStepAdd, bar->maximum()},
    };
    for (const auto& step : steps) {
        bar->triggerAction(step.action);
        EXPECT_EQ(bar->value(), step.expected) << step.action;
        agree("scrolled");
    }
    Edit()->OnZoomCommand(EditPage::kZoomOut);
    agree("zoomed out from the end");
    Edit()->OnZoomCommand(EditPage::kZoomFit);
    agree("fitted");
    EXPECT_EQ(bar->maximum(), 0);
}

} // namespace
