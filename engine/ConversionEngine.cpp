#include "ConversionEngine.h"

#include "AtomicOutputFile.h"
#include "DecodeLoop.h"
#include "EncodeLoop.h"
#include "EngineLog.h"
#include "EngineState.h"
#include "FileHandle.h"
#include "ProgressSteps.h"

namespace orvanta {

ConversionEngine::ConversionEngine() : m_state(std::make_unique<EngineState>()) {}

ConversionEngine::~ConversionEngine() {
    Close();
}

bool ConversionEngine::Open() {
    m_state->context = NewLameContext();
    return m_state->context != nullptr;
}

int ConversionEngine::Close() {
    LamePtr& context = m_state->context;
    return context ? lame_close(context.release()) : 0;
}

namespace {

bool PrepareDecoderContext(lame_global_flags* context) {
    lame_set_write_id3tag_automatic(context, 0);
    if (InitLameParams(context) < 0) {
        EngineLog::Error("Error: unsupported input sample rate or channel count\n");
        return false;
    }
    return true;
}

// A failed conversion leaves no half-written output behind that could pass for a whole one.
bool FailConversion(EngineState& state, AtomicOutputFile& output) {
    output.Discard();
    state.reader.Close();
    return false;
}

// Opens the conversion's input and its new output file; false, with the reason logged, when
// either fails or when the output would overwrite the input.
bool OpenConversion(EngineState& state, const std::string& inputPath, const std::string& outputPath,
                    AtomicOutputFile& output) {
    if (!state.context) {
        EngineLog::Error("Internal error.  Aborting.");
        return false;
    }
    state.delay = -1;
    state.padding = -1;
    if (IsSameFile(inputPath, outputPath)) {
        EngineLog::Error("Could not write \"%s\": it is the input file.\n", outputPath.c_str());
        return false;
    }
    if (!state.reader.Open(state.context.get(), inputPath, FormatFromExtension(inputPath),
                           state.delay, state.padding)) {
        return false;
    }
    if (!output.Create(outputPath)) {
        state.reader.Close();
        return false;
    }
    return true;
}

// Closes the input and puts the output in place when `keep` is set, else discards it; false
// when the output could not be written whole.
bool FinishConversion(EngineState& state, AtomicOutputFile& output, bool keep) {
    state.reader.Close();
    if (!keep) {
        output.Discard();
        return true;
    }
    return output.Commit();
}

} // namespace

bool ConversionEngine::DecodeToWav(const std::string& sourcePath, const std::string& wavPath,
                                   int& cancelled, const DecodeOptions& options) {
    AtomicOutputFile output;
    EngineState& state = *m_state;
    if (!OpenConversion(state, sourcePath, wavPath, output)) {
        return false;
    }
    lame_global_flags* context = state.context.get();
    if (!PrepareDecoderContext(context)) {
        return FailConversion(state, output);
    }
    const int result = DecodeLoop(context, state.reader, output.File(), /*skipCount=*/0, sourcePath,
                                  wavPath, state.delay, state.padding, options);
    if (result == -1) {
        return FailConversion(state, output);
    }
    // A cancelled working WAV is not the song: the previous file, if any, stays in place.
    if (!FinishConversion(state, output, /*keep=*/result == 0)) {
        return false;
    }
    cancelled = result == 1 ? 1 : 0;
    Close();
    return true;
}

bool ConversionEngine::EncodeToMp3(const std::string& wavPath, const std::string& mp3Path,
                                   int& cancelled, bool stereo, int outSampleRate) {
    AtomicOutputFile output;
    EngineState& state = *m_state;
    if (!OpenConversion(state, wavPath, mp3Path, output)) {
        EndEncoding(); // the cut left the progress window open for this phase
        return false;
    }
    lame_global_flags* context = state.context.get();
    lame_set_write_id3tag_automatic(context, 0);
    if (!stereo) {
        lame_set_mode(context, MONO);
    }
    lame_set_out_samplerate(context, outSampleRate);
    if (InitLameParams(context) < 0) {
        EngineLog::Error("Error: LAME refused the encoder settings\n");
        EndEncoding();
        return FailConversion(state, output);
    }
    const int result = EncodeLoop(context, state.reader, output.File(), /*noGap=*/false);
    if (result == -1) {
        return FailConversion(state, output);
    }
    // A cancelled MP3 would play as if it were the whole selection: the previous file, if any,
    // stays in place instead.
    if (!FinishConversion(state, output, /*keep=*/result == 0)) {
        return false;
    }
    cancelled = result == 1 ? 1 : 0;
    Close();
    return true;
}

} // namespace orvanta
