// The primitive overlaps against reference numbers (ten significant digits), the single-precision
// factor, and their symmetries, signs and zeros.
#include "integrals/primitive_overlap.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace zephor;

namespace {

// Relative agreement to ten significant digits.
void expect_digits(double expected, double actual) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * 1e-9 + 1e-15) << "expected " << expected;
}

}  // namespace

TEST(PrimitiveOverlap, ReferenceValuesForTwoCentres) {
    expect_digits(0.8010554440, s2(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
    expect_digits(-0.4232912015, sp(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
    expect_digits(0.6019864673, p2(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
    expect_digits(-0.1025003985, pp(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
}

TEST(PrimitiveOverlap, SelfOverlapCarriesTheSinglePrecisionFactor) {
    EXPECT_EQ(overlap_k, 2.8284270763397217);
    EXPECT_EQ(overlap_2k, 5.656854152679443);
    EXPECT_EQ(overlap_4k, 11.313708305358887);
    EXPECT_NEAR(s2(1, 2, 3, 1, 2, 3, 0.8, 0.8, 1, 1), 0.999999982885729, 1e-15);
    EXPECT_NEAR(p2(1, 2, 3, 1, 2, 3, 0.8, 0.8, 1, 1), 0.999999982885729, 1e-15);
}

TEST(PrimitiveOverlap, SymmetriesSignsAndZeros) {
    // One centre: sp and pp vanish.
    EXPECT_EQ(sp(1, 1, 1, 1, 1, 1, 2.0, 0.3, 1, 1), 0.0);
    EXPECT_EQ(pp(1, 1, 1, 1, 1, 1, 2.0, 0.3, 1, 1), 0.0);
    // sp changes sign with d1; positive when the s centre lies on the positive side.
    const double fwd = sp(0.4, 0, 0, 0, 0, 0, 1.1, 0.6, 1, 1);
    EXPECT_GT(fwd, 0);
    EXPECT_EQ(sp(-0.4, 0, 0, 0, 0, 0, 1.1, 0.6, 1, 1), -fwd);
    // pp is symmetric under exchange of the primitives and zero when a p-axis coordinate agrees.
    EXPECT_NEAR(pp(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1), pp(0.5, 0.3, -0.2, 0, 0, 0, 0.7, 1.2, 1, 1), 1e-16);
    EXPECT_EQ(pp(0, 0.2, 0, 0.5, 0.2, -0.2, 1.2, 0.7, 1, 1), 0.0);
    // p2 changes sign where 2*alpha*beta*d1^2 = alpha + beta.
    EXPECT_EQ(p2(1, 0, 0, 0, 0, 0, 1, 1, 1, 1), 0.0);
    EXPECT_LT(p2(1.1, 0, 0, 0, 0, 0, 1, 1, 1, 1), 0.0);
    // Far apart: the exponential underflows to zero without error.
    EXPECT_EQ(s2(0, 0, 0, 1e3, 0, 0, 30, 30, 1, 1), 0.0);
}
