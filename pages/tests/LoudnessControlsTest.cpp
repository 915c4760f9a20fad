#include "EditPage.h"
#include "ImportPage.h"
#include "Loudness.h"
#include "PageFixture.h"
#include "WaveEditor.h"
#include "WorkFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class LoudnessControlsTest : public ::testing::Test, public PageFixture {
protected:
    EditPage* Edit() const { return qobject_cast<EditPage*>(window->TabControl()->Page(1)); }
    template <typename Control> Control* Find(const char* name) const {
        return Edit()->findChild<Control*>(name);
    }

    // A 30-second song `scale` times the music-like sound's level, imported as a person would.
    void OpenWith(double scale) {
        std::vector<int16_t> samples = orvanta::test::MusicSamples(2, 44100, 44100 * 30);
        for (int16_t& sample : samples) {
            sample = static_cast<int16_t>(std::clamp(sample * scale, -32768.0, 32767.0));
        }
        const std::string song = dir.Path("song.wav");
        orvanta::test::WriteBytes(song, orvanta::test::MakeWav16(samples, 2, 44100));
        Open();
        qobject_cast<ImportPage*>(window->TabControl()->Page(0))
            ->SetSourcePath(QString::fromStdString(song));
        Next();
        ASSERT_EQ(Current(), 1);
    }

    // The meter's figures once the newest reading is in: before and after, loudness and peak.
    std::vector<double> MeterFigures() const {
        QSignalSpy measured(Edit()->findChild<SelectionMeter*>(), &SelectionMeter::Measured);
        EXPECT_TRUE(measured.count() > 0 || measured.wait(10000));
        QString text = Find<QLabel>("loudnessMeter")->text();
        text.replace(QChar(0x2212), '-').replace(',', ' ');
        std::vector<double> figures;
        for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
            bool number = false;
            const double value = word.toDouble(&number);
            if (number) {
                figures.push_back(value);
            }
        }
        EXPECT_EQ(figures.size(), 4u) << text.toStdString();
        return figures;
    }
};

TEST_F(LoudnessControlsTest, MeterFollowsSelectionAmplifyAndNormalize) {
    OpenWith(1.0);
    const std::vector<double> start = MeterFigures();
    const auto reference =
        orvanta::MeasureWavStretch(orvanta::CurrentWorkFiles().workingWavPath, 0, 20000);
    ASSERT_TRUE(reference.has_value());
    EXPECT_NEAR(start[0], reference->integratedLufs, 0.15);
    EXPECT_NEAR(start[1], reference->truePeakDbtp, 0.15);

    Find<QComboBox>("amplify")->setCurrentIndex(8); // 130 %
    const std::vector<double> amplified = MeterFigures();
    EXPECT_NEAR(amplified[2] - amplified[0], 20 * std::log10(1.3), 0.11);

    // A selection made with the mouse is measured anew.
    Edit()->Editor()->SetSelection(20000, 30000);
    QTest::mouseRelease(Edit()->Editor(), Qt::LeftButton, Qt::NoModifier, QPoint(-5, -5));
    QCoreApplication::processEvents();
    const auto later =
        orvanta::MeasureWavStretch(orvanta::CurrentWorkFiles().workingWavPath, 20000, 30000);
    EXPECT_NEAR(MeterFigures()[0], later->integratedLufs, 0.15);

    // Many requests in a row: only the newest is answered.
    QSignalSpy measured(Edit()->findChild<SelectionMeter*>(), &SelectionMeter::Measured);
    for (int index : {6, 7, 9, 10}) {
        Find<QComboBox>("amplify")->setCurrentIndex(index);
    }
    ASSERT_TRUE(measured.wait(10000));
    QTest::qWait(300);
    EXPECT_EQ(measured.count(), 1);
    EXPECT_FLOAT_EQ(measured.at(0).at(0).value<SelectionMeter::Reading>().request.amplify, 1.5f);

    QTest::mouseClick(Find<QCheckBox>("normalize"), Qt::LeftButton);
    const std::vector<double> normalized = MeterFigures();
    EXPECT_NEAR(normalized[2], -14.0, 0.05);
    EXPECT_LE(normalized[3], -1.0);
    EXPECT_FALSE(Find<QComboBox>("amplify")->isEnabled());
    EXPECT_TRUE(QSettings().value("ringtone/normalize_loudness").toBool());
}

TEST_F(LoudnessControlsTest, ClipWarningAndRedColumnsOnlyWhereAmplifyClips) {
    OpenWith(1.8);
    const auto redColumns = [this] {
        const QImage picture = Edit()->Editor()->grab().toImage();
        int red = 0;
        for (int x = 0; x < picture.width(); ++x) {
            for (int y = 0; y < picture.height(); ++y) {
                red += picture.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
            }
        }
        return red;
    };
    for (const auto& [index, clips] : {std::pair{5, false}, {9, true}, {5, false}}) {
        Find<QComboBox>("amplify")->setCurrentIndex(index);
        MeterFigures();
        QLabel* warning = Find<QLabel>("clipWarning");
        EXPECT_EQ(warning->isVisibleTo(Edit()), clips) << index;
        EXPECT_EQ(redColumns() > 0, clips) << index;
        if (clips) {
            const QString text = warning->text();
            EXPECT_TRUE(text.endsWith(" % of the selection will clip") && text.front().isDigit())
                << text.toStdString();
        }
    }
}

} // namespace
