// The driver: count first, allocate once, then read; assemble, solve, analyse, and only then
// create the output files, so that a run failing before the report leaves no file behind.
#include "driver/run.hpp"

#include <string>
#include <vector>

#include "driver/basis.hpp"
#include "driver/errors.hpp"
#include "driver/input_file.hpp"
#include "driver/input_reader.hpp"
#include "integrals/s_h_matrix.hpp"
#include "output/checkpoint.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"
#include "solver/eigen_solve.hpp"
#include "solver/population.hpp"

namespace zephor {

namespace {

const std::string input_name = "FOR005";

InputFile open_input(int unit) {
    InputFile f = InputFile::open(input_name, unit);
    if (!f.is_open()) throw PlainStop();
    return f;
}

std::string read_input(InputFile& f) {
    auto data = f.read_all();
    if (!data) throw PlainStop();
    return std::move(*data);
}

}  // namespace

void run() {
    // 1. Count the atom lines.
    std::int32_t atom_count = 0;
    {
        InputFile f = open_input(13);
        atom_count = count_atom_lines(read_input(f));
    }

    // 2. Title, charge and symbol letters; the sizes of every array follow from them.
    SizingInput sizing;
    {
        InputFile f = open_input(13);
        sizing = read_sizing_pass(read_input(f), atom_count);
    }
    const BasisCounts counts = tally_basis(sizing.letters, sizing.charge);
    if (counts.basis_count > max_basis_count) throw MemoryRefused();
    if (counts.electron_count / 2 > counts.basis_count)
        throw read_error(sizing.charge_line, 13, input_name,
                         "Charge " + std::to_string(sizing.charge) + " leaves " +
                             std::to_string(counts.electron_count) + " electrons for " +
                             std::to_string(counts.basis_count) + " basis functions");
    const std::int32_t basis_count = static_cast<std::int32_t>(counts.basis_count);
    const std::int32_t shell_count = static_cast<std::int32_t>(counts.shell_count);
    const std::int32_t electron_count = static_cast<std::int32_t>(counts.electron_count);
    const std::size_t n = static_cast<std::size_t>(basis_count);
    const std::size_t atoms = static_cast<std::size_t>(atom_count);
    const std::size_t shells = static_cast<std::size_t>(shell_count);

    // 3. Every array at its final size.
    BasisArrays b;
    b.g.resize(6 * n);
    b.alfa.resize(6 * n);
    b.d.resize(6 * n);
    b.basis_atom.resize(n);
    std::vector<double> r(3 * atoms);
    b.ham.resize(n * n);
    std::vector<double> norm(n);
    std::vector<std::string> symbol(atoms);
    b.valence.resize(atoms);
    b.atomic_number.resize(atoms);
    b.shell_type.resize(shells);
    b.shell_atom.resize(shells);

    // 4. Symbols and coordinates (bohr); FOR005 stays open on handle 10 to the end of the run.
    InputFile input = open_input(10);
    std::string title;
    std::int32_t charge = 0;
    read_atom_pass(read_input(input), atom_count, title, charge, symbol, r);

    // 5. Per-atom parameters and the diagonal of the Hamiltonian.
    assemble_basis(symbol, basis_count, b);

    // 6. Overlap matrix and the rest of the Hamiltonian.
    std::vector<double> s(n * n);
    s_h_matrix(s, b.ham, symbol, b.g, b.alfa, b.d, r, b.basis_atom, norm, basis_count);

    // 7. Orbitals, occupation and total energy (eV). A failed solve ends the run quietly.
    std::vector<double> orbital_energy;
    std::vector<double> mo_coef;
    if (solve_eigenproblem(b.ham, s, basis_count, orbital_energy, mo_coef) != 0) throw PlainStop();
    const std::int32_t occupied_count = occupied_orbitals(electron_count);
    const double energy = total_energy(orbital_energy, occupied_count);

    // 8. Populations and bond orders, before any output file exists.
    std::vector<double> dens;
    std::vector<double> atom_pop;
    density_matrix(mo_coef, basis_count, occupied_count, dens);
    atom_populations(dens, basis_count, b.basis_atom, atom_count, atom_pop);

    // 9. The report, stored in full before the checkpoint is attempted.
    OutputFile report = OutputFile::create_new("FOR006", 11);
    if (!report.is_open()) throw PlainStop();
    write_report(report, orbital_energy, occupied_count, energy, atom_pop, b.valence, symbol, atom_count);
    report.flush();

    // 10. The checkpoint.
    OutputFile checkpoint = OutputFile::create_new("FOR007", 13);
    if (!checkpoint.is_open()) throw PlainStop();
    write_checkpoint(checkpoint, {atom_count, charge, occupied_count, basis_count, shell_count,
                                  b.atomic_number, r, b.shell_type, b.shell_atom, b.g, b.alfa,
                                  b.d, orbital_energy, mo_coef});

    // 11. Close handles 10, 11 and 13, in this order.
    input.close();
    report.close();
    checkpoint.close();
}

}  // namespace zephor
