#include "WaveEditor.h"

#include "EditorTestFiles.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>
#include <set>

namespace {

constexpr int kWidth = 651;
constexpr int kHeight = 168;
constexpr int32_t kStep = 128;
// At this rate one ms is one peak frame, so at the finest zoom one ms is one column.
constexpr uint32_t kColumnRate = 128000;
constexpr int kBandTop = 35;
constexpr int kCursorTop = 34;

int16_t Silence(std::int64_t, uint32_t) {
    return 0;
}

int16_t FullScaleSquare(std::int64_t k, uint32_t) {
    return k % 2 == 0 ? int16_t{32767} : int16_t{-32768};
}

bool IsWaveform(QRgb pixel) {
    return pixel == WaveEditor::kWaveformColour;
}

class WaveEditorView : public ::testing::Test {
protected:
    // An editor over `columns` columns of audio at the finest zoom, scrolled to the start.
    void Open(std::int64_t columns, const EditorTestFiles::ValueAt& value = Silence,
              int height = kHeight, uint16_t channels = 2) {
        const auto [wav, peaks] = m_files.Pair(columns * kStep, channels, value, kColumnRate);
        m_editor = std::make_unique<WaveEditor>();
        m_editor->resize(kWidth, height);
        m_editor->show();
        ASSERT_EQ(m_editor->Load(wav, peaks), 1);
        while (m_editor->Model().Zoom() > WaveModel::kFinestZoom) {
            m_editor->ZoomIn();
        }
        m_editor->SetScroll(0);
    }

    QImage Grab() const { return m_editor->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    // Rows of `image` holding the waveform colour in columns `from` up to `to` (exclusive).
    static std::set<int> WaveformRows(const QImage& image, int from, int to) {
        std::set<int> rows;
        for (int x = from; x < to; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (IsWaveform(image.pixel(x, y))) {
                    rows.insert(y);
                }
            }
        }
        return rows;
    }

    // Columns where pixels differ between the two pictures, with the rows they span.
    static QRect Difference(const QImage& a, const QImage& b) {
        QRect changed;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                if (a.pixel(x, y) != b.pixel(x, y)) {
                    changed |= QRect(x, y, 1, 1);
                }
            }
        }
        return changed;
    }

    // The pointer first goes to the corner: a move to where it already is would not be seen.
    void Drag(QPoint from, QPoint to) {
        QTest::mouseMove(m_editor.get(), QPoint(0, 0));
        QTest::mouseMove(m_editor.get(), from);
        QTest::mousePress(m_editor.get(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(m_editor.get(), to);
        QTest::mouseRelease(m_editor.get(), Qt::LeftButton, Qt::NoModifier, to);
    }

    // The selection as (start, end) absolute columns at the finest zoom.
    std::pair<int, int> Selection() const {
        return {m_editor->Model().SelectionStart() / kStep,
                m_editor->Model().SelectionEnd() / kStep};
    }

    EditorTestFiles m_files;
    std::unique_ptr<WaveEditor> m_editor;
};

TEST_F(WaveEditorView, LanesFillTheHeightAndFullScaleReachesTheirEdges) {
    struct Row {
        int height;
        int laneHeight; // (height - 4 - 30) / 2 - 1
    };
    for (const Row row : {Row{168, 66}, Row{200, 82}, Row{150, 57}}) {
        SCOPED_TRACE(row.height);
        Open(2000, FullScaleSquare, row.height);
        const WaveLanes lanes = m_editor->Lanes();
        EXPECT_EQ(lanes.height, row.laneHeight);
        const std::set<int> rows = WaveformRows(Grab(), 0, kWidth);
        ASSERT_FALSE(rows.empty());
        // Lane 1 starts on the ruler's bottom line; lane 2 ends on the widget's last row.
        EXPECT_EQ(*rows.begin(), 4 + 30);
        EXPECT_EQ(*rows.rbegin(), row.height - 1);
        const int separator = 4 + lanes.height + 31;
        EXPECT_EQ(rows.count(separator), 0u) << "the lanes stay apart";
        EXPECT_EQ(rows.size(), static_cast<std::size_t>(2 * lanes.height));
    }
}

TEST_F(WaveEditorView, SilenceDrawsTheCentreLinesOnly) {
    Open(2000);
    const WaveLanes lanes = m_editor->Lanes();
    const QImage image = Grab();
    EXPECT_EQ(WaveformRows(image, 0, kWidth),
              (std::set<int>{4 + lanes.centre[0], 4 + lanes.centre[1]}));
    EXPECT_EQ(WaveformRows(image, kWidth - 1, kWidth).size(), 2u) << "across the whole width";
}

TEST_F(WaveEditorView, BandInvertsExactlyTheSelectedColumns) {
    Open(2000, FullScaleSquare);
    m_editor->SetSelection(0, -1);
    const QImage plain = Grab();
    m_editor->SetSelection(120, 333);
    const QImage banded = Grab();
    EXPECT_EQ(Difference(plain, banded), QRect(QPoint(120, kBandTop), QPoint(332, kHeight - 1)));
    EXPECT_EQ(banded.pixel(200, 100), ~plain.pixel(200, 100) | 0xFF000000);
}

// Columns whose top ruler row is black: the major ticks (minor ticks are shorter).
std::vector<int> MajorTicks(const QImage& image) {
    std::vector<int> ticks;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, 4) == WaveEditor::kRulerLineColour) {
            ticks.push_back(x);
        }
    }
    return ticks;
}

