#include "WaveEditor.h"

#include "pxmisc/CMiscFunc.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

namespace {

// The band starts one row below the ruler's bottom line, the play cursor on it.
constexpr int kBandTop = WaveEditor::kTopStripHeight + WaveEditor::kRulerHeight + 1;
constexpr int kCursorTop = WaveEditor::kTopStripHeight + WaveEditor::kRulerHeight;
constexpr int kCursorWidth = 2;
// The level guides mark 30 % of full scale above and below each lane's centre.
constexpr double kGuideLevel = 0.15;
// How often a drag held beyond the view's edge scrolls it, and how far one wheel notch scrolls
// (a tenth of the view).
constexpr int kAutoScrollIntervalMs = 40;
constexpr int kWheelNotch = 120;
constexpr int kWheelScrollDivisor = 10;
// The coarse step of the arrow keys.
constexpr int32_t kCoarseStepMs = 1000;

int32_t SecondsToMs(float seconds) {
    return static_cast<int32_t>(static_cast<long double>(seconds) * 1000.0L);
}

// What a screen reader learns of the view: its name and, as its value, the selection the page
// describes in words.
class WaveEditorAccessible : public QAccessibleWidget {
public:
    explicit WaveEditorAccessible(WaveEditor* editor)
        : QAccessibleWidget(editor, QAccessible::Graphic) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) {
            return static_cast<const WaveEditor*>(widget())->AccessibleValue();
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* MakeWaveEditorAccessible(const QString& className, QObject* object) {
    auto* editor = qobject_cast<WaveEditor*>(object);
    return className == QLatin1String("WaveEditor") && editor != nullptr
               ? new WaveEditorAccessible(editor)
               : nullptr;
}

// Inverts `area` of what the painter has drawn so far.
void Invert(QPainter& painter, const QRect& area) {
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(area, Qt::white);
    painter.restore();
}

int RightOf(const QRect& rect) {
    return rect.x() + rect.width();
}

} // namespace

WaveEditor::WaveEditor(QWidget* parent) : QWidget(parent) {
    // Before the first name is set: that already makes the view's accessible interface.
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(MakeWaveEditorAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
    setWindowTitle(QStringLiteral("Wave Editor"));
    setAccessibleName(QStringLiteral("Wave Editor"));
    setAccessibleDescription(QStringLiteral("Waveform with the selected period"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    m_autoScroll.setInterval(kAutoScrollIntervalMs);
    connect(&m_autoScroll, &QTimer::timeout, this, &WaveEditor::AutoScrollStep);
}

int WaveEditor::Load(const std::string& wavPath, const std::string& peakPath) {
    const int loaded = m_model.Load(wavPath, peakPath);
    m_drag = Drag::None;
    m_nearStartEdge = false;
    m_nearEndEdge = false;
    m_cursorX = -1;
    Invalidate();
    return loaded;
}

void WaveEditor::ZoomIn() {
    m_model.ZoomIn(width());
    Invalidate();
}

void WaveEditor::ZoomOut() {
    m_model.ZoomOut(width());
    Invalidate();
}

void WaveEditor::ZoomToFit() {
    m_model.ZoomToFit(width());
    Invalidate();
}

void WaveEditor::ZoomToSelection() {
    m_model.ZoomToSelection(width());
    Invalidate();
}

void WaveEditor::SetScroll(int position) {
    m_model.SetScroll(position);
    m_pictureValid = false;
    repaint();
}

std::pair<int, int> WaveEditor::GetScrollRange() const {
    return m_model.GetScrollRange(width());
}

void WaveEditor::SetSelection(int32_t startMs, int32_t endMs) {
    m_model.SetSelection(startMs, endMs);
    update();
}

void WaveEditor::SetExactSelection(int32_t startMs, int32_t endMs,
                                   std::optional<std::pair<int32_t, int32_t>> frames) {
    m_model.SetExactSelection(startMs, endMs, frames);
    update();
}

std::pair<int32_t, int32_t> WaveEditor::LiveSelectionMs() const {
    if (m_drag != Drag::Band || !m_bandMoved) {
        return m_model.SelectionMs();
    }
    return {SecondsToMs(m_model.FrameToSeconds(m_model.ColumnToFrame(m_pendingLeft))),
            SecondsToMs(m_model.FrameToSeconds(m_model.ColumnToFrame(m_pendingRight)))};
}

int WaveEditor::AutoScrollColumns(int outside) {
    return outside <= 0 ? 0 : 1 + outside / 4;
}

void WaveEditor::SetPlayCursor(int32_t ms) {
    const std::optional<int> column =
        ms < 0 ? std::nullopt : m_model.GetPlayCursorColumn(ms, width());
    m_cursorX = column.value_or(-1);
    update();
}

void WaveEditor::ResetPlayCursor() {
    m_cursorX = -1;
    update();
}

void WaveEditor::SetGain(float gain) {
    m_model.SetGain(gain);
    Invalidate();
}

// The lanes share what is left below the ruler of the drawing (the widget less the top strip), so
// the lower lane ends on the widget's last row instead of below it.
WaveLanes WaveEditor::Lanes() const {
    const int f = std::max((height() - kTopStripHeight - kRulerHeight) / 2 - 1, 0);
    return {f, {kRulerHeight + f / 2, (3 * f + 2 * (kRulerHeight + 2)) / 2}};
}

void WaveEditor::Invalidate() {
    m_pictureValid = false;
    update();
}

// A wider view shows more columns at the same zoom: the scroll position must stay in the new
// range, and the page's scroll bar must learn of both.
void WaveEditor::resizeEvent(QResizeEvent* event) {
    m_pictureValid = false;
    QWidget::resizeEvent(event);
    ScrollViewTo(m_model.Scroll());
    emit viewChanged();
}

void WaveEditor::SetAccessibleValue(const QString& value) {
    if (value == m_accessibleValue) {
        return;
    }
    m_accessibleValue = value;
    QAccessibleValueChangeEvent changed(this, value);
    QAccessible::updateAccessibility(&changed);
}

void WaveEditor::RenderPicture() {
    const WaveLanes lanes = Lanes();
    if (m_model.PointsNeedRebuild(lanes)) {
        m_model.BuildPoints(lanes);
    }
    // At the screen's own resolution, so the ruler's text and lines are as sharp as the page's.
    const qreal ratio = devicePixelRatioF();
    m_picture = QImage(QSize(width(), std::max(height() - kTopStripHeight, 1)) * ratio,
                       QImage::Format_RGB32);
    m_picture.setDevicePixelRatio(ratio);
    m_picture.fill(Qt::black);
    {
        QPainter painter(&m_picture);
        DrawRuler(painter);
        DrawGuides(painter, lanes);
    }
    DrawLane(0, lanes);
    DrawLane(1, lanes);
    m_pictureValid = true;
}

void WaveEditor::DrawRuler(QPainter& painter) const {
    const int w = width();
    painter.fillRect(0, 0, w, kRulerHeight, QColor(kRulerBackground));
    for (int i = 0; i < w; ++i) {
        const std::int64_t x = std::int64_t{m_model.Scroll()} + i;
        painter.setPen(QColor(kRulerLineColour));
        if (x % kLabelSpacing == 0) {
            painter.drawLine(i, kRulerHeight, i, 0);
            // Only labels for times the audio reaches: x * zoom before the end of the audio.
            if (x * m_model.Zoom() < m_model.TotalFrames()) {
                const auto ms =
                    static_cast<int>(std::min<std::int64_t>(m_model.ColumnToMs(x), INT_MAX));
                painter.setPen(QColor(kLabelColour));
                painter.drawText(QRect(i, 0, kLabelWidth, kRulerHeight - kLabelBottomInset),
                                 Qt::AlignLeft | Qt::AlignTop,
                                 QString::fromStdString(CMiscFunc::GetPrettyTimeString(ms)));
            }
        } else if (x % kMinorTickSpacing == 0) {
            painter.drawLine(i, kRulerHeight, i, kRulerHeight - kMinorTickLength);
        }
    }
    painter.setPen(QColor(kRulerLineColour));
    painter.drawLine(0, kRulerHeight, w, kRulerHeight);
}

void WaveEditor::DrawGuides(QPainter& painter, const WaveLanes& lanes) const {
    const int w = width();
    for (int lane = 0; lane < 2; ++lane) {
        const auto offset = static_cast<int>(kGuideLevel * lanes.height);
        painter.setPen(QColor(kGuideColour));
        painter.drawLine(0, lanes.centre[lane] - offset, w, lanes.centre[lane] - offset);
        painter.drawLine(0, lanes.centre[lane] + offset, w, lanes.centre[lane] + offset);
    }
    painter.setPen(QColor(kSeparatorColour));
    painter.drawLine(0, lanes.height + kRulerHeight + 1, w, lanes.height + kRulerHeight + 1);
}

// The trace of "line to (h, greatest y), line to (h, smallest y)" for every column h, set
// straight into the picture: each column gets the rows from where the trace entered it down to
// both of its extremes, so a column's extremes are always drawn whole. An empty model draws its
// centre line across the view, so the view never looks broken.
void WaveEditor::DrawLane(int lane, const WaveLanes& lanes) {
    const int32_t scroll = m_model.Scroll();
    const int32_t cached = m_model.CachedColumns();
    const int columns = cached > 0 ? std::clamp(cached - scroll, 0, width()) : width();
    // Each lane keeps to its own rows, so an amplified waveform cannot run over its neighbour.
    const int laneTop = lane == 0 ? kRulerHeight : lanes.height + kRulerHeight + 2;
    const int laneBottom =
        std::min(laneTop + lanes.height, qRound(m_picture.deviceIndependentSize().height()) - 1);
    int previous = lanes.centre[lane];
    for (int h = 0; h < columns; ++h) {
        const WaveModel::ColumnPoints points = m_model.PointsAt(lane, scroll + h);
        const int top = std::max(std::min({previous, points.greatestY, points.smallestY}), laneTop);
        const int bottom =
            std::min(std::max({previous, points.greatestY, points.smallestY}), laneBottom);
        const QRgb colour = m_model.ColumnClips(scroll + h) ? kClippingColour : kWaveformColour;
        FillDevicePixels(QRect(h, top, 1, bottom - top + 1), colour);
        previous = points.smallestY;
    }
}

// Sets the device pixels under `area` (in view pixels) of the picture straight, as a painter
// would only with rounding of its own.
void WaveEditor::FillDevicePixels(const QRect& area, QRgb colour) {
    const qreal ratio = m_picture.devicePixelRatio();
    const auto device = [ratio](int value) { return static_cast<int>(value * ratio); };
    const int right =
        std::min(std::max(device(area.right() + 1), device(area.left()) + 1), m_picture.width());
    const int bottom =
        std::min(std::max(device(area.bottom() + 1), device(area.top()) + 1), m_picture.height());
    for (int y = device(area.top()); y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_picture.scanLine(y));
        std::fill(row + device(area.left()), row + right, colour);
    }
}

void WaveEditor::DrawTopStrip(QPainter& painter) const {
    if (m_markerX < 0) {
        painter.fillRect(0, 0, width(), kTopStripHeight, Qt::black);
        return;
    }
    painter.fillRect(0, 0, width(), kTopStripHeight, QColor(kMarkerStripColour));
    painter.fillRect(m_markerX, 0, kCursorWidth, kTopStripHeight, QColor(kMarkerColour));
}

QRect WaveEditor::CurrentBand() const {
    switch (m_drag) {
    case Drag::Band:
        if (m_bandMoved) {
            return {m_pendingLeft, 0, m_pendingRight - m_pendingLeft, height()};
        }
        break;
    case Drag::Edge:
        return m_dragBand;
    case Drag::None:
    case Drag::NewSelection:
        break;
    }
    return m_model.GetSelectionRect(rect());
}

void WaveEditor::paintEvent(QPaintEvent*) {
    // A move to a screen of another scale makes the picture anew at that screen's resolution.
    if (!m_pictureValid || qRound(m_picture.deviceIndependentSize().width()) != width() ||
        m_picture.devicePixelRatio() != devicePixelRatioF()) {
        RenderPicture();
    }
    QPainter painter(this);
    DrawTopStrip(painter);
    painter.drawImage(0, kTopStripHeight, m_picture);
    const QRect band = CurrentBand();
    if (!band.isNull()) {
        Invert(painter, QRect(band.x(), kBandTop, band.width(), height() - kBandTop));
    }
    if (m_cursorX >= 0) {
        Invert(painter, QRect(m_cursorX, kCursorTop, kCursorWidth, height() - kCursorTop));
    }
    if (hasFocus()) {
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void WaveEditor::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void WaveEditor::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void WaveEditor::keyPressEvent(QKeyEvent* event) {
    if (m_model.TotalFrames() == 0 || m_drag != Drag::None) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        emit playRequested();
    } else if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
        ScrollViewTo(event->key() == Qt::Key_Home ? 0 : GetScrollRange().second);
        emit viewChanged();
    } else if (!HandleZoomKey(*event) && !HandleNudgeKey(*event)) {
        QWidget::keyPressEvent(event);
    }
}

// Ctrl with plus (or =, its unshifted key), minus, 0 and E: in, out, fit, to the selection.
bool WaveEditor::HandleZoomKey(const QKeyEvent& event) {
    if (!(event.modifiers() & Qt::ControlModifier)) {
        return false;
    }
    switch (event.key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomIn();
        break;
    case Qt::Key_Minus:
        ZoomOut();
        break;
    case Qt::Key_0:
        ZoomToFit();
        break;
    case Qt::Key_E:
        ZoomToSelection();
        break;
    default:
        return false;
    }
    emit viewChanged();
    return true;
}

bool WaveEditor::HandleNudgeKey(const QKeyEvent& event) {
    if ((event.key() != Qt::Key_Left && event.key() != Qt::Key_Right) ||
        m_model.SelectionEnd() < 0) {
        return false;
    }
    NudgeSelection(event.key(), event.modifiers());
    return true;
}

// Shift moves the start edge, Ctrl the end edge, neither the whole band; Alt makes the step one
// second instead of one column. An edge never passes the other, nor the band the song's ends.
void WaveEditor::NudgeSelection(int key, Qt::KeyboardModifiers modifiers) {
    const int32_t duration = m_model.DurationMs();
    auto [start, end] = m_model.SelectionMs();
    const int32_t size = (modifiers & Qt::AltModifier) ? kCoarseStepMs : m_model.ColumnMs();
    const int32_t step = key == Qt::Key_Left ? -size : size;
    if (modifiers & Qt::ShiftModifier) {
        start = std::max(0, std::min(start + step, end - 1));
    } else if (modifiers & Qt::ControlModifier) {
        end = std::min(duration, std::max(end + step, start + 1));
    } else {
        const int32_t shift = std::max(-start, std::min(step, duration - end));
        start += shift;
        end += shift;
    }
    if (start >= end) {
        return;
    }
    m_model.SetExactSelection(start, end);
    const bool followStart = (modifiers & Qt::ShiftModifier) ||
                             (!(modifiers & Qt::ControlModifier) && key == Qt::Key_Left);
    KeepInView(followStart ? std::min(m_model.SelectionStart(), m_model.SelectionEnd())
                           : std::max(m_model.SelectionStart(), m_model.SelectionEnd()));
    update();
    emit selectionEdited(true);
}

// Centres the view on `frame` when it lies outside it, so a key's edit is always seen.
void WaveEditor::KeepInView(int32_t frame) {
    const std::int64_t column = frame / m_model.Zoom();
    if (column >= m_model.Scroll() && column < std::int64_t{m_model.Scroll()} + width()) {
        return;
    }
    ScrollViewTo(column - width() / 2);
    emit viewChanged();
}

void WaveEditor::ScrollViewTo(std::int64_t column) {
    const auto [low, high] = GetScrollRange();
    m_model.SetScroll(static_cast<int32_t>(std::clamp<std::int64_t>(column, low, high)));
    Invalidate();
}

// Wheel up scrolls towards the song's start; with Ctrl it zooms in about the pointer.
void WaveEditor::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int amount = delta.y() != 0 ? delta.y() : delta.x();
    if (amount == 0 || m_model.TotalFrames() == 0) {
        event->ignore();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        m_model.ZoomAbout(amount > 0, event->position().toPoint().x(), width());
        Invalidate();
    } else {
        const int notches =
            amount / kWheelNotch != 0 ? amount / kWheelNotch : (amount > 0 ? 1 : -1);
        ScrollViewTo(std::int64_t{m_model.Scroll()} -
                     std::int64_t{notches} * std::max(width() / kWheelScrollDivisor, 1));
    }
    event->accept();
    emit viewChanged();
}

void WaveEditor::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_model.TotalFrames() == 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The second press still counts as a press, as it would without this handler.
    mousePressEvent(event);
    const int32_t frame = m_model.ColumnToFrame(event->position().toPoint().x());
    emit playFromRequested(SecondsToMs(m_model.FrameToSeconds(frame)));
}

// While a drag holds the pointer beyond the view's left or right edge, the view scrolls that way
// and the dragged edge or band follows to the view's border.
void WaveEditor::AutoScrollStep() {
    const int outside = m_dragX < 0 ? -m_dragX : m_dragX - width();
    if ((m_drag != Drag::Edge && m_drag != Drag::Band) || outside <= 0) {
        m_autoScroll.stop();
        return;
    }
    const int32_t before = m_model.Scroll();
    const int direction = m_dragX < 0 ? -1 : 1;
    ScrollViewTo(std::int64_t{before} + direction * AutoScrollColumns(outside));
    if (m_model.Scroll() == before) {
        return;
    }
    if (m_drag == Drag::Band) {
        m_bandMoved = true;
    }
    DragTo(std::clamp(m_dragX, 0, width()));
    emit viewChanged();
}

void WaveEditor::DragTo(int x) {
    if (m_drag == Drag::Band) {
        MoveBand(x);
    } else if (m_drag == Drag::Edge) {
        DragEdge(x);
    }
}

// Drags follow the pointer even when it leaves the window; the marker only inside it.
void WaveEditor::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    if (rect().contains(point)) {
        m_markerX = point.x();
        update(0, 0, width(), kTopStripHeight);
    }
    const int x = std::clamp(point.x(), 0, width());
    switch (m_drag) {
    case Drag::None:
        UpdateHover(point);
        break;
    case Drag::Band:
        MoveBand(x);
        break;
    case Drag::Edge:
        DragEdge(x);
        break;
    case Drag::NewSelection:
        if (x != m_anchor.x()) {
            m_model.StartSelectionAt(m_anchor.x());
            m_drag = Drag::Edge;
            setCursor(Qt::SizeHorCursor);
            DragEdge(x);
        }
        break;
    }
    m_dragX = point.x();
    if (m_drag != Drag::None && (m_dragX < 0 || m_dragX > width())) {
        AutoScrollStep();
        m_autoScroll.start();
    }
}

