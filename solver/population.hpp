// Mulliken gross populations and Wiberg bond orders from the density of the doubly occupied,
// unit-length orbitals (no overlap term enters either), gathered in one atoms x atoms matrix.
#pragma once

#include <cstdint>
#include <vector>

namespace zephor {

// atom_pop (atoms x atoms, column-major, resized here): populations on the diagonal
// (mulliken_populations), bond orders off it (wiberg_bond_orders). `basis_atom` numbers atoms
// from 1.
void atom_populations(const std::vector<double>& dens, std::int32_t n,
                      const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                      std::vector<double>& atom_pop);

// atom_pop(a, a) += dens(i, i) for each function i of atom a, in ascending i.
void mulliken_populations(const std::vector<double>& dens, std::int32_t n,
                          const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                          std::vector<double>& atom_pop);

}  // namespace zephor
