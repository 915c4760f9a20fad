#include "SplitMpegDecode.h"

#include "HipDecoder.h"
#include "InputReader.h"
#include "MpegFrameChain.h"
#include "PositionedIo.h"
#include "WaveHeader.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <sched.h>
#include <span>
#include <thread>

namespace orvanta {

namespace {

constexpr int kMostPieces = 4;
// Frames the decoder before a split decodes past it, to compare with the piece's first frames.
constexpr uint32_t kCheckFrames = 2;
// A piece's decoder starts at least this many frames, and frames holding this many bytes,
// before its first frame: four times the deepest bit reservoir, and the overlap and filter
// buffers are replaced within two frames.
constexpr uint32_t kWarmUpFrames = 4;
constexpr uint64_t kWarmUpBytes = 2048;
// The synthesis filter's window runs over 16 blocks of 32 samples.
constexpr uint64_t kSynthesisCycle = 512;
// Starts tried for a piece's decoder, one frame apart: the samples it makes before the piece
// take one of at most 8 places in the synthesis cycle.
constexpr uint32_t kWarmUpTries = 16;
// Pieces for a shorter song cost more to start than they save.
constexpr uint64_t kShortestSplitSeconds = 8;
// Within this many frames the decoder settles to one frame out for each frame in, after the
// tag frame and first frames whose reservoir lies before the stream.
constexpr uint32_t kMostUnsettledFrames = 64;
constexpr std::size_t kWriteChunkBytes = 256 * 1024;
// More bytes than this after the last frame are not worth searching for a frame sync.
constexpr uint64_t kLongestTailBytes = 64 * 1024;
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

int CoresToUse() {
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof cores, &cores) != 0) {
        return 1;
    }
    return CPU_COUNT(&cores);
}

// Feeds one frame to the decoder and takes every block it can then hand out: usually the frame
// itself, none while the decoder has yet to see a whole first frame, and sometimes two where it
// held one back (a new decoder reads its first header in one call and that frame's data in the
// next). False on a decoder error.
bool DecodeFrame(HipDecoder& decoder, std::span<uint8_t> frame, std::vector<PendingBlock>& blocks) {
    blocks.clear();
    mp3data_struct facts{};
    int delay = 0;
    int padding = 0;
    for (std::size_t fed = frame.size();; fed = 0) {
        PendingBlock& block = blocks.emplace_back();
        block.count = decoder.Decode(frame.data(), fed, block.left.data(), block.right.data(),
                                     &facts, &delay, &padding);
        if (block.count <= 0) {
            const bool failed = block.count < 0;
            blocks.pop_back();
            if (fed == 0 || failed) {
                return !failed;
            }
        }
    }
}

// How many frames at the start of the chain make no samples: the decoder's output falls behind
// its input by that many frames for good once it hands out one whole frame for each frame fed.
// nullopt when it has not settled so within the first frames.
std::optional<uint32_t> LeadingFramesWithoutSamples(HipDecoder& decoder, MpegFrameReader& frames,
                                                    const MpegFrameChain& chain) {
    decoder.SetQuiet(true);
    std::vector<PendingBlock> blocks;
    uint32_t made = 0;
    uint32_t settled = 0; // frames in a row that each gave one whole frame
    for (uint32_t frame = 0; frame < std::min(chain.Count(), kMostUnsettledFrames); ++frame) {
        const std::span<uint8_t> bytes = frames.Frame(frame);
        if (bytes.empty() || !DecodeFrame(decoder, bytes, blocks)) {
            return std::nullopt;
        }
        const bool whole = std::all_of(blocks.begin(), blocks.end(), [&chain](const auto& block) {
            return block.count == static_cast<int>(chain.samples);
        });
        if (!whole) {
            return std::nullopt;
        }
        made += static_cast<uint32_t>(blocks.size());
        settled = blocks.size() == 1 ? settled + 1 : 0;
        if (settled == kWarmUpFrames) {
            return frame + 1 - made;
        }
    }
    return std::nullopt;
}

// The first frame a piece starting at `start` decodes.
uint32_t WarmUpStart(const MpegFrameChain& chain, uint32_t start) {
    uint32_t from = start;
    while (from > 0 && (start - from < kWarmUpFrames ||
                        chain.offsets[start - 1] - chain.offsets[from] < kWarmUpBytes)) {
        --from;
    }
    return from;
}

