#include "PeakFile.h"

#include <array>

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

void PeakBuilder::Written(std::span<const uint8_t> frames, int channels) {
    const auto bytesPerSample = static_cast<std::size_t>(m_bits / 8);
    const auto blockSize = static_cast<std::size_t>(channels) * bytesPerSample;
    if (channels <= 0 || channels > 0xFFFF || blockSize == 0 || frames.size() % blockSize != 0 ||
        (m_channels != 0 && channels != m_channels)) {
        m_broken = true;
        return;
    }
    m_channels = static_cast<uint16_t>(channels);
    const uint64_t frameCount = frames.size() / blockSize;
    // The first frame of this block whose index in the whole WAV is a multiple of the step.
    const uint64_t at = m_firstFrame + m_frames;
    for (uint64_t i = (PeakFile::PeakStep - at % PeakFile::PeakStep) % PeakFile::PeakStep;
         i < frameCount; i += PeakFile::PeakStep) {
        for (std::size_t channel = 0; channel < m_channels; ++channel) {
            int16_t value = 0;
            if (PeakFile::SampleValue(&frames[i * blockSize + channel * bytesPerSample], m_bits,
                                      value)) {
                m_values.push_back(static_cast<uint8_t>(value & 0xFF));
                m_values.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
            }
        }
    }
    m_frames += frameCount;
    m_sampleBytes += frames.size();
}

std::unique_ptr<PcmSink> PeakBuilder::Branch(uint64_t firstFrame) const {
    auto branch = std::make_unique<PeakBuilder>(m_bits);
    branch->m_firstFrame = firstFrame;
    return branch;
}

void PeakBuilder::Merge(PcmSink& branch) {
    auto* part = dynamic_cast<PeakBuilder*>(&branch);
    if (part == nullptr || part->m_firstFrame != m_firstFrame + m_frames || part->m_broken ||
        part->m_bits != m_bits ||
        (part->m_channels != 0 && m_channels != 0 && part->m_channels != m_channels)) {
        m_broken = true;
        return;
    }
    if (m_channels == 0) {
        m_channels = part->m_channels;
    }
    m_values.insert(m_values.end(), part->m_values.begin(), part->m_values.end());
    m_frames += part->m_frames;
    m_sampleBytes += part->m_sampleBytes;
}

bool PeakBuilder::WriteTo(std::FILE* file) const {
    const std::array<uint8_t, PeakFile::HeaderBytes> header{
        static_cast<uint8_t>(m_channels), static_cast<uint8_t>(m_channels >> 8), 0, 0};
    return std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
           (m_values.empty() ||
            std::fwrite(m_values.data(), 1, m_values.size(), file) == m_values.size());
}

} // namespace orvanta
