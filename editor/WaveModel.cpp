#include "WaveModel.h"

#include "FileHandle.h"
#include "PeakFile.h"
#include "WaveHeader.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

namespace {

constexpr int32_t kFitColumns = 512;
constexpr std::int64_t kInt32Max = std::numeric_limits<int32_t>::max();

std::int64_t FileLength(const std::string& path) {
    std::error_code error;
    const auto length = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(length);
}

int32_t ClampToInt32(std::int64_t value) {
    return static_cast<int32_t>(std::clamp<std::int64_t>(value, -kInt32Max - 1, kInt32Max));
}

// Truncates toward zero, as the conversion does, once the value is known to fit.
int16_t ClampToInt16(float value) {
    return static_cast<int16_t>(std::clamp(value, -32768.0f, 32767.0f));
}

} // namespace

int WaveModel::Load(const std::string& wavPath, const std::string& peakPath) {
    Clear();
    const bool wavUsable = LoadWavHeader(wavPath);
    const bool peaksUsable = wavUsable && LoadPeaks(peakPath);
    if (!peaksUsable) {
        m_peakValues.clear();
        m_channels = 0;
    }
    ComputeFitZoom();
    m_zoom = m_fitZoom;
    m_cachedZoom = 0;
    m_scroll = 0;
    m_selectionStart = 0;
    m_exactMs.reset();
    return peaksUsable ? 1 : 0;
}

void WaveModel::Clear() {
    m_sampleRate = 0;
    m_totalFrames = 0;
    m_channels = 0;
    m_peakValues.clear();
    m_points[0].clear();
    m_points[1].clear();
    m_cachedColumns = 0;
    m_cachedZoom = 0;
}

// Only the canonical 44-byte header is read: the working WAV is always written that way. A header
// without a sample rate or a frame size makes the file unusable, since no time could be computed.
bool WaveModel::LoadWavHeader(const std::string& wavPath) {
    const orvanta::FilePtr file(std::fopen(wavPath.c_str(), "rb"));
    orvanta::WaveHeaderFields header;
    if (!file || !orvanta::ReadWaveHeader(file.get(), header)) {
        return false;
    }
    const std::int64_t length = FileLength(wavPath);
    if (header.sampleRate == 0 || header.BlockSize() == 0 ||
        length < static_cast<std::int64_t>(orvanta::kWaveHeaderBytes)) {
        return false;
    }
    // The header's data length, as the peak file and the cut count: a trailing chunk is no audio.
    const auto dataBytes =
        static_cast<std::int64_t>(orvanta::AudioBytes(header, static_cast<uint64_t>(length)));
    m_sampleRate = header.sampleRate;
    m_totalFrames = static_cast<int32_t>(std::min(dataBytes / header.BlockSize(), kInt32Max));
    return true;
}

bool WaveModel::LoadPeaks(const std::string& peakPath) {
    const std::int64_t length = FileLength(peakPath);
    if (length < static_cast<std::int64_t>(orvanta::PeakFile::HeaderBytes) ||
        length > kMaxPeakFileBytes) {
        return false;
    }
    const orvanta::FilePtr file(std::fopen(peakPath.c_str(), "rb"));
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    if (!file || std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        return false;
    }
    const uint32_t channels = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24;
    const std::size_t valueBytes = bytes.size() - orvanta::PeakFile::HeaderBytes;
    if ((channels != 1 && channels != 2) || valueBytes % (2 * channels) != 0) {
        return false;
    }
    m_channels = channels;
    m_peakValues.resize(valueBytes / 2);
    const uint8_t* value = bytes.data() + orvanta::PeakFile::HeaderBytes;
    for (int16_t& peak : m_peakValues) {
        peak = static_cast<int16_t>(value[0] | value[1] << 8);
        value += 2;
    }
    return true;
}

int32_t WaveModel::PeakFrames() const {
    if (m_channels > 0) {
        return static_cast<int32_t>(m_peakValues.size() / m_channels);
    }
    const auto step = static_cast<int32_t>(orvanta::PeakFile::PeakStep);
    return m_totalFrames / step + (m_totalFrames % step != 0 ? 1 : 0);
}

// Coarse enough that the whole file fits into at most about 512 columns; files of fewer than
// 1024 peak frames get the finest zoom.
void WaveModel::ComputeFitZoom() {
    const int32_t frames = PeakFrames() / kFitColumns * kFinestZoom;
    int32_t zoom = kFinestZoom;
    if (frames > kFinestZoom) {
        while (zoom <= frames) {
            zoom *= 2;
        }
    }
    m_fitZoom = zoom;
}