bool SameBlocks(const std::vector<PendingBlock>& a, const std::vector<PendingBlock>& b,
                int channels) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [channels](const PendingBlock& x, const PendingBlock& y) {
                          const auto n = static_cast<std::size_t>(std::max(x.count, 0));
                          return x.count == y.count &&
                                 std::equal(x.left.begin(), x.left.begin() + n, y.left.begin()) &&
                                 (channels == 1 || std::equal(x.right.begin(), x.right.begin() + n,
                                                              y.right.begin()));
                      });
}

void AppendLittleEndian(const PendingBlock& block, int channels, std::vector<uint8_t>& bytes) {
    const auto put = [&bytes](int16_t sample) {
        const auto value = static_cast<uint16_t>(sample);
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    };
    for (std::size_t i = 0; i < static_cast<std::size_t>(block.count); ++i) {
        put(block.left[i]);
        if (channels == 2) {
            put(block.right[i]);
        }
    }
}

} // namespace

// One later part of the stream: frames [start, end) written into the WAV, then kCheckFrames more
// decoded to compare with the next piece's first frames.
struct SplitPiece {
    uint32_t start = 0;
    uint32_t end = 0;
    uint64_t wavFrame = 0; // the WAV's sample frame that the piece's first sample is
    HipDecoder decoder;
    std::unique_ptr<PcmSink> sink;
    std::atomic<uint64_t> framesDone{0};
    std::thread thread;
    // Written by the piece's thread before `finished`, read by the loop's after it.
    uint64_t samplesBefore = 0; // the samples its decoder made before `start`
    std::vector<PendingBlock> head;
    std::vector<PendingBlock> tail;
    bool usable = false;
    bool finished = false; // guarded by the decode's mutex
};

struct SplitMpegDecode::Stream {
    int input = -1;
    int output = -1;
    int channels = 0;
    uint32_t leadingFrames = 0; // frames before the first that makes samples
    PcmSink* sink = nullptr;
    MpegFrameChain chain;
};

namespace {

class PieceRun {
public:
    PieceRun(SplitPiece& piece, const MpegFrameChain& chain, uint32_t leadingFrames, int input,
             int output, int channels, const std::atomic<bool>& stop)
        : m_piece(piece), m_chain(chain), m_leading(leadingFrames), m_frames(input, chain),
          m_output(output), m_channels(channels), m_stop(stop) {}

    bool Run() { return WarmUp() && DecodeRange() && DecodeTail(); }

private:
    // Brings the decoder to the piece's first frame in step with the one-thread decode: the
    // samples it made before it agree with that decode's modulo the synthesis cycle. How many
    // of the first frames make no samples depends on where the decoder starts (their reservoir
    // lies before it), so earlier starts are tried until one agrees.
    bool WarmUp() {
        const uint64_t wanted = uint64_t{m_piece.start - m_leading} * m_chain.samples;
        const uint32_t latest = WarmUpStart(m_chain, m_piece.start);
        for (uint32_t earlier = 0; earlier < kWarmUpTries && earlier <= latest; ++earlier) {
            const std::optional<uint64_t> made = DecodeBefore(latest - earlier);
            if (!made) {
                return false;
            }
            if ((*made - wanted) % kSynthesisCycle == 0) {
                m_piece.samplesBefore = *made;
                return true;
            }
        }
        return false;
    }

    // Samples made by a new decoder from frame `from` up to the piece's first; nullopt when
    // stopped or the decoder failed.
    std::optional<uint64_t> DecodeBefore(uint32_t from) {
        if (!m_piece.decoder.Restart()) {
            return std::nullopt;
        }
        m_piece.decoder.SetQuiet(true);
        uint64_t made = 0;
        for (uint32_t frame = from; frame < m_piece.start; ++frame) {
            if (!Decode(frame)) {
                return std::nullopt;
            }
            for (const PendingBlock& block : m_blocks) {
                made += static_cast<uint64_t>(block.count);
            }
        }
        return made;
    }

