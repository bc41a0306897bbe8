// Assembly of the overlap matrix `s` and of the off-diagonal extended-Hueckel Hamiltonian `ham`
// (eV) over contracted STO-6G functions. Matrices are n x n, column-major, indices from 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "integrals/element_table.hpp"

namespace zephor {

// Wolfsberg-Helmholz: ham(i,m) = (ham(i,i) + ham(m,m)) * 0.875 * s(i,m), except that any pair
// with a function on a nitrogen atom takes -(35 * s(i,m)) eV.
//
// Inputs: `symbol` per atom (4 characters), `g`, `alfa`, `d` (6 x n), `r` (3 x atoms, bohr),
// `basis_atom` (n entries, atoms numbered from 1). On entry the diagonal of `ham` holds the level
// energies and is only read; `s`, `norm` and the rest of `ham` are written in full.
void s_h_matrix(std::vector<double>& s, std::vector<double>& ham,
                const std::vector<std::string>& symbol, const std::vector<Label>& g,
                const std::vector<double>& alfa, const std::vector<double>& d,
                const std::vector<double>& r, const std::vector<std::int32_t>& basis_atom,
                std::vector<double>& norm, std::int32_t basis_count);

// The same results, bit for bit and with the same floating-point flags raised, by the plain
// evaluation: every one of the 36 primitive pairs of every pair of functions through s2, sp, p2
// and pp. s_h_matrix shares exponentials and powers between function pairs and runs on OpenMP
// threads; this one is the reference it is tested against.
void s_h_matrix_reference(std::vector<double>& s, std::vector<double>& ham,
                          const std::vector<std::string>& symbol, const std::vector<Label>& g,
                          const std::vector<double>& alfa, const std::vector<double>& d,
                          const std::vector<double>& r, const std::vector<std::int32_t>& basis_atom,
                          std::vector<double>& norm, std::int32_t basis_count);

// Overlap of primitive k of function i with primitive l of function j (both coefficients
// included), dispatched on the two labels. Centres a and b point at x, y, z in bohr.
double primitive_pair(const Label& gi, const double* a, double alpha, double ca,
                      const Label& gj, const double* b, double beta, double cb);

}  // namespace zephor
