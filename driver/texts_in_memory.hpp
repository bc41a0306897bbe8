// FOR006 and FOR007 of a finished computation, written into memory by the program's own writers:
// the texts a run in memory hands back and the plain pipeline compares against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/molecule.hpp"

namespace zephor {

struct RunTexts {
    std::string report;      // FOR006's bytes
    std::string checkpoint;  // FOR007's bytes
};

RunTexts texts_in_memory(const Molecule& m, const std::vector<double>& orbital_energy, std::int32_t occupied_count,
                         double total_energy, const std::vector<double>& atom_pop, const std::vector<double>& mo_coef);

}  // namespace zephor
