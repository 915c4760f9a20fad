#include "InputReader.h"

#include "EngineLog.h"
#include "MpegFrameHeader.h"
#include "PcmHeaders.h"
#include "ProgressSteps.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace orvanta {

namespace {

constexpr uint32_t kRiff = 0x52494646;
constexpr uint32_t kForm = 0x464F524D;
constexpr int kStreamChanged = -2;
constexpr std::size_t kProbePiece = 100;
constexpr std::size_t kFramePiece = 1024;
// A decoder that has seen this much after a plausible header without finding a frame is not
// looking at MPEG audio. The largest free-format frame LAME writes is under 6 KiB.
constexpr std::size_t kMaxProbeBytes = 64 * 1024;
constexpr std::size_t kMaxPcmBytes = 2 * kMaxFrameSamples * 4;
// How often a frame search asks whether to go on.
constexpr uint64_t kSearchStepBytes = 64 * 1024;
// A stream (a pipe, a device) this long without a frame is taken for junk that may never end;
// a regular file is searched to its end.
constexpr uint64_t kMaxStreamJunkBytes = 1024 * 1024;

uint32_t ClampToKnownCount(double count) {
    if (!(count >= 0.0)) {
        return 0;
    }
    return count >= double{kUnknownSampleCount} ? kUnknownSampleCount - 1
                                                : static_cast<uint32_t>(count);
}

// Each PCM sample as a 32-bit value with the sample in its top bits.
int32_t UnpackSample(const uint8_t* b, int width, bool bigEndian, bool unsigned8Bit) {
    uint32_t v = 0;
    switch (width) {
    case 8:
        v = unsigned8Bit ? (uint32_t{static_cast<uint8_t>(b[0] ^ 0x80)} << 24) | 0x007F0000u
                         : uint32_t{b[0]} << 24;
        break;
    case 16:
        v = bigEndian ? (uint32_t{b[0]} << 8 | b[1]) << 16 : (uint32_t{b[1]} << 8 | b[0]) << 16;
        break;
    case 24:
        v = bigEndian ? (uint32_t{b[0]} << 16 | uint32_t{b[1]} << 8 | b[2]) << 8
                      : (uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0]) << 8;
        break;
    default:
        v = bigEndian ? uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3]
                      : uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
        break;
    }
    return static_cast<int32_t>(v);
}

template <typename Sample, typename Convert>
void Deinterleave(std::span<const int32_t> samples, int count, int channels,
                  std::span<Sample, kMaxFrameSamples> left,
                  std::span<Sample, kMaxFrameSamples> right, Convert convert) {
    for (int i = 0; i < count; ++i) {
        left[i] = convert(samples[static_cast<std::size_t>(i * channels)]);
        right[i] = channels == 2 ? convert(samples[static_cast<std::size_t>(i * 2 + 1)]) : 0;
    }
}

} // namespace

bool InputReader::Open(lame_global_flags* context, const std::string& path, SourceFormat format,
                       int& delay, int& padding) {
    Close();
    m_state = ReaderState{};
    m_state.format = format;
    m_stream = Mp3StreamInfo{};
    m_readError = false;
    m_searchStopped = false;
    m_bytesSearched = 0;
    m_firstFrameOffset = 0;
    lame_set_num_samples(context, kUnknownSampleCount);

    if (!m_file.Open(path)) {
        EngineLog::Error(errno == EISDIR ? "\"%s\" is a folder, not an audio file.\n"
                                         : "Could not find \"%s\".\n",
                         path.c_str());
        return false;
    }
    const bool opened = MpegFamily(m_state.format) != 0 ? OpenMpeg(context, path, delay, padding)
                                                        : OpenByFormat(context);
    if (!opened) {
        Close();
        return false;
    }
    EstimateTotalFromSize(context);
    return true;
}

bool InputReader::OpenMpeg(lame_global_flags* context, const std::string& path, int& delay,
                           int& padding) {
    if (ProbeMpeg(delay, padding) == -1) {
        EngineLog::Error("Error reading headers in mp3 input file %s.\n", path.c_str());
        return false;
    }
    if (lame_set_num_channels(context, m_stream.channels) == -1) {
        EngineLog::Error("Unsupported number of channels: %ud\n",
                         static_cast<unsigned>(m_stream.channels));
        return false;
    }
    lame_set_in_samplerate(context, m_stream.sampleRate);
    lame_set_num_samples(context, m_stream.totalSamples);
    return true;
}

bool InputReader::OpenByFormat(lame_global_flags* context) {
    switch (m_state.format) {
    case SourceFormat::Vorbis:
        EngineLog::Error("sorry, vorbis support in LAME is deprecated.\n");
        return false;
    case SourceFormat::RawPcm:
        EngineLog::Info("Assuming raw pcm input file");
        EngineLog::Info("\n");
        return true;
    default:
        m_state.format = ParsePcmHeader(context);
        return m_state.format != SourceFormat::None;
    }
}