// The end edge wins when the pointer is near both.
void WaveEditor::UpdateHover(const QPoint& point) {
    const QRect band = m_model.GetSelectionRect(rect());
    const int x = point.x();
    m_nearEndEdge = !band.isNull() && std::abs(x - RightOf(band)) < kEdgeGrip;
    m_nearStartEdge = !band.isNull() && !m_nearEndEdge && std::abs(x - band.x()) < kEdgeGrip;
    if (m_nearEndEdge || m_nearStartEdge) {
        setCursor(Qt::SizeHorCursor);
    } else if (band.contains(point)) {
        setCursor(Qt::SizeAllCursor);
    } else {
        setCursor(Qt::ArrowCursor);
    }
}

// The band keeps to column 0 on the left and to the nearer of the view's right edge and the end
// of the audio on the right.
void WaveEditor::MoveBand(int x) {
    const QRect band = m_pressBand;
    if (band.isNull() || (x == m_anchor.x() && !m_bandMoved)) {
        return;
    }
    int dx = x - m_anchor.x();
    if (band.x() + dx < 0) {
        dx = -band.x();
    }
    if (RightOf(band) + dx > LimitRight()) {
        dx = LimitRight() - RightOf(band);
    }
    m_pendingLeft = band.x() + dx;
    m_pendingRight = RightOf(band) + dx;
    m_bandMoved = true;
    update();
    emit selectionEdited(false);
}

