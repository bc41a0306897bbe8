// A whole run on FOR005's bytes held in memory, with FOR006 and FOR007 formatted in memory: the
// program's own computation, for callers in another process than zephor (the Python package).
#pragma once

#include <string>
#include <string_view>

#include "driver/computation.hpp"
#include "driver/molecule.hpp"

namespace zephor {

struct InMemoryRun {
    Molecule molecule;
    Computation result;
    std::string report;      // FOR006
    std::string checkpoint;  // FOR007
};

// Reads `for005` as the three passes read the file (ReportError and MemoryRefused propagate with
// the program's messages; a failed solve is PlainStop, after which fp_note() on this thread is
// the program's note), computes and formats both files. Starts with this thread's floating-point
// flags clear, as a process of the program starts.
InMemoryRun run_in_memory(std::string_view for005, bool keep_matrices, const DsygvFn& dsygv = {});

}  // namespace zephor