void WaveModel::ZoomIn(int viewWidth) {
    SetZoomKeepingAnchor(m_zoom > kFinestZoom ? m_zoom / 2 : m_zoom, viewWidth);
}

void WaveModel::ZoomOut(int viewWidth) {
    SetZoomKeepingAnchor(m_zoom < m_fitZoom ? m_zoom * 2 : m_zoom, viewWidth);
}

void WaveModel::ZoomToFit(int viewWidth) {
    SetZoomKeepingAnchor(m_fitZoom, viewWidth);
}

// The anchor is the selection start while it is in view (the part the user works on), the
// view's centre otherwise; it keeps its view column, so the picture grows or shrinks around it.
void WaveModel::SetZoomKeepingAnchor(int32_t zoom, int viewWidth) {
    const int width = std::max(viewWidth, 0);
    const int startColumn = FrameToColumn(m_selectionStart);
    const bool startInView = m_selectionEnd >= 0 && startColumn >= 0 && startColumn < width;
    const int anchorX = startInView ? startColumn : width / 2;
    const std::int64_t anchorFrame =
        startInView ? m_selectionStart : (std::int64_t{anchorX} + m_scroll) * m_zoom;
    SetZoomAbout(zoom, anchorX, anchorFrame, width);
}

void WaveModel::SetZoomAbout(int32_t zoom, int anchorX, std::int64_t anchorFrame, int viewWidth) {
    m_zoom = zoom;
    const auto [low, high] = GetScrollRange(viewWidth);
    m_scroll = ClampToInt32(std::clamp<std::int64_t>(anchorFrame / zoom - anchorX, low, high));
}

void WaveModel::ZoomAbout(bool in, int x, int viewWidth) {
    const int32_t zoom = in ? std::max(m_zoom / 2, kFinestZoom) : std::min(m_zoom * 2, m_fitZoom);
    const int width = std::max(viewWidth, 0);
    const int anchorX = std::clamp(x, 0, width);
    SetZoomAbout(zoom, anchorX, (std::int64_t{anchorX} + m_scroll) * m_zoom, width);
}

void WaveModel::ZoomToSelection(int viewWidth) {
    if (m_selectionEnd < 0 || viewWidth <= 0) {
        return;
    }
    const int32_t low = std::min(m_selectionStart, m_selectionEnd);
    const int32_t high = std::max(m_selectionStart, m_selectionEnd);
    int32_t zoom = kFinestZoom;
    while (zoom < m_fitZoom && high / zoom - low / zoom + 1 > viewWidth) {
        zoom *= 2;
    }
    const std::int64_t middle = (std::int64_t{low} + high) / 2;
    SetZoomAbout(zoom, viewWidth / 2, middle, viewWidth);
}

void WaveModel::SetScroll(int32_t column) {
    m_scroll = std::max(column, 0);
}

std::pair<int32_t, int32_t> WaveModel::GetScrollRange(int viewWidth) const {
    return {0, std::max(TotalColumns() - viewWidth, 0)};
}

// Both ends go on the zoom grid of the absolute columns, whatever the scroll position.
void WaveModel::SetSelection(int32_t startMs, int32_t endMs) {
    const auto onGrid = [this](int32_t ms) {
        const int32_t onZoomGrid = MsToFrame(ms) / m_zoom * m_zoom;
        return std::clamp(onZoomGrid, 0, m_totalFrames);
    };
    m_selectionEnd = endMs < 0 ? -1 : onGrid(endMs);
    m_selectionStart = onGrid(startMs);
    m_exactMs.reset();
}

void WaveModel::SetSelectionStartFromColumn(int x) {
    m_selectionStart = ColumnToFrame(x);
    m_exactMs.reset();
}

void WaveModel::SetSelectionEndFromColumn(int x) {
    m_selectionEnd = ColumnToFrame(x);
    m_exactMs.reset();
}

void WaveModel::SetExactSelection(int32_t startMs, int32_t endMs,
                                  std::optional<std::pair<int32_t, int32_t>> frames) {
    const auto [startFrame, endFrame] =
        frames.value_or(std::pair{MsToFrame(startMs), MsToFrame(endMs)});
    m_selectionStart = std::clamp(startFrame, 0, m_totalFrames);
    m_selectionEnd = std::clamp(endFrame, 0, m_totalFrames);
    m_exactMs = {startMs, endMs};
}