int WaveEditor::LimitRight() const {
    const QRect limit = m_model.GetLimitRect(rect());
    if (!limit.isNull()) {
        return RightOf(limit);
    }
    return std::min(width(), m_model.FrameToColumn(m_model.TotalFrames()));
}

void WaveEditor::DragEdge(int x) {
    m_dragBand = m_model.DragEdgeTo(x, rect());
    update();
    emit selectionEdited(false);
}

void WaveEditor::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    m_anchor = point;
    m_bandMoved = false;
    if (m_nearEndEdge || m_nearStartEdge) {
        m_model.BeginEdgeDrag(m_nearStartEdge);
        m_dragBand = m_model.GetSelectionRect(rect());
        m_drag = Drag::Edge;
    } else if (m_model.GetSelectionRect(rect()).contains(point)) {
        m_pressBand = m_model.GetSelectionRect(rect());
        m_drag = Drag::Band;
    } else if (point.y() >= kCursorTop) {
        m_drag = Drag::NewSelection;
    }
}

// A band move is committed only when the pointer moved: a click inside the band keeps the
// selection as it was, off the zoom grid or not.
void WaveEditor::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const bool edited = m_drag == Drag::Edge || (m_drag == Drag::Band && m_bandMoved);
    if (m_drag == Drag::Band && m_bandMoved) {
        m_model.SetSelectionStartFromColumn(m_pendingLeft);
        m_model.SetSelectionEndFromColumn(m_pendingRight);
    }
    m_autoScroll.stop();
    m_drag = Drag::None;
    m_bandMoved = false;
    m_nearStartEdge = false;
    m_nearEndEdge = false;
    update();
    if (edited) {
        emit selectionEdited(true);
    }
}
