#pragma once

#include <string>
#include <string_view>

namespace orvanta::cli {

// `text` for the terminal: every control character but those in `kept` shown as \xHH, so a file
// name holding an escape sequence or a carriage return cannot redraw or recolour the terminal
// through a message.
std::string Printable(std::string_view text, std::string_view kept = {});

} // namespace orvanta::cli
