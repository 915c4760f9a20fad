#pragma once

#include <string>

// Keeps, while it lives, the last complaint the engine writes to its error log: the reason a
// failure message shows under its sentence. The window program sets no log sink of its own, so
// the sink is unset again at the end.
class EngineReason {
public:
    EngineReason();
    ~EngineReason();
    EngineReason(const EngineReason&) = delete;
    EngineReason& operator=(const EngineReason&) = delete;

    // The last complaint without its trailing line breaks; empty when there was none.
    std::string Text() const;

private:
    std::string m_last;
};
