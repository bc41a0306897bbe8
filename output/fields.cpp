// Field writers built on std::to_chars, which renders the exact binary value correctly rounded
// (ties to even) for a given precision.
#include "output/fields.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace zephor {

namespace {

// Non-finite values: "Infinity" right-justified; "-Infinity" when the field holds 9 characters,
// else "-Inf"; "NaN".
void put_nonfinite(std::string& out, double x, int width) {
    const char* text = std::isnan(x) ? "NaN" : (x > 0 ? "Infinity" : (width >= 9 ? "-Infinity" : "-Inf"));
    const int len = static_cast<int>(std::strlen(text));
    out.append(static_cast<std::size_t>(width > len ? width - len : 0), ' ');
    out.append(text);
}

void put_right(std::string& out, const char* first, const char* last, int width) {
    const int len = static_cast<int>(last - first);
    if (len > width) {
        out.append(static_cast<std::size_t>(width), '*');
        return;
    }
    out.append(static_cast<std::size_t>(width - len), ' ');
    out.append(first, last);
}

}  // namespace

std::string str(std::int32_t k) {
    std::string s;
    put_integer_text(s, k);
    s.resize(20, ' ');
    return s;
}

void put_integer_text(std::string& out, std::int32_t k) {
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof buf, k);
    out.append(buf, res.ptr);
}

std::string integer_text(std::int32_t k) {
    std::string s;
    put_integer_text(s, k);
    return s;
}

void put_i12(std::string& out, std::int32_t k) {
    char buf[16];
    const auto res = std::to_chars(buf, buf + sizeof buf, k);
    put_right(out, buf, res.ptr, 12);
}

void put_f4(std::string& out, double x, int width) {
    if (!std::isfinite(x)) return put_nonfinite(out, x, width);
    // The largest double has 309 integer digits.
    char buf[400];
    char* p = buf;
    // The sign is written here from the sign bit, so that negative zero and negatives that
    // round to zero keep their "-".
    if (std::signbit(x)) *p++ = '-';
    const auto res = std::to_chars(p, buf + sizeof buf, std::fabs(x), std::chars_format::fixed, 4);
    put_right(out, buf, res.ptr, width);
}

void put_es16(std::string& out, double x) {
    if (!std::isfinite(x)) return put_nonfinite(out, x, 16);
    char buf[40];
    char* p = buf;
    if (std::signbit(x)) *p++ = '-';
    const auto res = std::to_chars(p, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 8);
    // to_chars writes "d.dddddddde+XX" (at least two exponent digits) in lower case.
    char* e = std::find(p, res.ptr, 'e');
    *e = 'E';
    if (res.ptr - (e + 2) > 2) {
        out.append(16, '*');
        return;
    }
    put_right(out, buf, res.ptr, 16);
}

}  // namespace zephor
