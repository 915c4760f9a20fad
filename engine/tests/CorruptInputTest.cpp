#include "EngineHarness.h"
#include "TestSources.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvanta::test {
namespace {

namespace fs = std::filesystem;

enum class Expect {
    Fail,                // refused: no output, an error text
    DecodesConsistently, // the input is still decodable and must decode
    EitherButConsistent, // damage a reader may refuse or decode around
};

// What a successful decode must hold beyond a self-consistent header.
struct KnownOutput {
    int channels = 0;
    int sampleRate = 0;
    std::optional<std::vector<int16_t>> samples{}; // exact, where the source is PCM
    // Otherwise the sample frames lie in a range: decoded audio is not known to the sample.
    std::size_t minFrames = 0;
    std::size_t maxFrames = SIZE_MAX;
};

struct CorruptCase {
    std::string name;
    Bytes bytes;
    std::string fileName; // its last four characters choose the reader
    Expect expect = Expect::Fail;
    std::optional<KnownOutput> known{};
};

// Generous for a sanitizer build; a normal build needs well under a second per input.
constexpr std::chrono::seconds kDecodeLimit{60};

// A decode that never returns would stall the run without naming its input; this names it and
// aborts instead.
class HangGuard {
public:
    HangGuard(std::string what, std::chrono::seconds limit)
        : m_thread([this, what = std::move(what), limit] {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, limit, [this] { return m_done; })) {
                  std::fprintf(stderr, "HANG: decoding \"%s\" took more than %lld s\n",
                               what.c_str(), static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::abort();
              }
          }) {}
    ~HangGuard() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread; // last: it uses the members above from its first instruction
};

DecodeOutcome GuardedDecode(const std::string& what, const std::string& source,
                            const std::string& wav) {
    HangGuard guard(what, kDecodeLimit);
    return DecodeFile(source, wav);
}

bool FileExists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

// Whole vectors would flood the log; the first difference says enough.
void ExpectSameSamples(const std::vector<int16_t>& actual, const std::vector<int16_t>& expected) {
    EXPECT_EQ(actual.size(), expected.size()) << "sample count";
    const auto mismatch =
        std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (mismatch.first != actual.end() && mismatch.second != expected.end()) {
        ADD_FAILURE() << "first differing sample at index " << (mismatch.first - actual.begin())
                      << ": " << *mismatch.first << " instead of " << *mismatch.second;
    }
}

void ExpectCleanFailure(const DecodeOutcome& outcome, const std::string& wav) {
    EXPECT_FALSE(outcome.ok) << "decoded although the input cannot be decoded";
    EXPECT_EQ(outcome.cancelled, -1) << "a failed decode must leave `cancelled` alone";
    EXPECT_FALSE(outcome.errors.empty()) << "failed without saying why";
    EXPECT_FALSE(FileExists(wav)) << "a failed decode left its output behind";
}

void ExpectConsistentWav(const DecodeOutcome& outcome, const std::string& wav,
                         const std::optional<KnownOutput>& known) {
    ASSERT_TRUE(outcome.ok) << "refused a decodable input: " << outcome.errors;
    EXPECT_EQ(outcome.cancelled, 0);
    const Bytes bytes = ReadBytes(wav);
    ASSERT_GE(bytes.size(), 44u) << "working WAV shorter than its header";
    WorkingWav parsed;
    ASSERT_NO_THROW(parsed = ParseWorkingWav(bytes));
    EXPECT_EQ(parsed.dataLength, bytes.size() - 44) << "data length is not the file's";
    EXPECT_EQ(parsed.riffLength, parsed.dataLength + 36u);
    EXPECT_EQ(parsed.formatTag, 1);
    EXPECT_EQ(parsed.bits, 16);
    ASSERT_TRUE(parsed.channels == 1 || parsed.channels == 2) << parsed.channels;
    EXPECT_EQ(parsed.blockAlign, 2 * parsed.channels);
    EXPECT_EQ(parsed.byteRate, parsed.sampleRate * parsed.blockAlign);
    EXPECT_EQ(parsed.dataLength % parsed.blockAlign, 0u) << "a partial sample frame";
    if (known) {
        EXPECT_EQ(parsed.channels, known->channels);
        EXPECT_EQ(parsed.sampleRate, static_cast<uint32_t>(known->sampleRate));
        const std::size_t frames = parsed.dataLength / parsed.blockAlign;
        EXPECT_GE(frames, known->minFrames) << "audio went missing";
        EXPECT_LE(frames, known->maxFrames) << "more audio than the source holds";
        if (known->samples) {
            ExpectSameSamples(parsed.samples, *known->samples);
        }
    }
}

void CheckRow(const CorruptCase& row, const DecodeOutcome& outcome, const std::string& wav) {
    switch (row.expect) {
    case Expect::Fail:
        ExpectCleanFailure(outcome, wav);
        break;
    case Expect::DecodesConsistently:
        ExpectConsistentWav(outcome, wav, row.known);
        break;
    case Expect::EitherButConsistent:
        if (outcome.ok) {
            ExpectConsistentWav(outcome, wav, row.known);
        } else {
            ExpectCleanFailure(outcome, wav);
        }
        break;
    }
}

void RunRows(const std::vector<CorruptCase>& rows) {
    ASSERT_FALSE(rows.empty());
    TempDir dir;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CorruptCase& row = rows[i];
        SCOPED_TRACE("row " + std::to_string(i) + " \"" + row.name + "\" as " + row.fileName +
                     ", " + std::to_string(row.bytes.size()) + " bytes");
        // The prefix keeps names apart; the reader still sees the row's extension.
        const std::string source = dir.Path(std::to_string(i) + "-" + row.fileName);
        const std::string wav = dir.Path(std::to_string(i) + "-work.wav");
        WriteBytes(source, row.bytes);
        const DecodeOutcome outcome = GuardedDecode(row.name, source, wav);
        CheckRow(row, outcome, wav);
        std::error_code ignored;
        fs::remove(source, ignored);
        fs::remove(wav, ignored);
    }
}