SourceFormat InputReader::ParsePcmHeader(lame_global_flags* context) {
    struct Container {
        uint32_t id;
        int (*parse)(SourceFile&, lame_global_flags*, ReaderState&);
        SourceFormat format;
        const char* corruptMessage;
    };
    static constexpr std::array<Container, 2> kContainers{{
        {kRiff, &ParseWaveHeader, SourceFormat::Wave,
         "Warning: corrupt or unsupported WAVE format\n"},
        {kForm, &ParseAiffHeader, SourceFormat::Aiff,
         "Warning: corrupt or unsupported AIFF format\n"},
    }};
    m_state.pcmUnsigned8Bit = true;
    m_state.countSamplesCarefully = false;
    uint32_t id = 0;
    const bool haveId = m_file.ReadBE32(id);
    for (const Container& container : kContainers) {
        if (!haveId || id != container.id) {
            continue;
        }
        const int result = container.parse(m_file, context, m_state);
        if (result > 0) {
            m_state.countSamplesCarefully = true;
            return container.format;
        }
        if (result < 0) {
            EngineLog::Error("%s", container.corruptMessage);
        }
        return SourceFormat::None;
    }
    EngineLog::Error("Warning: unsupported audio format\n");
    return SourceFormat::None;
}

void InputReader::EstimateTotalFromSize(lame_global_flags* context) {
    const std::optional<uint64_t> size = m_file.Size();
    if (lame_get_num_samples(context) != kUnknownSampleCount || !size) {
        return;
    }
    if (MpegFamily(m_state.format) == 0) {
        const uint64_t bytesPerFrame = 2 * static_cast<uint64_t>(lame_get_num_channels(context));
        lame_set_num_samples(context,
                             ClampToKnownCount(static_cast<double>(*size / bytesPerFrame)));
    } else if (m_stream.bitrate > 0) {
        const double seconds = static_cast<double>(*size) * 8.0 / (m_stream.bitrate * 1000.0);
        m_stream.totalSamples = ClampToKnownCount(lame_get_in_samplerate(context) * seconds);
        lame_set_num_samples(context, m_stream.totalSamples);
    }
}

int InputReader::ProbeMpeg(int& delay, int& padding) {
    for (;;) {
        m_stream = Mp3StreamInfo{};
        std::array<uint8_t, 4> header{};
        if (!m_decoder.Start() || !m_file.ReadExact(header) || SkipLeadingTags(header) != 0 ||
            SyncToFrameHeader(header) != 0) {
            return -1;
        }
        m_firstFrameOffset = m_file.Position().value_or(header.size()) - header.size();
        const bool freeFormat = (header[2] >> 4) == 0;
        if (freeFormat) {
            EngineLog::Info("Input file is freeformat.\n");
        }
        const int result = FeedProbe(header, freeFormat, delay, padding);
        if (result <= 0) {
            return result;
        }
    }
}

int InputReader::SkipLeadingTags(std::span<uint8_t, 4> header) {
    if (std::memcmp(header.data(), "ID3", 3) == 0) {
        EngineLog::Info(
            "ID3v2 found. Be aware that the ID3 tag is currently lost when transcoding.\n");
        std::array<uint8_t, 6> rest{};
        if (!m_file.ReadExact(rest)) {
            return -1;
        }
        const uint32_t tagSize = uint32_t{rest[2] & 0x7Fu} << 21 | uint32_t{rest[3] & 0x7Fu} << 14 |
                                 uint32_t{rest[4] & 0x7Fu} << 7 | (rest[5] & 0x7Fu);
        if (m_file.SkipForward(tagSize) != 0 || !m_file.ReadExact(header)) {
            return -1;
        }
    }
    static constexpr std::array<uint8_t, 4> kAlbumId{0x41, 0x69, 0x44, 0x01};
    if (std::equal(header.begin(), header.end(), kAlbumId.begin())) {
        std::array<uint8_t, 2> size{};
        if (!m_file.ReadExact(size)) {
            return -1;
        }
        const int length = size[0] + 256 * size[1];
        EngineLog::Info("Album ID found.  length=%i \n", length);
        // The length counts the six bytes already read; less cannot be.
        if (length < 6 || m_file.SkipForward(static_cast<uint64_t>(length - 6)) != 0 ||
            !m_file.ReadExact(header)) {
            return -1;
        }
    }
    return 0;
}

