// The formatted checkpoint FOR007: banner, counts, atomic numbers, coordinates (bohr), the
// contracted shells with their exponents (bohr^-2) and coefficients, orbital energies (hartree)
// and orbital coefficients, in labelled sections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "integrals/element_table.hpp"
#include "output/output_file.hpp"

namespace zephor {

// eV to hartree, the single-precision factor widened (0.036749310791492462158203125).
inline constexpr double hartree_per_ev = double(0.03674931f);

// A section's label field: the label in 43 characters, the type letter, then "N=" in 48-49 for an
// array header, blank to `width` (59 or 60) characters.
void put_label_field(std::string& out, std::string_view label, char type, bool array, int width);

struct CheckpointData {
    std::int32_t atom_count;
    std::int32_t charge;
    std::int32_t occupied_count;
    std::int32_t basis_count;
    std::int32_t shell_count;
    const std::vector<std::int32_t>& atomic_number;
    const std::vector<double>& r;            // 3 x atom_count, bohr
    const std::vector<std::int32_t>& shell_type;
    const std::vector<std::int32_t>& shell_atom;
    const std::vector<Label>& g;             // 6 x basis_count
    const std::vector<double>& alfa;
    const std::vector<double>& d;
    const std::vector<double>& orbital_energy;  // eV
    const std::vector<double>& mo_coef;         // basis_count x basis_count
};

// The lists the checkpoint derives from the run's arrays: one entry of six exponents and six
// coefficients per shell, the orbital energies in hartree, six primitives per shell.
struct CheckpointLists {
    std::vector<double> exponents;
    std::vector<double> coefficients;
    std::vector<double> hartree;
    std::vector<std::int32_t> primitives;
};

// Everything the checkpoint needs in memory besides `f`'s own buffers, computed before any output
// file exists so that writing asks for no memory.
CheckpointLists checkpoint_lists(const CheckpointData& c);

void write_checkpoint(OutputFile& f, const CheckpointData& c, const CheckpointLists& lists);
void write_checkpoint(OutputFile& f, const CheckpointData& c);

}  // namespace zephor