    bool DecodeRange() {
        uint64_t at = kWaveHeaderBytes + m_piece.wavFrame * 2 * static_cast<uint64_t>(m_channels);
        std::vector<uint8_t> bytes;
        bytes.reserve(kWriteChunkBytes + 4 * kMaxFrameSamples);
        for (uint32_t frame = m_piece.start; frame < m_piece.end; ++frame) {
            // The decoder before the split reports what the first frames hold.
            if (frame == m_piece.start + kCheckFrames) {
                m_piece.decoder.SetQuiet(false);
            }
            if (!DecodeWhole(frame)) {
                return false;
            }
            if (frame < m_piece.start + kCheckFrames) {
                m_piece.head.push_back(m_blocks.front());
            }
            AppendLittleEndian(m_blocks.front(), m_channels, bytes);
            if ((bytes.size() >= kWriteChunkBytes || frame + 1 == m_piece.end) &&
                !Flush(bytes, at)) {
                return false;
            }
            m_piece.framesDone.fetch_add(1, std::memory_order_relaxed);
        }
        return true;
    }

    bool DecodeTail() {
        m_piece.decoder.SetQuiet(false);
        for (uint32_t frame = m_piece.end; frame < m_piece.end + kCheckFrames; ++frame) {
            if (!DecodeWhole(frame)) {
                return false;
            }
            m_piece.tail.push_back(m_blocks.front());
        }
        return true;
    }

    bool Flush(std::vector<uint8_t>& bytes, uint64_t& at) {
        if (!WriteAt(m_output, at, bytes)) {
            return false;
        }
        if (m_piece.sink) {
            m_piece.sink->Written(bytes, m_channels);
        }
        at += bytes.size();
        bytes.clear();
        return true;
    }

    // False when stopped, or when the frame did not decode to a whole frame of samples: the
    // WAV offsets of everything after it would no longer hold.
    bool DecodeWhole(uint32_t frame) {
        return Decode(frame) && m_blocks.size() == 1 &&
               m_blocks.front().count == static_cast<int>(m_chain.samples);
    }

    // False when stopped or when the frame could not be read or decoded.
    bool Decode(uint32_t frame) {
        if (m_stop.load(std::memory_order_relaxed)) {
            return false;
        }
        const std::span<uint8_t> bytes = m_frames.Frame(frame);
        return !bytes.empty() && DecodeFrame(m_piece.decoder, bytes, m_blocks);
    }

    SplitPiece& m_piece;
    const MpegFrameChain& m_chain;
    uint32_t m_leading;
    MpegFrameReader m_frames;
    int m_output;
    int m_channels;
    const std::atomic<bool>& m_stop;
    std::vector<PendingBlock> m_blocks; // what the last frame fed gave
};

int PiecesWanted(const SplitSettings& settings, const MpegFrameChain& chain) {
    if (settings.pieces > 0) {
        return std::min(settings.pieces, kMostPieces);
    }
    const uint64_t samples =
        std::min(uint64_t{chain.Count()} * chain.samples, settings.samplesWanted);
    if (samples < kShortestSplitSeconds * static_cast<uint64_t>(std::max(settings.sampleRate, 1))) {
        return 1;
    }
    return std::clamp(CoresToUse(), 1, kMostPieces);
}

// The frames where pieces start: each past the samples the loop skips at the start and at
// least kCheckFrames before the next, the last ending before the frames the loop trims.
std::vector<uint32_t> PieceStarts(const SplitSettings& settings, uint32_t leading, uint32_t lastEnd,
                                  uint32_t samples, int pieces) {
    const uint32_t earliest = leading + static_cast<uint32_t>(settings.skipStart) / samples + 1;
    std::vector<uint32_t> wanted = settings.splitFrames;
    if (wanted.empty()) {
        for (int i = 1; i < pieces; ++i) {
            wanted.push_back(leading + static_cast<uint32_t>(uint64_t{lastEnd - leading} *
                                                             static_cast<uint64_t>(i) /
                                                             static_cast<uint64_t>(pieces)));
        }
    }
    std::sort(wanted.begin(), wanted.end());
    std::vector<uint32_t> starts;
    for (const uint32_t start : wanted) {
        const uint32_t previous = starts.empty() ? earliest - kCheckFrames : starts.back();
        if (start >= earliest && start >= previous + kCheckFrames &&
            start + kCheckFrames <= lastEnd) {
            starts.push_back(start);
        }
    }
    if (starts.size() > static_cast<std::size_t>(kMostPieces - 1)) {
        starts.resize(kMostPieces - 1);
    }
    return starts;
}

} // namespace

