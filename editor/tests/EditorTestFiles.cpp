#include "EditorTestFiles.h"

#include "FileHandle.h"
#include "PeakFile.h"
#include "WaveHeader.h"

#include <filesystem>
#include <gtest/gtest.h>

EditorTestFiles::EditorTestFiles() {
    EXPECT_TRUE(m_folder.isValid());
}

std::string EditorTestFiles::Path(const std::string& name) const {
    return m_folder.filePath(QString::fromStdString(name)).toStdString();
}

std::string EditorTestFiles::Wav(uint32_t sampleRate, uint16_t channels, std::int64_t frames,
                                 const std::string& name) const {
    const std::string path = Path(name);
    const auto dataBytes = static_cast<std::uint64_t>(frames) * channels * 2;
    {
        orvanta::FilePtr file = orvanta::OpenOutputFile(path);
        EXPECT_EQ(orvanta::WriteWaveHeader(file.get(), static_cast<uint32_t>(dataBytes),
                                           static_cast<int>(sampleRate), channels, /*bits=*/16),
                  0);
        EXPECT_TRUE(orvanta::CloseFile(file));
    }
    std::filesystem::resize_file(path, orvanta::kWaveHeaderBytes + dataBytes);
    return path;
}

std::string EditorTestFiles::Peaks(uint32_t channels, const std::vector<int16_t>& values,
                                   const std::string& name) const {
    std::vector<uint8_t> bytes;
    bytes.reserve(4 + values.size() * 2);
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(channels >> shift));
    }
    for (const int16_t value : values) {
        bytes.push_back(static_cast<uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
    return Raw(bytes, name);
}

std::string EditorTestFiles::Raw(const std::vector<uint8_t>& bytes, const std::string& name) const {
    const std::string path = Path(name);
    orvanta::FilePtr file = orvanta::OpenOutputFile(path);
    if (!bytes.empty()) { // an empty vector's data() may be null, which fwrite must not get
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file.get()), bytes.size());
    }
    EXPECT_TRUE(orvanta::CloseFile(file));
    return path;
}

std::pair<std::string, std::string> EditorTestFiles::Pair(std::int64_t frames, uint16_t channels,
                                                          const ValueAt& value,
                                                          uint32_t sampleRate) const {
    const std::int64_t step = orvanta::PeakFile::PeakStep;
    const std::int64_t peakFrames = (frames + step - 1) / step;
    std::vector<int16_t> values;
    values.reserve(static_cast<std::size_t>(peakFrames * channels));
    for (std::int64_t k = 0; k < peakFrames; ++k) {
        for (uint32_t c = 0; c < channels; ++c) {
            values.push_back(value(k, c));
        }
    }
    return {Wav(sampleRate, channels, frames), Peaks(channels, values)};
}
