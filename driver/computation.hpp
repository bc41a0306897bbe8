// Steps 6 to 8 of a run on a molecule already read: the assembly of s and ham, the solve, and
// the analysis (unit-length orbitals, total energy, density and populations). Shared by the
// program, which then writes FOR006 and FOR007, and by callers that keep the results in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "driver/molecule.hpp"
#include "driver/run.hpp"

namespace zephor {

struct Computation {
    std::vector<double> orbital_energy;  // eV, ascending
    std::vector<double> mo_coef;         // n x n, column k = orbital k, unit length
    std::vector<double> atom_pop;        // FOR006's populations, per atom
    std::int32_t occupied_count = 0;
    double total_energy = 0.0;           // eV
    // Copies of the matrices as assembled, when asked for (the solve overwrites the originals).
    std::vector<double> s, ham;
};

// dsygv on a (ham in, orbitals out) and b (s in, its factor out), returning LAPACK's INFO: the
// program's own (solver/eigen_solve.hpp) unless another with the same bits is given.
using DsygvFn = std::function<int(std::vector<double>& a, std::vector<double>& b, std::int32_t n,
                                  std::vector<double>& orbital_energy)>;

// Consumes m.basis.ham. A failed solve ends the run quietly (PlainStop), as the program does.
// `keep_matrices` copies s and ham before the solve, at the cost of two more n x n arrays.
Computation compute(Molecule& m, const PhaseEnd& phase_end, bool keep_matrices = false,
                    const DsygvFn& dsygv = {});

}  // namespace zephor
