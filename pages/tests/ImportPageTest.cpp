#include "ImportPage.h"

#include "PageFixture.h"
#include "ProgressDialog.h"
#include "WorkFiles.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTest>
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

TEST_F(ImportPageTest, TheFileDialogOffersMp3FirstAndEveryFileLast) {
    const QStringList filters = ImportPage::FileFilters();
    ASSERT_GE(filters.size(), 3);
    EXPECT_EQ(filters.front(), "MP3(*.mp3)");
    EXPECT_EQ(filters.back(), "All files (*)");
    for (const char* extension : {"*.mp2", "*.mp1", "*.mpg", "*.wav", "*.aif", "*.raw"}) {
        EXPECT_TRUE(filters.join(' ').contains(extension)) << extension;
    }
}

} // namespace
