#include "ConversionEngine.h"

#include "DecodeLoop.h"
#include "EngineLog.h"
#include "EngineState.h"
#include "FileHandle.h"

namespace orvanta {

EngineState& TheEngineState() {
    static EngineState state;
    return state;
}

ConversionEngine::~ConversionEngine() {
    Close();
}

bool ConversionEngine::Open() {
    TheEngineState().context.reset(lame_init());
    return TheEngineState().context != nullptr;
}

int ConversionEngine::Close() {
    LamePtr& context = TheEngineState().context;
    return context ? lame_close(context.release()) : 0;
}

namespace {

bool PrepareContext(lame_global_flags* context) {
    lame_set_write_id3tag_automatic(context, 0);
    if (lame_init_params(context) < 0) {
        EngineLog::Error("Error: unsupported input sample rate or channel count\n");
        return false;
    }
    return true;
}

// A failed decode leaves no half-written working WAV behind that could pass for a whole one.
bool FailDecode(FilePtr& output, const std::string& wavPath) {
    output.reset();
    RemoveOutputFile(wavPath);
    TheEngineState().reader.Close();
    return false;
}

} // namespace

bool ConversionEngine::DecodeToWav(const std::string& sourcePath, const std::string& wavPath,
                                   int& cancelled) {
    EngineState& state = TheEngineState();
    if (!state.context) {
        EngineLog::Error("Internal error.  Aborting.");
        return false;
    }
    state.delay = -1;
    state.padding = -1;
    if (IsSameFile(sourcePath, wavPath)) {
        EngineLog::Error("Could not write \"%s\": it is the input file.\n", wavPath.c_str());
        return false;
    }
    lame_global_flags* context = state.context.get();
    if (!state.reader.Open(context, sourcePath, FormatFromExtension(sourcePath), state.delay,
                           state.padding)) {
        return false;
    }
    FilePtr output = OpenOutputFile(wavPath);
    if (!output) {
        EngineLog::Error("Could not create \"%s\".\n", wavPath.c_str());
        state.reader.Close();
        return false;
    }
    if (!PrepareContext(context)) {
        return FailDecode(output, wavPath);
    }
    const int result = DecodeLoop(context, state.reader, output.get(), /*skipCount=*/0, sourcePath,
                                  wavPath, state.delay, state.padding);
    if (result == -1) {
        return FailDecode(output, wavPath);
    }
    state.reader.Close();
    if (!CloseFile(output)) {
        EngineLog::Error("Error writing output file\n");
        RemoveOutputFile(wavPath);
        return false;
    }
    cancelled = result == 1 ? 1 : 0;
    Close();
    return true;
}

} // namespace orvanta
