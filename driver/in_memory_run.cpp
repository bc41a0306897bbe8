// The run of driver/run.cpp without its files: the same passes over one buffer, the same
// computation, the same writers into memory.
#include "driver/in_memory_run.hpp"

#include <utility>

#include "common/thread_fp_flags.hpp"
#include "driver/input_reader.hpp"
#include "driver/large_arrays.hpp"
#include "driver/texts_in_memory.hpp"
#include "driver/worker_threads.hpp"

namespace zephor {

InMemoryRun run_in_memory(std::string_view for005, bool keep_matrices, const DsygvFn& dsygv) {
    // A process starts zephor with clear flags; this thread may hold those of earlier work.
    take_thread_fp_flags();
    InMemoryRun x;
    x.molecule = size_molecule(for005, count_atom_lines(for005));
    Molecule& m = x.molecule;
    if (m.basis_count >= threads_from_basis_count) start_worker_threads();
    reserve_large_on_threads(m.basis.ham, static_cast<std::size_t>(m.basis_count) * static_cast<std::size_t>(m.basis_count),
                             m.basis_count >= threads_from_basis_count);
    read_molecule(m, for005);
    x.result = compute(m, {}, keep_matrices, dsygv);
    const Computation& c = x.result;

    RunTexts t = texts_in_memory(m, c.orbital_energy, c.occupied_count, c.total_energy, c.atom_pop, c.mo_coef);
    x.report = std::move(t.report);
    x.checkpoint = std::move(t.checkpoint);
    return x;
}

}  // namespace zephor
