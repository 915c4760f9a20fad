#include "PeakFile.h"

namespace orvanta {

bool PeakFile::SampleValue(const uint8_t* sample, uint16_t bitsPerSample, int16_t& value) {
    switch (bitsPerSample) {
    case 16:
        value = static_cast<int16_t>(sample[0] | sample[1] << 8);
        return true;
    case 8:
        // Midpoint 127, as the waveform has always been drawn. The offset is taken as a plain
        // integer: as a signed byte, 255 would wrap to -128 and draw full scale upside down.
        value = static_cast<int16_t>((sample[0] - 127) * 255);
        return true;
    default:
        return false;
    }
}

} // namespace orvanta
