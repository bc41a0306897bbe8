// Mulliken gross populations and Wiberg bond orders from the density of the doubly occupied,
// unit-length orbitals (no overlap term enters either).
#pragma once

#include <cstdint>
#include <vector>

namespace zephor {

// dens(i,j) = sum over occupied k of (c(i,k) + c(i,k)) * c(j,k), added in ascending k from 0.
// `dens` is resized to n x n; all zero when occupied_count <= 0.
void density_matrix(const std::vector<double>& mo_coef, std::int32_t n,
                    std::int32_t occupied_count, std::vector<double>& dens);

// atom_pop (atoms x atoms, column-major): populations on the diagonal (sum of dens(i,i) over the
// atom's functions), bond orders off it (sum of dens(i,j)^2 between the two atoms' functions).
// `basis_atom` numbers atoms from 1.
void atom_populations(const std::vector<double>& dens, std::int32_t n,
                      const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                      std::vector<double>& atom_pop);

// The plain triple loop and the plain double loop: the reference for the two functions above,
// which give the same bits (and raise the same floating-point flags) with threads and tiles.
void density_matrix_reference(const std::vector<double>& mo_coef, std::int32_t n,
                              std::int32_t occupied_count, std::vector<double>& dens);
void atom_populations_reference(const std::vector<double>& dens, std::int32_t n,
                                const std::vector<std::int32_t>& basis_atom,
                                std::int32_t atom_count, std::vector<double>& atom_pop);

}  // namespace zephor
