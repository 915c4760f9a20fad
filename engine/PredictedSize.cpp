#include "PredictedSize.h"

#include "LameHandles.h"

#include <algorithm>
#include <limits>

namespace orvanta {

uint64_t PredictedMp3Bytes(uint64_t frames, unsigned sampleRate, unsigned channels, bool stereo,
                           int outSampleRate) {
    const LamePtr context = NewLameContext();
    if (!context || sampleRate == 0) {
        return 0;
    }
    lame_set_num_channels(context.get(), static_cast<int>(channels));
    lame_set_in_samplerate(context.get(), static_cast<int>(sampleRate));
    lame_set_num_samples(context.get(), static_cast<unsigned long>(std::min<uint64_t>(
                                            frames, std::numeric_limits<uint32_t>::max() - 1)));
    lame_set_write_id3tag_automatic(context.get(), 0);
    if (!stereo) {
        lame_set_mode(context.get(), MONO);
    }
    lame_set_out_samplerate(context.get(), outSampleRate);
    if (InitLameParams(context.get()) < 0) {
        return 0;
    }
    // Every frame of a constant bit rate carries frame size x bit rate / 8 / rate bytes on
    // average (the padding byte comes and goes); the LAME tag takes one frame of its own. At the
    // MPEG-2 and 2.5 rates (576-sample frames) LAME's frame count already comes out at the
    // frames written, tag included, as measured on the files: only at the MPEG-1 rates does the
    // tag frame come on top.
    const int frameSize = lame_get_framesize(context.get());
    const double frameBytes =
        frameSize / 8.0 * lame_get_brate(context.get()) * 1000.0 / outSampleRate;
    const bool tagOnTop = lame_get_bWriteVbrTag(context.get()) != 0 && frameSize == 1152;
    const int tagFrames = tagOnTop ? 1 : 0;
    return static_cast<uint64_t>(frameBytes * (lame_get_totalframes(context.get()) + tagFrames));
}

} // namespace orvanta
