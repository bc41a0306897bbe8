// The plain evaluations, one step after another, as the run orders them.
#include "driver/plain_pipeline.hpp"

#include "common/run_files.hpp"
#include "common/thread_fp_flags.hpp"
#include "driver/fp_flags.hpp"
#include "integrals/s_h_matrix_reference.hpp"
#include "output/checkpoint.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"
#include "solver/eigen_solve.hpp"
#include "solver/population_reference.hpp"

namespace zephor {

PlainRun plain_pipeline(std::string_view for005) {
    take_thread_fp_flags();
    PlainRun x;
    x.molecule = load_molecule(for005);
    Molecule& m = x.molecule;
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    x.s.resize(n * n);
    s_h_matrix_reference(x.s, m.basis.ham, basis_view(m), m.norm);
    x.ham = m.basis.ham;
    if (solve_eigenproblem(x.ham, x.s, m.basis_count, x.orbital_energy, x.mo_coef) != 0) return x;
    x.solved = true;
    x.occupied_count = occupied_orbitals(m.electron_count);
    x.total_energy = total_energy(x.orbital_energy, x.occupied_count);
    density_matrix_reference(x.mo_coef, m.basis_count, x.occupied_count, x.dens);
    atom_populations_reference(x.dens, m.basis_count, m.basis.basis_atom, m.atom_count, x.atom_pop);
    x.fp_note = fp_note();

    OutputFile report = OutputFile::in_memory(report_file_name, report_unit);
    write_report(report, x.orbital_energy, x.occupied_count, x.total_energy, x.atom_pop, m.basis.valence,
                 m.symbol, m.atom_count);
    x.report = report.take_text();
    OutputFile checkpoint = OutputFile::in_memory(checkpoint_file_name, checkpoint_unit);
    write_checkpoint(checkpoint, {basis_view(m), m.charge, x.occupied_count, x.orbital_energy, x.mo_coef});
    x.checkpoint = checkpoint.take_text();
    return x;
}

}  // namespace zephor
