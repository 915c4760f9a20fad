#include "ImportPage.h"

#include "PageFixture.h"
#include "ProgressDialog.h"
#include "WorkFiles.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class ImportPageTest : public ::testing::Test, public PageFixture {
protected:
    ImportPage* ImportPageOf() const {
        return qobject_cast<ImportPage*>(window->TabControl()->Page(0));
    }
    void Type(const std::string& path) const {
        ImportPageOf()->SetSourcePath(QString::fromStdString(path));
    }
};

bool SameJob(const orvanta::WorkFiles& left, const orvanta::WorkFiles& right) {
    return left.sourcePath == right.sourcePath && left.workingWavPath == right.workingWavPath &&
           left.peakFilePath == right.peakFilePath &&
           left.ringtoneWavPath == right.ringtoneWavPath &&
           left.ringtoneMp3Path == right.ringtoneMp3Path;
}

TEST_F(ImportPageTest, ASuccessfulImportFillsTheJobFromAFolderOfItsOwn) {
    Open();
    const std::string song = MakeSong("My Song.wav", 2);
    Type(song);
    Next();
    ASSERT_EQ(Current(), 1);
    const orvanta::WorkFiles& files = orvanta::CurrentWorkFiles();
    EXPECT_EQ(files.sourcePath, song);
    EXPECT_EQ(files.ringtoneMp3Path, dir.Path("My Song_ringtone.mp3"));
    const fs::path folder = fs::path(files.workingWavPath).parent_path();
    EXPECT_EQ(folder.parent_path(), fs::path(tempFolder.Path("")).parent_path());
    EXPECT_EQ(fs::path(files.workingWavPath).filename(), "My Song.wav");
    EXPECT_EQ(fs::path(files.peakFilePath).filename(), "My Song.wfp");
    EXPECT_EQ(fs::path(files.ringtoneWavPath).filename(), "My Song_ringtone.wav");
    EXPECT_GT(fs::file_size(files.workingWavPath), 44u);
    EXPECT_GT(fs::file_size(files.peakFilePath), 4u);
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(CurrentProgressDialog(), nullptr);
    EXPECT_TRUE(window->isEnabled());
}

// The peak file comes from the samples as the decode wrote them, not from the working WAV:
// silencing the WAV when the peak step begins leaves the waveform as it was.
TEST_F(ImportPageTest, ThePeakStepDoesNotReadTheWorkingWav) {
    Open();
    Type(MakeSong("song.wav", 2));
    progress.beforeStep = [this](HookedProgressSteps::Phase phase) {
        for (const std::string& entry : TempEntries()) {
            if (phase == HookedProgressSteps::kWaveform &&
                fs::path(entry).filename() == "song.wav") {
                orvanta::test::Bytes wav = orvanta::test::ReadBytes(entry);
                std::fill(wav.begin() + 44, wav.end(), uint8_t{0});
                orvanta::test::WriteBytes(entry, wav);
            }
        }
    };
    Next();
    ASSERT_EQ(Current(), 1);
    const orvanta::test::Bytes peaks =
        orvanta::test::ReadBytes(orvanta::CurrentWorkFiles().peakFilePath);
    // Read from the silenced WAV, all but the values of its first samples would be zero.
    EXPECT_GT(std::count_if(peaks.begin() + 4, peaks.end(), [](uint8_t byte) { return byte != 0; }),
              100);
}

