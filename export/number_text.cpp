// Fixed and scientific renderings through std::to_chars, which rounds correctly and ignores the locale.
#include "export/number_text.hpp"

#include <algorithm>
#include <charconv>

namespace zephor::exporter {

void put_fixed(std::string& out, double x, int decimals) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
    out.append(buf, res.ptr);
}

void put_shortest_fixed(std::string& out, double x) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    out.append(buf, res.ptr);
}

void put_scientific(std::string& out, double x, int decimals) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, decimals);
    std::replace(buf, res.ptr, 'e', 'E');
    out.append(buf, res.ptr);
}

void put_right(std::string& out, const std::string& text, std::size_t width) {
    if (text.size() < width) out.append(width - text.size(), ' ');
    out.append(text);
}

}  // namespace zephor::exporter
