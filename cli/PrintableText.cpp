#include "PrintableText.h"

#include <cstdio>

namespace orvanta::cli {

std::string Printable(std::string_view text, std::string_view kept) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = byte < 0x20 || byte == 0x7F;
        if (!control || kept.find(c) != std::string_view::npos) {
            shown += c;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += escaped;
    }
    return shown;
}

} // namespace orvanta::cli
