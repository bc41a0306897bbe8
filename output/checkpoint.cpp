// Checkpoint layout: scalar lines and array headers carry the bare integer text after their label
// field; arrays follow as row blocks of five values.
#include "output/checkpoint.hpp"

#include <span>

#include "common/constants.hpp"
#include "output/checkpoint_sections.hpp"
#include "output/fields.hpp"
#include "output/report.hpp"
#include "output/row_blocks.hpp"

namespace zephor {

void put_label_field(std::string& out, const CheckpointSection& s) {
    const std::size_t start = out.size();
    out.append(s.label);
    out.resize(start + 43, ' ');
    out.push_back(s.type);
    out.append(s.array ? "   N=" : "     ");
    out.resize(start + static_cast<std::size_t>(s.width), ' ');
}

namespace {

// A scalar line, or an array's header with its count.
void labelled(OutputFile& f, const CheckpointSection& s, std::int32_t value) {
    put_label_field(f.line(), s);
    put_integer_text(f.line(), value);
    f.end_line();
}

}  // namespace

CheckpointLists checkpoint_lists(const CheckpointData& c) {
    const BasisView& b = c.basis;
    const std::size_t n = static_cast<std::size_t>(b.basis_count);
    const std::size_t shells = static_cast<std::size_t>(b.shell_count);
    CheckpointLists l;
    l.primitives.assign(shells, 6);
    // One entry of six values per shell: the s function and the px function stand for their
    // shells; py and pz repeat the px exponents and are skipped.
    l.exponents.reserve(6 * shells);
    l.coefficients.reserve(6 * shells);
    for (std::size_t k = 0; k < n; ++k) {
        const Label& first = b.g[6 * k];
        if (first == label_ss || first == label_px) {
            l.exponents.insert(l.exponents.end(), b.alfa.begin() + 6 * k, b.alfa.begin() + 6 * k + 6);
            l.coefficients.insert(l.coefficients.end(), b.d.begin() + 6 * k, b.d.begin() + 6 * k + 6);
        }
    }
    l.hartree.resize(n);
    for (std::size_t i = 0; i < n; ++i) l.hartree[i] = c.orbital_energy[i] * hartree_per_ev;
    return l;
}

void reserve_checkpoint(OutputFile& f, const CheckpointData& c) {
    const std::size_t n = static_cast<std::size_t>(c.basis.basis_count);
    reserve_row_block(f, n * n);  // the longest list
}

void write_checkpoint(OutputFile& f, const CheckpointData& c) { write_checkpoint(f, c, checkpoint_lists(c)); }

void write_checkpoint(OutputFile& f, const CheckpointData& c, const CheckpointLists& lists) {
    const BasisView& b = c.basis;
    write_banner(f);
    const std::size_t atoms = static_cast<std::size_t>(b.atom_count);
    const std::size_t n = static_cast<std::size_t>(b.basis_count);
    const std::size_t shells = static_cast<std::size_t>(b.shell_count);

    labelled(f, section::atom_count, b.atom_count);
    labelled(f, section::charge, c.charge);
    labelled(f, section::multiplicity, 1);
    labelled(f, section::electrons, 2 * c.occupied_count);
    labelled(f, section::alpha_electrons, c.occupied_count);
    labelled(f, section::beta_electrons, c.occupied_count);
    labelled(f, section::basis_functions, b.basis_count);
    labelled(f, section::independent_functions, b.basis_count);
    labelled(f, section::point_charges, 0);
    labelled(f, section::translation_vectors, 0);

    labelled(f, section::atomic_numbers, b.atom_count);
    write_int_rows(f, b.atomic_number.first(atoms));
    labelled(f, section::coordinates, 3 * b.atom_count);
    write_real_rows(f, b.r.first(3 * atoms));

    labelled(f, section::contracted_shells, b.shell_count);
    labelled(f, section::primitive_shells, 6 * b.shell_count);
    labelled(f, section::shell_types, b.shell_count);
    write_int_rows(f, b.shell_type.first(shells));
    labelled(f, section::primitives_per_shell, b.shell_count);
    write_int_rows(f, lists.primitives);
    labelled(f, section::shell_to_atom, b.shell_count);
    write_int_rows(f, b.shell_atom.first(shells));

    labelled(f, section::exponents, 6 * b.shell_count);
    write_real_rows(f, lists.exponents);
    labelled(f, section::coefficients, 6 * b.shell_count);
    write_real_rows(f, lists.coefficients);

    labelled(f, section::orbital_energies, b.basis_count);
    write_real_rows(f, lists.hartree);
    labelled(f, section::mo_coefficients, b.basis_count * b.basis_count);
    write_real_rows(f, std::span(c.mo_coef.data(), n * n));
}

}  // namespace zephor
