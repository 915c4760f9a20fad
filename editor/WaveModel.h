#pragma once

#include <QRect>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Where the view puts its two waveform lanes, in the coordinates of its drawing bitmap (y down).
struct WaveLanes {
    int height = 0;  // f: the height of one lane in pixels
    int centre[2]{}; // y of each lane's zero line
};

// The data and geometry behind the waveform view: the working WAV's header, the whole peak file,
// zoom, scroll, selection, the mapping between frames, view columns and times, and the per-column
// extremes the view draws. Knows nothing of painting.
//
// Units: a frame is one sample time of the working WAV; a peak frame is one entry of the peak file
// and stands for PeakFile::PeakStep (128) frames; a column is one pixel of the view's width.
// Column positions in view coordinates count from the view's left edge; absolute columns count
// from the file start (view column + scroll).
class WaveModel {
public:
    static constexpr int32_t kFinestZoom = 128;
    // Peak files beyond this are refused rather than read whole (an hour of stereo takes 5 MB).
    static constexpr std::int64_t kMaxPeakFileBytes = 64 * 1024 * 1024;

    // One column's extremes of one lane, as screen y in the lane (greatest y lies lowest).
    struct ColumnPoints {
        int greatestY;
        int smallestY;
    };

    // Reads the WAV's header and length and the whole peak file, replacing what was loaded
    // before; scroll 0, zoom at the fit zoom, an empty point cache, selection start 0. Returns 1
    // when both files are usable, 0 otherwise: the waveform is then empty, and a WAV with a
    // sound header still gives its length, so a selection can be made over it.
    int Load(const std::string& wavPath, const std::string& peakPath);

    // The zoom steps by powers of two between kFinestZoom and the fit zoom. The column under which
    // the selection start lies (or the view's centre when the start is out of view) stays where
    // it is, and the scroll position is clamped to the new range.
    void ZoomIn(int viewWidth);
    void ZoomOut(int viewWidth);
    void ZoomToFit(int viewWidth);
    // The finest zoom at which the whole selection fits the view, scrolled to centre it.
    void ZoomToSelection(int viewWidth);
    // One zoom step in or out about view column x: the time under it keeps its column.
    void ZoomAbout(bool in, int x, int viewWidth);

    // Negative positions read as 0.
    void SetScroll(int32_t column);
    int32_t Scroll() const { return m_scroll; }
    // (0, total columns - viewWidth), with 0 when the file fits.
    std::pair<int32_t, int32_t> GetScrollRange(int viewWidth) const;

    // Both ends in ms, laid on the zoom grid and clamped to the file; end -1 ms (or any negative
    // end) clears the selection.
    void SetSelection(int32_t startMs, int32_t endMs);
    void SetSelectionStartFromColumn(int x);
    void SetSelectionEndFromColumn(int x);
    // Both ends exactly at startMs and endMs, off the zoom grid and clamped to the file: what a
    // cut takes (SelectionMs) until another edit replaces them. The band is drawn at `frames`
    // when given (ends moved to zero crossings), else at the frames of the two times.
    void SetExactSelection(int32_t startMs, int32_t endMs,
                           std::optional<std::pair<int32_t, int32_t>> frames = std::nullopt);
    std::optional<std::pair<int32_t, int32_t>> ExactSelectionMs() const { return m_exactMs; }
    // (start, end) in ms as a cut takes them: the exact times when set, else the selection in
    // seconds times 1000, truncated, the products taken in extended precision.
    std::pair<int32_t, int32_t> SelectionMs() const;
    // A frame's time in ms, rounded.
    int32_t FrameToMs(int32_t frame) const;
    // The audio's length in ms, truncated.
    int32_t DurationMs() const;
    // Milliseconds of one column at the current zoom, rounded, at least 1.
    int32_t ColumnMs() const;
    // (lower, upper) in seconds; (0, -1) when there is no selection or no sample rate.
    std::pair<float, float> GetSelectionInSeconds() const;
    int32_t SelectionStart() const { return m_selectionStart; }
    int32_t SelectionEnd() const { return m_selectionEnd; }

    // The display gain on every value (a negative or NaN gain reads as 0); empties the point
    // cache.
    void SetGain(float gain);

