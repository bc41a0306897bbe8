// Closed-form primitive overlaps. The evaluation order is part of the result: products are
// formed left to right as written, the squared distance is summed in the axis order given, and
// fractional powers of alpha*beta are taken of the product itself.
#include "integrals/primitive_overlap.hpp"

#include <cmath>

namespace zephor {

namespace {

struct Common {
    double ab;    // alpha * beta
    double sum;   // alpha + beta
    double e;     // exp(-mu * R^2)
};

inline Common common(double a1, double a2, double a3, double b1, double b2, double b3,
                     double alpha, double beta) {
    const double ab = alpha * beta;
    const double sum = alpha + beta;
    const double mu = ab / sum;
    const double d1 = a1 - b1;
    const double d2 = a2 - b2;
    const double d3 = a3 - b3;
    const double r2 = d1 * d1 + d2 * d2 + d3 * d3;
    return {ab, sum, std::exp(-(mu * r2))};
}

}  // namespace

double s2(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    const Common c = common(a1, a2, a3, b1, b2, b3, alpha, beta);
    return ca * cb * overlap_k * std::pow(c.ab, 0.75) * std::pow(c.sum, -1.5) * c.e;
}

double sp(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    const Common c = common(a1, a2, a3, b1, b2, b3, alpha, beta);
    const double d1 = a1 - b1;
    return ca * cb * overlap_2k * std::pow(alpha, 1.75) * std::pow(beta, 1.25) *
           std::pow(c.sum, -2.5) * d1 * c.e;
}

double p2(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    const Common c = common(a1, a2, a3, b1, b2, b3, alpha, beta);
    const double d1 = a1 - b1;
    const double bracket = (1.0 - (2.0 * beta) * (d1 * d1)) * alpha + beta;
    return ca * cb * overlap_2k * std::pow(c.ab, 1.25) * std::pow(c.sum, -3.5) * bracket * c.e;
}

double pp(double a1, double a2, double a3, double b1, double b2, double b3,
          double alpha, double beta, double ca, double cb) {
    const Common c = common(a1, a2, a3, b1, b2, b3, alpha, beta);
    const double d1 = a1 - b1;
    const double d2 = a2 - b2;
    return -ca * cb * overlap_4k * std::pow(c.ab, 2.25) * std::pow(c.sum, -3.5) * d1 * d2 * c.e;
}

}  // namespace zephor
