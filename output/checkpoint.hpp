// The formatted checkpoint FOR007: banner, counts, atomic numbers, coordinates (bohr), the
// contracted shells with their exponents (bohr^-2) and coefficients, orbital energies (hartree)
// and orbital coefficients, in labelled sections (checkpoint_sections.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include "integrals/basis_view.hpp"
#include "output/output_file.hpp"

namespace zephor {

struct CheckpointData {
    BasisView basis;
    std::int32_t charge;
    std::int32_t occupied_count;
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
// file exists so that writing asks for no memory (reserve_checkpoint does the rest).
CheckpointLists checkpoint_lists(const CheckpointData& c);
void reserve_checkpoint(OutputFile& f, const CheckpointData& c);

void write_checkpoint(OutputFile& f, const CheckpointData& c, const CheckpointLists& lists);
void write_checkpoint(OutputFile& f, const CheckpointData& c);

}  // namespace zephor
