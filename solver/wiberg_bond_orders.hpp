// Wiberg bond orders: the sum of the squared density elements between two atoms' functions.
#pragma once

#include <cstdint>
#include <vector>

namespace zephor {

// atom_pop(a, b), a != b, = sum of dens(i, j)^2 over functions i of atom a and j of atom b, the
// terms added with i ascending and, for each i, j ascending (the plain double loop's order), on
// OpenMP threads over columns b. The diagonal of atom_pop is left as it is.
void wiberg_bond_orders(const std::vector<double>& dens, std::int32_t n,
                        const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                        std::vector<double>& atom_pop);

}  // namespace zephor
