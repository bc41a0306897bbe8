// The whole computation of a run in this process through the plain evaluations (the reference
// assembly, the solve on copies, the reference density and populations), with both files
// formatted in memory: what the fast program must reproduce byte for byte. For the tests, the
// fuzzers and the benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/molecule.hpp"

namespace zephor {

struct PlainRun {
    Molecule molecule;
    std::vector<double> s, ham;  // as assembled (the solve works on copies)
    bool solved = false;         // false: the solve failed, a run would stop quietly
    std::vector<double> orbital_energy, mo_coef, dens, atom_pop;
    std::int32_t occupied_count = 0;
    double total_energy = 0.0;
    std::string fp_note;  // the note a quiet stop after the analysis would print
    std::string report;      // FOR006
    std::string checkpoint;  // FOR007
};

// Reads FOR005's content as the three passes do (ReportError and MemoryRefused propagate), then
// assembles, solves, analyses and formats. Starts with this thread's floating-point flags clear.
PlainRun plain_pipeline(std::string_view for005);

}  // namespace zephor
