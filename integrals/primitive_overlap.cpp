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

double c_library_pow(double x, double y) { return std::pow(x, y); }

}  // namespace

double s2_prefix(double alpha, double beta, double ca, double cb) {
    return s2_prefix(alpha, beta, ca, cb, c_library_pow);
}

double sp_prefix(double alpha, double beta, double ca, double cb) {
    return sp_prefix(alpha, beta, ca, cb, c_library_pow);
}

double p2_prefix(double alpha, double beta, double ca, double cb) {
    return p2_prefix(alpha, beta, ca, cb, c_library_pow);
}

double pp_prefix(double alpha, double beta, double ca, double cb) {
    return pp_prefix(alpha, beta, ca, cb, c_library_pow);
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
