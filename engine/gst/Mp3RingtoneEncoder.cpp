#include "ConversionEngine.h"
#include "EngineLog.h"
#include "GstRingtoneEncoder.h"
#include "ProgressSteps.h"

namespace orvanta {

bool EncodeMp3Ringtone(const RingtoneEncodeRequest& request, int& cancelled) {
    ConversionEngine engine;
    if (!engine.Open()) {
        EngineLog::Error("Internal error.  Aborting.");
        // Ends the encoding phase the cut left open.
        EndEncoding();
        return false;
    }
    return engine.EncodeToMp3(request.wavPath, request.outputPath, cancelled, request.stereo,
                              request.outSampleRate);
}

} // namespace orvanta
