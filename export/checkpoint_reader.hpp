// Strict reader of the checkpoint FOR007 that zephor writes: every label, column, count and row
// length is checked, and the shells must be the element table's STO-6G contractions.
// Coordinates in bohr, exponents in bohr^-2, orbital energies in hartree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zephor::exporter {

struct Checkpoint {
    std::int32_t atom_count = 0;
    std::int32_t charge = 0;
    std::int32_t occupied_count = 0;  // doubly occupied orbitals (alpha = beta electrons)
    std::int32_t basis_count = 0;
    std::int32_t shell_count = 0;
    std::vector<std::int32_t> atomic_number;
    std::vector<double> r;             // 3 x atom_count, bohr
    std::vector<std::int32_t> shell_type;  // 0 = s, 1 = p
    std::vector<std::int32_t> shell_atom;  // atoms numbered from 1
    // Six per shell: the element table's own doubles, which the file shows rounded to nine digits.
    std::vector<double> exponents;     // bohr^-2
    std::vector<double> coefficients;  // for normalised primitives
    std::vector<double> orbital_energy;  // hartree, ascending
    std::vector<double> mo_coef;         // basis_count x basis_count, column k = orbital k
    // Not in FOR007: the molecule's title (FOR005's, or --title), carried into every export;
    // empty when unknown.
    std::string title;
};

// `name` is used in messages only ("name:line: ..."). Throws MalformedCheckpoint.
Checkpoint parse_checkpoint(std::string_view text, const std::string& name);

// The same for a text zephor's writers made in this very process (the Python package's runs):
// every line and count is checked as above, but a number is not written back to compare it with
// its field, which the writer made from that number.
Checkpoint parse_own_checkpoint(std::string_view text, const std::string& name);

// Reads the whole file; throws FileError when it cannot be read.
Checkpoint read_checkpoint(const std::string& path);

}  // namespace zephor::exporter
