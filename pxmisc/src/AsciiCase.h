#pragma once

#include <algorithm>
#include <string_view>

// Case folding for names, masks and arguments, which the library compares as ASCII. The C
// library's toupper/tolower follow the process locale: under Turkish, "i" and "I" are not each
// other's case, and a mask such as "*.ini" would miss "SETUP.INI".

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool AsciiSameNoCase(char a, char b) {
    return AsciiUpper(a) == AsciiUpper(b);
}

inline bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), AsciiSameNoCase);
}
