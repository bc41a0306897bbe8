// The plain loops of the analysis: the triple loop of the density and the double loop of the
// populations and bond orders. They fix the last bits; density_matrix, mulliken_populations and
// wiberg_bond_orders give the same bits (and raise the same floating-point flags) with threads
// and tiles, and are tested against these.
#pragma once

#include <cstdint>
#include <vector>

namespace zephor {

void density_matrix_reference(const std::vector<double>& mo_coef, std::int32_t n,
                              std::int32_t occupied_count, std::vector<double>& dens);
void atom_populations_reference(const std::vector<double>& dens, std::int32_t n,
                                const std::vector<std::int32_t>& basis_atom,
                                std::int32_t atom_count, std::vector<double>& atom_pop);

}  // namespace zephor
