// Field formatting to the character: integer text, I12, F8.4 / F15.4 with their signs, rounding
// and asterisks, ES16.8E2 with its exponents and non-finite forms; and the fast field writers
// against the std::to_chars references on every kind of value.
#include "output/fields.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace zephor;

namespace {

std::string f4(double x, int w) {
    std::string s;
    put_f4(s, x, w);
    return s;
}

std::string es(double x) {
    std::string s;
    put_es16(s, x);
    return s;
}

std::string i12(std::int32_t k) {
    std::string s;
    put_i12(s, k);
    return s;
}

}  // namespace

TEST(IntegerText, StrIsTwentyCharactersLeftJustified) {
    EXPECT_EQ(str(0), "0" + std::string(19, ' '));
    EXPECT_EQ(str(-7), "-7" + std::string(18, ' '));
    EXPECT_EQ(str(2147483647), "2147483647" + std::string(10, ' '));
    EXPECT_EQ(str(-2147483647 - 1), "-2147483648" + std::string(9, ' '));
    EXPECT_EQ(integer_text(12), "12");
    EXPECT_EQ(i12(6), std::string(11, ' ') + "6");
    EXPECT_EQ(i12(-1), std::string(10, ' ') + "-1");
    EXPECT_EQ(i12(-2147483647 - 1), " -2147483648");
}

TEST(FixedField, RoundingSignsAndOverflow) {
    EXPECT_EQ(f4(-0.00004, 8), " -0.0000");
    EXPECT_EQ(f4(0.00004, 8), "  0.0000");
    EXPECT_EQ(f4(-0.00001, 8), " -0.0000");
    EXPECT_EQ(f4(-0.0, 8), " -0.0000");
    EXPECT_EQ(f4(0.0, 8), "  0.0000");
    EXPECT_EQ(f4(0.5, 8), "  0.5000");
    EXPECT_EQ(f4(0.03125, 8), "  0.0312");   // an exact tie goes to the even digit
    EXPECT_EQ(f4(0.09375, 8), "  0.0938");
    EXPECT_EQ(f4(123.4567, 8), "123.4567");
    EXPECT_EQ(f4(-21.453, 8), "-21.4530");
    EXPECT_EQ(f4(-1234.5, 8), "********");
    EXPECT_EQ(f4(-999.99996, 8), "********");
    EXPECT_EQ(f4(-99.99996, 8), "********");
    EXPECT_EQ(f4(999.99994, 8), "999.9999");
    EXPECT_EQ(f4(0.0, 15), std::string(9, ' ') + "0.0000");
    EXPECT_EQ(f4(9999999999.0, 15), "9999999999.0000");
    EXPECT_EQ(f4(-999999999.0, 15), "-999999999.0000");
    EXPECT_EQ(f4(-9999999999.0, 15), std::string(15, '*'));
    EXPECT_EQ(f4(1e300, 15), std::string(15, '*'));
}

TEST(ScientificField, DigitsExponentsAndOverflow) {
    EXPECT_EQ(es(1.0), "  1.00000000E+00");
    EXPECT_EQ(es(-0.5), " -5.00000000E-01");
    EXPECT_EQ(es(12345.678), "  1.23456780E+04");
    EXPECT_EQ(es(0.529177188873291), "  5.29177189E-01");
    EXPECT_EQ(es(9.9999999996), "  1.00000000E+01");
    EXPECT_EQ(es(0.0), "  0.00000000E+00");
    EXPECT_EQ(es(-0.0), " -0.00000000E+00");
    EXPECT_EQ(es(1.0e-100), std::string(16, '*'));
    EXPECT_EQ(es(1.0e+100), std::string(16, '*'));
    EXPECT_EQ(es(9.99999999e+99), "  9.99999999E+99");
    EXPECT_EQ(es(9.999999999e+99), std::string(16, '*'));  // rounds up to 1.0E+100
    EXPECT_EQ(es(1.0e-99), "  1.00000000E-99");
    EXPECT_EQ(es(-0.788382964), " -7.88382964E-01");
    EXPECT_EQ(es(1.000000005), "  1.00000000E+00");  // binary value just below the tie
}

