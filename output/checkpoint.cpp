// Checkpoint layout: scalar lines and array headers carry the bare integer text after their label
// field; arrays follow as row blocks of five values.
#include "output/checkpoint.hpp"

#include <span>

#include "output/fields.hpp"
#include "output/report.hpp"

namespace zephor {

void put_label_field(std::string& out, std::string_view label, char type, bool array, int width) {
    const std::size_t start = out.size();
    out.append(label);
    out.resize(start + 43, ' ');
    out.push_back(type);
    out.append(array ? "   N=" : "     ");
    out.resize(start + static_cast<std::size_t>(width), ' ');
}

namespace {

void scalar(OutputFile& f, std::string_view label, int width, std::int32_t value) {
    put_label_field(f.line(), label, 'I', false, width);
    put_integer_text(f.line(), value);
    f.end_line();
}

void header(OutputFile& f, std::string_view label, char type, int width, std::int32_t count) {
    put_label_field(f.line(), label, type, true, width);
    put_integer_text(f.line(), count);
    f.end_line();
}

}  // namespace

CheckpointLists checkpoint_lists(const CheckpointData& c) {
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    const std::size_t shells = static_cast<std::size_t>(c.shell_count);
    CheckpointLists l;
    l.primitives.assign(shells, 6);
    // One entry of six values per shell: the s function and the px function stand for their
    // shells; py and pz repeat the px exponents and are skipped.
    l.exponents.reserve(6 * shells);
    l.coefficients.reserve(6 * shells);
    for (std::size_t k = 0; k < n; ++k) {
        const Label& first = c.g[6 * k];
        if (first == label_ss || first == label_px) {
            l.exponents.insert(l.exponents.end(), c.alfa.begin() + 6 * k, c.alfa.begin() + 6 * k + 6);
            l.coefficients.insert(l.coefficients.end(), c.d.begin() + 6 * k, c.d.begin() + 6 * k + 6);
        }
    }
    l.hartree.resize(n);
    for (std::size_t i = 0; i < n; ++i) l.hartree[i] = c.orbital_energy[i] * hartree_per_ev;
    return l;
}

void write_checkpoint(OutputFile& f, const CheckpointData& c) { write_checkpoint(f, c, checkpoint_lists(c)); }

void write_checkpoint(OutputFile& f, const CheckpointData& c, const CheckpointLists& lists) {
    write_banner(f);
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    const std::size_t shells = static_cast<std::size_t>(c.shell_count);

    scalar(f, "Number of atoms", 60, c.atom_count);
    scalar(f, "Charge", 60, c.charge);
    scalar(f, "Multiplicity", 60, 1);
    scalar(f, "Number of electrons", 59, 2 * c.occupied_count);
    scalar(f, "Number of alpha electrons", 60, c.occupied_count);
    scalar(f, "Number of beta electrons", 60, c.occupied_count);
    scalar(f, "Number of basis functions", 59, c.basis_count);
    scalar(f, "Number of independent functions", 59, c.basis_count);
    scalar(f, "Number of point charges in /Mol/", 60, 0);
    scalar(f, "Number of translation vectors", 60, 0);

    header(f, "Atomic numbers", 'I', 60, c.atom_count);
    f.write_int_rows(std::span(c.atomic_number.data(), atoms));
    header(f, "Current cartesian coordinates", 'R', 60, 3 * c.atom_count);
    f.write_real_rows(std::span(c.r.data(), 3 * atoms));

    scalar(f, "Number of contracted shells", 60, c.shell_count);
    scalar(f, "Number of primitive shells", 59, 6 * c.shell_count);
    header(f, "Shell types", 'I', 60, c.shell_count);
    f.write_int_rows(std::span(c.shell_type.data(), shells));
    header(f, "Number of primitives per shell", 'I', 60, c.shell_count);
    f.write_int_rows(lists.primitives);
    header(f, "Shell to atom map", 'I', 60, c.shell_count);
    f.write_int_rows(std::span(c.shell_atom.data(), shells));

    header(f, "Primitive exponents", 'R', 59, 6 * c.shell_count);
    f.write_real_rows(lists.exponents);
    header(f, "Contraction coefficients", 'R', 59, 6 * c.shell_count);
    f.write_real_rows(lists.coefficients);

    header(f, "Alpha Orbital Energies", 'R', 59, c.basis_count);
    f.write_real_rows(lists.hartree);
    header(f, "Alpha MO coefficients", 'R', 59, c.basis_count * c.basis_count);
    f.write_real_rows(std::span(c.mo_coef.data(), n * n));
}

}  // namespace zephor