TEST_F(ImportPageTest, ABadSourceShowsItsMessageAndKeepsThePreviousJob) {
    Open();
    Type(MakeSong("old.wav", 1));
    Next();
    ASSERT_EQ(Current(), 1);
    Previous();
    ASSERT_EQ(Current(), 0);
    const orvanta::WorkFiles previous = orvanta::CurrentWorkFiles();
    const std::vector<std::string> entriesBefore = TempEntries();

    fs::create_directory(dir.Path("folder.mp3"));
    orvanta::test::WriteBytes(dir.Path("song.ogg"), {'O', 'g', 'g', 'S', 0, 2, 0, 0});
    orvanta::test::WriteBytes(dir.Path("notes.wav"), {'h', 'e', 'l', 'l', 'o'});
    const struct {
        std::string typed;
        const char* message;
    } rows[] = {
        {"", "ide_must_select_song"},
        {dir.Path("missing.mp3"), "ide_failed_decoding"},
        {dir.Path("song.ogg"), "ide_failed_decoding"},
        {dir.Path("folder.mp3"), "ide_failed_decoding"},
        {dir.Path("notes.wav"), "ide_failed_decoding"},
    };
    for (const auto& row : rows) {
        MessageRecorder messages;
        Type(row.typed);
        Next();
        EXPECT_EQ(Current(), 0) << row.typed;
        ASSERT_EQ(messages.shown().size(), 1u) << row.typed;
        EXPECT_EQ(messages.shown()[0].text, Text(row.message)) << row.typed;
        EXPECT_TRUE(SameJob(orvanta::CurrentWorkFiles(), previous)) << row.typed;
        EXPECT_EQ(TempEntries(), entriesBefore) << row.typed;
        EXPECT_EQ(CurrentProgressDialog(), nullptr) << row.typed;
        EXPECT_TRUE(window->isEnabled()) << row.typed;
    }
}

TEST_F(ImportPageTest, AnOpenedSongLoadsButReplacesARunningJobOnlyAfterYesAndOnlyWhenItImports) {
    Open();
    fs::create_directory(dir.Path("folder.wav"));
    orvanta::test::WriteBytes(dir.Path("notes.wav"), {'h', 'e', 'l', 'l', 'o'});
    const std::string running = MakeSong("running.wav", 1);
    const std::string good = MakeSong("good.wav", 1);
    const std::string missing = dir.Path("missing.wav");
    const char* const ask = "idd_open_replaces_job";
    const char* const failed = "ide_failed_decoding";
    const struct {
        bool overJob;
        std::string path;
        int answer;
        std::vector<const char*> messages;
        bool loads;
    } rows[] = {
        {false, good, IDYES, {}, true},
        {false, missing, IDYES, {failed}, false},
        {true, good, IDYES, {ask}, true},
        {true, good, IDNO, {ask}, false},
        {true, missing, IDYES, {ask, failed}, false},
        {true, dir.Path("folder.wav"), IDYES, {ask, failed}, false},
        {true, dir.Path("notes.wav"), IDYES, {ask, failed}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path + (row.overJob ? " over a job" : ""));
        if (Current() != 0) {
            Previous();
        }
        if (row.overJob) {
            Type(running);
            Next();
            ASSERT_EQ(Current(), 1);
        }
        const orvanta::WorkFiles before = orvanta::CurrentWorkFiles();
        MessageRecorder messages({row.answer});
        ImportPageOf()->OpenFile(QString::fromStdString(row.path));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return messages.shown().size() == row.messages.size() &&
                   (!row.loads || orvanta::CurrentWorkFiles().sourcePath == row.path);
        }));
        for (std::size_t index = 0; index < row.messages.size(); ++index) {
            EXPECT_EQ(messages.shown()[index].text, Text(row.messages[index]));
        }
        EXPECT_EQ(Current(), row.loads || row.overJob ? 1 : 0);
        if (row.loads) {
            EXPECT_GT(fs::file_size(orvanta::CurrentWorkFiles().workingWavPath), 44u);
        } else {
            EXPECT_TRUE(SameJob(orvanta::CurrentWorkFiles(), before));
            EXPECT_EQ(fs::exists(before.workingWavPath), row.overJob);
        }
    }
}

TEST_F(ImportPageTest, ASongOpenedDuringAStepWaitsForItsEnd) {
    Open();
    const std::string first = MakeSong("first.wav", 2);
    const std::string second = MakeSong("second.wav", 1);
    bool handed = false;
    progress.beforeStep = [this, &second, &handed](HookedProgressSteps::Phase) {
        if (!handed) {
            handed = true;
            ImportPageOf()->OpenFile(QString::fromStdString(second));
            // The step goes on pumping events, as a long one does.
            QTest::qWait(300);
        }
    };
    MessageRecorder messages({IDYES});
    Type(first);
    Next();
    ASSERT_EQ(Current(), 1);
    EXPECT_EQ(orvanta::CurrentWorkFiles().sourcePath, first);
    EXPECT_TRUE(messages.shown().empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return orvanta::CurrentWorkFiles().sourcePath == second; }));
    EXPECT_EQ(Current(), 1);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, Text("idd_open_replaces_job"));
}

