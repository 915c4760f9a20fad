#pragma once

#include <cstdarg>
#include <functional>
#include <string_view>

namespace orvanta::EngineLog {

// A sink receives each diagnostic already formatted. An unset sink swallows the text: the
// window program never sets one and shows its own localised messages instead.
using Sink = std::function<void(std::string_view text)>;
using Flusher = std::function<void()>;

void SetInfoSink(Sink sink, Flusher flush = {});
void SetErrorSink(Sink sink);

void Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void FlushInfo();

// For C libraries that report through a va_list (LAME's decoder messages).
void VInfo(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
void VError(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

} // namespace orvanta::EngineLog
