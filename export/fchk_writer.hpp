// Formatted checkpoint in the conventional layout readers expect: a title line, a job line,
// scalars right-justified in columns 50-61 (reals from column 50), integer rows six to a line and
// real rows five to a line in 16-character fields; orbitals normalised against the overlap.
// Coordinates in bohr, energies in hartree.
#pragma once

#include <string>

namespace zephor::exporter {

struct Checkpoint;
struct Orbitals;

std::string fchk_text(const Checkpoint& c, const Orbitals& o);

}  // namespace zephor::exporter
