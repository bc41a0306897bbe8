// The FOR005 that zephor reads: the title in apostrophes (so that it can never be counted as an
// atom line), the charge line, and one line per atom with its symbol in column 1 and x, y, z in
// Angstrom, each the shortest decimal text that reads back as the same double.
#pragma once

#include <string>

#include "import/molecule_in.hpp"

namespace zephor::importer {

// The file's text. Apostrophes in the title are doubled, control characters become blanks.
// Throws ContentError for an atom zephor cannot compute (check_elements) or a coordinate whose
// bohr value would overflow.
std::string for005_text(const MoleculeIn& m, int charge);

}  // namespace zephor::importer
