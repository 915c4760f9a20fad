#include "NormalizedRingtone.h"

#include "AtomicOutputFile.h"
#include "ConversionEngine.h"
#include "EngineLog.h"
#include "PrivateTempFolder.h"
#include "WavProcessor.h"

#include <algorithm>
#include <array>

namespace orvanta {

namespace {

// True-peak meters oversample differently and disagree by a tenth of a dB or so on music (more
// on lone sharp clicks). The ceiling is a promise about the MP3 whoever measures it, so by ours
// it stays that much under.
constexpr double kMeterDisagreementDb = 0.1;
constexpr double kLoudnessToleranceLu = 0.3;
// The second encode overshoots about as much as the first: aim this much lower still.
constexpr double kPeakCorrectionMarginDb = 0.1;
// What the encoder's filtering typically adds to limited peaks: the first cut leaves that much
// room under the ceiling, so most ringtones need no second encode.
constexpr double kEncoderOvershootDb = 0.5;
// LAME's low-pass takes off the highs that the loudness weighting counts most: typically 0 to
// 0.5 LU. The first cut aims the middle of that above the target, so most MP3s land within the
// tolerance without a second encode.
constexpr double kEncoderLoudnessLossLu = 0.25;
// On noise-like audio the encoder's overshoot varies from one encode to the next by more than
// one correction takes off: each further encode corrects again from the one before.
constexpr int kMostEncodes = 4;

bool Encode(const std::string& wavPath, const std::string& mp3Path,
            const RingtoneSettings& settings, int& cancelled) {
    ConversionEngine engine;
    return engine.Open() &&
           engine.EncodeToMp3(wavPath, mp3Path, cancelled, settings.stereo, settings.outSampleRate);
}

bool CutAndEncode(const std::string& workingWavPath, const std::string& ringtoneWavPath,
                  const std::string& mp3Path, const RingtoneSettings& settings,
                  const NormalizeTarget& target, int& cancelled, NormalizeResult& result) {
    int cutCancelled = 0;
    if (!WavProcessor().CutRingtoneNormalized(workingWavPath, ringtoneWavPath, settings.startMs,
                                              settings.endMs, settings.fadeMs, target,
                                              settings.snapToZeroCrossings, cutCancelled, result)) {
        return false;
    }
    if (cutCancelled != 0) {
        cancelled = 1;
        return true;
    }
    return Encode(ringtoneWavPath, mp3Path, settings, cancelled);
}

// The aim of a further cut that undoes what the encoder did to the last: `used` moved by the
// last MP3's shortfall in loudness and by its excess over the `promised` ceiling.
NormalizeTarget CorrectedTarget(const NormalizeTarget& promised, const NormalizeTarget& used,
                                const NormalizeResult& last) {
    NormalizeTarget corrected = used;
    // The loudness the encoder took off the last MP3 it will take off the next as well.
    corrected.lufs = promised.lufs + last.after.integratedLufs - last.encoded.integratedLufs;
    const double peakExcess =
        last.encoded.truePeakDbtp - (promised.ceilingDbtp - kMeterDisagreementDb);
    if (peakExcess > 0.0) {
        corrected.ceilingDbtp -= peakExcess + kPeakCorrectionMarginDb;
    }
    return corrected;
}

bool NeedsCorrection(const NormalizeTarget& target, const NormalizeResult& result) {
    // Where the gain cap or the limiter kept the cut short of the target, what the cut reached
    // is what the MP3 should keep.
    const double reached = std::min(target.lufs, result.after.integratedLufs);
    return result.encoded.truePeakDbtp > target.ceilingDbtp - kMeterDisagreementDb ||
           std::abs(result.encoded.integratedLufs - reached) > kLoudnessToleranceLu;
}

bool CopyInto(const std::string& fromPath, const std::string& toPath) {
    FilePtr from(std::fopen(fromPath.c_str(), "rb"));
    AtomicOutputFile to;
    if (!from || !to.Create(toPath)) {
        EngineLog::Error("Could not write \"%s\".\n", toPath.c_str());
        return false;
    }
    std::array<char, 1 << 16> buffer{};
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), from.get())) > 0) {
        if (std::fwrite(buffer.data(), 1, read, to.File()) != read) {
            to.Discard();
            return false;
        }
    }
    if (std::ferror(from.get()) != 0) {
        to.Discard();
        return false;
    }
    return to.Commit();
}

} // namespace

bool MakeNormalizedRingtone(const std::string& workingWavPath, const std::string& ringtoneWavPath,
                            const std::string& mp3Path, const RingtoneSettings& settings,
                            const NormalizeTarget& target, int& cancelled,
                            NormalizeResult& result) {
    PrivateTempFolder folder;
    if (folder.Path().empty()) {
        EngineLog::Error("Could not make a temporary folder.\n");
        return false;
    }
    NormalizeTarget aim = target;
    aim.mono = !settings.stereo;
    aim.ceilingDbtp -= kEncoderOvershootDb;
    aim.lufs += kEncoderLoudnessLossLu;
    const std::string draftPath = folder.Path() + "draft.mp3";
    cancelled = 0;
    if (!CutAndEncode(workingWavPath, ringtoneWavPath, draftPath, settings, aim, cancelled,
                      result)) {
        return false;
    }
    if (cancelled != 0) {
        return true;
    }
    for (int encodes = 1; result.before.Measurable(); ++encodes) {
        const std::optional<LoudnessFigures> encoded =
            MeasureFile(draftPath, 0, -1, LoudnessMeter::kPeaks);
        if (!encoded) {
            return false;
        }
        result.encoded = *encoded;
        if (encodes == kMostEncodes || !NeedsCorrection(target, result)) {
            break;
        }
        aim = CorrectedTarget(target, aim, result);
        if (!CutAndEncode(workingWavPath, ringtoneWavPath, draftPath, settings, aim, cancelled,
                          result)) {
            return false;
        }
        if (cancelled != 0) {
            return true;
        }
        result.encodedTwice = true;
    }
    return CopyInto(draftPath, mp3Path);
}

} // namespace orvanta
