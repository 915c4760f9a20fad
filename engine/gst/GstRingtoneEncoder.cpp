#include "GstRingtoneEncoder.h"

#include "AtomicOutputFile.h"
#include "EngineLog.h"
#include "GstHandles.h"
#include "ProgressSteps.h"
#include "WaveHeader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gst/app/gstappsrc.h>
#include <vector>

namespace orvanta {

namespace {

struct ElementNeed {
    const char* element;
    const char* package;
};

constexpr const char* kBasePlugins = "gstreamer1.0-plugins-base";
constexpr const char* kCoreElements = "libgstreamer1.0-0";

constexpr ElementNeed kCommonNeeds[] = {{"appsrc", kBasePlugins},
                                        {"audioconvert", kBasePlugins},
                                        {"audioresample", kBasePlugins},
                                        {"capsfilter", kCoreElements},
                                        {"fdsink", kCoreElements}};
// The AAC encoder has rank none, so nothing picks it by itself: it is always named.
constexpr ElementNeed kM4rNeeds[] = {{"avenc_aac", "gstreamer1.0-libav"},
                                     {"mp4mux", "gstreamer1.0-plugins-good"}};
constexpr ElementNeed kOggNeeds[] = {{"vorbisenc", kBasePlugins}, {"oggmux", kBasePlugins}};

// Frames per buffer handed to the pipeline: one progress step each.
constexpr uint32_t kBlockFrames = 4096;
// The source's queue is kept below this, so memory stays flat whatever the ringtone's length.
constexpr guint64 kQueuedBytesLimit = 256 * 1024;
// How long to wait for the pipeline's end before the next progress step, and for room in the
// source's queue before looking again; the latter is short, as the wait ends only by timing out.
constexpr GstClockTime kBusPoll = 20 * GST_MSECOND;
constexpr GstClockTime kRoomPoll = 2 * GST_MSECOND;

constexpr int kM4rStereoBitrate = 128000;
constexpr int kM4rMonoBitrate = 96000;
constexpr int kFullRate = 44100;
constexpr float kOggQuality = 0.4f;

// What a finished encode turned out as.
enum class PipelineResult { Done, Cancelled, Failed };

bool StartGStreamer() {
    GError* raw = nullptr;
    if (gst_init_check(nullptr, nullptr, &raw)) {
        return true;
    }
    const ErrorOwner error(raw);
    EngineLog::Error("GStreamer could not start: %s\n", error ? error->message : "unknown");
    return false;
}

std::vector<ElementNeed> NeedsOf(RingtoneFormat format) {
    std::vector<ElementNeed> needs(std::begin(kCommonNeeds), std::end(kCommonNeeds));
    if (format == RingtoneFormat::M4r) {
        needs.insert(needs.begin(), std::begin(kM4rNeeds), std::end(kM4rNeeds));
    } else if (format == RingtoneFormat::Ogg) {
        needs.insert(needs.begin(), std::begin(kOggNeeds), std::end(kOggNeeds));
    } else {
        needs.clear();
    }
    return needs;
}

void AppendListed(std::string& list, const char* item) {
    if (list.find(item) == std::string::npos) {
        list += list.empty() ? item : std::string(", ") + item;
    }
}

// The last line of a GStreamer error's debug text carries the system's reason ("No space left
// on device"); the lines before it name source files.
std::string ReasonOf(const gchar* debug) {
    const std::string text = debug != nullptr ? debug : "";
    const std::size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

void LogError(GstMessage* message) {
    GError* raw = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &raw, &debug);
    const ErrorOwner error(raw);
    const TextOwner debugText(debug);
    EngineLog::Error("Error encoding the ringtone: %s (%s)\n", error ? error->message : "unknown",
                     ReasonOf(debug).c_str());
}

// Logs an error message from the bus; true when there was one within `timeout`.
bool TakeError(GstBus* bus, GstClockTime timeout) {
    const MessageOwner message(gst_bus_timed_pop_filtered(bus, timeout, GST_MESSAGE_ERROR));
    if (message) {
        LogError(message.get());
    }
    return message != nullptr;
}

// A pipeline that is stopped before it is released, so no streaming thread outlives it or
// writes to a file descriptor that its owner has closed.
class EncodePipeline {
public:
    EncodePipeline() : m_pipeline(SinkObject(gst_pipeline_new(nullptr))) {}
    ~EncodePipeline() { gst_element_set_state(m_pipeline.get(), GST_STATE_NULL); }
    EncodePipeline(const EncodePipeline&) = delete;
    EncodePipeline& operator=(const EncodePipeline&) = delete;

