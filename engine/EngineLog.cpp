#include "EngineLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

namespace orvanta::EngineLog {

namespace {

struct Sinks {
    Sink info;
    Flusher infoFlush;
    Sink error;
};

Sinks& TheSinks() {
    static Sinks sinks;
    return sinks;
}

// Decodes on several threads log at once: a sink is called by one of them at a time, and must
// not log itself.
std::mutex& SinkMutex() {
    static std::mutex mutex;
    return mutex;
}

__attribute__((format(printf, 2, 0))) void Emit(Sink Sinks::*which, const char* format,
                                                va_list args) {
    const std::lock_guard lock(SinkMutex());
    const Sink& sink = TheSinks().*which;
    if (!sink) {
        return;
    }
    va_list sizing;
    va_copy(sizing, args);
    const int length = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (length <= 0) {
        return;
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.pop_back();
    sink(text);
}

} // namespace

void SetInfoSink(Sink sink, Flusher flush) {
    const std::lock_guard lock(SinkMutex());
    TheSinks().info = std::move(sink);
    TheSinks().infoFlush = std::move(flush);
}

void SetErrorSink(Sink sink) {
    const std::lock_guard lock(SinkMutex());
    TheSinks().error = std::move(sink);
}

void Info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VInfo(format, args);
    va_end(args);
}

void Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VError(format, args);
    va_end(args);
}

void VInfo(const char* format, va_list args) {
    Emit(&Sinks::info, format, args);
}

void VError(const char* format, va_list args) {
    Emit(&Sinks::error, format, args);
}

void FlushInfo() {
    const std::lock_guard lock(SinkMutex());
    if (TheSinks().infoFlush) {
        TheSinks().infoFlush();
    }
}

} // namespace orvanta::EngineLog
