#include "EditPage.h"
#include "ImportPage.h"
#include "PageFixture.h"
#include "WaveEditor.h"

#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

class WindowGrowthTest : public ::testing::Test, public PageFixture {
protected:
    EditPage* Edit() const { return qobject_cast<EditPage*>(window->TabControl()->Page(1)); }
    QScrollBar* Bar() const { return Edit()->findChild<QScrollBar*>("scrollBar"); }

    // The scroll bar shows the editor's range and position, and the band is where the
    // selection's times put it in the view.
    void ExpectViewInAgreement(std::pair<int32_t, int32_t> selection, int32_t zoom,
                               int bandColumn) const {
        WaveEditor* editor = Edit()->Editor();
        EXPECT_EQ(editor->Model().SelectionMs(), selection);
        EXPECT_EQ(editor->Model().Zoom(), zoom);
        EXPECT_EQ(Bar()->maximum(), editor->GetScrollRange().second);
        EXPECT_EQ(Bar()->value(), editor->ScrollPosition());
        EXPECT_LE(editor->ScrollPosition(), editor->GetScrollRange().second);
        EXPECT_EQ(Bar()->width(), editor->width());
        const QRect band = editor->Model().GetSelectionRect(editor->rect());
        EXPECT_EQ(band.x() + editor->ScrollPosition(), bandColumn);
    }
};

// Scrolled to the song's end, the window grows (maximised, then to a size of its own) and comes
// back to its designed size: the waveform takes the width, the controls below stay on the page.
TEST_F(WindowGrowthTest, AGrowingWindowWidensTheWaveformAndKeepsTheViewInAgreement) {
    Open();
    qobject_cast<ImportPage*>(window->TabControl()->Page(0))
        ->SetSourcePath(QString::fromStdString(MakeSong("song.wav", 60)));
    Next();
    ASSERT_EQ(Current(), 1);
    WaveEditor* editor = Edit()->Editor();
    editor->SetSelection(50000, 58000);
    Edit()->OnZoomCommand(EditPage::kZoomIn);
    Bar()->setValue(Bar()->maximum());
    const int designedWidth = editor->width();
    const auto selection = editor->Model().SelectionMs();
    const int32_t zoom = editor->Model().Zoom();
    const int bandColumn =
        editor->Model().GetSelectionRect(editor->rect()).x() + editor->ScrollPosition();
    ExpectViewInAgreement(selection, zoom, bandColumn);

    const std::function<void()> sizes[] = {[this] { window->showMaximized(); },
                                           [this] {
                                               window->showNormal();
                                               window->resize(1000, 700);
                                           },
                                           [this] { window->resize(window->minimumSize()); }};
    const int expectedGrowth[] = {1, 1, 0};
    for (int step = 0; step < 3; ++step) {
        sizes[step]();
        QTest::qWait(50);
        SCOPED_TRACE(step);
        EXPECT_EQ(editor->width() > designedWidth, expectedGrowth[step] == 1) << editor->width();
        ExpectViewInAgreement(selection, zoom, bandColumn);
        for (const char* name : {"play", "quality", "amplify", "normalize", "format"}) {
            EXPECT_TRUE(Edit()->rect().contains(Edit()->findChild<QWidget*>(name)->geometry()))
                << name;
        }
    }
    EXPECT_EQ(editor->width(), designedWidth);
}

} // namespace
