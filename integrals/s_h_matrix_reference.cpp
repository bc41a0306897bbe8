// The plain assembly: norms, the upper triangle with its mirror, then the Hamiltonian rules.
#include "integrals/s_h_matrix_reference.hpp"

#include <cmath>

#include "common/thread_fp_flags.hpp"
#include "integrals/s_h_matrix.hpp"

namespace zephor {

namespace {

// s(i, j), i <= j: the 36 primitive pairs in k, l order, each scaled by the two norms.
double plain_overlap(const BasisView& basis, const std::vector<double>& norm, std::size_t i, std::size_t j) {
    const double* a = centre_of(basis, i);
    const double* b = centre_of(basis, j);
    const double nn = norm[i] * norm[j];
    double sum = 0.0;
    for (std::size_t k = 0; k < 6; ++k)
        for (std::size_t l = 0; l < 6; ++l)
            sum += nn * primitive_pair(basis.g[6 * i + k], a, basis.alfa[6 * i + k], basis.d[6 * i + k],
                                       basis.g[6 * j + l], b, basis.alfa[6 * j + l], basis.d[6 * j + l]);
    return sum;
}

}  // namespace

void s_h_matrix_reference(std::vector<double>& s, std::vector<double>& ham, const BasisView& basis,
                          std::vector<double>& norm) {
    const std::size_t n = basis.basis_count > 0 ? static_cast<std::size_t>(basis.basis_count) : 0;
    const long long nl = static_cast<long long>(n);
    auto on_nitrogen = [&](std::size_t i) {
        return is_nitrogen(basis.symbol[static_cast<std::size_t>(basis.basis_atom[i] - 1)]);
    };
    FpFlagsCollector flags;
#pragma omp parallel if (nl >= threads_from_basis_count)
    {
        flags.enter();
#pragma omp for schedule(static)
        for (long long ii = 0; ii < nl; ++ii) {
            const std::size_t i = static_cast<std::size_t>(ii);
            norm[i] = std::pow(raw_self_overlap(basis, i), -0.5);
        }
        // Upper triangle with the diagonal (1 only up to rounding), mirrored.
#pragma omp for schedule(dynamic, 1)
        for (long long ii = 0; ii < nl; ++ii) {
            const std::size_t i = static_cast<std::size_t>(ii);
            for (std::size_t j = i; j < n; ++j) {
                const double sij = plain_overlap(basis, norm, i, j);
                s[at(n, i, j)] = sij;
                s[at(n, j, i)] = sij;
            }
        }
#pragma omp for schedule(dynamic, 16)
        for (long long ii = 0; ii < nl; ++ii) {
            const std::size_t i = static_cast<std::size_t>(ii);
            for (std::size_t m = i + 1; m < n; ++m) {
                const double h = hamiltonian_element(on_nitrogen(i) || on_nitrogen(m), ham[at(n, i, i)],
                                                     ham[at(n, m, m)], s[at(n, i, m)]);
                ham[at(n, i, m)] = h;
                ham[at(n, m, i)] = h;
            }
        }
        flags.leave();
    }
}

}  // namespace zephor