bool InputReader::SearchOn(std::size_t byteCount) {
    const uint64_t before = m_bytesSearched;
    m_bytesSearched += byteCount;
    if (before / kSearchStepBytes != m_bytesSearched / kSearchStepBytes &&
        StepSearching(m_bytesSearched) == 0) {
        m_searchStopped = true;
        return false;
    }
    if (!m_file.Size() && m_bytesSearched > kMaxStreamJunkBytes) {
        EngineLog::Error("No MPEG frame in %llu bytes of the stream\n",
                         static_cast<unsigned long long>(kMaxStreamJunkBytes));
        return false;
    }
    return true;
}

int InputReader::SyncToFrameHeader(std::span<uint8_t, 4> header) {
    while (!IsValidFrameHeader(header, m_state.format)) {
        if (!SearchOn(1)) {
            return -1;
        }
        const int next = m_file.ReadByte();
        if (next == EOF) {
            return -1;
        }
        std::copy(header.begin() + 1, header.end(), header.begin());
        header[3] = static_cast<uint8_t>(next);
    }
    return 0;
}

// 0 the stream is known, -1 failed, 1 the header was a false sync: probe again from here.
int InputReader::FeedProbe(std::span<uint8_t, 4> header, bool freeFormat, int& delay,
                           int& padding) {
    std::array<short, kMaxFrameSamples> discardLeft{};
    std::array<short, kMaxFrameSamples> discardRight{};
    mp3data_struct facts{};
    std::array<uint8_t, kProbePiece> piece{};
    std::size_t fed = header.size();
    int result = m_decoder.Decode(header.data(), header.size(), discardLeft.data(),
                                  discardRight.data(), &facts, &delay, &padding);
    for (;;) {
        if (result == -1) {
            return -1;
        }
        if (facts.header_parsed != 0) {
            m_stream.headerParsed = facts.header_parsed;
            m_stream.channels = facts.stereo;
            m_stream.sampleRate = facts.samplerate;
            m_stream.bitrate = facts.bitrate;
            m_stream.mode = facts.mode;
            m_stream.modeExtension = facts.mode_ext;
            m_stream.frameSize = facts.framesize;
            m_stream.totalSamples = ClampToKnownCount(static_cast<double>(facts.nsamp));
            m_stream.totalFrames = facts.totalframes;
            m_stream.frameNumber = facts.framenum;
            if (m_stream.bitrate != 0 || freeFormat) {
                if (m_stream.totalFrames <= 0) {
                    m_stream.totalSamples = kUnknownSampleCount;
                }
                return 0;
            }
        }
        if (facts.header_parsed != 0 || fed >= kMaxProbeBytes) {
            EngineLog::Error("fail to sync...\n");
            return 1;
        }
        if (!SearchOn(piece.size()) || !m_file.ReadExact(piece)) {
            return -1;
        }
        fed += piece.size();
        result = m_decoder.Decode(piece.data(), piece.size(), discardLeft.data(),
                                  discardRight.data(), &facts, &delay, &padding);
    }
}

int InputReader::DecodeBufferedFrame(std::span<uint8_t> bytes, Block16 left, Block16 right,
                                     mp3data_struct& facts) {
    // The tag's delay and padding were taken when the stream was opened.
    int delay = 0;
    int padding = 0;
    return m_decoder.Decode(bytes.data(), bytes.size(), left.data(), right.data(), &facts, &delay,
                            &padding);
}

// One frame's samples per channel; -1 at the end of the stream, kStreamChanged when the
// stream's channel count or sample rate is no longer the one the context was set up with.
int InputReader::DecodeMpegFrame(lame_global_flags* context, Block16 left, Block16 right) {
    if (!m_decoder) {
        return -1;
    }
    std::array<uint8_t, kFramePiece> piece; // only the bytes read into it are decoded
    mp3data_struct facts{};
    int count = DecodeBufferedFrame(std::span(piece).first(0), left, right, facts);
    while (count == 0) {
        if (!SearchOn(piece.size())) {
            // Endless junk after the audio is no end of the song.
            m_readError = !m_searchStopped;
            count = -1;
            break;
        }
        const std::size_t got = m_file.ReadItems(piece, 1);
        count = DecodeBufferedFrame(std::span(piece).first(got), left, right, facts);
        if (got == 0) {
            m_readError = m_file.HasError();
            if (count <= 0) {
                count = -1;
            }
            break;
        }
    }
    if (count < 0) {
        m_decoder.Stop();
        return -1;
    }
    m_bytesSearched = 0;
    // The decoder fills in the stream's facts only when it parsed a header in this call; a
    // free-format frame can come out of a call that parsed none, and then nothing has changed.
    if (facts.header_parsed != 0 && StreamChanged(context, facts)) {
        return kStreamChanged;
    }
    if (lame_get_num_channels(context) == 1) {
        std::fill(right.begin(), right.end(), int16_t{0});
    }
    return count;
}

