#pragma once

#include "WaveModel.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <utility>

// The waveform view of the edit page: a time ruler, two waveform lanes, the selected period as an
// inverted band, the play cursor and a small mouse-position marker in a strip along the top. The
// user changes the selection with the mouse only: by dragging either edge of the band, by moving
// the band, or by drawing a new one on the waveform. It tells the page nothing; the page reads the
// selection and the scroll position when it needs them.
class WaveEditor : public QWidget {
    Q_OBJECT

public:
    // Layout, in pixels; colours as red, green, blue.
    static constexpr int kTopStripHeight = 4;
    static constexpr int kRulerHeight = 30;
    static constexpr int kMinorTickLength = 5;
    static constexpr int kLabelBottomInset = 10;
    static constexpr int kMinorTickSpacing = 10;
    static constexpr int kLabelSpacing = 80;
    static constexpr int kLabelWidth = 100;
    // How close to a band's edge the pointer grabs the edge instead of the band.
    static constexpr int kEdgeGrip = 4;
    static constexpr QRgb kWaveformColour = qRgb(0, 150, 0);
    // Columns the amplify gain would clip.
    static constexpr QRgb kClippingColour = qRgb(255, 0, 0);
    static constexpr QRgb kGuideColour = qRgb(150, 150, 150);
    static constexpr QRgb kSeparatorColour = qRgb(255, 255, 255);
    static constexpr QRgb kRulerBackground = qRgb(100, 100, 100);
    static constexpr QRgb kRulerLineColour = qRgb(0, 0, 0);
    static constexpr QRgb kLabelColour = qRgb(255, 255, 255);
    static constexpr QRgb kMarkerStripColour = qRgb(50, 50, 50);
    static constexpr QRgb kMarkerColour = qRgb(255, 255, 255);

    explicit WaveEditor(QWidget* parent = nullptr);

    // Loads the working WAV's header and its peak file; 1 when both were usable, 0 when the view
    // shows an empty waveform instead. The play cursor is hidden.
    int Load(const std::string& wavPath, const std::string& peakPath);

    // After a zoom the scroll position may have moved (it keeps the selection start or the view's
    // centre in place and stays in range): read ScrollPosition() and GetScrollRange() afterwards.
    void ZoomIn();
    void ZoomOut();
    void ZoomToFit();
    void ZoomToSelection();

    // The first visible column; the page passes its scroll bar's position.
    void SetScroll(int position);
    int ScrollPosition() const { return m_model.Scroll(); }
    // (0, maximum) for the current width.
    std::pair<int, int> GetScrollRange() const;

    std::pair<float, float> GetSelectionInSeconds() const {
        return m_model.GetSelectionInSeconds();
    }
    void SetSelection(int32_t startMs, int32_t endMs);
    // Exact times (see WaveModel::SetExactSelection), the band at `frames` when given.
    void SetExactSelection(int32_t startMs, int32_t endMs,
                           std::optional<std::pair<int32_t, int32_t>> frames = std::nullopt);
    // (start, end) in ms as the band shows it now, a band being moved included.
    std::pair<int32_t, int32_t> LiveSelectionMs() const;

    // Columns an edge or band drag scrolls the view by for each step with the pointer `outside`
    // pixels beyond the view's edge: the further out, the faster.
    static int AutoScrollColumns(int outside);

    // The play cursor at a position in ms, or hidden for -1 or a position out of view.
    void SetPlayCursor(int32_t ms);
    void ResetPlayCursor();

    // The display gain (the amplify factor), so the waveform shows the level the ringtone gets.
    void SetGain(float gain);

    // The selection in words, which a screen reader gives as the view's value.
    void SetAccessibleValue(const QString& value);
    QString AccessibleValue() const { return m_accessibleValue; }

    const WaveModel& Model() const { return m_model; }
    // Where the lanes lie in the drawing below the top strip, for the current height.
    WaveLanes Lanes() const;

signals:
    // The selection changed by the mouse or the keyboard: while a drag runs (`finished` false)
    // and when an edit is done (true).
    void selectionEdited(bool finished);
    // The zoom or the scroll position changed from inside the view (keys, wheel, auto-scroll).
    void viewChanged();
    // Space: play or stop the preview.
    void playRequested();
    // A double-click: play from that time to the selection's end.
    void playFromRequested(int32_t ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Band, Edge, NewSelection };

    void Invalidate();
    void RenderPicture();
    void DrawRuler(QPainter& painter) const;
    void DrawGuides(QPainter& painter, const WaveLanes& lanes) const;
    void DrawLane(int lane, const WaveLanes& lanes);
    void DrawTopStrip(QPainter& painter) const;
    void FillDevicePixels(const QRect& area, QRgb colour);
    QRect CurrentBand() const;
    void UpdateHover(const QPoint& point);
    void MoveBand(int x);
    void DragEdge(int x);
    int LimitRight() const;
    bool HandleZoomKey(const QKeyEvent& event);
    bool HandleNudgeKey(const QKeyEvent& event);
    void NudgeSelection(int key, Qt::KeyboardModifiers modifiers);
    void ScrollViewTo(std::int64_t column);
    void KeepInView(int32_t frame);
    void AutoScrollStep();
    void DragTo(int x);

    WaveModel m_model;
    // The ruler and the waveform without the band: drags and the play cursor repaint from it.
    QImage m_picture;
    bool m_pictureValid = false;

    Drag m_drag = Drag::None;
    bool m_nearStartEdge = false;
    bool m_nearEndEdge = false;
    bool m_bandMoved = false;
    QPoint m_anchor;
    // The band and the scroll position when a band move began: the view may scroll under it.
    QRect m_pressBand;
    // The pointer's last x during a drag, unclamped: beyond the view's edges it scrolls the view.
    int m_dragX = 0;
    QTimer m_autoScroll;
    int m_pendingLeft = 0;
    int m_pendingRight = 0;
    // The band an edge drag shows, as the model last returned it.
    QRect m_dragBand;
    int m_markerX = -1;
    int m_cursorX = -1;
    QString m_accessibleValue;
};
