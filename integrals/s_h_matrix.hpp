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

// Overlap of primitive k of function i with primitive l of function j (both coefficients
// included), dispatched on the two labels. Centres a and b point at x, y, z in bohr.
double primitive_pair(const Label& gi, const double* a, double alpha, double ca,
                      const Label& gj, const double* b, double beta, double cb);

}  // namespace zephor