TEST_F(ImportPageTest, CancellingEitherPhaseStaysSilentlyAndLeavesNothing) {
    Open();
    const std::string song = MakeSong("song.wav", 2);
    for (const auto phase : {HookedProgressSteps::kLoading, HookedProgressSteps::kWaveform}) {
        progress.beforeStep = [phase](HookedProgressSteps::Phase current) {
            if (current == phase && CurrentProgressDialog() != nullptr) {
                QTest::keyClick(CurrentProgressDialog(), Qt::Key_Escape);
            }
        };
        Type(song);
        Next();
        EXPECT_EQ(Current(), 0) << phase;
        EXPECT_TRUE(orvanta::CurrentWorkFiles().sourcePath.empty()) << phase;
        EXPECT_TRUE(TempEntries().empty()) << phase;
        EXPECT_EQ(CurrentProgressDialog(), nullptr) << phase;
        EXPECT_TRUE(window->isEnabled()) << phase;
    }
}

TEST_F(ImportPageTest, ClosingTheWindowRemovesTheJobsFolderButNeverTheSong) {
    Open();
    const std::string song = MakeSong("song.wav", 1);
    Type(song);
    Next();
    ASSERT_EQ(Current(), 1);
    ASSERT_FALSE(TempEntries().empty());
    window.reset();
    EXPECT_EQ(TempEntries(), std::vector<std::string>{});
    EXPECT_TRUE(fs::exists(song));
}

TEST_F(ImportPageTest, AFileDroppedOnTheWindowFillsThePathBox) {
    Open();
    const std::string song = MakeSong("dropped.wav", 1);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(song))});
    const QPoint centre = window->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(ImportPageOf()->SourcePath().toStdString(), song);
}

TEST_F(ImportPageTest, BrowseOffersEverySupportedFileFirstAndStartsInTheTypedLastOrMusicFolder) {
    Open();
    const QString music = QDir::homePath() + "/Music";
    ASSERT_TRUE(QDir().mkpath(music));
    fs::create_directory(dir.Path("other"));
    const std::string typed = MakeSong("typed.wav", 1);
    const std::string other = dir.Path("other/Other.WAV");
    fs::copy_file(typed, other);
    const QString folder = QString::fromStdString(dir.Path("")).chopped(1);
    const struct {
        std::string typed;
        QString startFolder;
        std::string chosen;
    } rows[] = {
        {"", music, other},
        {typed, folder, other},
        {dir.Path("gone/song.wav"), folder + "/other", typed},
        {"", folder, typed},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        Type(row.typed);
        QString started;
        QStringList filters;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            started = dialog->directory().absolutePath();
            filters = dialog->nameFilters();
            dialog->selectFile(QString::fromStdString(row.chosen));
            static_cast<QDialog*>(dialog)->accept();
        });
        ImportPageOf()->Browse();
        EXPECT_EQ(started, row.startFolder);
        EXPECT_EQ(ImportPageOf()->SourcePath().toStdString(), row.chosen);
        ASSERT_FALSE(filters.isEmpty());
        EXPECT_TRUE(filters.front().startsWith("All supported files ("))
            << filters.front().toStdString();
        for (const char* extension :
             {"mp3", "mp2", "mp1", "mpg", "wav", "aif", "aiff", "aifc", "raw", "pcm"}) {
            for (const QString& pattern :
                 {QString("*.") + extension, QString("*.") + QString(extension).toUpper()}) {
                EXPECT_TRUE(filters.front().split(QRegularExpression("[ ()]")).contains(pattern))
                    << pattern.toStdString();
            }
        }
        EXPECT_EQ(filters.back(), "All files (*)");
    }
}

} // namespace
