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

void put_es16_reference(std::string& out, double x) {
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

namespace {

constexpr std::uint64_t pow5[28] = {
    1ull, 5ull, 25ull, 125ull, 625ull, 3125ull, 15625ull, 78125ull, 390625ull, 1953125ull,
    9765625ull, 48828125ull, 244140625ull, 1220703125ull, 6103515625ull, 30517578125ull,
    152587890625ull, 762939453125ull, 3814697265625ull, 19073486328125ull, 95367431640625ull,
    476837158203125ull, 2384185791015625ull, 11920928955078125ull, 59604644775390625ull,
    298023223876953125ull, 1490116119384765625ull, 7450580596923828125ull};

// mant * 2^q * 10^k (k in 0 .. 27) rounded to the nearest integer, ties to even: exact, since
// mant * 5^k < 2^53 * 2^63 fits in 128 bits. Returns false where the shift would not fit.
bool scaled_rounded(std::uint64_t mant, int q, int k, std::uint64_t& result) {
    const unsigned __int128 prod = static_cast<unsigned __int128>(mant) * pow5[k];
    const int shift = -(q + k);  // value = prod * 2^-shift
    if (shift <= 0) {
        if (shift < -20) return false;
        result = static_cast<std::uint64_t>(prod << -shift);
        return true;
    }
    if (shift >= 120) return false;
    const unsigned __int128 one = 1;
    std::uint64_t d = static_cast<std::uint64_t>(prod >> shift);
    const unsigned __int128 rem = prod & ((one << shift) - 1);
    const unsigned __int128 half = one << (shift - 1);
    if (rem > half || (rem == half && (d & 1u) != 0)) ++d;
    result = d;
    return true;
}

}  // namespace

// The nine significant digits as an exact integer in [10^8, 10^9): x = M * 2^q exactly, and
// M * 2^q * 10^(8-e) is rounded in integer arithmetic. Magnitudes outside 10^-19 .. 10^9 (never
// met in the checkpoint's orbitals) go through the reference.
void put_es16(std::string& out, double x) {
    const double m = std::fabs(x);
    if (!(m >= 1e-19 && m < 1e9)) return put_es16_reference(out, x);
    int exp2 = 0;
    const double frac = std::frexp(m, &exp2);  // m = frac * 2^exp2, frac in [0.5, 1)
    const std::uint64_t mant = static_cast<std::uint64_t>(std::ldexp(frac, 53));
    const int q = exp2 - 53;
    // Decimal exponent estimate from the binary one, corrected below.
    int e10 = static_cast<int>(std::floor((exp2 - 1) * 0.30102999566398120));
    std::uint64_t digits = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int k = 8 - e10;
        if (k < 0 || k > 27 || !scaled_rounded(mant, q, k, digits)) return put_es16_reference(out, x);
        if (digits >= 1000000000u) {
            ++e10;
        } else if (digits < 100000000u) {
            --e10;
        } else {
            break;
        }
    }
    if (digits < 100000000u || digits >= 1000000000u) return put_es16_reference(out, x);

    char buf[16];
    char* p = buf;
    *p++ = ' ';
    if (std::signbit(x)) {
        *p++ = '-';
    } else {
        *p++ = ' ';
    }
    char d9[9];
    for (int i = 8; i >= 0; --i) {
        d9[i] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    *p++ = d9[0];
    *p++ = '.';
    std::memcpy(p, d9 + 1, 8);
    p += 8;
    *p++ = 'E';
    *p++ = e10 < 0 ? '-' : '+';
    const int ae = e10 < 0 ? -e10 : e10;
    *p++ = static_cast<char>('0' + ae / 10);
    *p++ = static_cast<char>('0' + ae % 10);
    out.append(buf, 16);
}

}  // namespace zephor