bool HasLabelBetween(const QImage& image, int from, int to) {
    for (int x = from; x < std::min(to, image.width()); ++x) {
        for (int y = 4; y < 24; ++y) {
            if (image.pixel(x, y) == WaveEditor::kLabelColour) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(WaveEditorView, RulerLabelsFollowTheAbsoluteColumnsAndStopAtTheEnd) {
    Open(2000);
    const std::vector<int> atStart = MajorTicks(Grab());
    m_editor->SetScroll(40);
    const std::vector<int> scrolled = MajorTicks(Grab());
    ASSERT_EQ(atStart, (std::vector<int>{0, 80, 160, 240, 320, 400, 480, 560, 640}));
    ASSERT_EQ(scrolled.size(), atStart.size() - 1);
    const QImage image = Grab();
    for (std::size_t i = 0; i < scrolled.size(); ++i) {
        EXPECT_EQ(scrolled[i], atStart[i] + 40);
        EXPECT_TRUE(HasLabelBetween(image, scrolled[i], scrolled[i] + 80));
    }

    Open(300); // the audio ends at column 300: labels at 0 .. 240, none after
    const QImage shortFile = Grab();
    EXPECT_TRUE(HasLabelBetween(shortFile, 240, 320));
    EXPECT_FALSE(HasLabelBetween(shortFile, 320, kWidth));
    EXPECT_EQ(MajorTicks(shortFile).back(), 640) << "the ticks go on";
}

TEST_F(WaveEditorView, PlayCursorShowsAtItsColumnAndHidesWithMinusOne) {
    Open(2000, FullScaleSquare);
    const QImage plain = Grab();
    m_editor->SetPlayCursor(250);
    EXPECT_EQ(Difference(plain, Grab()), QRect(QPoint(250, kCursorTop), QPoint(251, kHeight - 1)));
    m_editor->SetPlayCursor(-1);
    EXPECT_TRUE(Difference(plain, Grab()).isNull());
    m_editor->SetPlayCursor(kWidth + 5);
    EXPECT_TRUE(Difference(plain, Grab()).isNull()) << "out of view";
}

TEST_F(WaveEditorView, CursorShapeTellsWhatAPressWouldGrab) {
    Open(2000);
    m_editor->SetSelection(100, 300);
    struct Row {
        int x;
        Qt::CursorShape shape;
    };
    for (const Row row :
         {Row{97, Qt::SizeHorCursor}, Row{103, Qt::SizeHorCursor}, Row{297, Qt::SizeHorCursor},
          Row{303, Qt::SizeHorCursor}, Row{200, Qt::SizeAllCursor}, Row{50, Qt::ArrowCursor},
          Row{400, Qt::ArrowCursor}}) {
        QTest::mouseMove(m_editor.get(), QPoint(row.x, 100));
        EXPECT_EQ(m_editor->cursor().shape(), row.shape) << "at x " << row.x;
    }
}

TEST_F(WaveEditorView, MouseDragsEditTheSelection) {
    struct Row {
        const char* what;
        std::int64_t columns;
        int from, to;
        std::pair<int, int> selection; // start, end as absolute columns
        int selectedTo = 300;          // the selection before the drag is 100 .. selectedTo
    };
    const Row rows[] = {
        {"right edge dragged past the left", 2000, 300, 50, {100, 50}},
        {"left edge dragged past the right", 2000, 100, 400, {400, 300}},
        {"band moved to the far left stops at 0", 2000, 200, -500, {0, 200}},
        {"band moved right stops at the view's edge", 2000, 200, kWidth, {kWidth - 200, kWidth}},
        {"band moved right stops at the audio's end", 420, 200, 2000, {220, 420}},
        {"click inside the band keeps it", 2000, 200, 200, {100, 300}},
        {"click outside the band does nothing", 2000, 500, 500, {100, 300}},
        {"a drag outside the band draws a new one", 2000, 500, 420, {500, 420}},
        {"a click keeps a band cut at the view's edge whole", 4000, 200, 200, {100, 2000}, 2000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Open(row.columns);
        m_editor->SetSelection(100, row.selectedTo);
        Drag(QPoint(row.from, 100), QPoint(row.to, 100));
        EXPECT_EQ(Selection(), row.selection);
    }
}

TEST_F(WaveEditorView, KeysMoveTheSelectionAndTheView) {
    // 4000 ms of audio at one ms a column; the view at 1000, the selection 1100 .. 1300 ms.
    const struct {
        const char* what;
        int key;
        Qt::KeyboardModifiers modifiers;
        int zoomOuts; // before the key
        std::pair<int32_t, int32_t> selectionMs;
        int32_t zoom;
        int32_t scroll; // -1: the end of the range
    } rows[] = {
        {"band one column right", Qt::Key_Right, Qt::NoModifier, 0, {1101, 1301}, 128, 1000},
        {"band one column left", Qt::Key_Left, Qt::NoModifier, 0, {1099, 1299}, 128, 1000},
        {"a column is two ms at 256", Qt::Key_Right, Qt::NoModifier, 1, {1102, 1302}, 256, 450},
        {"start edge", Qt::Key_Right, Qt::ShiftModifier, 0, {1101, 1300}, 128, 1000},
        {"end edge", Qt::Key_Left, Qt::ControlModifier, 0, {1100, 1299}, 128, 1000},
        {"band a second right, the view follows its end",
         Qt::Key_Right,
         Qt::AltModifier,
         0,
         {2100, 2300},
         128,
         2300 - kWidth / 2},
        {"band a second left, the view follows its start",
         Qt::Key_Left,
         Qt::AltModifier,
         0,
         {100, 300},
         128,
         0},
        {"start edge stops before the end",
         Qt::Key_Right,
         Qt::AltModifier | Qt::ShiftModifier,
         0,
         {1299, 1300},
         128,
         1000},
        {"end edge a second right",
         Qt::Key_Right,
         Qt::AltModifier | Qt::ControlModifier,
         0,
         {1100, 2300},
         128,
         2300 - kWidth / 2},
        {"zoom in", Qt::Key_Plus, Qt::ControlModifier, 1, {1100, 1300}, 128, 1000},
        {"zoom out", Qt::Key_Minus, Qt::ControlModifier, 0, {1100, 1300}, 256, 450},
        {"fit", Qt::Key_0, Qt::ControlModifier, 0, {1100, 1300}, 1024, 0},
        {"zoom to the selection",
         Qt::Key_E,
         Qt::ControlModifier,
         2,
         {1100, 1300},
         128,
         1200 - kWidth / 2},
        {"home", Qt::Key_Home, Qt::NoModifier, 0, {1100, 1300}, 128, 0},
        {"end", Qt::Key_End, Qt::NoModifier, 0, {1100, 1300}, 128, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Open(4000);
        m_editor->SetExactSelection(1100, 1300);
        m_editor->SetScroll(1000);
        for (int i = 0; i < row.zoomOuts; ++i) {
            m_editor->ZoomOut();
        }
        const std::pair viewBefore{m_editor->Model().Zoom(), m_editor->ScrollPosition()};
        int viewChanges = 0;
        QObject::connect(m_editor.get(), &WaveEditor::viewChanged, [&] { ++viewChanges; });
        QTest::keyClick(m_editor.get(), static_cast<Qt::Key>(row.key), row.modifiers);
        EXPECT_EQ(m_editor->Model().SelectionMs(), row.selectionMs);
        EXPECT_EQ(m_editor->Model().Zoom(), row.zoom);
        EXPECT_EQ(m_editor->ScrollPosition(),
                  row.scroll < 0 ? m_editor->GetScrollRange().second : row.scroll);
        const std::pair viewAfter{m_editor->Model().Zoom(), m_editor->ScrollPosition()};
        EXPECT_EQ(viewChanges > 0, viewBefore != viewAfter);
    }
    m_editor = std::make_unique<WaveEditor>();
    int plays = 0;
    QObject::connect(m_editor.get(), &WaveEditor::playRequested, [&] { ++plays; });
    for (const int key : {Qt::Key_Right, Qt::Key_Home, Qt::Key_Space, Qt::Key_E}) {
        QTest::keyClick(m_editor.get(), static_cast<Qt::Key>(key), Qt::ControlModifier);
        QTest::keyClick(m_editor.get(), static_cast<Qt::Key>(key));
    }
    const QPointF at(100, 100);
    QWheelEvent wheel(at, at, QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_editor.get(), &wheel);
    EXPECT_EQ(plays, 0) << "no song: keys do nothing";
    EXPECT_EQ(m_editor->Model().Zoom(), WaveModel::kFinestZoom) << "nor the wheel";
}

TEST_F(WaveEditorView, TheWheelAndDragsBeyondTheEdgesScrollTheView) {
    // 4000 columns at the finest zoom, the view at 1000, the selection 1100 .. 1300.
    const struct {
        const char* what;
        int angle; // wheel: one notch is 120; 0 for a drag
        Qt::KeyboardModifiers modifiers;
        int x;        // where the wheel turns, or where a drag goes from the band's end edge
        int32_t zoom; // after
        int32_t scroll;
        int selectionEnd; // absolute column after, at the finest zoom
    } rows[] = {
        {"wheel down scrolls right", -120, Qt::NoModifier, 300, 128, 1065, 1300},
        {"wheel up scrolls left", 240, Qt::NoModifier, 300, 128, 870, 1300},
        {"ctrl+wheel down zooms out about the pointer", -120, Qt::ControlModifier, 300, 256, 350,
         1300},
        {"an edge held 40 px right of the view", 0, Qt::NoModifier, kWidth + 40, 128,
         1000 + WaveEditor::AutoScrollColumns(40),
         1000 + kWidth + WaveEditor::AutoScrollColumns(40)},
        {"further out, faster", 0, Qt::NoModifier, kWidth + 200, 128,
         1000 + WaveEditor::AutoScrollColumns(200),
         1000 + kWidth + WaveEditor::AutoScrollColumns(200)},
        {"an edge held left of the view", 0, Qt::NoModifier, -20, 128,
         1000 - WaveEditor::AutoScrollColumns(20), 1100},
    };
    EXPECT_LT(WaveEditor::AutoScrollColumns(40), WaveEditor::AutoScrollColumns(200));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Open(4000);
        m_editor->SetSelection(1100, 1300);
        m_editor->SetScroll(1000);
        if (row.angle != 0) {
            const QPointF at(row.x, 100);
            QWheelEvent wheel(at, m_editor->mapToGlobal(at), QPoint(), QPoint(0, row.angle),
                              Qt::NoButton, row.modifiers, Qt::NoScrollPhase, false);
            QApplication::sendEvent(m_editor.get(), &wheel);
        } else {
            Drag(QPoint(300, 100), QPoint(row.x, 100));
        }
        EXPECT_EQ(m_editor->Model().Zoom(), row.zoom);
        EXPECT_EQ(m_editor->ScrollPosition(), row.scroll);
        EXPECT_EQ(std::max(Selection().first, Selection().second), row.selectionEnd);
    }
}

TEST_F(WaveEditorView, CollapsedSelectionCanBeDrawnAgain) {
    Open(2000);
    m_editor->SetSelection(100, 300);
    Drag(QPoint(300, 100), QPoint(100, 100));
    EXPECT_EQ(Selection(), (std::pair{100, 100}));
    QTest::mouseMove(m_editor.get(), QPoint(100, 100));
    EXPECT_EQ(m_editor->cursor().shape(), Qt::ArrowCursor) << "nothing left to grab";
    Drag(QPoint(150, 100), QPoint(260, 100));
    EXPECT_EQ(Selection(), (std::pair{150, 260}));
}

TEST_F(WaveEditorView, ZoomTellsThePageWhereTheViewNowStarts) {
    Open(4000);
    m_editor->SetScroll(m_editor->GetScrollRange().second);
    m_editor->ZoomToFit();
    EXPECT_LE(m_editor->ScrollPosition(), m_editor->GetScrollRange().second);
    EXPECT_EQ(WaveformRows(Grab(), kWidth / 2, kWidth / 2 + 1).size(), 2u) << "audio in view";
}

TEST_F(WaveEditorView, DamagedFilesShowTheRulerAndCentreLines) {
    m_editor = std::make_unique<WaveEditor>();
    m_editor->resize(kWidth, kHeight);
    m_editor->show();
    EXPECT_EQ(m_editor->Load(m_files.Missing(), m_files.Missing()), 0);
    const WaveLanes lanes = m_editor->Lanes();
    const QImage image = Grab();
    EXPECT_EQ(WaveformRows(image, kWidth - 1, kWidth),
              (std::set<int>{4 + lanes.centre[0], 4 + lanes.centre[1]}));
    EXPECT_EQ(image.pixel(5, 10), WaveEditor::kRulerBackground);
    Drag(QPoint(100, 100), QPoint(200, 100));
    EXPECT_EQ(m_editor->GetSelectionInSeconds().second, -1.0f) << "no audio to select";
}

TEST_F(WaveEditorView, AnySizePaintsWithinItself) {
    Open(2000, FullScaleSquare);
    m_editor->SetSelection(10, 500);
    for (const QSize size : {QSize(1, 1), QSize(40, 20), QSize(651, 36), QSize(90, 600)}) {
        m_editor->resize(size);
        m_editor->SetPlayCursor(20);
        const QImage image = Grab();
        EXPECT_EQ(image.size(), size);
        if (size.height() > 100) {
            EXPECT_EQ(WaveformRows(image, 0, size.width()).size(),
                      static_cast<std::size_t>(2 * m_editor->Lanes().height));
        }
    }
}

} // namespace
