// Overlap integrals of two normalised Cartesian Gaussian primitives of s or p type, times their
// two contraction coefficients. Coordinates in bohr, exponents in bohr^-2; results dimensionless.
//
// Arguments: a1, a2, a3 (first centre), b1, b2, b3 (second centre, same axis order), alpha and
// beta (exponents of the first and second primitive), ca and cb (their coefficients). For a p
// primitive the caller lists its axis first (and, in pp, the second p axis second).
#pragma once

namespace zephor {

// 2*sqrt(2) as the nearest single-precision number; 2K and 4K are formed exactly in double.
inline constexpr double overlap_k = double(2.828427f);
inline constexpr double overlap_2k = 2.0 * overlap_k;
inline constexpr double overlap_4k = 4.0 * overlap_k;

// The geometry-free part of each formula: the coefficients, K and the powers of the exponents,
// multiplied left to right exactly as the formulas below begin. Each formula is its prefix times
// the geometry factors, so a caller that tabulates prefixes gets the same bits. `power(x, y)` is
// std::pow, or a caller's record of std::pow's own results for the same arguments.
template <class Power>
double s2_prefix(double alpha, double beta, double ca, double cb, Power&& power) {
    return ca * cb * overlap_k * power(alpha * beta, 0.75) * power(alpha + beta, -1.5);
}
template <class Power>
double sp_prefix(double alpha, double beta, double ca, double cb, Power&& power) {
    return ca * cb * overlap_2k * power(alpha, 1.75) * power(beta, 1.25) * power(alpha + beta, -2.5);
}
template <class Power>
double p2_prefix(double alpha, double beta, double ca, double cb, Power&& power) {
    return ca * cb * overlap_2k * power(alpha * beta, 1.25) * power(alpha + beta, -3.5);
}
template <class Power>
double pp_prefix(double alpha, double beta, double ca, double cb, Power&& power) {
    return -ca * cb * overlap_4k * power(alpha * beta, 2.25) * power(alpha + beta, -3.5);
}

double s2_prefix(double alpha, double beta, double ca, double cb);
double sp_prefix(double alpha, double beta, double ca, double cb);
double p2_prefix(double alpha, double beta, double ca, double cb);
double pp_prefix(double alpha, double beta, double ca, double cb);

// The exponent of the Gaussian product, alpha*beta/(alpha+beta) (bohr^-2).
inline double reduced_exponent(double alpha, double beta) { return alpha * beta / (alpha + beta); }

// The bracket of p2, (1 - 2 beta d1^2) alpha + beta, from the squared distance along the axis.
inline double p2_bracket(double alpha, double beta, double d1_squared) {
    return (1.0 - (2.0 * beta) * d1_squared) * alpha + beta;
}

// s with s.
double s2(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb);
// s (first, exponent alpha) with p along axis 1 (second, exponent beta).
double sp(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb);
// p with p along the same axis 1.
double p2(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb);
// p along axis 1 with p along axis 2.
double pp(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb);

}  // namespace zephor
