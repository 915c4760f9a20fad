#pragma once

#include "HipDecoder.h"
#include "ReaderState.h"
#include "SourceFile.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orvanta {

// Opens the input of a conversion, recognises and parses its header, tells the LAME context
// the stream's channel count, input sample rate and total sample count, and then hands out
// the audio one block at a time. MPEG audio goes through LAME's decoder; WAV, AIFF/AIFF-C and
// raw PCM are unpacked here.
class InputReader {
public:
    using Block16 = std::span<int16_t, kMaxFrameSamples>;
    using Block32 = std::span<int32_t, kMaxFrameSamples>;

    // `format` is the guess from the file name; the content may refine it (see Format()).
    // Fills delay and padding from an MP3's encoder tag, -1 where the stream has none.
    bool Open(lame_global_flags* context, const std::string& path, SourceFormat format, int& delay,
              int& padding);
    void Close();

    // Samples per channel delivered: positive, 0 at the end, negative when the stream cannot go
    // on (a read error, or an MPEG stream that changed its channel count or sample rate). Mono
    // input leaves the right block zero.
    int ReadSamples16(lame_global_flags* context, Block16 left, Block16 right);
    // As ReadSamples16, each sample left-justified in 32 bits.
    int ReadSamples32(lame_global_flags* context, Block32 left, Block32 right);

    // True when the last negative count came from a failed read rather than from the stream's
    // own end, so the caller must not take what it got so far as the whole file.
    bool HadReadError() const { return m_readError; }
    // True when the search for an MPEG frame stopped because the progress steps said so (a
    // cancel), not because the stream ended.
    bool SearchStopped() const { return m_searchStopped; }

    // The input's length in bytes; only for a regular file.
    std::optional<uint64_t> InputSize() const { return m_file.Size(); }
    SourceFormat Format() const { return m_state.format; }
    const ReaderState& State() const { return m_state; }
    Mp3StreamInfo& StreamInfo() { return m_stream; }

    // Where an MPEG stream's first frame header lies in the file: the one its decoder started on.
    uint64_t FirstFrameOffset() const { return m_firstFrameOffset; }
    // The input for reads at given offsets, up to ReadableSize; only for a regular file.
    int Descriptor() const { return m_file.Descriptor(); }
    std::optional<uint64_t> ReadableSize() const { return m_file.ReadableSize(); }
    // Goes on with `decoder` in place of its own, reading from `offset`: the decoder has decoded
    // everything before it, as this reader's decoder would have. The reader's decoder goes to
    // `decoder`. False when the file cannot be positioned there.
    bool ContinueWith(HipDecoder& decoder, uint64_t offset);

private:
    bool OpenMpeg(lame_global_flags* context, const std::string& path, int& delay, int& padding);
    bool OpenByFormat(lame_global_flags* context);
    SourceFormat ParsePcmHeader(lame_global_flags* context);
    void EstimateTotalFromSize(lame_global_flags* context);

    int ProbeMpeg(int& delay, int& padding);
    // Whether a frame search may go on after `byteCount` more bytes without a frame: not once
    // the search step says stop, and on a stream not past a bounded stretch of junk.
    bool SearchOn(std::size_t byteCount);
    int SyncToFrameHeader(std::span<uint8_t, 4> header);
    int SkipLeadingTags(std::span<uint8_t, 4> header);
    int FeedProbe(std::span<uint8_t, 4> header, bool freeFormat, int& delay, int& padding);
    int DecodeMpegFrame(lame_global_flags* context, Block16 left, Block16 right);
    static bool StreamChanged(lame_global_flags* context, const mp3data_struct& facts);
    int DecodeBufferedFrame(std::span<uint8_t> bytes, Block16 left, Block16 right,
                            mp3data_struct& facts);

    int ReadMpegBlock(lame_global_flags* context, Block16 left, Block16 right);
    template <typename Sample, typename Convert>
    int ReadPcmBlock(lame_global_flags* context, std::span<Sample, kMaxFrameSamples> left,
                     std::span<Sample, kMaxFrameSamples> right, Convert convert);
    int ReadPcmSamples(int wanted, std::span<int32_t> samples);
    int WantedSamples(lame_global_flags* context) const;
    void CountDelivered(lame_global_flags* context, int count);

    SourceFile m_file;
    HipDecoder m_decoder;
    ReaderState m_state;
    Mp3StreamInfo m_stream;
    bool m_readError = false;
    bool m_searchStopped = false;
    uint64_t m_bytesSearched = 0; // since the last frame
    uint64_t m_firstFrameOffset = 0;
};

} // namespace orvanta
