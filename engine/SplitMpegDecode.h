#pragma once

#include "PcmSink.h"
#include "ReaderState.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <lame/lame.h>
#include <memory>
#include <mutex>
#include <vector>

namespace orvanta {

class InputReader;
struct SplitPiece;

// What the decode loop knows of the stream and the WAV it writes.
struct SplitSettings {
    int pieces = 0; // 0 = one per core the process may use, at most 4
    std::vector<uint32_t> splitFrames;
    int channels = 0;
    int sampleRate = 0;
    int skipStart = 0;       // samples the loop drops at the start
    bool trimsEnd = false;   // the loop cuts samples off the last frames
    int32_t totalFrames = 0; // the frame count at which the loop trims the end
    // The loop stops after the block that brings the sample frames written to this many.
    uint64_t samplesWanted = UINT64_MAX;
    uint64_t largestDataBytes = 0;
    int outputDescriptor = -1; // the WAV, written with pwrite beside the loop's own stream
    PcmSink* sink = nullptr;
};

// A block the loop has not written yet, as InputReader::ReadSamples16 hands one out.
struct PendingBlock {
    std::array<int16_t, kMaxFrameSamples> left{};
    std::array<int16_t, kMaxFrameSamples> right{};
    int count = 0;
};

// What is left for the loop after the pieces have been taken over.
struct Handoff {
    bool cancelled = false;
    bool failed = false;
    uint64_t samples = 0; // sample frames the pieces wrote: the WAV's next frames
    uint64_t blocks = 0;  // the MPEG frames those came from
    // Blocks decoded but not written; they come before anything the reader reads next.
    std::deque<PendingBlock> pending;
};

// Decodes the later parts of an MPEG stream on threads of their own while the decode loop goes
// through the first part with the reader.
//
// The stream is split at frame boundaries of its unbroken run of frame headers. Each later
// piece's decoder starts some frames early and throws their samples away: the bit reservoir
// reaches up to 511 bytes back, and the overlap and synthesis filter buffers carry the previous
// frames. LAME's synthesis filter also sums its window in an order that depends on how many
// 32-sample blocks it has made, so a piece starts where that count agrees, modulo 16, with the
// one-thread decode's; otherwise a sample here and there would round one step apart. A piece
// writes its samples straight into the WAV where the one-thread decode would have written them.
//
// At each split the decoder before it decodes a few frames more and compares them with the
// piece's first frames; a piece that differs, or whose frames were not whole frames, is
// dropped with all after it, and the decoder before it goes on alone. The reader then carries
// on with the last accepted piece's decoder, so the end of the stream, whatever it holds, is
// read as the one-thread decode reads it.
class SplitMpegDecode {
public:
    // Plans the pieces and starts them; Active() says whether any runs.
    SplitMpegDecode(InputReader& reader, const SplitSettings& settings);
    ~SplitMpegDecode();
    SplitMpegDecode(const SplitMpegDecode&) = delete;
    SplitMpegDecode& operator=(const SplitMpegDecode&) = delete;

    bool Active() const { return !m_pieces.empty(); }
    // How many blocks the reader hands out before the first piece begins.
    uint64_t HandoffBlock() const { return m_handoffBlock; }
    // The MPEG frames the pieces have decoded so far, for the progress.
    uint64_t FramesDoneElsewhere() const;

    // At HandoffBlock(), every block before it a whole frame and `readerSamples` the samples
    // the reader decoded: checks the pieces in turn, and hands the reader the decoder of the last
    // one accepted. `stepOn` shows the frames done and answers whether to go on.
    Handoff HandOver(lame_global_flags* context, InputReader& reader, uint64_t readerSamples,
                     const std::function<bool(uint64_t)>& stepOn);
    // The reader's blocks no longer match the plan: stops every piece.
    void Abandon();
    // The pieces HandOver took, beside the reader's own.
    int PiecesTaken() const { return m_taken; }

private:
    void Plan(InputReader& reader, const SplitSettings& settings);
    void RunPiece(SplitPiece& piece);
    bool WaitForPiece(SplitPiece& piece, const std::function<bool(uint64_t)>& stepOn);
    void StopPieces();

    struct Stream;
    std::unique_ptr<Stream> m_stream;
    std::vector<std::unique_ptr<SplitPiece>> m_pieces;
    uint64_t m_handoffBlock = 0;
    int m_taken = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

} // namespace orvanta
