// The label dispatch of the primitive overlaps, the normalisation sum, and the choice between the
// tabulated and the plain assembly.
#include "integrals/s_h_matrix.hpp"

#include "integrals/primitive_overlap.hpp"
#include "integrals/s_h_matrix_reference.hpp"
#include "integrals/s_h_matrix_tabulated.hpp"

namespace zephor {

namespace {

// Axis order for a single p axis u: x,y,z for x; y,x,z for y; z,y,x for z.
constexpr int single_order[3][3] = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}};

using OverlapFn = double (*)(double, double, double, double, double, double, double, double,
                             double, double);

inline double call(OverlapFn f, const int* o, const double* a, const double* b, double alpha,
                   double beta, double ca, double cb) {
    return f(a[o[0]], a[o[1]], a[o[2]], b[o[0]], b[o[1]], b[o[2]], alpha, beta, ca, cb);
}

}  // namespace

double primitive_pair(const Label& gi, const double* a, double alpha, double ca,
                      const Label& gj, const double* b, double beta, double cb) {
    const int ki = kind_of(gi);
    const int kj = kind_of(gj);
    if (ki == 0 && kj == 0) return call(s2, single_order[0], a, b, alpha, beta, ca, cb);
    if (ki == 0) return call(sp, single_order[kj - 1], a, b, alpha, beta, ca, cb);
    // The s primitive always goes first: exchange centres, exponents and coefficients.
    if (kj == 0) return call(sp, single_order[ki - 1], b, a, beta, alpha, cb, ca);
    if (ki == kj) return call(p2, single_order[ki - 1], a, b, alpha, beta, ca, cb);
    const int u = ki - 1;
    const int v = kj - 1;
    const int order[3] = {u, v, 3 - u - v};
    return call(pp, order, a, b, alpha, beta, ca, cb);
}

double raw_self_overlap(const BasisView& basis, std::size_t i) {
    const double* a = centre_of(basis, i);
    double sum = 0.0;
    for (std::size_t k = 0; k < 6; ++k)
        for (std::size_t l = 0; l < 6; ++l)
            sum += primitive_pair(basis.g[6 * i + k], a, basis.alfa[6 * i + k], basis.d[6 * i + k],
                                  basis.g[6 * i + l], a, basis.alfa[6 * i + l], basis.d[6 * i + l]);
    return sum;
}

void s_h_matrix(std::vector<double>& s, std::vector<double>& ham, const BasisView& basis,
                std::vector<double>& norm) {
    if (basis.basis_count <= 0) return;
    if (!s_h_matrix_tabulated(s, ham, basis, norm)) s_h_matrix_reference(s, ham, basis, norm);
}

}  // namespace zephor