    // The selection's columns inside `view`: x() is the smaller end's view column (may be
    // negative), x() + width() the larger one's held to the view's right edge (exclusive), with
    // the view's top and height. Null when there is no band: no selection, start = end (as
    // columns), or the whole selection lies left or right of the view.
    QRect GetSelectionRect(const QRect& view) const;
    // The same from the selection start to the end of the audio: the furthest a band can move.
    QRect GetLimitRect(const QRect& view) const;

    // The view column of a play position, when it lies strictly inside the view's width.
    std::optional<int> GetPlayCursorColumn(int32_t ms, int viewWidth) const;

    // Chooses the end a drag moves from the edge the pointer grabbed, then moves it to view
    // column x on each step; the ends may cross. Returns the new selection rectangle.
    void BeginEdgeDrag(bool startEdgeGrabbed);
    QRect DragEdgeTo(int x, const QRect& view);
    // A new, empty selection at view column x whose end the next drags move.
    void StartSelectionAt(int x);

    // Mappings; every one is defined (0) for an empty model.
    int32_t ColumnToFrame(int x) const;
    int32_t MsToFrame(int32_t ms) const;
    int FrameToColumn(int32_t frame) const;
    float FrameToSeconds(int32_t frame) const;
    // The time shown at absolute column x of the ruler.
    std::int64_t ColumnToMs(std::int64_t absoluteColumn) const;

    // The per-column extremes at the current zoom and gain; built again only when the zoom or the
    // gain changed or the lanes moved.
    bool PointsNeedRebuild(const WaveLanes& lanes) const;
    void BuildPoints(const WaveLanes& lanes);
    // Columns in the cache (the whole file at the current zoom).
    int32_t CachedColumns() const { return m_cachedColumns; }
    // Lane 0 shows channel 0, lane 1 channel 1; mono material shows in both lanes.
    ColumnPoints PointsAt(int lane, int32_t absoluteColumn) const;
    // True when the display gain takes a value of the column beyond full scale in any channel:
    // the ringtone would clip there. Valid after BuildPoints.
    bool ColumnClips(int32_t absoluteColumn) const;

    int32_t Zoom() const { return m_zoom; }
    int32_t FitZoom() const { return m_fitZoom; }
    int32_t TotalFrames() const { return m_totalFrames; }
    // Absolute columns the audio covers at the current zoom.
    int32_t TotalColumns() const { return m_totalFrames / m_zoom; }
    bool HasPeaks() const { return !m_peakValues.empty(); }
    // Bytes held for the peak values and the point cache.
    std::size_t MemoryBytes() const;

private:
    // One column's extremes, stored as offsets from the lane's centre: an int16 pair keeps the
    // cache of an hour at the finest zoom near the size of the peak data itself.
    struct Extremes {
        int16_t high;
        int16_t low;
    };

    bool LoadWavHeader(const std::string& wavPath);
    bool LoadPeaks(const std::string& peakPath);
    void Clear();
    void ComputeFitZoom();
    void SetZoomKeepingAnchor(int32_t zoom, int viewWidth);
    void SetZoomAbout(int32_t zoom, int anchorX, std::int64_t anchorFrame, int viewWidth);
    QRect SpanRect(int32_t fromFrame, int32_t toFrame, const QRect& view) const;
    void BuildChannel(uint32_t channel, float scale, std::vector<Extremes>& out) const;
    void BuildClippingColumns();
    int32_t PeakFrames() const;

    uint32_t m_sampleRate = 0;
    int32_t m_totalFrames = 0;
    int32_t m_fitZoom = kFinestZoom;
    int32_t m_zoom = kFinestZoom;
    int32_t m_scroll = 0;
    int32_t m_selectionStart = 0;
    int32_t m_selectionEnd = -1;
    bool m_movingStart = false;
    std::optional<std::pair<int32_t, int32_t>> m_exactMs;
    float m_gain = 1.0f;

    uint32_t m_channels = 0;
    std::vector<int16_t> m_peakValues; // channel-interleaved

    std::vector<Extremes> m_points[2];
    std::vector<bool> m_clippingColumns; // empty while the gain cannot clip
    int32_t m_cachedColumns = 0;
    int32_t m_cachedZoom = 0;
    WaveLanes m_cachedLanes;
};
