#include "DecodeLoop.h"

#include "EngineLog.h"
#include "ProgressSteps.h"
#include "SplitMpegDecode.h"
#include "WaveHeader.h"

#include <algorithm>
#include <array>
#include <deque>
#include <limits>
#include <optional>
#include <span>
#include <unistd.h>

namespace orvanta {

namespace {

// The decoder's own delay, added to whatever the encoder put in front of the audio.
constexpr int kLayer3DecoderDelay = 529;
constexpr int kLayer12DecoderDelay = 241;
constexpr int kPcmFrameSize = 1152;
constexpr uint32_t kProvisionalDataLength = 0x7FFFFFFF;

std::optional<uint64_t> g_dataLimitForTest;

uint64_t LargestDataBytes() {
    return g_dataLimitForTest.value_or(kLargestWorkingWavDataBytes);
}

void ReportTooLong() {
    EngineLog::Error("Error: the decoded audio is larger than a WAV file can hold (4 GiB)\n");
}

struct Skips {
    int start = 0; // samples to drop at the start
    int end = 0;   // samples to drop at the end
};

void ReportInput(lame_global_flags* context, const std::string& inputPath, int channels) {
    EngineLog::Info("\rinput:  %s%s(%g kHz, %i channel%s, ", inputPath.c_str(),
                    inputPath.size() > 26 ? "\n\t" : "  ", lame_get_in_samplerate(context) * 0.001,
                    channels, channels == 1 ? "" : "s");
}

void ReportMpegLayer(lame_global_flags* context, const char* layer) {
    EngineLog::Info("MPEG-%u%s Layer %s", static_cast<unsigned>(2 - lame_get_version(context)),
                    lame_get_out_samplerate(context) < 16000 ? ".5" : "", layer);
}

Skips Layer3Skips(lame_global_flags* context, int skipCount, int delay, int padding) {
    Skips skips;
    if (skipCount != 0) {
        skips.start = skipCount + kLayer3DecoderDelay;
    } else if (delay > -1 || padding > -1) {
        if (delay > -1) {
            skips.start = delay + kLayer3DecoderDelay;
        }
        // Padding shorter than the decoder's delay leaves nothing to cut at the end; a negative
        // cut would lengthen the last block past what was decoded.
        if (padding > -1) {
            skips.end = std::max(0, padding - kLayer3DecoderDelay);
        }
    } else {
        skips.start = lame_get_encoder_delay(context) + kLayer3DecoderDelay;
    }
    return skips;
}

// Fills in what the loop needs to know of the stream; false for an MPEG layer not yet known.
bool PlanSkips(lame_global_flags* context, InputReader& reader, int skipCount, int delay,
               int padding, Skips& skips) {
    Mp3StreamInfo& stream = reader.StreamInfo();
    switch (reader.Format()) {
    case SourceFormat::MpegLayer1:
    case SourceFormat::MpegLayer2:
        skips.start = skipCount + kLayer12DecoderDelay;
        ReportMpegLayer(context, reader.Format() == SourceFormat::MpegLayer1 ? "I" : "II");
        return true;
    case SourceFormat::MpegLayer3:
        skips = Layer3Skips(context, skipCount, delay, padding);
        ReportMpegLayer(context, "III");
        return true;
    case SourceFormat::MpegAny:
        EngineLog::Error("Internal error.  Aborting.");
        return false;
    default:
        break;
    }
    const SourceFormat format = reader.Format();
    EngineLog::Info("%s", format == SourceFormat::RawPcm ? "raw PCM data"
                          : format == SourceFormat::Wave ? "Microsoft WAVE"
                          : format == SourceFormat::Aiff ? "SGI/Apple AIFF"
                                                         : "unknown");
    stream.totalSamples = static_cast<uint32_t>(lame_get_num_samples(context));
    // Progress counts reader blocks. A PCM block holds the encoder's frame size, which is half
    // of 1152 at 24 kHz and below; counting 1152-sample frames there would never move the bar.
    stream.frameSize = std::min(kPcmFrameSize, lame_get_framesize(context));
    return true;
}

void ReportOutputAndSkips(const std::string& outputPath, const Skips& skips) {
    EngineLog::Info(")\noutput: %s%s(16 bit, Microsoft WAVE)\n", outputPath.c_str(),
                    outputPath.size() > 45 ? "\n\t" : "  ");
    if (skips.start > 0) {
        EngineLog::Info("skipping initial %i samples (encoder+decoder delay)\n", skips.start);
    }
    if (skips.end > 0) {
        EngineLog::Info("skipping final %i samples (encoder padding-decoder delay)\n", skips.end);
    }
}

// Writes samples [first, end) of the block interleaved as 16-bit little-endian.
bool WriteFrames(std::FILE* output, const std::array<int16_t, kMaxFrameSamples>& left,
                 const std::array<int16_t, kMaxFrameSamples>& right, int first, int end,
                 int channels, PcmSink* sink) {
    std::array<uint8_t, 4 * kMaxFrameSamples> bytes; // only the first `used` bytes are written out
    std::size_t used = 0;
    const auto put = [&](int16_t sample) {
        const auto value = static_cast<uint16_t>(sample);
        bytes[used++] = static_cast<uint8_t>(value & 0xFF);
        bytes[used++] = static_cast<uint8_t>(value >> 8);
    };
    for (int i = first; i < end; ++i) {
        put(left[static_cast<std::size_t>(i)]);
        if (channels == 2) {
            put(right[static_cast<std::size_t>(i)]);
        }
    }
    if (std::fwrite(bytes.data(), 1, used, output) != used) {
        return false;
    }
    if (sink != nullptr) {
        sink->Written(std::span(bytes).first(used), channels);
    }
    return true;
}

// Within 32 bits: the loop never writes past LargestDataBytes().
uint32_t FinalDataLength(uint64_t frames, int channels) {
    if (frames == 0) {
        EngineLog::Error("WAVE file contains 0 PCM samples\n");
    }
    return static_cast<uint32_t>(frames * static_cast<uint64_t>(2 * channels));
}

// A PCM source whose file holds more samples than a working WAV can: refused before the first
// byte, so a decode does not fill the temporary folder only to fail. A header that merely
// announces more than its file holds (a streamed WAV's placeholder length) is left to the loop.
bool TooLongForWav(lame_global_flags* context, InputReader& reader) {
    const uint64_t frames = reader.StreamInfo().totalSamples;
    const std::optional<uint64_t> size = reader.InputSize();
    if (MpegFamily(reader.Format()) != 0 || frames == kUnknownSampleCount || !size) {
        return false;
    }
    const auto channels = static_cast<uint64_t>(lame_get_num_channels(context));
    const auto bytesPerSample = static_cast<uint64_t>((reader.State().pcmBitWidth + 7) / 8);
    return frames * channels * bytesPerSample <= *size &&
           frames * channels * 2 > LargestDataBytes();
}

enum class LoopEnd { Done, Cancelled, Failed };

// The frames that hold the first `ms` milliseconds at `sampleRate`, rounded up; no limit when
// the options name none.
uint64_t FramesWanted(const DecodeOptions& options, int sampleRate) {
    if (!options.stopAfterMs) {
        return std::numeric_limits<uint64_t>::max();
    }
    return (uint64_t{*options.stopAfterMs} * static_cast<uint64_t>(std::max(sampleRate, 0)) + 999) /
           1000;
}

// The next block: one decoded earlier and not yet written, else the reader's next.
int NextBlock(lame_global_flags* context, InputReader& reader, std::deque<PendingBlock>& pending,
              std::array<int16_t, kMaxFrameSamples>& left,
              std::array<int16_t, kMaxFrameSamples>& right) {
    if (pending.empty()) {
        return reader.ReadSamples16(context, left, right);
    }
    const PendingBlock block = pending.front();
    pending.pop_front();
    left = block.left;
    right = block.right;
    return block.count;
}

// Takes in what the pieces decoded on their threads; nullopt when the loop goes on.
std::optional<LoopEnd> TakeOverPieces(lame_global_flags* context, InputReader& reader,
                                      std::FILE* output, SplitMpegDecode& split,
                                      uint64_t& framesDecoded, uint64_t& framesWritten,
                                      std::deque<PendingBlock>& pending) {
    Mp3StreamInfo& stream = reader.StreamInfo();
    const auto stepOn = [&stream](uint64_t framesElsewhere) {
        const int ok = StepLoading(static_cast<uint32_t>(stream.frameNumber + framesElsewhere));
        EngineLog::FlushInfo();
        return ok != 0;
    };
    Handoff handoff = split.HandOver(context, reader, framesDecoded, stepOn);
    if (handoff.cancelled) {
        return LoopEnd::Cancelled;
    }
    if (handoff.failed) {
        EngineLog::Error("Error reading input file\n");
        return LoopEnd::Failed;
    }
    framesDecoded += handoff.samples;
    framesWritten += handoff.samples;
    stream.frameNumber += static_cast<int32_t>(handoff.blocks);
    pending = std::move(handoff.pending);
    const auto next = static_cast<off_t>(kWaveHeaderBytes +
                                         framesWritten * 2 *
                                             static_cast<uint64_t>(lame_get_num_channels(context)));
    if (handoff.samples > 0 && ::fseeko(output, next, SEEK_SET) != 0) {
        EngineLog::Error("Error writing output file\n");
        return LoopEnd::Failed;
    }
    return std::nullopt;
}

LoopEnd RunBlocks(lame_global_flags* context, InputReader& reader, std::FILE* output, Skips skips,
                  uint64_t framesWanted, uint64_t& framesDecoded, uint64_t& framesWritten,
                  PcmSink* sink, SplitMpegDecode& split) {
    Mp3StreamInfo& stream = reader.StreamInfo();
    const int channels = lame_get_num_channels(context);
    std::array<int16_t, kMaxFrameSamples> left{};
    std::array<int16_t, kMaxFrameSamples> right{};
    std::deque<PendingBlock> pending;
    for (uint64_t blocks = 0;; ++blocks) {
        if (split.Active() && blocks == split.HandoffBlock()) {
            if (const std::optional<LoopEnd> end = TakeOverPieces(
                    context, reader, output, split, framesDecoded, framesWritten, pending)) {
                return *end;
            }
        }
        int n = NextBlock(context, reader, pending, left, right);
        if (n < 0) {
            return reader.SearchStopped()  ? LoopEnd::Cancelled
                   : reader.HadReadError() ? LoopEnd::Failed
                                           : LoopEnd::Done;
        }
        if (split.Active() && n != stream.frameSize) {
            split.Abandon(); // the pieces' places in the WAV assume whole frames before them
        }
        framesDecoded += static_cast<uint64_t>(n);
        stream.frameNumber += n / stream.frameSize;
        const int ok =
            StepLoading(static_cast<uint32_t>(stream.frameNumber + split.FramesDoneElsewhere()));
        EngineLog::FlushInfo();
        if (ok == 0) {
            return LoopEnd::Cancelled;
        }
        const int skip = std::min(skips.start, n);
        if (skips.end > kMaxFrameSamples && stream.frameNumber + 2 > stream.totalFrames) {
            n -= skips.end - kMaxFrameSamples;
            skips.end = kMaxFrameSamples;
        } else if (stream.frameNumber == stream.totalFrames && n != 0) {
            n -= skips.end;
        }
        const auto blockBytes = static_cast<uint64_t>(std::max(0, n - skip)) * 2 * channels;
        if ((framesWritten * 2 * channels) + blockBytes > LargestDataBytes()) {
            ReportTooLong();
            return LoopEnd::Failed;
        }
        if (!WriteFrames(output, left, right, skip, n, channels, sink)) {
            EngineLog::Error("Error writing output file\n");
            return LoopEnd::Failed;
        }
        framesWritten += static_cast<uint64_t>(std::max(0, n - skip));
        skips.start -= skip;
        if (n <= 0 || framesWritten >= framesWanted) {
            return LoopEnd::Done;
        }
    }
}

// Completes the header; false when the file could not be written in full.
bool FinishOutput(std::FILE* output, uint64_t frames, int sampleRate, int channels) {
    const uint32_t dataLength = FinalDataLength(frames, channels);
    // The output is always a new regular file, so a failed seek is a failed write.
    if (std::fseek(output, 0, SEEK_SET) != 0 ||
        WriteWaveHeader(output, dataLength, sampleRate, channels, 16) != 0) {
        return false;
    }
    // Flushed here, so a full disk shows before the progress window is handed on. Pieces
    // decoded on other threads may have written past the end when they were not taken.
    return std::fflush(output) == 0 && std::ferror(output) == 0 &&
           ::ftruncate(::fileno(output), static_cast<off_t>(kWaveHeaderBytes + dataLength)) == 0;
}

} // namespace

void LimitWorkingWavDataForTest(std::optional<uint64_t> byteCount) {
    g_dataLimitForTest = byteCount;
}

int DecodeLoop(lame_global_flags* context, InputReader& reader, std::FILE* output, int skipCount,
               const std::string& inputPath, const std::string& outputPath, int delay, int padding,
               const DecodeOptions& options) {
    const int channels = lame_get_num_channels(context);
    const int sampleRate = lame_get_in_samplerate(context);
    ReportInput(context, inputPath, channels);
    Skips skips;
    if (!PlanSkips(context, reader, skipCount, delay, padding, skips)) {
        return -1;
    }
    Mp3StreamInfo& stream = reader.StreamInfo();
    if (stream.frameSize <= 0) {
        EngineLog::Error("Internal error.  Aborting.");
        return -1;
    }
    ReportOutputAndSkips(outputPath, skips);
    if (TooLongForWav(context, reader)) {
        ReportTooLong();
        return -1;
    }
    if (WriteWaveHeader(output, kProvisionalDataLength, sampleRate, channels, 16) != 0) {
        EngineLog::Error("Error writing output file\n");
        return -1;
    }
    // The header announces the sample frames actually written. Counting what was read less the
    // planned cuts gives the same number for a whole stream, but not when the end padding is
    // never reached (a cancel, or a truncated MP3 whose tag promises more frames).
    uint64_t framesDecoded = 0;
    uint64_t framesWritten = 0;
    stream.frameNumber = 0;
    stream.totalFrames =
        static_cast<int32_t>(stream.totalSamples / static_cast<uint32_t>(stream.frameSize));
    BeginLoading(static_cast<uint32_t>(stream.totalFrames));

    const uint64_t framesWanted = FramesWanted(options, sampleRate);
    SplitMpegDecode split(reader, SplitSettings{.pieces = options.pieces,
                                                .splitFrames = options.splitFrames,
                                                .channels = channels,
                                                .sampleRate = sampleRate,
                                                .skipStart = skips.start,
                                                .trimsEnd = skips.end != 0,
                                                .totalFrames = stream.totalFrames,
                                                .samplesWanted = framesWanted,
                                                .largestDataBytes = LargestDataBytes(),
                                                .outputDescriptor = ::fileno(output),
                                                .sink = options.sink});
    LoopEnd end = RunBlocks(context, reader, output, skips, framesWanted, framesDecoded,
                            framesWritten, options.sink, split);
    split.Abandon(); // no piece may write once the header is final
    if (options.piecesUsed != nullptr) {
        *options.piecesUsed = 1 + split.PiecesTaken();
    }
    // A failed decode's output is discarded: completing it would only bury the reason under
    // a complaint about its length.
    if (end != LoopEnd::Failed && !FinishOutput(output, framesWritten, sampleRate, channels)) {
        EngineLog::Error("Error writing output file\n");
        end = LoopEnd::Failed;
    }
    if (end == LoopEnd::Done && framesDecoded == 0 && MpegFamily(reader.Format()) != 0) {
        // A plausible header followed by nothing LAME can decode (random bytes named .mp3):
        // an empty working WAV must not pass for the song.
        EngineLog::Error("Error reading headers in mp3 input file %s.\n", inputPath.c_str());
        end = LoopEnd::Failed;
    }
    // A failed decode closes the progress window just as a cancelled one does.
    EndLoading(end == LoopEnd::Done ? 0 : 1);
    return end == LoopEnd::Done ? 0 : end == LoopEnd::Cancelled ? 1 : -1;
}

} // namespace orvanta
