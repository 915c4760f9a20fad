#include "WaveModel.h"

#include "EditorTestFiles.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

constexpr int kViewWidth = 651;
const QRect kView(0, 0, kViewWidth, 168);
constexpr int32_t kStep = 128; // frames per peak frame

int16_t Silence(std::int64_t, uint32_t) {
    return 0;
}

// A model over a silent file of `peakFrames` peak frames (channels as given).
WaveModel Loaded(const EditorTestFiles& files, std::int64_t peakFrames, uint16_t channels = 2,
                 uint32_t sampleRate = kTestRate) {
    const auto [wav, peaks] = files.Pair(peakFrames * kStep, channels, Silence, sampleRate);
    WaveModel model;
    EXPECT_EQ(model.Load(wav, peaks), 1);
    return model;
}

bool IsFinestTimesPowerOfTwo(int32_t zoom) {
    return zoom >= WaveModel::kFinestZoom && zoom % WaveModel::kFinestZoom == 0 &&
           ((zoom / WaveModel::kFinestZoom) & (zoom / WaveModel::kFinestZoom - 1)) == 0;
}

TEST(WaveModelZoom, FitZoomShowsTheWholeFileInAboutFiveHundredColumns) {
    struct Row {
        const char* what;
        std::int64_t peakFrames;
        int32_t fitZoom; // the smallest 128 * 2^k above floor(peakFrames / 512) * 128
    };
    const Row rows[] = {
        {"empty", 0, 128},
        {"one peak frame", 1, 128},
        {"just below 1024 peak frames", 1023, 128},
        {"1024 peak frames", 1024, 512},
        {"131072 peak frames", 131072, 65536},
        {"sixty minutes of stereo", (3600 * 44100 + kStep - 1) / kStep, 524288},
    };
    EditorTestFiles files;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WaveModel model = Loaded(files, row.peakFrames);
        EXPECT_EQ(model.FitZoom(), row.fitZoom);
        EXPECT_EQ(model.Zoom(), model.FitZoom());
        EXPECT_TRUE(IsFinestTimesPowerOfTwo(model.FitZoom()));
        model.BuildPoints({68, {64, 134}});
        EXPECT_EQ(model.CachedColumns(), row.peakFrames * kStep / model.FitZoom());
        if (row.peakFrames >= 1024) {
            EXPECT_LE(row.peakFrames * kStep / model.FitZoom(), 512);
            EXPECT_GE(row.peakFrames * kStep / model.FitZoom(), 256);
        }
    }
}

TEST(WaveModelZoom, StepsStopAtTheEndsAndKeepTheAnchorInPlace) {
    EditorTestFiles files;
    WaveModel model = Loaded(files, 131072);
    constexpr int kNarrow = 100; // narrow enough to scroll even at the fit zoom
    model.SetScroll(50);
    model.ZoomOut(kNarrow);
    EXPECT_EQ(model.Zoom(), model.FitZoom());
    EXPECT_EQ(model.Scroll(), 50) << "zoom out at the fit zoom changes nothing";

    while (model.Zoom() > WaveModel::kFinestZoom) {
        const int32_t centreFrame = model.ColumnToFrame(kNarrow / 2);
        model.ZoomIn(kNarrow);
        EXPECT_EQ(model.ColumnToFrame(kNarrow / 2) / model.Zoom(), centreFrame / model.Zoom())
            << "zoom in keeps the view's centre at " << model.Zoom();
    }
    model.SetScroll(1000);
    model.ZoomIn(kNarrow);
    EXPECT_EQ(model.Zoom(), WaveModel::kFinestZoom);
    EXPECT_EQ(model.Scroll(), 1000) << "zoom in at the finest zoom changes nothing";

    // A visible selection start keeps its column; the scroll stays in range after every step.
    model.SetSelectionStartFromColumn(30);
    model.SetSelectionEndFromColumn(60);
    for (int step = 0; step < 4; ++step) {
        model.ZoomOut(kNarrow);
        EXPECT_EQ(model.FrameToColumn(model.SelectionStart()), 30);
    }
    model.SetScroll(model.GetScrollRange(kNarrow).second);
    model.ZoomToFit(kNarrow);
    EXPECT_GE(model.Scroll(), 0);
    EXPECT_LE(model.Scroll(), model.GetScrollRange(kNarrow).second);
}

