// Sizing, allocation, reading and basis assembly of the molecule.
#include "driver/molecule.hpp"

#include "common/elements.hpp"
#include "common/errors.hpp"
#include "common/run_files.hpp"
#include "driver/input_reader.hpp"
#include "driver/memory_budget.hpp"

namespace zephor {

Molecule size_molecule(std::string_view data, std::int32_t atom_count) {
    SizingInput sizing = read_sizing_pass(data, atom_count);
    const BasisCounts counts = tally_basis(sizing.letters, sizing.charge);
    // The orbital coefficients are counted in 32 bits (n^2 values); anything larger is refused
    // before a single array is allocated.
    if (counts.basis_count > max_basis_count) throw MemoryRefused();
    // A basis whose matrices outgrow the machine's memory and swap would be killed by the system
    // part-way through, without a word: refuse it now, like a refused allocation.
    if (!fits_in_memory(counts.basis_count, machine_memory_bytes())) throw MemoryRefused();
    if (!occupancy_fits(counts.electron_count, counts.basis_count))
        throw read_error(sizing.charge_line, sizing_unit, input_file_name,
                         "Charge " + std::to_string(sizing.charge) + " leaves " +
                             std::to_string(counts.electron_count) + " electrons for " +
                             std::to_string(counts.basis_count) + " basis functions");
    Molecule m;
    m.title = std::move(sizing.title);
    m.charge = sizing.charge;
    m.atom_count = atom_count;
    m.basis_count = static_cast<std::int32_t>(counts.basis_count);
    m.shell_count = static_cast<std::int32_t>(counts.shell_count);
    m.electron_count = static_cast<std::int32_t>(counts.electron_count);
    m.letters.assign(sizing.letters.begin(), sizing.letters.end());
    return m;
}

void read_molecule(Molecule& m, std::string_view data) {
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    const std::size_t atoms = static_cast<std::size_t>(m.atom_count);
    const std::size_t shells = static_cast<std::size_t>(m.shell_count);
    BasisArrays& b = m.basis;
    b.g.resize(6 * n);
    b.alfa.resize(6 * n);
    b.d.resize(6 * n);
    b.basis_atom.resize(n);
    m.r.resize(3 * atoms);
    b.ham.resize(n * n);
    m.norm.resize(n);
    m.symbol.resize(atoms);
    b.valence.resize(atoms);
    b.atomic_number.resize(atoms);
    b.shell_type.resize(shells);
    b.shell_atom.resize(shells);

    const auto changed = [] {
        return ReportError("While reading input (unit = " + std::to_string(reading_unit) + ", file = '" +
                               input_file_name + "')",
                           std::string(input_file_name) + " changed while it was being read");
    };
    if (count_atom_lines(data) != m.atom_count) throw changed();
    const std::string sized_title = m.title;
    const std::int32_t sized_charge = m.charge;
    read_atom_pass(data, m.atom_count, m.title, m.charge, m.symbol, m.r);
    // The basis arrays were sized from these letters; different ones would be written past them.
    bool same = m.title == sized_title && m.charge == sized_charge;
    for (std::size_t i = 0; i < atoms && same; ++i) same = m.symbol[i][0] == m.letters[i];
    if (!same) throw changed();
    assemble_basis(m.symbol, m.basis_count, b);
}

BasisView basis_view(const Molecule& m) {
    const BasisArrays& b = m.basis;
    return {m.atom_count, m.basis_count, m.shell_count, m.symbol, m.r, b.atomic_number, b.g, b.alfa, b.d,
            b.basis_atom, b.shell_type, b.shell_atom};
}

Molecule load_molecule(std::string_view data) {
    Molecule m = size_molecule(data, count_atom_lines(data));
    read_molecule(m, data);
    return m;
}

}  // namespace zephor
