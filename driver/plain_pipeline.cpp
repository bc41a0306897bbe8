// The plain evaluations, one step after another, as the run orders them.
#include "driver/plain_pipeline.hpp"

#include <utility>

#include "common/thread_fp_flags.hpp"
#include "driver/fp_flags.hpp"
#include "driver/texts_in_memory.hpp"
#include "integrals/s_h_matrix_reference.hpp"
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

    RunTexts t = texts_in_memory(m, x.orbital_energy, x.occupied_count, x.total_energy, x.atom_pop, x.mo_coef);
    x.report = std::move(t.report);
    x.checkpoint = std::move(t.checkpoint);
    return x;
}

}  // namespace zephor