    // Makes, adds and links the next element; nullptr, logged, when any of that fails.
    GstElement* Append(const char* factory) {
        GstElement* element = gst_element_factory_make(factory, nullptr);
        if (element == nullptr || !gst_bin_add(GST_BIN(m_pipeline.get()), element) ||
            (m_last != nullptr && !gst_element_link(m_last, element))) {
            EngineLog::Error("GStreamer element %s could not be set up\n", factory);
            return nullptr;
        }
        m_last = element;
        return element;
    }

    GstElement* Get() const { return m_pipeline.get(); }
    GstOwner<GstBus> Bus() const { return AdoptObject(gst_element_get_bus(m_pipeline.get())); }

private:
    GstOwner<GstElement> m_pipeline;
    GstElement* m_last = nullptr;
};

struct PcmInput {
    FilePtr file;
    WaveHeaderFields header;
    uint32_t frames = 0;
};

void SetCaps(GstElement* element, const char* property, GstCaps* caps) {
    g_object_set(element, property, caps, nullptr);
    gst_caps_unref(caps);
}

int OutputChannels(const RingtoneEncodeRequest& request, const PcmInput& input) {
    return request.stereo ? input.header.channels : 1;
}

// Tags are UTF-8; a file name need not be, so stray bytes become replacement characters.
void SetTitle(GstElement* element, const std::string& title) {
    const TextOwner valid(g_utf8_make_valid(title.c_str(), static_cast<gssize>(title.size())));
    gst_tag_setter_add_tags(GST_TAG_SETTER(element), GST_TAG_MERGE_REPLACE_ALL, GST_TAG_TITLE,
                            valid.get(), nullptr);
}

// GStreamer's MP4 muxer names the file "mp42"; an iPhone's ringtone is an "M4A " file. The
// muxer's first buffer is the "ftyp" box, whose major brand follows its type.
GstPadProbeReturn BrandAsM4a(GstPad* /*pad*/, GstPadProbeInfo* info, gpointer /*unused*/) {
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    std::array<char, 12> head{};
    constexpr std::size_t kMajorBrandOffset = 8;
    if (gst_buffer_extract(buffer, 0, head.data(), head.size()) == head.size() &&
        std::memcmp(head.data() + 4, "ftyp", 4) == 0) {
        buffer = gst_buffer_make_writable(buffer);
        gst_buffer_fill(buffer, kMajorBrandOffset, "M4A ", 4);
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
    }
    return GST_PAD_PROBE_REMOVE;
}

// appsrc ! audioconvert ! audioresample ! capsfilter ! encoder ! muxer ! fdsink, into `fd`.
GstElement* BuildPipeline(EncodePipeline& pipeline, const RingtoneEncodeRequest& request,
                          const PcmInput& input, int fd) {
    const bool m4r = request.format == RingtoneFormat::M4r;
    GstElement* source = pipeline.Append("appsrc");
    GstElement* convert = source != nullptr ? pipeline.Append("audioconvert") : nullptr;
    GstElement* resample = convert != nullptr ? pipeline.Append("audioresample") : nullptr;
    GstElement* shape = resample != nullptr ? pipeline.Append("capsfilter") : nullptr;
    GstElement* encoder =
        shape != nullptr ? pipeline.Append(m4r ? "avenc_aac" : "vorbisenc") : nullptr;
    GstElement* muxer = encoder != nullptr ? pipeline.Append(m4r ? "mp4mux" : "oggmux") : nullptr;
    GstElement* sink = muxer != nullptr ? pipeline.Append("fdsink") : nullptr;
    if (sink == nullptr) {
        return nullptr;
    }
    SetCaps(source, "caps",
            gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING,
                                input.header.bitsPerSample == 16 ? "S16LE" : "U8", "layout",
                                G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT,
                                static_cast<int>(input.header.sampleRate), "channels", G_TYPE_INT,
                                static_cast<int>(input.header.channels), nullptr));
    g_object_set(source, "format", GST_FORMAT_TIME, nullptr);
    const int channels = OutputChannels(request, input);
    SetCaps(shape, "caps",
            gst_caps_new_simple("audio/x-raw", "rate", G_TYPE_INT, request.outSampleRate,
                                "channels", G_TYPE_INT, channels, nullptr));
    if (m4r) {
        // The element's default forces mid/side coding, which smears channels that differ: a
        // stereo chord came back at 12 dB SNR with it and at 34 dB without, as from ffmpeg.
        const int fullRateBitrate = channels == 2 ? kM4rStereoBitrate : kM4rMonoBitrate;
        g_object_set(encoder, "bitrate",
                     static_cast<int>(static_cast<int64_t>(fullRateBitrate) *
                                      request.outSampleRate / kFullRate),
                     "aac-ms", FALSE, nullptr);
    } else {
        g_object_set(encoder, "quality", kOggQuality, nullptr);
    }
    // The MP4 muxer writes the title into the file's metadata; Ogg carries it in the Vorbis
    // comment header, which the encoder writes.
    SetTitle(m4r ? muxer : encoder, request.title);
    if (m4r) {
        const GstOwner<GstPad> muxerOutput(gst_element_get_static_pad(muxer, "src"));
        gst_pad_add_probe(muxerOutput.get(), GST_PAD_PROBE_TYPE_BUFFER, BrandAsM4a, nullptr,
                          nullptr);
    }
    g_object_set(sink, "fd", fd, "sync", FALSE, nullptr);
    return source;
}

// One block of the ringtone WAV as a buffer stamped with its place in time; nullptr, logged,
// when the file ends early.
GstBuffer* ReadBlock(PcmInput& input, uint64_t firstFrame, uint32_t frames,
                     const std::string& wavPath) {
    const std::size_t bytes = std::size_t{frames} * input.header.BlockSize();
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const std::size_t read = std::fread(map.data, 1, bytes, input.file.get());
    gst_buffer_unmap(buffer, &map);
    if (read != bytes) {
        gst_buffer_unref(buffer);
        EngineLog::Error("Error reading \"%s\": it ends early.\n", wavPath.c_str());
        return nullptr;
    }
    const uint64_t rate = input.header.sampleRate;
    const GstClockTime start = gst_util_uint64_scale(firstFrame, GST_SECOND, rate);
    GST_BUFFER_PTS(buffer) = start;
    GST_BUFFER_DURATION(buffer) =
        gst_util_uint64_scale(firstFrame + frames, GST_SECOND, rate) - start;
    return buffer;
}

// Waits until the source's queue has room again; false when the pipeline failed meanwhile.
bool WaitForRoom(GstAppSrc* source, GstBus* bus) {
    if (TakeError(bus, 0)) {
        return false;
    }
    while (gst_app_src_get_current_level_bytes(source) > kQueuedBytesLimit) {
        if (TakeError(bus, kRoomPoll)) {
            return false;
        }
    }
    return true;
}

PipelineResult PushSamples(PcmInput& input, GstAppSrc* source, GstBus* bus,
                           const std::string& wavPath) {
    uint64_t done = 0;
    while (done < input.frames) {
        const auto frames =
            static_cast<uint32_t>(std::min<uint64_t>(kBlockFrames, input.frames - done));
        GstBuffer* buffer = ReadBlock(input, done, frames, wavPath);
        if (buffer == nullptr) {
            return PipelineResult::Failed;
        }
        done += frames;
        if (StepEncoding(static_cast<uint32_t>(done)) == 0) {
            gst_buffer_unref(buffer);
            return PipelineResult::Cancelled;
        }
        // Only the first error is logged: it names the cause, the later ones its effects.
        if (gst_app_src_push_buffer(source, buffer) != GST_FLOW_OK) {
            TakeError(bus, 0);
            return PipelineResult::Failed;
        }
        if (!WaitForRoom(source, bus)) {
            return PipelineResult::Failed;
        }
    }
    return PipelineResult::Done;
}

// After the last block: waits for the muxer to finish the file, still answering Cancel.
PipelineResult Drain(GstAppSrc* source, GstBus* bus, uint32_t total) {
    gst_app_src_end_of_stream(source);
    for (;;) {
        const MessageOwner message(gst_bus_timed_pop_filtered(
            bus, kBusPoll, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
        if (message && GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS) {
            return PipelineResult::Done;
        }
        if (message) {
            LogError(message.get());
            return PipelineResult::Failed;
        }
        if (StepEncoding(total) == 0) {
            return PipelineResult::Cancelled;
        }
    }
}

PipelineResult RunPipeline(const RingtoneEncodeRequest& request, PcmInput& input, int fd) {
    EncodePipeline pipeline;
    GstElement* source = BuildPipeline(pipeline, request, input, fd);
    if (source == nullptr) {
        return PipelineResult::Failed;
    }
    const GstOwner<GstBus> bus = pipeline.Bus();
    if (gst_element_set_state(pipeline.Get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        if (!TakeError(bus.get(), 0)) {
            EngineLog::Error("Error encoding the ringtone: the pipeline did not start\n");
        }
        return PipelineResult::Failed;
    }
    GstAppSrc* appSource = GST_APP_SRC(source);
    const PipelineResult pushed = PushSamples(input, appSource, bus.get(), request.wavPath);
    return pushed == PipelineResult::Done ? Drain(appSource, bus.get(), input.frames) : pushed;
}

bool OpenInput(const std::string& wavPath, PcmInput& input) {
    uint64_t fileLength = 0;
    if (!OpenWorkingWav(wavPath, input.file, input.header, fileLength)) {
        return false;
    }
    const uint64_t frames = (fileLength - kWaveHeaderBytes) / input.header.BlockSize();
    input.frames = static_cast<uint32_t>(std::min<uint64_t>(frames, UINT32_MAX));
    return true;
}

bool LongerThanM4rAllows(const PcmInput& input) {
    return uint64_t{input.frames} * 1000 / input.header.sampleRate >
           static_cast<uint64_t>(kLongestM4rMs);
}

// Fails before any work, ending the encoding phase the cut left open.
bool RefuseEncode() {
    EndEncoding();
    return false;
}

bool EncodeThroughGStreamer(const RingtoneEncodeRequest& request, int& cancelled) {
    if (!StartGStreamer()) {
        return RefuseEncode();
    }
    if (const MissingElements missing = FindMissingElements(request.format); !missing.Empty()) {
        EngineLog::Error("%s\n", DescribeMissingElements(missing).c_str());
        return RefuseEncode();
    }
    PcmInput input;
    if (!OpenInput(request.wavPath, input)) {
        return RefuseEncode();
    }
    if (request.format == RingtoneFormat::M4r && LongerThanM4rAllows(input)) {
        EngineLog::Error("%s\n", M4rTooLongMessage().c_str());
        return RefuseEncode();
    }
    if (IsSameFile(request.wavPath, request.outputPath)) {
        EngineLog::Error("Could not write \"%s\": it is the input file.\n",
                         request.outputPath.c_str());
        return RefuseEncode();
    }
    AtomicOutputFile output;
    if (!output.Create(request.outputPath)) {
        return RefuseEncode();
    }
    BeginEncoding(input.frames);
    const PipelineResult result = RunPipeline(request, input, ::fileno(output.File()));
    EndEncoding();
    if (result == PipelineResult::Failed) {
        return false;
    }
    if (result == PipelineResult::Cancelled) {
        cancelled = 1;
        return true;
    }
    if (!output.Commit()) {
        return false;
    }
    cancelled = 0;
    return true;
}

} // namespace

MissingElements FindMissingElements(RingtoneFormat format) {
    const bool started = format != RingtoneFormat::Mp3 && StartGStreamer();
    MissingElements missing;
    for (const ElementNeed& need : NeedsOf(format)) {
        const GstOwner<GstElementFactory> factory(started ? gst_element_factory_find(need.element)
                                                          : nullptr);
        if (!factory) {
            AppendListed(missing.elements, need.element);
            AppendListed(missing.packages, need.package);
        }
    }
    return missing;
}

std::string DescribeMissingElements(const MissingElements& missing, std::string text) {
    for (const auto& [marker, value] : {std::pair{std::string("{elements}"), &missing.elements},
                                        std::pair{std::string("{packages}"), &missing.packages}}) {
        if (const std::size_t at = text.find(marker); at != std::string::npos) {
            text.replace(at, marker.size(), *value);
        }
    }
    return text;
}

bool EncodeRingtone(const RingtoneEncodeRequest& request, int& cancelled) {
    if (request.format != RingtoneFormat::Mp3) {
        return EncodeThroughGStreamer(request, cancelled);
    }
    return EncodeMp3Ringtone(request, cancelled);
}

} // namespace orvanta
