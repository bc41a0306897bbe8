// Text forms the programs share: real numbers as Fortran-minded chemists write them, and input
// bytes shown in a message.
#pragma once

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace zephor {

// The real-number grammar: an optional sign, digits with or without a decimal point, an optional
// exponent introduced by E or D in either case ("0.74", "-1.2E-1", "1.5D0", "3", ".5").
inline bool has_real_form(std::string_view s) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        return i - from;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == s.size();
}

// The value of a text of that form; nothing for any other text. The form is checked first, so
// strtod never sees hexadecimal, Inf or NaN; strtod then rounds correctly. A value past the double
// range (infinity) is refused, one below it read as the tiny or zero value it rounds to.
inline std::optional<double> parse_real_text(std::string_view s) {
    if (!has_real_form(s)) return std::nullopt;
    std::string text(s);
    for (char& c : text)
        if (c == 'D' || c == 'd') c = 'E';
    const double x = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(x)) return std::nullopt;
    return x;
}

// Input bytes as a message shows them: control bytes (a NUL would end the message early, an ESC
// would reach the terminal) written as \xhh; printable bytes and UTF-8 text as they are.
// With `high_bytes`, bytes 0x80 and above are written as \xhh too.
inline std::string shown(std::string_view s, bool high_bytes = false) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f || (high_bytes && b >= 0x80)) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace zephor
