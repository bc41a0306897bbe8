// Field writers. The F and ES fields round the exact binary value in integer arithmetic (ties to
// even) for the magnitudes the files hold, which is what makes the checkpoint fast to write; the
// rest (huge, tiny, non-finite) and the reference writers they are tested against use
// std::to_chars, which rounds the same way. Integers are std::to_chars text.
#include "output/fields.hpp"

#include <algorithm>
#include <bit>
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

void put_f4_reference(std::string& out, double x, int width) {
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

// |x| = M * 2^q exactly, so |x| * 10^4 = M * 625 * 2^(q+4) with M * 625 < 2^63: the rounded
// value is an exact integer shift with the remainder deciding (ties to even). Magnitudes of 10^9
// and more, and values that are not finite, go through the reference.
void put_f4(std::string& out, double x, int width) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    if (biased > 1023 + 29) return put_f4_reference(out, x, width);
    std::uint64_t units = 0;  // |x| in units of 10^-4, rounded
    if (biased != 0) {
        const std::uint64_t mant = (bits & ((std::uint64_t(1) << 52) - 1)) | (std::uint64_t(1) << 52);
        const std::uint64_t prod = mant * 625u;
        const int shift = 1075 - biased - 4;  // |x| * 10^4 = prod * 2^-shift
        if (shift <= 0) {
            units = prod << -shift;
        } else if (shift < 64) {
            units = prod >> shift;
            const std::uint64_t rem = prod & ((std::uint64_t(1) << shift) - 1);
            const std::uint64_t half = std::uint64_t(1) << (shift - 1);
            if (rem > half || (rem == half && (units & 1u) != 0)) ++units;
        }
        // shift >= 64: below half a unit (prod < 2^63), so 0.
    }
    // Subnormals and zero are 0.0000.
    char buf[32];
    char* end = buf + sizeof buf;
    char* p = end;
    std::uint64_t frac = units % 10000;
    std::uint64_t whole = units / 10000;
    for (int i = 0; i < 4; ++i) {
        *--p = static_cast<char>('0' + frac % 10);
        frac /= 10;
    }
    *--p = '.';
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (bits >> 63) *--p = '-';
    put_right(out, p, end, width);
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

// The nine significant digits as an exact integer in [10^8, 10^9): |x| = M * 2^q exactly, and
// M * 2^q * 10^(8-e) is rounded in integer arithmetic. Magnitudes outside about 10^-19 .. 10^9
// (never met in the checkpoint's orbitals), zero, subnormals and non-finite values go through
// the reference.
namespace {

// "00" to "99".
constexpr char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* es16_by_reference(char* out, double x) {
    std::string s;
    put_es16_reference(s, x);
    std::memcpy(out, s.data(), 16);
    return out + 16;
}

}  // namespace

char* put_es16(char* out, double x) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const int biased = static_cast<int>((bits >> 52) & 0x7ff);
    // 10^-19 <= |x| < 10^9 in binary exponents, with margin; the rest goes to the reference.
    if (biased < 1023 - 63 || biased > 1023 + 29) return es16_by_reference(out, x);
    const std::uint64_t mant = (bits & ((std::uint64_t(1) << 52) - 1)) | (std::uint64_t(1) << 52);
    const int q = biased - 1075;  // |x| = mant * 2^q
    // floor(log10(2^(q + 52))): the decimal exponent or one less, corrected below.
    int e10 = ((q + 52) * 78913) >> 18;
    std::uint64_t digits = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int k = 8 - e10;
        if (k < 0 || k > 27 || !scaled_rounded(mant, q, k, digits)) return es16_by_reference(out, x);
        if (digits >= 1000000000u) {
            ++e10;
        } else if (digits < 100000000u) {
            --e10;
        } else {
            break;
        }
    }
    if (digits < 100000000u || digits >= 1000000000u) return es16_by_reference(out, x);

    char* buf = out;
    buf[0] = ' ';
    buf[1] = (bits >> 63) ? '-' : ' ';
    // d.dddddddd in buf[2 .. 11]: the eight after the point as four pairs, split in halves first
    // so that the divisions do not wait on one another in a chain of eight.
    const auto lead = static_cast<std::uint32_t>(digits / 100000000u);
    const auto rest = static_cast<std::uint32_t>(digits % 100000000u);
    const std::uint32_t high = rest / 10000u;
    const std::uint32_t low = rest % 10000u;
    std::memcpy(buf + 4, digit_pairs + 2 * (high / 100u), 2);
    std::memcpy(buf + 6, digit_pairs + 2 * (high % 100u), 2);
    std::memcpy(buf + 8, digit_pairs + 2 * (low / 100u), 2);
    std::memcpy(buf + 10, digit_pairs + 2 * (low % 100u), 2);
    buf[3] = '.';
    buf[2] = static_cast<char>('0' + lead);
    buf[12] = 'E';
    buf[13] = e10 < 0 ? '-' : '+';
    const int ae = e10 < 0 ? -e10 : e10;
    buf[14] = static_cast<char>('0' + ae / 10);
    buf[15] = static_cast<char>('0' + ae % 10);
    return out + 16;
}

void put_es16(std::string& out, double x) {
    char buf[16];
    out.append(buf, put_es16(buf, x));
}

}  // namespace zephor
