// The molecule's minimal valence basis: counts tallied from the symbol letters, and the
// per-function, per-shell and per-atom arrays assembled atom by atom in input order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "integrals/element_table.hpp"

namespace zephor {

// Counts of the sizing pass, in 64 bits so that no input can overflow them before they are checked.
struct BasisCounts {
    std::int64_t basis_count = 0;
    std::int64_t shell_count = 0;
    std::int64_t electron_count = 0;  // valence electrons less the charge
};

// `letters` must all be element letters (the sizing pass rejects any other).
BasisCounts tally_basis(const std::vector<char>& letters, std::int32_t charge);

// The arrays the assembly fills; the caller sizes them from the counts (g, alfa, d: 6 x n;
// basis_atom: n; ham: n x n; valence, atomic_number: atoms; shell_type, shell_atom: shells).
struct BasisArrays {
    std::vector<Label> g;
    std::vector<double> alfa;
    std::vector<double> d;
    std::vector<std::int32_t> basis_atom;   // atoms numbered from 1
    std::vector<double> ham;                // only the diagonal is set here (eV)
    std::vector<double> valence;
    std::vector<std::int32_t> atomic_number;
    std::vector<std::int32_t> shell_type;   // 0 = s, 1 = p
    std::vector<std::int32_t> shell_atom;   // atoms numbered from 1
};

// Calls `element` for every atom and copies its tables into the molecule-wide arrays; writes the
// level energies on the diagonal of ham (n x n, n = basis_count).
void assemble_basis(const std::vector<std::string>& symbol, std::int32_t basis_count,
                    BasisArrays& b);

}  // namespace zephor