TEST(WaveModelSelection, SetSelectionLaysBothEndsOnTheZoomGrid) {
    struct Row {
        const char* what;
        std::int64_t frames;
        int32_t scroll;
        int32_t expectedEnd; // frames; -1 for "the whole file"
    };
    EditorTestFiles files;
    const Row rows[] = {
        {"a 10-second file is selected whole", 10 * 44100, 0, -1},
        {"a long file up to the last grid point at or below 20 s", 600 * 44100, 0, 0},
        {"the scroll position does not shift the selection", 600 * 44100, 37, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto [wav, peaks] = files.Pair(row.frames, 2, Silence);
        WaveModel model;
        ASSERT_EQ(model.Load(wav, peaks), 1);
        model.SetScroll(row.scroll);
        model.SetSelection(0, 20000);
        const int32_t grid = 20 * 44100 / model.Zoom() * model.Zoom();
        EXPECT_EQ(model.SelectionStart(), 0);
        EXPECT_EQ(model.SelectionEnd(), row.expectedEnd < 0 ? model.TotalFrames() : grid);
        EXPECT_LE(model.SelectionEnd(), 20 * 44100);
    }
}

TEST(WaveModelSelection, RectangleCases) {
    struct Row {
        const char* what;
        int startColumn, endColumn, scroll; // absolute columns at the finest zoom
        int left, width;                    // width 0: no rectangle
    };
    const Row rows[] = {
        {"start equals end", 100, 100, 0, 0, 0},
        {"inside the view", 100, 300, 0, 100, 200},
        {"ends in reverse order", 300, 100, 0, 100, 200},
        {"cut at the view's right edge", 100, 2000, 0, 100, kViewWidth - 100},
        {"begins left of the view", 0, 100, 20, -20, 100},
        {"wholly left of the view", 0, 10, 20, 0, 0},
        {"wholly right of the view", 700, 800, 0, 0, 0},
    };
    EditorTestFiles files;
    WaveModel model = Loaded(files, 4000, 2);
    while (model.Zoom() > WaveModel::kFinestZoom) {
        model.ZoomIn(kViewWidth);
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        model.SetScroll(0);
        model.SetSelectionStartFromColumn(row.startColumn);
        model.SetSelectionEndFromColumn(row.endColumn);
        model.SetScroll(row.scroll);
        const QRect rect = model.GetSelectionRect(kView);
        if (row.width == 0) {
            EXPECT_TRUE(rect.isNull());
            continue;
        }
        EXPECT_EQ(rect, QRect(row.left, kView.y(), row.width, kView.height()));
    }
    WaveModel empty;
    EXPECT_TRUE(empty.GetSelectionRect(kView).isNull()) << "no selection at construction";
}

TEST(WaveModelSelection, PlayCursorOnlyStrictlyInsideTheView) {
    EditorTestFiles files;
    // 128 kHz: one ms is one peak frame, one column at the finest zoom.
    WaveModel model = Loaded(files, 4000, 1, 128000);
    while (model.Zoom() > WaveModel::kFinestZoom) {
        model.ZoomIn(kViewWidth);
    }
    constexpr int32_t kScroll = 500;
    model.SetScroll(kScroll);
    struct Row {
        int32_t ms;
        std::optional<int> x;
    };
    const Row rows[] = {
        {-1, std::nullopt},
        {kScroll, std::nullopt},
        {kScroll + 1, 1},
        {kScroll + kViewWidth - 2, kViewWidth - 2},
        {kScroll + kViewWidth - 1, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(model.GetPlayCursorColumn(row.ms, kViewWidth), row.x) << row.ms << " ms";
    }
}

TEST(WaveModelSelection, EdgeDragsCrossOver) {
    EditorTestFiles files;
    WaveModel model = Loaded(files, 4000, 2, 128000);
    while (model.Zoom() > WaveModel::kFinestZoom) {
        model.ZoomIn(kViewWidth);
    }
    model.SetScroll(0);
    model.SetSelectionStartFromColumn(100);
    model.SetSelectionEndFromColumn(200);
    model.BeginEdgeDrag(/*startEdgeGrabbed=*/false);
    EXPECT_EQ(model.DragEdgeTo(50, kView), QRect(50, 0, 50, 168));
    EXPECT_GT(model.SelectionStart(), model.SelectionEnd());
    const auto [lower, upper] = model.GetSelectionInSeconds();
    EXPECT_FLOAT_EQ(lower, 0.05f);
    EXPECT_FLOAT_EQ(upper, 0.1f);

    // Now the left edge is the end: grabbing it still moves the end.
    model.BeginEdgeDrag(/*startEdgeGrabbed=*/true);
    EXPECT_EQ(model.DragEdgeTo(20, kView), QRect(20, 0, 80, 168));
    EXPECT_EQ(model.SelectionStart(), 100 * kStep);
    EXPECT_TRUE(model.DragEdgeTo(100, kView).isNull()) << "dragged onto the other edge";
}

TEST(WaveModelPoints, ColumnsHoldTheirGroupsExtremesScaledByTheGain) {
    EditorTestFiles files;
    // Peak frames alternate +v and -v in channel 0, channel 1 holds v / 2 throughout.
    constexpr int16_t v = 16384;
    const auto [wav, peaks] = files.Pair(1001 * kStep, 2, [](std::int64_t k, uint32_t c) {
        return static_cast<int16_t>(c == 1 ? v / 2 : (k % 2 == 0 ? v : -v));
    });
    WaveModel model;
    ASSERT_EQ(model.Load(wav, peaks), 1);
    const WaveLanes lanes{100, {80, 200}};
    ASSERT_EQ(model.Zoom(), 128);
    model.BuildPoints(lanes);
    EXPECT_EQ(model.CachedColumns(), 1001);
    EXPECT_EQ(model.PointsAt(0, 0).greatestY, 80 + v * 100 / 65535);
    EXPECT_EQ(model.PointsAt(0, 1).smallestY, 80 - v * 100 / 65535);

    model.SetGain(1.5f);
    EXPECT_TRUE(model.PointsNeedRebuild(lanes));
    model.BuildPoints(lanes);
    const int grown = model.PointsAt(0, 0).greatestY - 80;
    EXPECT_NEAR(grown, 1.5 * (v * 100 / 65535), 1.0);
    EXPECT_EQ(model.PointsAt(1, 7).greatestY, 200 + static_cast<int>(v / 2 * 150 / 65535));
    EXPECT_FALSE(model.PointsNeedRebuild(lanes));

    model.SetGain(std::nanf(""));
    model.BuildPoints(lanes);
    EXPECT_EQ(model.PointsAt(0, 0).greatestY, 80) << "a gain that is not a number draws flat";
}

TEST(WaveModelPoints, GroupsOfPeakFramesPerColumnAndMonoInBothLanes) {
    EditorTestFiles files;
    constexpr int16_t v = 32767;
    // 1030 peak frames: fit zoom 512 takes four per column; the last two are dropped.
    const auto [wav, peaks] = files.Pair(1030 * kStep, 1, [](std::int64_t k, uint32_t) {
        return static_cast<int16_t>(k % 4 == 1 ? v : (k % 4 == 2 ? -v : 0));
    });
    WaveModel model;
    ASSERT_EQ(model.Load(wav, peaks), 1);
    ASSERT_EQ(model.Zoom(), 512);
    model.BuildPoints({68, {64, 134}});
    EXPECT_EQ(model.CachedColumns(), 1030 / 4);
    for (int lane = 0; lane < 2; ++lane) {
        const int centre = lane == 0 ? 64 : 134;
        EXPECT_EQ(model.PointsAt(lane, 9).greatestY, centre + 33);
        EXPECT_EQ(model.PointsAt(lane, 9).smallestY, centre - 33);
    }
}

TEST(WaveModelLoad, DamagedInputsGiveAnEmptyWaveform) {
    EditorTestFiles files;
    constexpr std::int64_t kFrames = 30 * 44100;
    const std::string wav = files.Wav(kTestRate, 2, kFrames);
    const std::string goodPeaks = files.Peaks(2, std::vector<int16_t>(2 * 10336, 1000), "good.wfp");
    std::vector<uint8_t> rateZero(44, 0);
    rateZero[22] = 2;
    rateZero[34] = 16;
    const std::string huge = files.Peaks(1, {}, "huge.wfp");
    std::filesystem::resize_file(huge, WaveModel::kMaxPeakFileBytes + 6);
    struct Row {
        const char* what;
        std::string wav, peaks;
        int loaded;
        bool wavSound;
    };
    const Row rows[] = {
        {"both sound", wav, goodPeaks, 1, true},
        {"WAV shorter than its header", files.Raw({'R', 'I', 'F', 'F'}, "short.wav"), goodPeaks, 0,
         false},
        {"WAV with sample rate 0", files.Raw(rateZero, "rate0.wav"), goodPeaks, 0, false},
        {"WAV missing", files.Missing(), goodPeaks, 0, false},
        {"peak file missing", wav, files.Missing(), 0, true},
        {"peak file empty", wav, files.Raw({}, "empty.wfp"), 0, true},
        {"peak file of 3 bytes", wav, files.Raw({2, 0, 0}, "three.wfp"), 0, true},
        {"channel count 3", wav, files.Peaks(3, {1, 2, 3}, "channels3.wfp"), 0, true},
        {"channel count 0", wav, files.Peaks(0, {}, "zero.wfp"), 0, true},
        {"half a stereo frame", wav, files.Peaks(2, {1, 2, 3}, "half.wfp"), 0, true},
        {"odd byte count", wav, files.Raw({1, 0, 0, 0, 7}, "odd.wfp"), 0, true},
        {"larger than 64 MiB", wav, huge, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WaveModel model;
        EXPECT_EQ(model.Load(row.wav, row.peaks), row.loaded);
        EXPECT_EQ(model.HasPeaks(), row.loaded == 1);
        EXPECT_EQ(model.TotalFrames(), row.wavSound ? kFrames : 0);
        // Every operation stays defined on what was loaded.
        model.ZoomIn(kViewWidth);
        model.ZoomOut(kViewWidth);
        model.ZoomToFit(kViewWidth);
        model.SetScroll(3);
        model.SetSelection(0, 20000);
        model.BuildPoints({68, {64, 134}});
        EXPECT_EQ(model.PointsAt(1, 0).greatestY, row.loaded == 1 ? 134 + 1 : 134);
        EXPECT_EQ(model.ColumnToFrame(kViewWidth), model.TotalFrames())
            << "the file fits the view, so its right edge maps to the end";
        EXPECT_EQ(model.ColumnToFrame(-5), 0) << "left of the file start";
        EXPECT_EQ(model.GetPlayCursorColumn(1000, kViewWidth).has_value(), row.wavSound);
        const auto [lower, upper] = model.GetSelectionInSeconds();
        EXPECT_EQ(upper > lower, row.wavSound) << "a selection over the WAV's own length";
    }
}

} // namespace
