#include "EncodeLoop.h"

#include "EngineLog.h"
#include "ProgressSteps.h"

#include <array>
#include <vector>

namespace orvanta {

namespace {

// Every LAME call that produces bytes writes into one buffer of this size; any block of 1152
// frames fits several times over.
constexpr int kBufferBytes = 147456;

using Buffer = std::vector<uint8_t>;

bool WriteAll(std::FILE* output, const Buffer& buffer, int count) {
    const auto size = static_cast<std::size_t>(count);
    return std::fwrite(buffer.data(), 1, size, output) == size;
}

// LAME's result for a call that fills the buffer: bytes, or an error to report.
bool ReportEncoderError(int result) {
    if (result == -1) {
        EngineLog::Error("mp3 buffer is not big enough... \n");
        return true;
    }
    if (result < 0) {
        EngineLog::Error("mp3 internal error:  error code=%i\n", result);
        return true;
    }
    return false;
}

// -1 failed, otherwise the ID3v2 tag's size: where the first audio frame begins.
long WriteId3v2Tag(lame_global_flags* context, std::FILE* output, Buffer& buffer) {
    const std::size_t size = lame_get_id3v2_tag(context, buffer.data(), buffer.size());
    if (size > buffer.size()) {
        EngineLog::Error(
            "Error writing ID3v2 tag: buffer too small: buffer size=%d  ID3v2 size=%d\n",
            kBufferBytes, static_cast<int>(size));
        return -1;
    }
    if (std::fwrite(buffer.data(), 1, size, output) != size) {
        EngineLog::Error("Error writing ID3v2 tag \n");
        return -1;
    }
    return static_cast<long>(size);
}

enum class BlocksEnd { Done, Cancelled, Failed };

BlocksEnd EncodeBlocks(lame_global_flags* context, InputReader& reader, std::FILE* output,
                       Buffer& buffer) {
    std::array<int32_t, kMaxFrameSamples> left{};
    std::array<int32_t, kMaxFrameSamples> right{};
    int n = 0;
    do {
        n = reader.ReadSamples32(context, left, right);
        if (n < 0) {
            // A read error must not pass for the end of the input.
            return reader.HadReadError() ? BlocksEnd::Failed : BlocksEnd::Done;
        }
        if (StepEncoding(reader.State().samplesRead) == 0) {
            return BlocksEnd::Cancelled;
        }
        const int bytes = lame_encode_buffer_int(context, left.data(), right.data(), n,
                                                 buffer.data(), kBufferBytes);
        if (ReportEncoderError(bytes)) {
            return BlocksEnd::Failed;
        }
        if (!WriteAll(output, buffer, bytes)) {
            EngineLog::Error("Error writing mp3 output \n");
            return BlocksEnd::Failed;
        }
    } while (n > 0);
    return BlocksEnd::Done;
}

// false when the tag could not be written.
bool WriteId3v1Tag(lame_global_flags* context, std::FILE* output, Buffer& buffer) {
    const std::size_t size = lame_get_id3v1_tag(context, buffer.data(), buffer.size());
    if (size > buffer.size()) {
        EngineLog::Error(
            "Error writing ID3v1 tag: buffer too small: buffer size=%d  ID3v1 size=%d\n",
            kBufferBytes, static_cast<int>(size));
        return true;
    }
    if (size > 0 && std::fwrite(buffer.data(), 1, size, output) != size) {
        EngineLog::Error("Error writing ID3v1 tag \n");
        return false;
    }
    return true;
}

// Replaces the first audio frame with LAME's tag frame; a failure here is only reported.
void RewriteTagFrame(lame_global_flags* context, std::FILE* output, Buffer& buffer,
                     long id3v2Size) {
    if (std::fseek(output, id3v2Size, SEEK_SET) != 0) {
        EngineLog::Error("fatal error: can't update LAME-tag frame!\n");
        return;
    }
    const std::size_t size = lame_get_lametag_frame(context, buffer.data(), buffer.size());
    if (size > buffer.size()) {
        EngineLog::Error("Error writing LAME-tag frame: buffer too small: buffer size=%d  frame "
                         "size=%d\n",
                         kBufferBytes, static_cast<int>(size));
    } else if (size > 0 && std::fwrite(buffer.data(), 1, size, output) != size) {
        EngineLog::Error("Error writing LAME-tag \n");
    }
}

void ReportTrailer(lame_global_flags* context) {
    if (lame_get_bWriteVbrTag(context) != 0) {
        EngineLog::Info("done\n");
    }
    if (lame_get_findReplayGain(context) != 0) {
        const int gain = lame_get_RadioGain(context); // tenths of a dB
        EngineLog::Info("ReplayGain: %s%.1fdB\n", gain > 0 ? "+" : "", gain * 0.1);
        if (gain > 510 || gain < -510) {
            EngineLog::Error("WARNING: ReplayGain exceeds the -51dB to +51dB range. Such a result "
                             "is too\n         high to be stored in the header.\n");
        }
    }
}

} // namespace

int EncodeLoop(lame_global_flags* context, InputReader& reader, std::FILE* output, bool noGap) {
    Buffer buffer(kBufferBytes);
    BeginEncoding(static_cast<uint32_t>(lame_get_num_samples(context)));
    const long id3v2Size = WriteId3v2Tag(context, output, buffer);
    if (id3v2Size < 0) {
        EndEncoding();
        return -1;
    }
    const BlocksEnd end = EncodeBlocks(context, reader, output, buffer);
    if (end == BlocksEnd::Cancelled) {
        // A cancelled MP3 is discarded, so there is nothing to close off.
        EndEncoding();
        return 1;
    }
    const int flushed = end == BlocksEnd::Failed
                            ? 0
                            : (noGap ? lame_encode_flush_nogap(context, buffer.data(), kBufferBytes)
                                     : lame_encode_flush(context, buffer.data(), kBufferBytes));
    EndEncoding();
    if (end == BlocksEnd::Failed || ReportEncoderError(flushed)) {
        return -1;
    }
    if (!WriteAll(output, buffer, flushed)) {
        EngineLog::Error("Error writing mp3 output \n");
        return -1;
    }
    if (!WriteId3v1Tag(context, output, buffer)) {
        return -1;
    }
    if (lame_get_bWriteVbrTag(context) != 0) {
        EngineLog::Info("Writing LAME Tag...");
    }
    RewriteTagFrame(context, output, buffer, id3v2Size);
    ReportTrailer(context);
    return 0;
}

} // namespace orvanta
