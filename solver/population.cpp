// Gross populations: each atom's share of the diagonal of the density.
#include "solver/population.hpp"

#include "solver/wiberg_bond_orders.hpp"

namespace zephor {

void mulliken_populations(const std::vector<double>& dens, std::int32_t n,
                          const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                          std::vector<double>& atom_pop) {
    const std::size_t un = static_cast<std::size_t>(n);
    const std::size_t m = static_cast<std::size_t>(atom_count);
    for (std::size_t i = 0; i < un; ++i)
        atom_pop[static_cast<std::size_t>(basis_atom[i] - 1) * (m + 1)] += dens[i * (un + 1)];
}

void atom_populations(const std::vector<double>& dens, std::int32_t n,
                      const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                      std::vector<double>& atom_pop) {
    const std::size_t m = static_cast<std::size_t>(atom_count);
    atom_pop.assign(m * m, 0.0);
    // The two fill disjoint elements, so their order changes nothing.
    mulliken_populations(dens, n, basis_atom, atom_count, atom_pop);
    wiberg_bond_orders(dens, n, basis_atom, atom_count, atom_pop);
}

}  // namespace zephor