TEST(NonFinite, InfinityAndNaNForms) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(f4(inf, 8), "Infinity");
    EXPECT_EQ(f4(-inf, 8), "    -Inf");
    EXPECT_EQ(f4(-inf, 15), "      -Infinity");
    EXPECT_EQ(f4(nan, 8), "     NaN");
    EXPECT_EQ(es(inf), "        Infinity");
    EXPECT_EQ(es(-inf), "       -Infinity");
    EXPECT_EQ(es(nan), "             NaN");
}

namespace {

std::string es16(double x, bool reference) {
    std::string s;
    if (reference)
        put_es16_reference(s, x);
    else
        put_es16(s, x);
    return s;
}

}  // namespace

TEST(Fields, Es16MatchesTheReferenceForEveryKindOfValue) {
    std::vector<double> values{0.0, -0.0, 1.0, -0.5, 12345.678, 0.529177188873291, 9.9999999996,
                               999999999.5, 999999999.4, 123456789.5, 123456788.5, 99999999.95,
                               1e-19, 9.9999999e-20, 1e9, 1e-100, 1e100, 9.99999999e99, 5e-324,
                               2.2250738585072014e-308, 1.7976931348623157e308,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 rng(2026);
    // Values spread over every exponent that matters, with random mantissas.
    std::uniform_real_distribution<double> expo(-25.0, 12.0);
    std::uniform_real_distribution<double> mant(1.0, 10.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = mant(rng) * std::pow(10.0, std::floor(expo(rng)));
        values.push_back((i & 1) ? -x : x);
    }
    // Short dyadic numbers: many sit exactly halfway between two 9-digit renderings.
    std::uniform_int_distribution<std::uint64_t> k(1, std::uint64_t(1) << 34);
    std::uniform_int_distribution<int> shift(0, 60);
    for (int i = 0; i < 200000; ++i) values.push_back(std::ldexp(static_cast<double>(k(rng)), -shift(rng)));
    // Neighbours of powers of ten, where the exponent changes.
    for (int e = -20; e <= 10; ++e) {
        double p = std::pow(10.0, e);
        for (int step = 0; step < 50; ++step) {
            values.push_back(p);
            values.push_back(-p);
            p = std::nextafter(p, 0.0);
        }
        const double up = std::pow(10.0, e) * (1.0 - 5e-10);
        for (double x = std::nextafter(up, 0.0), i = 0; i < 50; ++i, x = std::nextafter(x, 1e300))
            values.push_back(x);
    }
    int mismatches = 0;
    for (double x : values) {
        const std::string fast = es16(x, false);
        const std::string ref = es16(x, true);
        if (fast != ref && ++mismatches < 10) ADD_FAILURE() << x << ": '" << fast << "' vs '" << ref << "'";
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Fields, F4MatchesTheReferenceInBothWidths) {
    std::vector<double> values{0.0, -0.0, 0.03125, -0.03125, 0.00005, -0.00004, 0.00004, 0.5,
                               -999.99996, 123.4567, -21.453, -1234.5, 99999.99995, 1e9, 1.0e10,
                               -9.99999999e8, 5e-324, -5e-324, 1e-300,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 rng(8);
    std::uniform_real_distribution<double> expo(-8.0, 11.0);
    std::uniform_real_distribution<double> mant(1.0, 10.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = mant(rng) * std::pow(10.0, std::floor(expo(rng)));
        values.push_back((i & 1) ? -x : x);
    }
    // Dyadic values: exact halves of the fourth decimal among them.
    std::uniform_int_distribution<std::uint64_t> k(1, std::uint64_t(1) << 40);
    std::uniform_int_distribution<int> shift(0, 50);
    for (int i = 0; i < 200000; ++i) {
        const double x = std::ldexp(static_cast<double>(k(rng)), -shift(rng));
        values.push_back((i & 1) ? -x : x);
    }
    int mismatches = 0;
    for (int width : {8, 15})
        for (double x : values) {
            std::string fast, ref;
            put_f4(fast, x, width);
            put_f4_reference(ref, x, width);
            if (fast != ref && ++mismatches < 10)
                ADD_FAILURE() << x << " F" << width << ".4: '" << fast << "' vs '" << ref << "'";
        }
    EXPECT_EQ(mismatches, 0);
}
