#include "EditPage.h"
#include "GstRingtoneEncoder.h"
#include "ImportPage.h"
#include "PageFixture.h"
#include "ProgressDialog.h"
#include "WaveEditor.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStandardItemModel>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using orvanta::test::ReadBytes;
using orvanta::test::RunShell;

class FormatChoiceTest : public ::testing::Test, public PageFixture {
protected:
    EditPage* Edit() const { return qobject_cast<EditPage*>(window->TabControl()->Page(1)); }
    QComboBox* Format() const { return Edit()->findChild<QComboBox*>("format"); }
};

TEST_F(FormatChoiceTest, APersonMakesAnIPhoneRingtoneAndALongSelectionIsRefused) {
    const std::string song = MakeSong("song.wav", 50);
    Open();
    qobject_cast<ImportPage*>(window->TabControl()->Page(0))
        ->SetSourcePath(QString::fromStdString(song));
    Next();
    ASSERT_EQ(Current(), 1);
    ASSERT_NE(Format(), nullptr);
    EXPECT_EQ(Format()->currentText().toStdString(), Text("idd_format_mp3"));
    Format()->setCurrentIndex(Format()->findText(QString::fromStdString(Text("idd_format_m4r"))));
    EXPECT_EQ(QSettings().value("Settings/ringtone_format").toString(), "m4r");

    Next();
    ASSERT_EQ(Current(), 2);
    const std::string m4r = dir.Path("song_ringtone.m4r");
    EXPECT_FALSE(fs::exists(dir.Path("song_ringtone.mp3")));
    EXPECT_EQ(RunShell("ffprobe -v error -show_entries format_tags=title,major_brand -of "
                       "default=nw=1 '" +
                       m4r + "' > '" + dir.Path("probe.txt") + "'"),
              0);
    const orvanta::test::Bytes probe = ReadBytes(dir.Path("probe.txt"));
    EXPECT_EQ(std::string(probe.begin(), probe.end()),
              "TAG:major_brand=M4A \nTAG:title=song (ringtone)\n");
    const auto* result = window->TabControl()->Page(2)->findChild<QPlainTextEdit*>("result");
    EXPECT_EQ(result->toPlainText().toStdString(), Text("idd_saving_description_format") + "\n\n" +
                                                       m4r + "\n\n" +
                                                       Text("idd_saving_advice_m4r"));

    Previous();
    const orvanta::test::Bytes written = ReadBytes(m4r);
    Edit()->Editor()->SetSelection(2000, 47000);
    bool cut = false;
    progress.beforeStep = [&cut](HookedProgressSteps::Phase) { cut = true; };
    MessageRecorder messages;
    Next();
    EXPECT_EQ(Current(), 1);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, Text("ide_m4r_too_long"));
    EXPECT_EQ(Text("ide_m4r_too_long"), orvanta::M4rTooLongMessage()); // orvanta-cli's words
    EXPECT_FALSE(cut);
    EXPECT_EQ(ReadBytes(m4r), written);

    // Cancel in the progress window while GStreamer encodes: the page stays, the M4R as it was.
    Edit()->Editor()->SetSelection(2000, 12000);
    progress.beforeStep = [](HookedProgressSteps::Phase phase) {
        if (phase == HookedProgressSteps::kEncoding && CurrentProgressDialog() != nullptr) {
            QTest::keyClick(CurrentProgressDialog(), Qt::Key_Escape);
        }
    };
    Next();
    EXPECT_EQ(Current(), 1);
    EXPECT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(ReadBytes(m4r), written);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path("")), fs::directory_iterator()), 3);

    const EditPage another;
    EXPECT_EQ(another.findChild<QComboBox*>("format")->currentText().toStdString(),
              Text("idd_format_m4r"));
}

// Without the AAC encoder (a plug-in registry that lacks FFmpeg's plug-in, in a child process)
// the iPhone format is greyed, says which package brings it, and a remembered choice of it falls
// back to MP3.
TEST_F(FormatChoiceTest, AMissingEncoderGreysItsFormatAndNamesThePackage) {
    if (std::getenv("ORVANTA_TEST_WITHOUT_LIBAV") == nullptr) {
        const orvanta::test::TempDir registry;
        fs::create_directory(registry.Path("plugins"));
        for (const auto& plugin : fs::directory_iterator(ORVANTA_GST_PLUGINS_DIR)) {
            if (plugin.path().filename() != "libgstlibav.so") {
                fs::create_symlink(plugin.path(),
                                   fs::path(registry.Path("plugins")) / plugin.path().filename());
            }
        }
        EXPECT_EQ(
            RunShell(
                "ORVANTA_TEST_WITHOUT_LIBAV=1 GST_PLUGIN_PATH_1_0= GST_PLUGIN_SYSTEM_PATH_1_0='" +
                registry.Path("plugins") + "' GST_REGISTRY_1_0='" + registry.Path("r.bin") +
                "' /proc/" + std::to_string(::getpid()) +
                "/exe "
                "--gtest_filter=FormatChoiceTest.AMissingEncoderGreysItsFormatAndNamesThePackage"
                " > /dev/null"),
            0);
        return;
    }
    EXPECT_EQ(Text("ide_format_missing_plugin"), orvanta::kMissingElementsText);
    QSettings().setValue("Settings/ringtone_format", "m4r");
    const EditPage page;
    const auto* format = page.findChild<QComboBox*>("format");
    const auto* model = qobject_cast<QStandardItemModel*>(format->model());
    EXPECT_EQ(format->currentIndex(), 0);
    const struct {
        bool enabled;
        std::string tip;
    } items[] = {{true, ""},
                 {false, orvanta::DescribeMissingElements({"avenc_aac", "gstreamer1.0-libav"},
                                                          Text("ide_format_missing_plugin"))},
                 {true, ""}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(model->item(i)->isEnabled(), items[i].enabled) << i;
        EXPECT_EQ(format->itemData(i, Qt::ToolTipRole).toString().toStdString(), items[i].tip) << i;
    }
}

} // namespace
