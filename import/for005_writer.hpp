// The FOR005 that zephor reads: the title in apostrophes (so that it can never be counted as an
// atom line), the charge line, and one line per atom with its symbol in column 1 and x, y, z in
// Angstrom, each the shortest decimal text that reads back as the same double.
#pragma once

#include <string>

#include "import/molecule_in.hpp"

namespace zephor::importer {

// A bound on coordinates (Angstrom) for the readers that compute them: below what FOR007 holds.
// zephor writes each coordinate in bohr in the checkpoint's ES16.8E2 field, whose exponent has
// two digits: a magnitude from 1E-99 up to 9.99999999E+99 bohr (5.29E+99 Angstrom), or zero.
inline constexpr double max_coordinate = 5e99;

// Whether zephor's checkpoint field holds the coordinate `angstrom`, once divided by the Bohr
// radius as zephor does on reading.
bool fits_checkpoint(double angstrom);

// The file's text. Apostrophes in the title are doubled, control characters become blanks.
// Throws ContentError for an atom zephor cannot compute (check_elements), a charge that leaves
// fewer electrons than none or more doubly occupied orbitals than functions, a coordinate the
// checkpoint cannot hold (fits_checkpoint), or two atoms too close (check_separations).
std::string for005_text(const MoleculeIn& m, int charge);
// The same text without any check: zephor itself then reports what it cannot run, as it would
// for any FOR005 (for callers that want zephor's own messages).
std::string for005_lines(const MoleculeIn& m, int charge);

}  // namespace zephor::importer
