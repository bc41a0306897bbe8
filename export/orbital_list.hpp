// The orbitals as a table for the terminal: number, energy in eV and hartree, occupation, and
// which one is the HOMO and which the LUMO (viewers show hartree without a unit).
#pragma once

#include <string>

#include "export/checkpoint_reader.hpp"

namespace zephor::exporter {

std::string orbital_list(const Checkpoint& c);

// The molecular formula in Hill order: C, then H, then the others alphabetically ("C6H6", "H2O").
std::string hill_formula(const Checkpoint& c);

}  // namespace zephor::exporter
