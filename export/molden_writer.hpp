// Molden file of a checkpoint's orbitals: atoms in bohr ([Atoms] AU), the STO-6G shells ([GTO]),
// and every orbital ([MO]) with its energy in hartree, occupation 2 or 0 and coefficients
// normalised against the overlap.
#pragma once

#include <string>

namespace zephor::exporter {

struct Checkpoint;
struct Orbitals;

std::string molden_text(const Checkpoint& c, const Orbitals& o);

}  // namespace zephor::exporter
