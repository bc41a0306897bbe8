// The run's basis rebuilt from a checkpoint's shells with zephor's own assembly, and the orbitals
// renormalised against its overlap matrix (c^T S c = 1), as orbital viewers expect them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "integrals/element_table.hpp"

namespace zephor::exporter {

struct Checkpoint;

// Basis functions in the order of the orbital coefficients: an s shell gives one function, a p
// shell three (px, py, pz). Matrices are n x n, column-major.
struct Basis {
    std::int32_t basis_count = 0;
    std::vector<Label> g;                 // 6 x n
    std::vector<double> alfa;             // 6 x n, bohr^-2
    std::vector<double> d;                // 6 x n, for normalised primitives
    std::vector<std::int32_t> basis_atom; // atoms numbered from 1
    std::vector<double> norm;             // contraction normalisation of each function
    std::vector<double> s;                // overlap
    std::vector<double> ham;              // Hamiltonian, eV
};

// Builds the functions of the given shells (six primitives each) on atoms with the given atomic
// numbers and coordinates (bohr), and assembles s, ham and norm exactly as zephor does.
Basis build_basis(const std::vector<std::int32_t>& atomic_number, const std::vector<double>& r,
                  const std::vector<std::int32_t>& shell_type, const std::vector<std::int32_t>& shell_atom,
                  const std::vector<double>& exponents, const std::vector<double>& coefficients);

// The checkpoint's basis, its orbitals renormalised, and what the exports need besides.
struct Orbitals {
    Basis basis;
    std::vector<double> coef;            // n x n, column k = orbital k, c^T S c = 1
    std::vector<double> shell_coef;      // 6 per shell: d times the contraction's norm
    double total_energy = 0.0;           // hartree, twice the sum of the occupied energies
};

Orbitals export_orbitals(const Checkpoint& c);

// c^T S c for one column c of n values and the n x n overlap S: q = sum over j of c_j (S c)_j,
// each (S c)_j = sum over i of S(i, j) c_i, both sums in index order.
double s_norm_squared(const double* s, const double* c, std::size_t n);

// The element table's entry for an atomic number; nullptr for any but H, B, C, N, O, F.
const ElementData* element_of(std::int32_t atomic_number);

}  // namespace zephor::exporter
