#include "EngineReason.h"

#include "EngineLog.h"

EngineReason::EngineReason() {
    orvanta::EngineLog::SetErrorSink([this](std::string_view text) { m_last.assign(text); });
}

EngineReason::~EngineReason() {
    orvanta::EngineLog::SetErrorSink({});
}

std::string EngineReason::Text() const {
    const std::size_t end = m_last.find_last_not_of(" \r\n");
    return end == std::string::npos ? std::string() : m_last.substr(0, end + 1);
}