std::pair<int32_t, int32_t> WaveModel::SelectionMs() const {
    if (m_exactMs) {
        return *m_exactMs;
    }
    const auto [lower, upper] = GetSelectionInSeconds();
    return {static_cast<int32_t>(static_cast<long double>(lower) * 1000.0L),
            static_cast<int32_t>(static_cast<long double>(upper) * 1000.0L)};
}

int32_t WaveModel::FrameToMs(int32_t frame) const {
    return m_sampleRate == 0 ? 0 : ClampToInt32(std::llround(frame * 1000.0 / m_sampleRate));
}

int32_t WaveModel::DurationMs() const {
    return m_sampleRate == 0 ? 0 : ClampToInt32(std::int64_t{m_totalFrames} * 1000 / m_sampleRate);
}

int32_t WaveModel::ColumnMs() const {
    if (m_sampleRate == 0) {
        return 1;
    }
    return std::max<int32_t>(1, static_cast<int32_t>(std::lround(m_zoom * 1000.0 / m_sampleRate)));
}

std::pair<float, float> WaveModel::GetSelectionInSeconds() const {
    if (m_selectionEnd < 0 || m_sampleRate == 0) {
        return {0.0f, -1.0f};
    }
    return {FrameToSeconds(std::min(m_selectionStart, m_selectionEnd)),
            FrameToSeconds(std::max(m_selectionStart, m_selectionEnd))};
}

void WaveModel::SetGain(float gain) {
    m_gain = gain > 0 ? gain : 0.0f; // also catches NaN
    m_cachedZoom = 0;
}

QRect WaveModel::SpanRect(int32_t fromFrame, int32_t toFrame, const QRect& view) const {
    const int a = FrameToColumn(fromFrame);
    const int b = FrameToColumn(toFrame);
    const int left = std::min(a, b);
    const int right = std::min(std::max(a, b), view.x() + view.width());
    if (a == b || std::max(a, b) < 0 || left >= right) {
        return {};
    }
    return {left, view.y(), right - left, view.height()};
}

QRect WaveModel::GetSelectionRect(const QRect& view) const {
    if (m_selectionEnd < 0 || m_selectionStart == m_selectionEnd) {
        return {};
    }
    return SpanRect(m_selectionStart, m_selectionEnd, view);
}

QRect WaveModel::GetLimitRect(const QRect& view) const {
    return SpanRect(m_selectionStart, m_totalFrames, view);
}

std::optional<int> WaveModel::GetPlayCursorColumn(int32_t ms, int viewWidth) const {
    const int32_t frames = MsToFrame(ms);
    if (frames < 0) {
        return std::nullopt;
    }
    const std::int64_t column = frames / m_zoom;
    if (column <= m_scroll || column >= std::int64_t{m_scroll} + viewWidth - 1) {
        return std::nullopt;
    }
    return static_cast<int>(column - m_scroll);
}

void WaveModel::BeginEdgeDrag(bool startEdgeGrabbed) {
    const int32_t s = m_selectionStart / m_zoom;
    const int32_t e = m_selectionEnd / m_zoom;
    if (s < e) {
        m_movingStart = startEdgeGrabbed;
    } else if (e < s) {
        m_movingStart = !startEdgeGrabbed;
    }
}

QRect WaveModel::DragEdgeTo(int x, const QRect& view) {
    if (m_movingStart) {
        SetSelectionStartFromColumn(x);
    } else {
        SetSelectionEndFromColumn(x);
    }
    return GetSelectionRect(view);
}

void WaveModel::StartSelectionAt(int x) {
    m_selectionStart = ColumnToFrame(x);
    m_selectionEnd = m_selectionStart;
    m_movingStart = false;
    m_exactMs.reset();
}

int32_t WaveModel::ColumnToFrame(int x) const {
    const std::int64_t frame = (std::int64_t{x} + m_scroll) * m_zoom;
    return static_cast<int32_t>(std::clamp<std::int64_t>(frame, 0, m_totalFrames));
}

int32_t WaveModel::MsToFrame(int32_t ms) const {
    return ClampToInt32(std::int64_t{m_sampleRate} * ms / 1000);
}

int WaveModel::FrameToColumn(int32_t frame) const {
    return frame / m_zoom - m_scroll;
}

