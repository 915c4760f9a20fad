#include "EngineLog.h"

#include <cstdarg>
#include <cstdio>
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

__attribute__((format(printf, 2, 0))) void Emit(const Sink& sink, const char* format,
                                                va_list args) {
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
    TheSinks().info = std::move(sink);
    TheSinks().infoFlush = std::move(flush);
}

void SetErrorSink(Sink sink) {
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
    Emit(TheSinks().info, format, args);
}

void VError(const char* format, va_list args) {
    Emit(TheSinks().error, format, args);
}

void FlushInfo() {
    if (TheSinks().infoFlush) {
        TheSinks().infoFlush();
    }
}

} // namespace orvanta::EngineLog
