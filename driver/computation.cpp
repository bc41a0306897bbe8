// The computation of a run in its fixed order, holding at most two n x n arrays at a time unless
// the caller asks for copies of the assembled matrices.
#include "driver/computation.hpp"

#include <utility>

#include "common/errors.hpp"
#include "common/thread_fp_flags.hpp"
#include "driver/large_arrays.hpp"
#include "integrals/s_h_matrix.hpp"
#include "solver/density_matrix.hpp"
#include "solver/eigen_solve.hpp"
#include "solver/population.hpp"

namespace zephor {

Computation compute(Molecule& m, const PhaseEnd& phase_end, bool keep_matrices, const DsygvFn& dsygv) {
    auto mark = [&](Phase p) {
        if (phase_end) phase_end(p);
    };
    BasisArrays& b = m.basis;
    const std::int32_t n = m.basis_count;
    const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    Computation c;

    // 6. Overlap matrix and the rest of the Hamiltonian.
    const bool threaded = n >= threads_from_basis_count;
    std::vector<double> s;
    reserve_large_on_threads(s, nn, threaded);
    s.resize(nn);
    s_h_matrix(s, b.ham, basis_view(m), m.norm);
    if (keep_matrices) {
        reserve_large_on_threads(c.s, nn, threaded);
        reserve_large_on_threads(c.ham, nn, threaded);
        c.s = s;
        c.ham = b.ham;
    }
    mark(Phase::assembly);

    // 7. Orbitals, occupation and total energy (eV). A failed solve ends the run quietly. The
    // solver works on ham and s themselves, which nothing reads afterwards, so that at most two
    // n x n arrays are alive from here on.
    c.mo_coef = std::move(b.ham);
    const int info = dsygv ? dsygv(c.mo_coef, s, n, c.orbital_energy) : dsygv_in_place(c.mo_coef, s, n, c.orbital_energy);
    if (info != 0) throw PlainStop();
    mark(Phase::solve);
    unit_length_columns(c.mo_coef, n);
    c.occupied_count = occupied_orbitals(m.electron_count);
    c.total_energy = total_energy(c.orbital_energy, c.occupied_count);

    // 8. Populations, before any output file exists. The density takes over the memory of s
    // (already in place, no new pages) and is released once the populations are summed.
    {
        std::vector<double> dens = std::move(s);
        density_matrix(c.mo_coef, n, c.occupied_count, dens);
        atom_populations(dens, n, b.basis_atom, m.atom_count, c.atom_pop);
    }
    mark(Phase::analysis);
    return c;
}

}  // namespace zephor
