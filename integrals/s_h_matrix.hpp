// Assembly of the overlap matrix `s` and of the off-diagonal extended-Hueckel Hamiltonian `ham`
// (eV) over contracted STO-6G functions. Matrices are n x n, column-major, indices from 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "integrals/basis_view.hpp"
#include "integrals/element_table.hpp"

namespace zephor {

// On entry the diagonal of `ham` holds the level energies (eV) and is only read; `s`, `norm`
// and the rest of `ham` are written in full. Tabulated where the element table's contractions
// allow it (s_h_matrix_tabulated.hpp), the plain evaluation otherwise (s_h_matrix_reference.hpp):
// the same bits and the same floating-point flags either way.
void s_h_matrix(std::vector<double>& s, std::vector<double>& ham, const BasisView& basis,
                std::vector<double>& norm);

// Wolfsberg-Helmholz, ham(i,m) = (ham(i,i) + ham(m,m)) * 0.875 * s(i,m), or, for any pair with a
// function on a nitrogen atom, -(35 * s(i,m)); eV.
inline double hamiltonian_element(bool nitrogen, double hii, double hmm, double sim) {
    return nitrogen ? -(nitrogen_pair_ev * sim) : (hii + hmm) * wolfsberg_helmholz_half * sim;
}

inline bool is_nitrogen(const std::string& symbol) { return symbol == "N   "; }

// Overlap of one primitive of a function with one of another (both coefficients included),
// dispatched on the two labels to s2, sp, p2 or pp. Centres a and b point at x, y, z in bohr.
double primitive_pair(const Label& gi, const double* a, double alpha, double ca,
                      const Label& gj, const double* b, double beta, double cb);

// The raw self-overlap of contraction i: its 36 primitive pairs at one centre, in k, l order;
// its -1/2 power is the function's normalisation factor.
double raw_self_overlap(const BasisView& basis, std::size_t i);

// 0 for an s label, 1 + axis (1 = x, 2 = y, 3 = z) for a p label. Labels other than the four
// never reach the assembly (the input reader rejects unknown elements).
inline int kind_of(const Label& g) {
    if (g == label_ss) return 0;
    if (g == label_px) return 1;
    if (g == label_py) return 2;
    return 3;
}

// Element (i, j) of an n x n column-major matrix.
inline std::size_t at(std::size_t n, std::size_t i, std::size_t j) { return i + j * n; }

// Centre (x, y, z in bohr) of the atom of function i.
inline const double* centre_of(const BasisView& basis, std::size_t i) {
    return &basis.r[3 * static_cast<std::size_t>(basis.basis_atom[i] - 1)];
}

}  // namespace zephor