bool InputReader::StreamChanged(lame_global_flags* context, const mp3data_struct& facts) {
    if (facts.stereo != lame_get_num_channels(context)) {
        EngineLog::Error("Error: number of channels has changed in %s - not supported\n",
                         "MP3 file");
        return true;
    }
    if (facts.samplerate != lame_get_in_samplerate(context)) {
        EngineLog::Error("Error: sample frequency has changed in %s - not supported\n", "MP3 file");
        return true;
    }
    return false;
}

int InputReader::WantedSamples(lame_global_flags* context) const {
    int wanted = std::clamp(lame_get_framesize(context), 0, kMaxFrameSamples);
    if (m_state.countSamplesCarefully) {
        const auto total = static_cast<uint32_t>(lame_get_num_samples(context));
        const uint32_t remaining = total - std::min(total, m_state.samplesRead);
        if (remaining < static_cast<uint32_t>(wanted) && total != 0) {
            wanted = static_cast<int>(remaining);
        }
    }
    return wanted;
}

int InputReader::ReadPcmSamples(int wanted, std::span<int32_t> samples) {
    const int width = m_state.pcmBitWidth;
    if (width != 8 && width != 16 && width != 24 && width != 32) {
        EngineLog::Error("Only 8, 16, 24 and 32 bit input files supported \n");
        m_readError = true;
        return -1;
    }
    const auto bytesPerSample = static_cast<std::size_t>(width / 8);
    std::array<uint8_t, kMaxPcmBytes> raw{};
    const std::size_t count = m_file.ReadItems(
        std::span(raw).first(static_cast<std::size_t>(wanted) * bytesPerSample), bytesPerSample);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = UnpackSample(&raw[i * bytesPerSample], width, m_state.pcmBigEndian,
                                  m_state.pcmUnsigned8Bit);
    }
    if (m_file.HasError()) {
        EngineLog::Error("Error reading input file\n");
        m_readError = true;
        return -1;
    }
    return static_cast<int>(count);
}

void InputReader::CountDelivered(lame_global_flags* context, int count) {
    if (lame_get_num_samples(context) != kUnknownSampleCount) {
        m_state.samplesRead += static_cast<uint32_t>(count);
    }
}

int InputReader::ReadMpegBlock(lame_global_flags* context, Block16 left, Block16 right) {
    const int count = DecodeMpegFrame(context, left, right);
    // A failed read is never the end of the stream: what came before is not the whole song.
    if (count == kStreamChanged || m_readError || m_searchStopped) {
        return -1;
    }
    if (count < 0) {
        std::fill(left.begin(), left.end(), int16_t{0});
        std::fill(right.begin(), right.end(), int16_t{0});
        return 0;
    }
    CountDelivered(context, count);
    return count;
}

template <typename Sample, typename Convert>
int InputReader::ReadPcmBlock(lame_global_flags* context, std::span<Sample, kMaxFrameSamples> left,
                              std::span<Sample, kMaxFrameSamples> right, Convert convert) {
    std::array<int32_t, 2 * kMaxFrameSamples> samples{};
    const int channels = lame_get_num_channels(context);
    const int got = ReadPcmSamples(WantedSamples(context) * channels, samples);
    if (got < 0) {
        return got;
    }
    const int count = got / channels;
    Deinterleave(std::span<const int32_t>(samples), count, channels, left, right, convert);
    CountDelivered(context, count);
    return count;
}

int InputReader::ReadSamples16(lame_global_flags* context, Block16 left, Block16 right) {
    if (MpegFamily(m_state.format) != 0) {
        return ReadMpegBlock(context, left, right);
    }
    return ReadPcmBlock(context, left, right,
                        [](int32_t s) { return static_cast<int16_t>(s >> 16); });
}

int InputReader::ReadSamples32(lame_global_flags* context, Block32 left, Block32 right) {
    if (MpegFamily(m_state.format) == 0) {
        return ReadPcmBlock(context, left, right, [](int32_t s) { return s; });
    }
    std::array<int16_t, kMaxFrameSamples> left16{};
    std::array<int16_t, kMaxFrameSamples> right16{};
    const int count = ReadMpegBlock(context, left16, right16);
    for (std::size_t i = 0; i < kMaxFrameSamples; ++i) {
        left[i] = static_cast<int32_t>(static_cast<uint32_t>(left16[i]) << 16);
        right[i] = static_cast<int32_t>(static_cast<uint32_t>(right16[i]) << 16);
    }
    return count;
}

bool InputReader::ContinueWith(HipDecoder& decoder, uint64_t offset) {
    if (m_file.SeekTo(offset) != 0) {
        return false;
    }
    m_decoder.Swap(decoder);
    m_bytesSearched = 0;
    return true;
}

void InputReader::Close() {
    m_decoder.Stop();
    if (m_file.IsOpen() && !m_file.CloseChecked()) {
        EngineLog::Error("Could not close audio input file\n");
    }
}

} // namespace orvanta
