// Overlap and Hamiltonian assembly: normalisation of each contraction, the upper triangle of the
// overlap summed primitive pair by primitive pair, the mirror, and the Hamiltonian rules.
#include "integrals/s_h_matrix.hpp"

#include <cmath>

#include "integrals/primitive_overlap.hpp"

namespace zephor {

namespace {

// 0 for an s label, 1 + axis (1 = x, 2 = y, 3 = z) for a p label. Labels other than the four
// never reach the assembly (the input reader rejects unknown elements).
inline int kind_of(const Label& g) {
    if (g == label_ss) return 0;
    if (g == label_px) return 1;
    if (g == label_py) return 2;
    return 3;
}

// Axis order for a single p axis u: x,y,z for x; y,x,z for y; z,y,x for z.
constexpr int single_order[3][3] = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}};

inline double call(double (*f)(double, double, double, double, double, double, double, double, double, double),
                   const int* o, const double* a, const double* b, double alpha, double beta,
                   double ca, double cb) {
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

void s_h_matrix(std::vector<double>& s, std::vector<double>& ham,
                const std::vector<std::string>& symbol, const std::vector<Label>& g,
                const std::vector<double>& alfa, const std::vector<double>& d,
                const std::vector<double>& r, const std::vector<std::int32_t>& basis_atom,
                std::vector<double>& norm, std::int32_t basis_count) {
    const std::size_t n = static_cast<std::size_t>(basis_count);
    auto at = [n](std::size_t i, std::size_t j) { return i + j * n; };
    auto centre = [&](std::size_t i) { return &r[3 * static_cast<std::size_t>(basis_atom[i] - 1)]; };

    for (std::size_t e = 0; e < n * n; ++e) s[e] = 0.0;
    for (std::size_t i = 0; i < n; ++i) norm[i] = 0.0;

    // Normalisation: the raw self-overlap of each contraction, raised to -0.5.
    for (std::size_t i = 0; i < n; ++i) {
        const double* a = centre(i);
        double sum = 0.0;
        for (std::size_t k = 0; k < 6; ++k)
            for (std::size_t l = 0; l < 6; ++l)
                sum += primitive_pair(g[6 * i + k], a, alfa[6 * i + k], d[6 * i + k],
                                      g[6 * i + l], a, alfa[6 * i + l], d[6 * i + l]);
        s[at(i, i)] = sum;
        norm[i] = std::pow(s[at(i, i)], -0.5);
    }
    for (std::size_t i = 0; i < n; ++i) s[at(i, i)] = 0.0;

    // Upper triangle with the diagonal; the diagonal comes out 1 only up to rounding.
    for (std::size_t i = 0; i < n; ++i) {
        const double* a = centre(i);
        for (std::size_t j = i; j < n; ++j) {
            const double* b = centre(j);
            const double nn = norm[i] * norm[j];
            double sum = 0.0;
            for (std::size_t k = 0; k < 6; ++k)
                for (std::size_t l = 0; l < 6; ++l)
                    sum += nn * primitive_pair(g[6 * i + k], a, alfa[6 * i + k], d[6 * i + k],
                                               g[6 * j + l], b, alfa[6 * j + l], d[6 * j + l]);
            s[at(i, j)] = sum;
        }
    }

    for (std::size_t c = 0; c + 1 < n; ++c)
        for (std::size_t m = c + 1; m < n; ++m) s[at(m, c)] = s[at(c, m)];

    auto on_nitrogen = [&](std::size_t i) {
        return symbol[static_cast<std::size_t>(basis_atom[i] - 1)] == "N   ";
    };
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t m = i + 1; m < n; ++m) {
            const double sim = s[at(i, m)];
            const double h = (!on_nitrogen(i) && !on_nitrogen(m))
                                 ? (ham[at(i, i)] + ham[at(m, m)]) * 0.875 * sim
                                 : -(35.0 * sim);
            ham[at(i, m)] = h;
            ham[at(m, i)] = h;
        }
    }
}

}  // namespace zephor