float WaveModel::FrameToSeconds(int32_t frame) const {
    return m_sampleRate == 0 ? 0.0f : static_cast<float>(frame) / static_cast<float>(m_sampleRate);
}

std::int64_t WaveModel::ColumnToMs(std::int64_t absoluteColumn) const {
    if (m_sampleRate == 0) {
        return 0;
    }
    return static_cast<std::int64_t>(static_cast<double>(m_zoom) *
                                     static_cast<double>(absoluteColumn) / m_sampleRate * 1000.0);
}

bool WaveModel::PointsNeedRebuild(const WaveLanes& lanes) const {
    return m_cachedZoom != m_zoom || m_cachedLanes.height != lanes.height ||
           m_cachedLanes.centre[0] != lanes.centre[0] || m_cachedLanes.centre[1] != lanes.centre[1];
}

void WaveModel::BuildPoints(const WaveLanes& lanes) {
    m_cachedZoom = m_zoom;
    m_cachedLanes = lanes;
    const int32_t framesPerColumn = m_zoom / kFinestZoom;
    m_cachedColumns = m_channels == 0 ? 0 : PeakFrames() / framesPerColumn;
    // A value of full scale (65535 steps from bottom to top) spans the lane's height f.
    const float scale = lanes.height > 0 ? m_gain * static_cast<float>(lanes.height) / 65535.0f : 0;
    for (uint32_t channel = 0; channel < 2; ++channel) {
        m_points[channel].clear();
        if (channel < m_channels) {
            BuildChannel(channel, scale, m_points[channel]);
        }
    }
    BuildClippingColumns();
}

void WaveModel::BuildClippingColumns() {
    m_clippingColumns.clear();
    if (m_gain <= 1.0f) {
        return;
    }
    const auto framesPerColumn = static_cast<std::size_t>(m_zoom / kFinestZoom);
    m_clippingColumns.assign(static_cast<std::size_t>(m_cachedColumns), false);
    for (std::size_t i = 0; i < m_clippingColumns.size() * framesPerColumn * m_channels; ++i) {
        const float value = m_gain * static_cast<float>(m_peakValues[i]);
        if (value > 32767.0f || value < -32768.0f) {
            m_clippingColumns[i / m_channels / framesPerColumn] = true;
        }
    }
}

bool WaveModel::ColumnClips(int32_t absoluteColumn) const {
    return absoluteColumn >= 0 &&
           static_cast<std::size_t>(absoluteColumn) < m_clippingColumns.size() &&
           m_clippingColumns[static_cast<std::size_t>(absoluteColumn)];
}

// Scaling keeps the order of the values (the scale is never negative), so each group's raw
// extremes are found first and only those two are scaled: an hour at the finest zoom is built in
// a few milliseconds.
void WaveModel::BuildChannel(uint32_t channel, float scale, std::vector<Extremes>& out) const {
    const auto framesPerColumn = static_cast<std::size_t>(m_zoom / kFinestZoom);
    out.resize(static_cast<std::size_t>(m_cachedColumns));
    // A peak file of its channel count alone holds no values, and an empty list's data may be
    // null, which no offset may be added to.
    if (out.empty()) {
        return;
    }
    const int16_t* value = m_peakValues.data() + channel;
    for (Extremes& column : out) {
        int16_t high = *value;
        int16_t low = high;
        value += m_channels;
        for (std::size_t k = 1; k < framesPerColumn; ++k, value += m_channels) {
            high = std::max(high, *value);
            low = std::min(low, *value);
        }
        column = {ClampToInt16(high * scale), ClampToInt16(low * scale)};
    }
}

WaveModel::ColumnPoints WaveModel::PointsAt(int lane, int32_t absoluteColumn) const {
    const int centre = m_cachedLanes.centre[lane == 0 ? 0 : 1];
    const auto& points = m_points[m_channels == 2 && lane != 0 ? 1 : 0];
    if (absoluteColumn < 0 || static_cast<std::size_t>(absoluteColumn) >= points.size()) {
        return {centre, centre};
    }
    const Extremes& column = points[static_cast<std::size_t>(absoluteColumn)];
    return {centre + column.high, centre + column.low};
}

std::size_t WaveModel::MemoryBytes() const {
    return m_peakValues.capacity() * sizeof(int16_t) +
           (m_points[0].capacity() + m_points[1].capacity()) * sizeof(Extremes);
}
