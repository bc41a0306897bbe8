// The text report FOR006: banner, occupied orbital energies (eV), total energy, Mulliken charges
// and their sum, and the Wiberg bond order of every pair of atoms, in the layout of
// output/report_layout.hpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/output_file.hpp"

namespace zephor {

// The nine banner lines that open both output files.
void write_banner(OutputFile& f);

// `atom_pop` is atoms x atoms (populations on the diagonal, bond orders off it); `symbol` holds
// 4-character blank-padded fields.
void write_report(OutputFile& f, const std::vector<double>& orbital_energy,
                  std::int32_t occupied_count, double total_energy,
                  const std::vector<double>& atom_pop, const std::vector<double>& valence,
                  const std::vector<std::string>& symbol, std::int32_t atom_count);

}  // namespace zephor
