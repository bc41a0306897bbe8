// Closed-form primitive overlaps. The evaluation order is part of the result: products are
// formed left to right as written (prefix, then the geometry factors), the squared distance is
// summed in the axis order given, and fractional powers of alpha*beta are taken of the product
// itself.
#include "integrals/primitive_overlap.hpp"

#include <cmath>

namespace zephor {

namespace {

// exp(-mu R^2) with the squared distance summed in the axis order given.
inline double gaussian_factor(double a1, double a2, double a3, double b1, double b2, double b3,
                              double alpha, double beta) {
    const double mu = reduced_exponent(alpha, beta);
    const double d1 = a1 - b1;
    const double d2 = a2 - b2;
    const double d3 = a3 - b3;
    const double r2 = d1 * d1 + d2 * d2 + d3 * d3;
    return std::exp(-(mu * r2));
}

}  // namespace

double s2_prefix(double alpha, double beta, double ca, double cb) {
    return ca * cb * overlap_k * std::pow(alpha * beta, 0.75) * std::pow(alpha + beta, -1.5);
}

double sp_prefix(double alpha, double beta, double ca, double cb) {
    return ca * cb * overlap_2k * std::pow(alpha, 1.75) * std::pow(beta, 1.25) * std::pow(alpha + beta, -2.5);
}

double p2_prefix(double alpha, double beta, double ca, double cb) {
    return ca * cb * overlap_2k * std::pow(alpha * beta, 1.25) * std::pow(alpha + beta, -3.5);
}

double pp_prefix(double alpha, double beta, double ca, double cb) {
    return -ca * cb * overlap_4k * std::pow(alpha * beta, 2.25) * std::pow(alpha + beta, -3.5);
}

double s2(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    return s2_prefix(alpha, beta, ca, cb) * gaussian_factor(a1, a2, a3, b1, b2, b3, alpha, beta);
}

double sp(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    const double d1 = a1 - b1;
    return sp_prefix(alpha, beta, ca, cb) * d1 * gaussian_factor(a1, a2, a3, b1, b2, b3, alpha, beta);
}

double p2(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    const double d1 = a1 - b1;
    return p2_prefix(alpha, beta, ca, cb) * p2_bracket(alpha, beta, d1 * d1) *
           gaussian_factor(a1, a2, a3, b1, b2, b3, alpha, beta);
}

double pp(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    const double d1 = a1 - b1;
    const double d2 = a2 - b2;
    return pp_prefix(alpha, beta, ca, cb) * d1 * d2 * gaussian_factor(a1, a2, a3, b1, b2, b3, alpha, beta);
}

}  // namespace zephor
