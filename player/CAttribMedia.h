#pragma once

#include "CObjBase.h"

#include <cstdint>
#include <string>

namespace orvanta {

// The media record handed to MediaPlayer::Load: which file to play, and its length once the
// player has loaded it.
class CAttribMedia : public CObjBase {
public:
    CAttribMedia() = default;
    explicit CAttribMedia(std::string pathName);

    const char* GetRuntimeClassName() const override;
    // The base's integer, the path, the duration.
    void Serialize(ArchiveWriter& archive) const override;
    bool Deserialize(ArchiveReader& archive) override;

    const std::string& GetPath() const { return m_path; }
    void SetPath(const std::string& pathName) { m_path = pathName; }
    // Milliseconds; 0 until a player has loaded the file.
    int32_t GetDuration() const { return m_duration; }
    void SetDuration(int32_t durationMs) { m_duration = durationMs; }

private:
    std::string m_path;
    int32_t m_duration = 0;
};

} // namespace orvanta
