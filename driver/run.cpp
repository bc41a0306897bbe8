// The driver: count first, allocate once, then read; assemble, solve, analyse, and only then
// create the output files, so that a run failing before the report leaves no file behind.
#include "driver/run.hpp"

#include <string>
#include <vector>

#include "common/errors.hpp"
#include "common/large_array.hpp"
#include "common/run_files.hpp"
#include "common/thread_fp_flags.hpp"
#include "driver/computation.hpp"
#include "driver/input_file.hpp"
#include "driver/input_reader.hpp"
#include "driver/large_arrays.hpp"
#include "driver/molecule.hpp"
#include "driver/worker_threads.hpp"
#include "output/checkpoint.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"

namespace zephor {

namespace {

InputFile open_input(int unit) {
    InputFile f = InputFile::open(input_file_name, unit);
    if (!f.is_open()) throw PlainStop();
    return f;
}

std::string read_input(InputFile& f) {
    auto data = f.read_all();
    if (!data) throw PlainStop();
    return std::move(*data);
}

}  // namespace

void run() { run(PhaseEnd{}); }

void run(const PhaseEnd& phase_end) {
    auto mark = [&](Phase p) {
        if (phase_end) phase_end(p);
    };
    // 1. Count the atom lines (handle 13).
    std::int32_t atom_count = 0;
    {
        InputFile f = open_input(sizing_unit);
        atom_count = count_atom_lines(read_input(f));
    }

    // 2. Title, charge and symbol letters (handle 13 again); every size follows from them.
    Molecule m;
    {
        InputFile f = open_input(sizing_unit);
        m = size_molecule(read_input(f), atom_count);
    }
    if (m.basis_count >= threads_from_basis_count) start_worker_threads();

    // 3.-5. Arrays at their final sizes, symbols and coordinates (handle 10, open to the end of
    // the run), per-atom parameters and the diagonal of the Hamiltonian.
    InputFile input = open_input(reading_unit);
    reserve_large_on_threads(m.basis.ham, static_cast<std::size_t>(m.basis_count) * static_cast<std::size_t>(m.basis_count),
                             m.basis_count >= threads_from_basis_count);
    read_molecule(m, read_input(input));
    BasisArrays& b = m.basis;

    mark(Phase::input);

    // 6.-8. Assembly, solve and analysis.
    Computation c = compute(m, phase_end);
    const std::vector<double>& orbital_energy = c.orbital_energy;
    const std::vector<double>& mo_coef = c.mo_coef;
    const std::int32_t occupied_count = c.occupied_count;

    // 9. Everything both files need in memory is allocated before either exists, so that a
    // refusal leaves no file. Each file is written unnamed and named once complete; the report
    // is named before the checkpoint is started.
    const CheckpointData checkpoint_data{basis_view(m), m.charge, occupied_count, orbital_energy, mo_coef};
    const CheckpointLists checkpoint_lists_ = checkpoint_lists(checkpoint_data);
    OutputFile report(report_file_name, report_unit);
    OutputFile checkpoint(checkpoint_file_name, checkpoint_unit);
    reserve_checkpoint(checkpoint, checkpoint_data);
    if (!report.open()) throw PlainStop();
    write_report(report, orbital_energy, occupied_count, c.total_energy, c.atom_pop, b.valence, m.symbol,
                 m.atom_count);
    if (!report.publish()) throw PlainStop();

    // 10. The checkpoint.
    if (!checkpoint.open()) throw PlainStop();
    write_checkpoint(checkpoint, checkpoint_data, checkpoint_lists_);
    if (!checkpoint.publish()) throw PlainStop();

    // 11. Close handles 10, 11 and 13, in this order.
    input.close();
    report.close();
    checkpoint.close();
    mark(Phase::output);
}

}  // namespace zephor
