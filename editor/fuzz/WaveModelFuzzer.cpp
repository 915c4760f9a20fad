// libFuzzer target: the wave editor's readers of the working WAV and the peak file. The input is
// the WAV's length (it is cut or extended, sparse, to that), a selection in ms, the WAV's 44
// header bytes and then the whole peak file; the model is then zoomed through every step and
// drawn at two gains, as the editor would.

#include "FuzzCheck.h"
#include "FuzzWorkspace.h"
#include "WaveModel.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr std::size_t kParameterBytes = 12;
constexpr std::size_t kHeaderBytes = 44;
constexpr int kViewWidth = 640;

using orvanta::fuzz::Violation;

int32_t Int32At(const uint8_t* data) {
    uint32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    return static_cast<int32_t>(value);
}

void WriteWav(const std::string& path, const uint8_t* header, uint32_t length) {
    orvanta::fuzz::WriteWholeFile(path, header, kHeaderBytes);
    if (::truncate(path.c_str(), static_cast<off_t>(length)) != 0) {
        std::perror("orvanta fuzz: sizing the WAV");
        std::abort();
    }
}

// Every drawn point lies inside its lane when the gain cannot take a value past full scale.
void DrawEveryZoom(WaveModel& model, float gain) {
    const WaveLanes lanes{100, {50, 150}};
    model.SetGain(gain);
    model.ZoomToFit(kViewWidth);
    for (;;) {
        model.BuildPoints(lanes);
        for (int32_t column = 0; column < model.CachedColumns(); ++column) {
            for (int lane = 0; lane < 2; ++lane) {
                const auto points = model.PointsAt(lane, column);
                const int centre = lanes.centre[lane];
                if (gain <= 1.0f && (points.greatestY > centre + lanes.height / 2 + 1 ||
                                     points.smallestY < centre - lanes.height / 2 - 1)) {
                    Violation("a point drawn outside its lane");
                }
            }
            model.ColumnClips(column);
        }
        if (model.Zoom() == WaveModel::kFinestZoom) {
            return;
        }
        model.ZoomIn(kViewWidth);
    }
}

void Select(WaveModel& model, int32_t startMs, int32_t endMs) {
    const QRect view(0, 0, kViewWidth, 200);
    model.SetSelection(startMs, endMs);
    model.GetSelectionRect(view);
    model.ZoomToSelection(kViewWidth);
    model.GetSelectionInSeconds();
    model.SetExactSelection(startMs, endMs);
    model.SelectionMs();
    model.BeginEdgeDrag(true);
    model.DragEdgeTo(kViewWidth / 3, view);
    model.GetLimitRect(view);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < kParameterBytes + kHeaderBytes) {
        return -1;
    }
    const std::string& folder = orvanta::fuzz::WorkspaceFolder();
    const std::string wav = folder + "/work.wav";
    const std::string peaks = folder + "/work.wfp";
    WriteWav(wav, data + kParameterBytes, static_cast<uint32_t>(Int32At(data)));
    const std::size_t peakStart = kParameterBytes + kHeaderBytes;
    orvanta::fuzz::WriteWholeFile(peaks, data + peakStart, size - peakStart);

    WaveModel model;
    model.Load(wav, peaks);
    DrawEveryZoom(model, 1.0f);
    DrawEveryZoom(model, 1.5f);
    Select(model, Int32At(data + 4), Int32At(data + 8));
    return 0;
}
