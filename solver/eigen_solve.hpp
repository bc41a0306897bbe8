// The generalized symmetric-definite eigenproblem ham * c = e * s * c (energies in eV), solved by
// LAPACK's dsygv (the library pinned to one thread; its rotations, large products and solves
// shared out by the program with the same bits), every eigenvector rescaled to unit length.
#pragma once

#include <cstdint>
#include <vector>

namespace zephor {

// Solves on copies of `ham` and `s` (n x n, column-major; both left unchanged). On success
// returns 0 and fills `orbital_energy` (n, ascending) and `mo_coef` (n x n, column k = orbital k,
// unit length). A nonzero return is LAPACK's INFO of the failed size query or solve; n = 0 is
// refused with -1 before LAPACK is called.
int solve_eigenproblem(const std::vector<double>& ham, const std::vector<double>& s,
                       std::int32_t n, std::vector<double>& orbital_energy,
                       std::vector<double>& mo_coef);

// The same solve without the two copies: `ham_to_mo_coef` holds ham on entry and the orbitals
// on return; `s` is overwritten by the solver's factor. Same bits as solve_eigenproblem, in half
// the memory.
int solve_eigenproblem_in_place(std::vector<double>& ham_to_mo_coef, std::vector<double>& s,
                                std::int32_t n, std::vector<double>& orbital_energy);

// The two steps of the solve on their own: dsygv itself on `a` (ham in, orbitals out, in the
// solver's normalisation) and `b` (s in, its factor out), returning INFO (-1 for n <= 0); then
// every column rescaled to unit Euclidean length, each summed in ascending row order.
int dsygv_in_place(std::vector<double>& a, std::vector<double>& b, std::int32_t n,
                   std::vector<double>& orbital_energy);
void unit_length_columns(std::vector<double>& mo_coef, std::int32_t n);

// Doubly occupied orbitals by the occupancy rule of common/elements.hpp (doubly_occupied):
// electron_count / 2 truncated toward zero, never negative.
std::int32_t occupied_orbitals(std::int32_t electron_count);

// Twice the sum of the lowest `occupied_count` orbital energies, added in ascending order (eV).
double total_energy(const std::vector<double>& orbital_energy, std::int32_t occupied_count);

}  // namespace zephor
