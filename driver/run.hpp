// The whole run of the program, step by step, in the working directory: FOR005 in, FOR006 and
// FOR007 out. Early ends travel as the exceptions of common/errors.hpp.
#pragma once

#include <functional>

namespace zephor {

void run();

// The phases of a run, in order. input: reading FOR005 and the basis; assembly: s and ham;
// solve: dsygv; analysis: unit-length orbitals, energy, density, populations and bond orders;
// output: FOR006 and FOR007 written and closed.
enum class Phase { input, assembly, solve, analysis, output };

// The same run, calling `phase_end` as each phase finishes (for timing by the benchmark).
using PhaseEnd = std::function<void(Phase)>;
void run(const PhaseEnd& phase_end);

}  // namespace zephor