SplitMpegDecode::SplitMpegDecode(InputReader& reader, const SplitSettings& settings) {
    Plan(reader, settings);
}

SplitMpegDecode::~SplitMpegDecode() {
    StopPieces();
}

void SplitMpegDecode::Plan(InputReader& reader, const SplitSettings& settings) {
    const std::optional<uint64_t> size = reader.ReadableSize();
    if (settings.pieces == 1 || (settings.pieces == 0 && CoresToUse() < 2) || !size ||
        MpegFamily(reader.Format()) == 0 || settings.channels < 1 || settings.channels > 2) {
        return;
    }
    auto stream = std::make_unique<Stream>();
    stream->input = reader.Descriptor();
    stream->output = settings.outputDescriptor;
    stream->channels = settings.channels;
    stream->sink = settings.sink;
    stream->chain = WalkMpegFrameChain(stream->input, reader.FirstFrameOffset(), *size);
    const MpegFrameChain& chain = stream->chain;
    const uint32_t count = chain.Count();
    // The reader carries on from the last piece through whatever follows the frames, fed as it
    // feeds the one-thread decode, but from another place: past the frames, that is safe only
    // where nothing could be taken for a frame (the end of the file, a text tag). A stream
    // broken by damage or junk stays whole on one thread.
    if (!HoldsNoFrameSync(stream->input, chain.offsets.back(), *size, kLongestTailBytes)) {
        return;
    }
    const int pieces = PiecesWanted(settings, chain);
    if (pieces < 2 || count < kWarmUpFrames + 4 * kCheckFrames ||
        uint64_t{count} * chain.samples * 2 * static_cast<uint64_t>(settings.channels) >
            settings.largestDataBytes) {
        return;
    }
    auto first = std::make_unique<SplitPiece>();
    MpegFrameReader frames(stream->input, chain);
    if (!first->decoder.TryStart()) {
        return;
    }
    const std::optional<uint32_t> leading =
        LeadingFramesWithoutSamples(first->decoder, frames, chain);
    if (!leading) {
        return;
    }
    stream->leadingFrames = *leading;
    int64_t lastEnd = count - kCheckFrames;
    if (settings.trimsEnd) {
        // The loop trims the block that brings its count to totalFrames, and with a long
        // padding the two before it.
        lastEnd = std::min<int64_t>(lastEnd, int64_t{settings.totalFrames} + *leading - 3);
    }
    if (settings.samplesWanted != UINT64_MAX) {
        // The block that completes what the loop wants is the loop's own to write, so that it
        // stops there as it would alone.
        const uint64_t blocks = (settings.samplesWanted +
                                 static_cast<uint64_t>(settings.skipStart) + chain.samples - 1) /
                                chain.samples;
        lastEnd = std::min<int64_t>(
            lastEnd, static_cast<int64_t>(std::min<uint64_t>(blocks, count)) + *leading - 1);
    }
    if (lastEnd <= *leading) {
        return;
    }
    const std::vector<uint32_t> starts =
        PieceStarts(settings, *leading, static_cast<uint32_t>(lastEnd), chain.samples, pieces);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        auto piece = i == 0 ? std::move(first) : std::make_unique<SplitPiece>();
        if (i > 0 && !piece->decoder.TryStart()) {
            break;
        }
        piece->start = starts[i];
        piece->end = i + 1 < starts.size() ? starts[i + 1] : static_cast<uint32_t>(lastEnd);
        piece->wavFrame = uint64_t{starts[i] - *leading} * chain.samples -
                          static_cast<uint64_t>(settings.skipStart);
        if (settings.sink != nullptr) {
            piece->sink = settings.sink->Branch(piece->wavFrame);
            if (!piece->sink) {
                break;
            }
        }
        m_pieces.push_back(std::move(piece));
    }
    if (m_pieces.empty()) {
        return;
    }
    m_handoffBlock = m_pieces.front()->start - *leading;
    m_stream = std::move(stream);
    for (const auto& piece : m_pieces) {
        piece->thread = std::thread([this, raw = piece.get()] { RunPiece(*raw); });
    }
}

