#pragma once

#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

inline constexpr uint32_t kTestRate = 44100;

// Working WAVs and peak files made at test time in a folder of the test's own.
class EditorTestFiles {
public:
    EditorTestFiles();

    // A canonical 16-bit working WAV of `frames` frames. The samples are never read by the
    // editor, so the data is left as a hole in the file: an hour costs no disk.
    std::string Wav(uint32_t sampleRate, uint16_t channels, std::int64_t frames,
                    const std::string& name = "work.wav") const;
    // A peak file: the channel count, then the interleaved values.
    std::string Peaks(uint32_t channels, const std::vector<int16_t>& values,
                      const std::string& name = "work.wfp") const;
    // Any bytes at all, for damaged files.
    std::string Raw(const std::vector<uint8_t>& bytes, const std::string& name) const;
    std::string Missing() const { return Path("missing"); }

    // A matching WAV of `frames` frames and its peak file, whose channel c holds value(k, c) at
    // peak frame k, as the engine would write them.
    using ValueAt = std::function<int16_t(std::int64_t peakFrame, uint32_t channel)>;
    std::pair<std::string, std::string> Pair(std::int64_t frames, uint16_t channels,
                                             const ValueAt& value,
                                             uint32_t sampleRate = kTestRate) const;

private:
    std::string Path(const std::string& name) const;

    QTemporaryDir m_folder;
};