// ---- Building the corpus ---------------------------------------------------------------------

uint32_t ReadLE32At(const Bytes& bytes, std::size_t at) {
    return uint32_t{bytes.at(at)} | uint32_t{bytes.at(at + 1)} << 8 |
           uint32_t{bytes.at(at + 2)} << 16 | uint32_t{bytes.at(at + 3)} << 24;
}

uint32_t ReadBE32At(const Bytes& bytes, std::size_t at) {
    return uint32_t{bytes.at(at)} << 24 | uint32_t{bytes.at(at + 1)} << 16 |
           uint32_t{bytes.at(at + 2)} << 8 | uint32_t{bytes.at(at + 3)};
}

Bytes PatchLE(Bytes bytes, std::size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes.at(at + static_cast<std::size_t>(i)) = static_cast<uint8_t>(value >> (8 * i));
    }
    return bytes;
}

Bytes PatchBE(Bytes bytes, std::size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes.at(at + static_cast<std::size_t>(i)) =
            static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
    }
    return bytes;
}

Bytes PatchBytes(Bytes bytes, std::size_t at, const Bytes& with) {
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

Bytes Prefix(const Bytes& bytes, std::size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

Bytes Concat(const Bytes& first, const Bytes& second) {
    Bytes out = first;
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

std::size_t FindText(const Bytes& bytes, const char* text, std::size_t from = 0) {
    const std::size_t length = std::strlen(text);
    for (std::size_t at = from; at + length <= bytes.size(); ++at) {
        if (std::memcmp(&bytes[at], text, length) == 0) {
            return at;
        }
    }
    throw std::runtime_error(std::string("no \"") + text + "\" in the source");
}

// Where a RIFF file's samples begin, found by walking its chunks as any reader must.
std::size_t WavDataOffset(const Bytes& wav) {
    std::size_t at = 12;
    while (at + 8 <= wav.size()) {
        const uint32_t length = ReadLE32At(wav, at + 4);
        if (std::memcmp(&wav[at], "data", 4) == 0) {
            return at + 8;
        }
        at += 8 + length + (length & 1);
    }
    throw std::runtime_error("no data chunk");
}

std::size_t AiffSamplesOffset(const Bytes& aiff) {
    const std::size_t ssnd = FindText(aiff, "SSND", 12);
    return ssnd + 16 + ReadBE32At(aiff, ssnd + 8);
}

// Bytes of the MPEG-1 layer I or III frame whose header starts at `at`.
std::size_t Mpeg1FrameBytes(const Bytes& bytes, std::size_t at) {
    static constexpr std::array<int, 3> kRates{44100, 48000, 32000};
    const uint8_t b1 = bytes.at(at + 1);
    const uint8_t b2 = bytes.at(at + 2);
    if (bytes.at(at) != 0xFF || (b1 & 0xF8) != 0xF8) {
        throw std::runtime_error("not an MPEG-1 frame header");
    }
    const int bitrateIndex = b2 >> 4;
    const int rate = kRates.at(static_cast<std::size_t>((b2 >> 2) & 3));
    const int padding = (b2 >> 1) & 1;
    const int layerBits = (b1 >> 1) & 3;
    if (layerBits == 3) { // layer I
        return static_cast<std::size_t>((12000 * 32 * bitrateIndex / rate + padding) * 4);
    }
    if (layerBits == 1) { // layer III
        static constexpr std::array<int, 15> kKbps{0,   32,  40,  48,  56,  64,  80, 96,
                                                   112, 128, 160, 192, 224, 256, 320};
        return static_cast<std::size_t>(
            144000 * kKbps.at(static_cast<std::size_t>(bitrateIndex)) / rate + padding);
    }
    throw std::runtime_error("layer II frames are not built here");
}

enum class Layout { Wav, Aiff, AiffSsndFirst, Raw, Mpeg };

struct ValidSource {
    std::string name;
    Bytes bytes;
    std::string fileName;
    Layout layout;
    std::size_t audioStart = 0;  // PCM: first sample byte; MPEG: end of the first frame
    std::size_t firstHeader = 0; // MPEG: where the first frame starts
    std::size_t frames = 0;      // MPEG: sample frames encoded
    int channels = 0;
    int sampleRate = 0;
    std::size_t bytesPerFrame = 0;
    std::vector<int16_t> samples{}; // PCM: the working WAV's samples for the whole source
};

ValidSource WavSource(const std::string& name, const PcmSignal& signal,
                      const WavOptions& options = {}) {
    ValidSource source{name, MakeWav(signal, options), "source.wav", Layout::Wav};
    source.audioStart = WavDataOffset(source.bytes);
    source.channels = signal.channels;
    source.sampleRate = signal.sampleRate;
    source.bytesPerFrame = static_cast<std::size_t>(signal.channels * ((signal.bits + 7) / 8));
    source.samples = ExpectedWorkingSamples(signal, /*unsigned8Bit=*/true);
    return source;
}

ValidSource AiffSource(const std::string& name, const PcmSignal& signal,
                       const AiffOptions& options = {}) {
    ValidSource source{name, MakeAiff(signal, options), "source.aif",
                       options.ssndBeforeComm ? Layout::AiffSsndFirst : Layout::Aiff};
    source.audioStart = AiffSamplesOffset(source.bytes);
    source.channels = signal.channels;
    source.sampleRate = signal.sampleRate;
    source.bytesPerFrame = static_cast<std::size_t>(signal.channels * ((signal.bits + 7) / 8));
    source.samples = ExpectedWorkingSamples(signal, /*unsigned8Bit=*/false);
    return source;
}

ValidSource RawSource(const PcmSignal& signal) {
    ValidSource source{"raw", MakeRawPcm(signal), "source.raw", Layout::Raw};
    // Headerless input is read with LAME's defaults: stereo at 44.1 kHz.
    source.channels = 2;
    source.sampleRate = 44100;
    source.bytesPerFrame = 4;
    return source;
}

struct MpegFacts {
    int channels = 0;
    int sampleRate = 0;
    std::size_t frames = 0;
};

ValidSource MpegSource(const std::string& name, Bytes bytes, const std::string& fileName,
                       std::size_t firstHeader, const MpegFacts& facts) {
    ValidSource source{name, std::move(bytes), fileName, Layout::Mpeg};
    source.firstHeader = firstHeader;
    source.audioStart = firstHeader + Mpeg1FrameBytes(source.bytes, firstHeader);
    source.channels = facts.channels;
    source.sampleRate = facts.sampleRate;
    source.frames = facts.frames;
    return source;
}

// Decoded MPEG audio differs from what was encoded by the codec's delays and whole frames at
// either end, never by more.
constexpr std::size_t kMpegSlack = 3 * 1152 + 529;

KnownOutput MpegOutput(const MpegFacts& facts, std::size_t atLeast) {
    return KnownOutput{facts.channels, facts.sampleRate, std::nullopt,
                       atLeast > kMpegSlack ? atLeast - kMpegSlack : 0, facts.frames + kMpegSlack};
}

KnownOutput MpegOutput(const MpegFacts& facts) {
    return MpegOutput(facts, facts.frames);
}

// The working samples of raw 16-bit little-endian stereo: every whole frame, as stored.
std::vector<int16_t> RawSamples(const Bytes& raw, std::size_t length) {
    std::vector<int16_t> samples;
    for (std::size_t at = 0; at + 4 <= length; at += 4) {
        for (std::size_t half = 0; half < 4; half += 2) {
            samples.push_back(static_cast<int16_t>(raw[at + half] | raw[at + half + 1] << 8));
        }
    }
    return samples;
}

KnownOutput KnownPrefix(const ValidSource& source, std::size_t frames) {
    const auto count = static_cast<std::ptrdiff_t>(frames) * source.channels;
    return KnownOutput{
        source.channels, source.sampleRate,
        std::vector<int16_t>(source.samples.begin(), source.samples.begin() + count)};
}

const MpegFacts kMp3Stereo{2, 44100, 22050};
const MpegFacts kMp3Mono{1, 48000, 19200};
constexpr int kLayer1Frames = 24;
const MpegFacts kLayer1{2, 48000, kLayer1Frames * 384};

Bytes Mp3Stereo() {
    return EncodeMp3(MusicSamples(kMp3Stereo.channels, kMp3Stereo.sampleRate,
                                  static_cast<uint32_t>(kMp3Stereo.frames)),
                     kMp3Stereo.channels, kMp3Stereo.sampleRate, 128);
}

Bytes Mp3MonoUntagged() {
    return EncodeMp3(MusicSamples(kMp3Mono.channels, kMp3Mono.sampleRate,
                                  static_cast<uint32_t>(kMp3Mono.frames)),
                     kMp3Mono.channels, kMp3Mono.sampleRate, 64, /*tagFrame=*/false);
}

std::vector<ValidSource> ValidSources() {
    std::vector<ValidSource> sources;
    sources.push_back(WavSource("wav 16-bit stereo", PcmSignal{2, 44100, 16, 3000}));
    sources.push_back(WavSource("wav 8-bit mono", PcmSignal{1, 22050, 8, 2000}));
    sources.push_back(WavSource("wav 24-bit stereo", PcmSignal{2, 48000, 24, 1500}));
    WavOptions extensible;
    extensible.extensible = true;
    sources.push_back(WavSource("wav extensible", PcmSignal{2, 44100, 16, 1500}, extensible));
    WavOptions lists;
    lists.listChunksBeforeFmt = 1;
    lists.listChunksBeforeData = 1;
    lists.oddListChunks = true;
    sources.push_back(WavSource("wav with LIST chunks", PcmSignal{1, 44100, 16, 1500}, lists));
    sources.push_back(AiffSource("aiff 16-bit stereo", PcmSignal{2, 44100, 16, 2000}));
    AiffOptions sowt;
    sowt.aifc = true;
    sowt.compression = "sowt";
    sources.push_back(AiffSource("aifc sowt mono", PcmSignal{1, 32000, 16, 2000}, sowt));
    AiffOptions ssndFirst;
    ssndFirst.ssndBeforeComm = true;
    sources.push_back(
        AiffSource("aiff SSND before COMM", PcmSignal{2, 44100, 16, 1000}, ssndFirst));
    sources.push_back(RawSource(PcmSignal{2, 44100, 16, 2000}));
    sources.push_back(
        MpegSource("mp3 stereo with tag frame", Mp3Stereo(), "source.mp3", 0, kMp3Stereo));
    sources.push_back(
        MpegSource("mp3 mono untagged", Mp3MonoUntagged(), "source.mp3", 0, kMp3Mono));
    constexpr uint32_t kId3Payload = 40;
    sources.push_back(MpegSource("mp3 after ID3v2", WithId3v2(Mp3Stereo(), kId3Payload),
                                 "source.mp3", 10 + kId3Payload, kMp3Stereo));
    sources.push_back(
        MpegSource("layer I", MakeLayer1Stream(2, kLayer1Frames), "source.mp1", 0, kLayer1));
    return sources;
}

std::vector<std::size_t> TruncationLengths(const ValidSource& source) {
    const std::size_t size = source.bytes.size();
    std::vector<std::size_t> lengths{
        0,  1,  2,  3,  4,  7,  8,  11, 12,  16,  20,  24,   36,       40,       43,      44,
        45, 46, 53, 54, 55, 60, 68, 99, 100, 104, 256, 1000, size / 2, size - 2, size - 1};
    for (const std::size_t around : {source.audioStart, source.audioStart + source.bytesPerFrame}) {
        for (const std::size_t length : {around - 1, around, around + 1}) {
            lengths.push_back(length);
        }
    }
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    std::erase_if(lengths, [&](std::size_t length) { return length >= size; });
    return lengths;
}

CorruptCase TruncatedRow(const ValidSource& source, std::size_t length) {
    CorruptCase row{source.name + " cut to " + std::to_string(length), Prefix(source.bytes, length),
                    source.fileName};
    switch (source.layout) {
    case Layout::Wav:
    case Layout::Aiff:
        // A complete header with fewer samples than it announces is still a usable file: the
        // samples that are there are the output.
        if (length < source.audioStart) {
            row.expect = Expect::Fail;
        } else {
            row.expect = Expect::DecodesConsistently;
            row.known = KnownPrefix(source, (length - source.audioStart) / source.bytesPerFrame);
        }
        break;
    case Layout::AiffSsndFirst:
        // The COMM chunk at the end is what a reader needs before any sample.
        row.expect = Expect::Fail;
        break;
    case Layout::Raw:
        row.expect = Expect::DecodesConsistently;
        row.known = KnownOutput{2, 44100, RawSamples(source.bytes, length)};
        break;
    case Layout::Mpeg: {
        // Without one complete frame there is nothing to decode; half a song must still decode,
        // to about the share of the bytes that is left.
        row.expect = length < source.audioStart          ? Expect::Fail
                     : length >= source.bytes.size() / 2 ? Expect::DecodesConsistently
                                                         : Expect::EitherButConsistent;
        const std::size_t share = source.frames * (length - std::min(length, source.firstHeader)) /
                                  (source.bytes.size() - source.firstHeader);
        row.known = MpegOutput({source.channels, source.sampleRate, source.frames}, share);
        break;
    }
    }
    return row;
}

// ---- Canonical sources for header patches -----------------------------------------------------

const PcmSignal kWavSignal{2, 44100, 16, 3000};
const PcmSignal kAiffSignal{2, 44100, 16, 2000};

// Offsets in MakeWav's canonical 44-byte header.
constexpr std::size_t kRiffLength = 4;
constexpr std::size_t kFmtLength = 16;
constexpr std::size_t kFormatTag = 20;
constexpr std::size_t kChannels = 22;
constexpr std::size_t kSampleRate = 24;
constexpr std::size_t kByteRate = 28;
constexpr std::size_t kBlockAlign = 32;
constexpr std::size_t kBits = 34;
constexpr std::size_t kDataLength = 40;

// Offsets in MakeAiff's plain AIFF: FORM, COMM (18 bytes), SSND.
constexpr std::size_t kFormLength = 4;
constexpr std::size_t kCommLength = 16;
constexpr std::size_t kCommChannels = 20;
constexpr std::size_t kCommFrames = 22;
constexpr std::size_t kCommBits = 26;
constexpr std::size_t kCommRate = 28;
constexpr std::size_t kSsndLength = 42;
constexpr std::size_t kSsndOffset = 46;
constexpr std::size_t kSsndBlockSize = 50;

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

KnownOutput WholeWav() {
    return KnownOutput{kWavSignal.channels, kWavSignal.sampleRate,
                       ExpectedWorkingSamples(kWavSignal, true)};
}

KnownOutput WavFrames(uint32_t frames) {
    KnownOutput known = WholeWav();
    known.samples->resize(frames * static_cast<std::size_t>(kWavSignal.channels));
    return known;
}

KnownOutput WholeAiff() {
    return KnownOutput{kAiffSignal.channels, kAiffSignal.sampleRate,
                       ExpectedWorkingSamples(kAiffSignal, false)};
}

KnownOutput AiffFrames(uint32_t frames) {
    KnownOutput known = WholeAiff();
    known.samples->resize(frames * static_cast<std::size_t>(kAiffSignal.channels));
    return known;
}

void AddWavPatches(std::vector<CorruptCase>& rows) {
    const Bytes wav = MakeWav(kWavSignal);
    if (ReadLE32At(wav, kDataLength) != kWavSignal.frames * 4 || WavDataOffset(wav) != 44) {
        throw std::runtime_error("MakeWav no longer writes the canonical header");
    }
    const auto add = [&](const std::string& what, std::size_t at, uint64_t value, int width,
                         Expect expect, std::optional<KnownOutput> known = std::nullopt) {
        rows.push_back(CorruptCase{"wav " + what + " = " + Hex(value),
                                   PatchLE(wav, at, value, width), "patched.wav", expect,
                                   std::move(known)});
    };
    // Streaming writers leave the RIFF length 0 or all ones; no reader needs it.
    for (const uint64_t length : {0ull, 1ull, 0x7FFFFFFFull, 0xFFFFFFFFull}) {
        add("RIFF length", kRiffLength, length, 4, Expect::DecodesConsistently, WholeWav());
    }
    for (const uint64_t length : {0ull, 1ull, 15ull, 0x7FFFFFFFull, 0xFFFFFFFFull}) {
        add("fmt length", kFmtLength, length, 4, Expect::Fail);
    }
    for (const uint64_t channels : {0ull, 3ull, 65535ull}) {
        add("channels", kChannels, channels, 2, Expect::Fail);
    }
    for (const uint64_t bits : {0ull, 1ull, 12ull, 64ull, 65535ull}) {
        add("bits", kBits, bits, 2, Expect::Fail);
    }
    for (const uint64_t rate : {0ull, 0xFFFFFFFFull}) {
        add("sample rate", kSampleRate, rate, 4, Expect::Fail);
    }
    for (const uint64_t rate : {1ull, 0x7FFFFFFFull, 0x80000000ull}) {
        add("sample rate", kSampleRate, rate, 4, Expect::EitherButConsistent);
    }
    for (const uint64_t tag : {0ull, 3ull, 0xFFFEull}) {
        add("format tag", kFormatTag, tag, 2, Expect::Fail);
    }
    // Derived fields: the frame size follows from channels and bits.
    for (const uint64_t value : {0ull, 0xFFFFFFFFull}) {
        add("byte rate", kByteRate, value, 4, Expect::DecodesConsistently, WholeWav());
    }
    for (const uint64_t value : {0ull, 0xFFFFull}) {
        add("block align", kBlockAlign, value, 2, Expect::DecodesConsistently, WholeWav());
    }
    // A data length beyond the file is what an interrupted recording leaves: read to the end.
    for (const uint64_t length : {0x7FFFFFFFull, 0xFFFFFFFFull, 12004ull}) {
        add("data length", kDataLength, length, 4, Expect::DecodesConsistently, WholeWav());
    }
    add("data length", kDataLength, 400, 4, Expect::DecodesConsistently, WavFrames(100));
    add("data length", kDataLength, 403, 4, Expect::DecodesConsistently, WavFrames(100));
    for (const uint64_t length : {0ull, 1ull}) {
        add("data length", kDataLength, length, 4, Expect::EitherButConsistent);
    }

    WavOptions withList;
    withList.listChunksBeforeFmt = 1;
    const Bytes listed = MakeWav(kWavSignal, withList);
    const std::size_t list = FindText(listed, "LIST");
    for (const uint64_t length : {0x7FFFFFFFull, 0xFFFFFFFEull, 0xFFFFFFFFull}) {
        rows.push_back(CorruptCase{"wav LIST length = " + Hex(length),
                                   PatchLE(listed, list + 4, length, 4), "patched.wav",
                                   Expect::Fail});
    }
    for (const uint64_t length : {0ull, 1ull, 2ull}) {
        rows.push_back(CorruptCase{"wav LIST length = " + Hex(length),
                                   PatchLE(listed, list + 4, length, 4), "patched.wav",
                                   Expect::EitherButConsistent});
    }
    // Twenty-odd empty chunks before fmt: a reader that gives up after a few must still fail
    // cleanly, one that walks them all must find the audio.
    Bytes manyChunks = Prefix(wav, 12);
    for (int i = 0; i < 30; ++i) {
        manyChunks.insert(manyChunks.end(), {'j', 'u', 'n', 'k', 0, 0, 0, 0});
    }
    manyChunks.insert(manyChunks.end(), wav.begin() + 12, wav.end());
    rows.push_back(CorruptCase{"wav after 30 empty chunks",
                               PatchLE(manyChunks, 4, manyChunks.size() - 8, 4), "patched.wav",
                               Expect::EitherButConsistent, WholeWav()});
    // No fmt chunk at all: nothing tells the sample layout.
    Bytes noFmt = Prefix(wav, 12);
    noFmt.insert(noFmt.end(), wav.begin() + 36, wav.end());
    rows.push_back(
        CorruptCase{"wav without fmt chunk", noFmt, "patched.wav", Expect::EitherButConsistent});
}

// The 80-bit rate field: sign and 15-bit exponent, then a 64-bit mantissa.
Bytes Extended(uint16_t signAndExponent, uint64_t mantissa) {
    Bytes out;
    for (int i = 1; i >= 0; --i) {
        out.push_back(static_cast<uint8_t>(signAndExponent >> (8 * i)));
    }
    for (int i = 7; i >= 0; --i) {
        out.push_back(static_cast<uint8_t>(mantissa >> (8 * i)));
    }
    return out;
}

void AddAiffPatches(std::vector<CorruptCase>& rows) {
    const Bytes aiff = MakeAiff(kAiffSignal);
    if (FindText(aiff, "SSND") != 38 || ReadBE32At(aiff, kCommFrames) != kAiffSignal.frames) {
        throw std::runtime_error("MakeAiff no longer writes the canonical layout");
    }
    const auto add = [&](const std::string& what, Bytes bytes, Expect expect,
                         std::optional<KnownOutput> known = std::nullopt) {
        rows.push_back(
            CorruptCase{"aiff " + what, std::move(bytes), "patched.aif", expect, std::move(known)});
    };
    const auto patch = [&](std::size_t at, uint64_t value, int width) {
        return PatchBE(aiff, at, value, width);
    };
    for (const uint64_t length : {0x7FFFFFFFull, 0xFFFFFFFFull}) {
        add("FORM length " + Hex(length), patch(kFormLength, length, 4),
            Expect::DecodesConsistently, WholeAiff());
    }
    for (const uint64_t length : {0ull, 1ull, 4ull}) {
        add("FORM length " + Hex(length), patch(kFormLength, length, 4),
            Expect::EitherButConsistent, WholeAiff());
    }
    for (const uint64_t length : {0ull, 1ull, 16ull, 0x7FFFFFFFull, 0xFFFFFFFFull}) {
        add("COMM length " + Hex(length), patch(kCommLength, length, 4), Expect::Fail);
    }
    // An odd length is padded to even, so 17 covers the 18 bytes that are there.
    add("COMM length 0x11", patch(kCommLength, 17, 4), Expect::EitherButConsistent, WholeAiff());
    for (const uint64_t channels : {0ull, 3ull, 65535ull}) {
        add("channels " + Hex(channels), patch(kCommChannels, channels, 2), Expect::Fail);
    }
    for (const uint64_t bits : {0ull, 1ull, 12ull, 64ull, 65535ull}) {
        add("bits " + Hex(bits), patch(kCommBits, bits, 2), Expect::Fail);
    }
    const Bytes rate = Bytes(aiff.begin() + kCommRate, aiff.begin() + kCommRate + 10);
    const uint64_t mantissa = ReadBE32At(rate, 2) * 0x100000000ull + ReadBE32At(rate, 6);
    const auto exponent = static_cast<uint16_t>(rate[0] << 8 | rate[1]);
    const std::vector<std::pair<std::string, Bytes>> badRates{
        {"rate exponent 0x7FFF", Extended(0x7FFF, mantissa)},
        {"rate all 0xFF", Bytes(10, 0xFF)},
        {"rate all zero", Bytes(10, 0)},
        {"rate negative", Extended(static_cast<uint16_t>(exponent | 0x8000), mantissa)},
        {"rate below 1 Hz", Extended(0x3FFE, mantissa)},
        {"rate 2^40 Hz", Extended(0x4027, 0x8000000000000000ull)},
        {"rate denormal", Extended(0, 1)},
    };
    for (const auto& [what, bytes] : badRates) {
        add(what, PatchBytes(aiff, kCommRate, bytes), Expect::Fail);
    }
    add("rate 1 Hz", PatchBytes(aiff, kCommRate, Extended(0x3FFF, 0x8000000000000000ull)),
        Expect::EitherButConsistent);
    add("rate 2^31-1 Hz", PatchBytes(aiff, kCommRate, Extended(0x401D, 0xFFFFFFFE00000000ull)),
        Expect::EitherButConsistent);
    add("sample frames 100", patch(kCommFrames, 100, 4), Expect::DecodesConsistently,
        AiffFrames(100));
    add("sample frames 0xFFFFFFFF", patch(kCommFrames, 0xFFFFFFFF, 4), Expect::DecodesConsistently,
        WholeAiff());
    add("sample frames 0", patch(kCommFrames, 0, 4), Expect::EitherButConsistent);
    for (const uint64_t length : {0ull, 1ull, 6ull}) {
        add("SSND length " + Hex(length), patch(kSsndLength, length, 4), Expect::Fail);
    }
    add("SSND length 0x7", patch(kSsndLength, 7, 4), Expect::EitherButConsistent, WholeAiff());
    // COMM came first, so its frame count bounds the read whatever SSND claims.
    for (const uint64_t length : {0x7FFFFFFFull, 0xFFFFFFFFull}) {
        add("SSND length " + Hex(length), patch(kSsndLength, length, 4),
            Expect::DecodesConsistently, WholeAiff());
    }
    const std::size_t samplesLeft = aiff.size() - 54;
    for (const uint64_t offset :
         {uint64_t{samplesLeft + 1}, uint64_t{0x7FFFFFFF}, uint64_t{0xFFFFFFFF}}) {
        add("SSND offset " + Hex(offset), patch(kSsndOffset, offset, 4), Expect::Fail);
    }
    add("SSND offset to the end", patch(kSsndOffset, samplesLeft, 4), Expect::EitherButConsistent);
    for (const uint64_t blockSize : {1ull, 0xFFFFFFFFull}) {
        add("SSND block size " + Hex(blockSize), patch(kSsndBlockSize, blockSize, 4), Expect::Fail);
    }
    // No COMM at all: the chunk's id renamed.
    add("without COMM", PatchBytes(aiff, 12, Bytes{'c', 'o', 'm', 'm'}), Expect::Fail);

    AiffOptions ssndFirst;
    ssndFirst.ssndBeforeComm = true;
    const Bytes late = MakeAiff(kAiffSignal, ssndFirst);
    const std::size_t ssnd = FindText(late, "SSND");
    for (const uint64_t offset :
         {uint64_t{late.size()}, uint64_t{0x7FFFFFFF}, uint64_t{0xFFFFFFFF}}) {
        add("SSND first, offset " + Hex(offset), PatchBE(late, ssnd + 8, offset, 4), Expect::Fail);
    }
    AiffOptions ulaw;
    ulaw.aifc = true;
    ulaw.compression = "ulaw";
    add("AIFF-C ulaw", MakeAiff(kAiffSignal, ulaw), Expect::Fail);
    AiffOptions aifc;
    aifc.aifc = true;
    const Bytes aifcBytes = MakeAiff(kAiffSignal, aifc);
    // AIFF-C's COMM holds 22 bytes before the name; 18 is a plain AIFF's.
    add("AIFF-C COMM length 18", PatchBE(aifcBytes, kCommLength, 18, 4), Expect::Fail);
}

std::size_t LameTagOffset(const Bytes& mp3) {
    std::size_t info = 0;
    try {
        info = FindText(Prefix(mp3, 64), "Info");
    } catch (const std::runtime_error&) {
        info = FindText(Prefix(mp3, 64), "Xing");
    }
    // Flags 0x0F: frame count, byte count, TOC and quality follow the flags.
    if (ReadBE32At(mp3, info + 4) != 0x0F || std::memcmp(&mp3[info + 120], "LAME", 4) != 0) {
        throw std::runtime_error("the tag frame has an unexpected layout");
    }
    return info + 120;
}

// Encoder delay and padding, 12 bits each, in the LAME extension of the tag frame.
Bytes WithDelayAndPadding(const Bytes& mp3, uint32_t delay, uint32_t padding) {
    const std::size_t at = LameTagOffset(mp3) + 21;
    return PatchBE(mp3, at, (delay & 0xFFF) << 12 | (padding & 0xFFF), 3);
}

Bytes Id3Size(Bytes tagged, uint32_t size) {
    for (int i = 0; i < 4; ++i) {
        tagged.at(6 + static_cast<std::size_t>(i)) =
            static_cast<uint8_t>((size >> (21 - 7 * i)) & 0x7F);
    }
    return tagged;
}

Bytes AlbumIdBlock(uint16_t length) {
    Bytes block{0x41,
                0x69,
                0x44,
                0x01,
                static_cast<uint8_t>(length & 0xFF),
                static_cast<uint8_t>(length >> 8)};
    return block;
}

void AddMpegTagRows(std::vector<CorruptCase>& rows) {
    const Bytes mp3 = Mp3Stereo();
    // Every row that still holds the whole stream must give all of its audio.
    const KnownOutput whole = MpegOutput(kMp3Stereo);
    const auto add = [&](const std::string& what, Bytes bytes, Expect expect,
                         const KnownOutput& known) {
        rows.push_back(CorruptCase{what, std::move(bytes), "tagged.mp3", expect, known});
    };
    constexpr uint32_t kPayload = 32;
    const Bytes tagged = WithId3v2(mp3, kPayload);
    const auto restAfterHeader = static_cast<uint32_t>(tagged.size() - 10);
    add("ID3v2 size 0x0FFFFFFF", Id3Size(tagged, 0x0FFFFFFF), Expect::Fail, whole);
    add("ID3v2 size one past the end", Id3Size(tagged, restAfterHeader + 1), Expect::Fail, whole);
    add("ID3v2 size exactly to the end", Id3Size(tagged, restAfterHeader), Expect::Fail, whole);
    add("ID3v2 size leaving 3 bytes", Id3Size(tagged, restAfterHeader - 3), Expect::Fail, whole);
    // The tag's zero payload then reads as junk before the first frame.
    add("ID3v2 size 0", Id3Size(tagged, 0), Expect::DecodesConsistently, whole);
    add("ID3v2 size with high bits set",
        PatchBytes(tagged, 6, Bytes{0x80, 0x80, 0x80, 0x80 | kPayload}),
        Expect::EitherButConsistent, whole);
    add("ID3v2 header only", Prefix(tagged, 10), Expect::Fail, whole);
    add("ID3v2 twice", WithId3v2(tagged, 16), Expect::EitherButConsistent, whole);

    for (uint16_t length = 0; length <= 5; ++length) {
        add("album id length " + std::to_string(length), Concat(AlbumIdBlock(length), mp3),
            Expect::Fail, whole);
    }
    add("album id length 6", Concat(AlbumIdBlock(6), mp3), Expect::DecodesConsistently, whole);
    add("album id length 9", Concat(Concat(AlbumIdBlock(9), Bytes{1, 2, 3}), mp3),
        Expect::DecodesConsistently, whole);
    add("album id length past the end", Concat(AlbumIdBlock(0xFFFF), mp3), Expect::Fail, whole);
    add("album id header cut", Prefix(AlbumIdBlock(6), 5), Expect::Fail, whole);
    add("album id after ID3v2", WithId3v2(Concat(AlbumIdBlock(6), mp3), 8),
        Expect::DecodesConsistently, whole);

    // Whatever the tag claims, the header must describe what was written, and the claim can
    // move the cut points by at most the 12 bits it has.
    KnownOutput skewed = whole;
    skewed.minFrames -= std::min(skewed.minFrames, std::size_t{4096});
    skewed.maxFrames += 4096;
    for (const auto& [delay, padding] : std::vector<std::pair<uint32_t, uint32_t>>{
             {0, 0}, {576, 0}, {576, 1}, {576, 4095}, {4095, 0}, {4095, 4095}, {0, 528}}) {
        add("LAME tag delay " + std::to_string(delay) + " padding " + std::to_string(padding),
            WithDelayAndPadding(mp3, delay, padding), Expect::EitherButConsistent, skewed);
    }
    // Junk before the first frame is skipped, whatever bytes it holds.
    add("text junk before mp3", WithJunk(mp3, 300), Expect::DecodesConsistently, whole);
    add("0xFF junk before mp3", Concat(Bytes(4, 0xFF), mp3), Expect::DecodesConsistently, whole);
    add("bad-bitrate layer I header before mp3", Concat(Bytes{0xFF, 0xFF, 0xF0, 0x00}, mp3),
        Expect::DecodesConsistently, whole);
    add("layer I stream named .mp3", MakeLayer1Stream(2, kLayer1Frames),
        Expect::DecodesConsistently, MpegOutput(kLayer1));
}

const std::array<const char*, 9> kExtensions{".mp3", ".mp2", ".mp1", ".mpg", ".wav",
                                             ".aif", ".raw", ".dat", ".ogg"};

bool IsMpegExtension(const std::string& extension) {
    return extension == ".mp3" || extension == ".mp2" || extension == ".mp1" || extension == ".mpg";
}

Bytes RandomBytes(std::size_t count, uint32_t seed) {
    std::mt19937 generator(seed); // its output sequence is fixed by the standard
    Bytes out(count);
    for (auto& byte : out) {
        byte = static_cast<uint8_t>(generator() >> 24);
    }
    return out;
}

Bytes Repeated(const Bytes& pattern, std::size_t total) {
    Bytes out;
    out.reserve(total);
    while (out.size() < total) {
        out.insert(out.end(), pattern.begin(), pattern.end());
    }
    out.resize(total);
    return out;
}

// Garbage is raw PCM to the raw reader, never a WAV or AIFF without its form id, and never
// anything but a refusal under .ogg. MPEG readers may find frames in it or not.
CorruptCase GarbageRow(const std::string& what, const Bytes& bytes, const std::string& extension,
                       Expect underMpeg) {
    CorruptCase row{what, bytes, "garbage" + extension, Expect::Fail};
    if (extension == ".raw") {
        row.expect = Expect::DecodesConsistently;
        row.known = KnownOutput{2, 44100, RawSamples(bytes, bytes.size())};
    } else if (IsMpegExtension(extension)) {
        row.expect = underMpeg;
    }
    return row;
}

std::vector<CorruptCase> GarbageRows() {
    std::vector<CorruptCase> rows;
    constexpr std::size_t kMegabyte = 1 << 20;
    const Bytes ones(64 * 1024, 0xFF);
    const Bytes random = RandomBytes(64 * 1024, 20240607);
    const std::vector<std::pair<std::string, Bytes>> headerPatterns{
        {"MPEG-1 layer III headers", {0xFF, 0xFB, 0x90, 0x00}},
        {"MPEG-1 layer II headers", {0xFF, 0xFD, 0x94, 0x00}},
        {"MPEG-1 layer I headers", {0xFF, 0xFF, 0x90, 0x00}},
        {"MPEG-2 layer III headers", {0xFF, 0xF3, 0x90, 0x00}},
        {"MPEG-2.5 layer III headers", {0xFF, 0xE3, 0x90, 0x00}},
        {"free-format headers", {0xFF, 0xFB, 0x00, 0x00}},
        {"headers with zero frames", {0xFF, 0xFB, 0x90, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const std::string extension : kExtensions) {
        rows.push_back(GarbageRow("empty", {}, extension, Expect::Fail));
        // Bitrate index 15 is invalid, so no header is found anywhere in all-ones.
        rows.push_back(GarbageRow("all 0xFF", ones, extension, Expect::Fail));
        rows.push_back(GarbageRow("random", random, extension, Expect::EitherButConsistent));
        for (const auto& [what, pattern] : headerPatterns) {
            rows.push_back(GarbageRow("1 MB of " + what, Repeated(pattern, kMegabyte), extension,
                                      Expect::EitherButConsistent));
        }
    }
    return rows;
}

// ---- The tests ------------------------------------------------------------------------------

TEST(CorruptInputTest, EveryValidSourceTruncatedFailsCleanlyOrDecodesWhatIsThere) {
    std::vector<CorruptCase> rows;
    for (const ValidSource& source : ValidSources()) {
        // The untruncated source is the control: it must decode, or the rows prove nothing.
        rows.push_back(CorruptCase{source.name + " whole", source.bytes, source.fileName,
                                   Expect::DecodesConsistently});
        if (source.layout == Layout::Mpeg) {
            rows.back().known = MpegOutput({source.channels, source.sampleRate, source.frames});
        } else if (source.layout != Layout::Raw) {
            rows.back().known = KnownPrefix(source, source.samples.size() /
                                                        static_cast<std::size_t>(source.channels));
        }
        for (const std::size_t length : TruncationLengths(source)) {
            rows.push_back(TruncatedRow(source, length));
        }
    }
    RunRows(rows);
}

TEST(CorruptInputTest, WavHeaderFieldsWithExtremeValues) {
    std::vector<CorruptCase> rows;
    AddWavPatches(rows);
    RunRows(rows);
}

TEST(CorruptInputTest, AiffHeaderFieldsWithExtremeValues) {
    std::vector<CorruptCase> rows;
    AddAiffPatches(rows);
    RunRows(rows);
}

TEST(CorruptInputTest, MpegTagsWithExtremeLengths) {
    std::vector<CorruptCase> rows;
    AddMpegTagRows(rows);
    RunRows(rows);
}

TEST(CorruptInputTest, GarbageUnderEveryExtension) {
    RunRows(GarbageRows());
}

// ---- Pipes ----------------------------------------------------------------------------------

// A writer closing its end early, or a reader leaving before the end, must not kill the test
// process with SIGPIPE; the writer sees EPIPE instead.
class IgnoreSigpipe {
public:
    IgnoreSigpipe() : m_previous(std::signal(SIGPIPE, SIG_IGN)) {}
    ~IgnoreSigpipe() { std::signal(SIGPIPE, m_previous); }
    IgnoreSigpipe(const IgnoreSigpipe&) = delete;
    IgnoreSigpipe& operator=(const IgnoreSigpipe&) = delete;

private:
    void (*m_previous)(int);
};

// Feeds bytes into a FIFO from a thread, as a shell pipeline would.
class FifoWriter {
public:
    FifoWriter(std::string path, Bytes bytes)
        : m_path(std::move(path)), m_thread([this, data = std::move(bytes)] { Write(data); }) {}
    ~FifoWriter() { Finish(); }
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

    // Waits for the writer; the bytes it got into the pipe.
    std::size_t Finish() {
        if (m_thread.joinable()) {
            // The engine may never have opened the FIFO; a reader of our own releases the
            // writer, which then fails with EPIPE instead of waiting for ever.
            if (!m_finished.load()) {
                const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
                if (fd >= 0) {
                    ::close(fd);
                }
            }
            m_thread.join();
        }
        return m_written.load();
    }

private:
    void Write(const Bytes& data) {
        const int fd = ::open(m_path.c_str(), O_WRONLY);
        if (fd >= 0) {
            std::size_t done = 0;
            while (done < data.size()) {
                const ssize_t got = ::write(fd, data.data() + done, data.size() - done);
                if (got <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(got);
            }
            m_written = done;
            ::close(fd);
        }
        m_finished = true;
    }

    std::string m_path;
    std::atomic<std::size_t> m_written{0};
    std::atomic<bool> m_finished{false};
    std::thread m_thread; // last: it starts writing as soon as it exists
};

std::string MakeFifo(const TempDir& dir, const std::string& name) {
    const std::string path = dir.Path(name);
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("mkfifo failed for " + path);
    }
    return path;
}

TEST(CorruptInputTest, Id3SizePastTheEndOfAPipeFailsWithoutWaiting) {
    IgnoreSigpipe noSigpipe;
    TempDir dir;
    const Bytes tagged = WithId3v2(Mp3Stereo(), 32);
    for (const uint32_t size : {uint32_t{0x0FFFFFFF}, static_cast<uint32_t>(tagged.size())}) {
        SCOPED_TRACE("ID3v2 size " + Hex(size));
        const std::string fifo = MakeFifo(dir, "stream-" + std::to_string(size) + ".mp3");
        const std::string wav = dir.Path("work.wav");
        DecodeOutcome outcome;
        {
            FifoWriter writer(fifo, Id3Size(tagged, size));
            outcome = GuardedDecode("pipe with ID3v2 size " + Hex(size), fifo, wav);
        }
        ExpectCleanFailure(outcome, wav);
    }
}

TEST(CorruptInputTest, WavThroughAPipeDecodesLikeTheSameFile) {
    IgnoreSigpipe noSigpipe;
    TempDir dir;
    const Bytes wavBytes = MakeWav(PcmSignal{2, 44100, 16, 40000}); // larger than a pipe buffer
    const std::string file = dir.Path("file.wav");
    WriteBytes(file, wavBytes);
    const DecodeOutcome fromFile = GuardedDecode("regular WAV", file, dir.Path("from-file.wav"));
    ASSERT_TRUE(fromFile.ok) << fromFile.errors;

    const std::string fifo = MakeFifo(dir, "stream.wav");
    FifoWriter writer(fifo, wavBytes);
    const DecodeOutcome fromPipe =
        GuardedDecode("WAV through a FIFO", fifo, dir.Path("from-pipe.wav"));
    EXPECT_EQ(writer.Finish(), wavBytes.size()) << "the decode stopped reading early";
    ASSERT_TRUE(fromPipe.ok) << fromPipe.errors;
    EXPECT_EQ(fromPipe.cancelled, 0);
    const Bytes expected = ReadBytes(dir.Path("from-file.wav"));
    const Bytes actual = ReadBytes(dir.Path("from-pipe.wav"));
    ASSERT_GT(expected.size(), 44u);
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected) << "the piped decode differs from the file's";
}

} // namespace
} // namespace orvanta::test