void SplitMpegDecode::RunPiece(SplitPiece& piece) {
    PieceRun run(piece, m_stream->chain, m_stream->leadingFrames, m_stream->input, m_stream->output,
                 m_stream->channels, m_stop);
    const bool usable = run.Run();
    {
        const std::lock_guard lock(m_mutex);
        piece.usable = usable;
        piece.finished = true;
    }
    m_changed.notify_all();
}

uint64_t SplitMpegDecode::FramesDoneElsewhere() const {
    uint64_t frames = 0;
    for (const auto& piece : m_pieces) {
        frames += piece->framesDone.load(std::memory_order_relaxed);
    }
    return frames;
}

bool SplitMpegDecode::WaitForPiece(SplitPiece& piece, const std::function<bool(uint64_t)>& stepOn) {
    std::unique_lock lock(m_mutex);
    while (!m_changed.wait_for(lock, kProgressInterval, [&piece] { return piece.finished; })) {
        lock.unlock();
        const bool goOn = stepOn(FramesDoneElsewhere());
        lock.lock();
        if (!goOn) {
            return false;
        }
    }
    return true;
}

Handoff SplitMpegDecode::HandOver(lame_global_flags* context, InputReader& reader,
                                  uint64_t readerSamples,
                                  const std::function<bool(uint64_t)>& stepOn) {
    Handoff result;
    const auto whole = static_cast<int>(m_stream->chain.samples);
    std::vector<PendingBlock> own;
    bool ownWhole = true;
    while (ownWhole && own.size() < kCheckFrames) {
        PendingBlock& block = own.emplace_back();
        block.count = reader.ReadSamples16(context, block.left, block.right);
        ownWhole = block.count == whole;
    }
    // The samples made before each piece's start by the decoder that reached it first.
    uint64_t samplesThrough = readerSamples;
    const std::vector<PendingBlock>* before = &own;
    std::size_t accepted = 0;
    for (; ownWhole && accepted < m_pieces.size(); ++accepted) {
        SplitPiece& piece = *m_pieces[accepted];
        if (!WaitForPiece(piece, stepOn)) {
            result.cancelled = true;
            break;
        }
        if (!piece.usable || (samplesThrough - piece.samplesBefore) % kSynthesisCycle != 0 ||
            !SameBlocks(*before, piece.head, m_stream->channels)) {
            break;
        }
        samplesThrough =
            piece.samplesBefore + uint64_t{piece.end - piece.start} * m_stream->chain.samples;
        before = &piece.tail;
    }
    StopPieces();
    // Carrying on from an accepted piece's decoder through frames of a piece not taken would
    // feed them in other reads than the one-thread decode's, and a stream that broke one piece
    // may hold frames the decoder takes differently when fed differently: then the reader's
    // own decoder goes on alone from the first split.
    if (accepted < m_pieces.size()) {
        accepted = 0;
    }
    if (result.cancelled || accepted == 0) {
        result.pending.assign(own.begin(), own.end());
        m_pieces.clear();
        return result;
    }
    for (std::size_t i = 0; i < accepted; ++i) {
        SplitPiece& piece = *m_pieces[i];
        result.blocks += piece.end - piece.start;
        if (m_stream->sink != nullptr) {
            m_stream->sink->Merge(*piece.sink);
        }
    }
    result.samples = result.blocks * m_stream->chain.samples;
    m_taken = static_cast<int>(accepted);
    SplitPiece& last = *m_pieces[accepted - 1];
    result.pending.assign(last.tail.begin(), last.tail.end());
    result.failed =
        !reader.ContinueWith(last.decoder, m_stream->chain.offsets[last.end + kCheckFrames]);
    m_pieces.clear();
    return result;
}

void SplitMpegDecode::Abandon() {
    StopPieces();
    m_pieces.clear();
}

void SplitMpegDecode::StopPieces() {
    m_stop = true;
    for (const auto& piece : m_pieces) {
        if (piece->thread.joinable()) {
            piece->thread.join();
        }
    }
}

} // namespace orvanta
