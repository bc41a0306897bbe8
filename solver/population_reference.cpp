// dens(i,j) = sum over k of (c(i,k) + c(i,k)) * c(j,k) in ascending k; populations summed over
// i, bond orders over i then j, both ascending.
#include "solver/population_reference.hpp"

namespace zephor {

void density_matrix_reference(const std::vector<double>& mo_coef, std::int32_t n,
                              std::int32_t occupied_count, std::vector<double>& dens) {
    const std::size_t un = static_cast<std::size_t>(n);
    dens.assign(un * un, 0.0);
    if (occupied_count <= 0) return;
    const std::size_t occ = static_cast<std::size_t>(occupied_count);
    for (std::size_t i = 0; i < un; ++i)
        for (std::size_t j = 0; j < un; ++j) {
            double sum = 0.0;
            for (std::size_t k = 0; k < occ; ++k) {
                const double cik = mo_coef[i + k * un];
                sum += (cik + cik) * mo_coef[j + k * un];
            }
            dens[i + j * un] = sum;
        }
}
void atom_populations_reference(const std::vector<double>& dens, std::int32_t n,
                                const std::vector<std::int32_t>& basis_atom,
                                std::int32_t atom_count, std::vector<double>& atom_pop) {
    const std::size_t un = static_cast<std::size_t>(n);
    const std::size_t m = static_cast<std::size_t>(atom_count);
    atom_pop.assign(m * m, 0.0);
    auto atom = [&](std::size_t i) { return static_cast<std::size_t>(basis_atom[i] - 1); };
    for (std::size_t i = 0; i < un; ++i) atom_pop[atom(i) * (m + 1)] += dens[i * (un + 1)];
    for (std::size_t i = 0; i < un; ++i) {
        const std::size_t a = atom(i);
        for (std::size_t j = 0; j < un; ++j) {
            const std::size_t b = atom(j);
            if (a == b) continue;
            const double dij = dens[i + j * un];
            atom_pop[a + b * m] += dij * dij;
        }
    }
}
}  // namespace zephor
