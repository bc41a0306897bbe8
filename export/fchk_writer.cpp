// Section order and columns as formatted-checkpoint writers use them; cclib reads some sections
// by position, Jmol recognises the format by "Number of point charges in /Mol/", and a job line
// shorter than 40 characters makes Jmol loop, so none of this is free to change.
#include "export/fchk_writer.hpp"

#include <algorithm>
#include <span>
#include <string_view>

#include "export/checkpoint_reader.hpp"
#include "export/number_text.hpp"
#include "export/orbitals.hpp"
#include "output/fields.hpp"
#include "output/row_blocks.hpp"

namespace zephor::exporter {

namespace {

class FchkText {
public:
    std::string text;

    void line(std::string_view s) {
        text.append(s);
        text.push_back('\n');
    }

    // "%-40s   I     %12d"
    void integer(std::string_view label, std::int32_t value) {
        label_field(label, "   I     ");
        put_right(text, integer_text(value), 12);
        text.push_back('\n');
    }

    // "%-40s   R     %22.14E": the value fills columns 50-71 like the usual E22.15, but with one
    // decimal fewer its sign never stands in column 50, where Jmol 14 skips it.
    void real(std::string_view label, double value) {
        label_field(label, "   R     ");
        std::string v;
        put_scientific(v, value, 14);
        put_right(text, v, 22);
        text.push_back('\n');
    }

    // "%-40s   I   N=%12d", then 6I12 rows.
    void integers(std::string_view label, std::span<const std::int32_t> values) {
        header(label, 'I', values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            put_i12(text, values[i]);
            if (i % 6 == 5 || i + 1 == values.size()) text.push_back('\n');
        }
    }

    // "%-40s   R   N=%12d", then 5E16.8 rows.
    void reals(std::string_view label, std::span<const double> values) {
        header(label, 'R', values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            put_es16(text, values[i]);
            if (ends_row(i, values.size())) text.push_back('\n');
        }
    }

private:
    void label_field(std::string_view label, std::string_view type) {
        const std::size_t start = text.size();
        text.append(label);
        text.resize(start + 40, ' ');
        text.append(type);
    }

    void header(std::string_view label, char type, std::size_t count) {
        label_field(label, type == 'I' ? "   I   N=" : "   R   N=");
        put_right(text, integer_text(static_cast<std::int32_t>(count)), 12);
        text.push_back('\n');
    }
};

}  // namespace

std::string fchk_text(const Checkpoint& c, const Orbitals& o) {
    FchkText f;
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const std::size_t shells = static_cast<std::size_t>(c.shell_count);

    f.line(c.title.empty() ? "ZEPHOR extended-Hueckel orbitals" : c.title);
    std::string job = "SP";
    job.resize(10, ' ');
    job += "RHF";
    job.resize(70, ' ');
    job += "STO-6G";
    f.line(job);

    f.integer("Number of atoms", c.atom_count);
    f.integer("Charge", c.charge);
    f.integer("Multiplicity", 1);
    f.integer("Number of electrons", 2 * c.occupied_count);
    f.integer("Number of alpha electrons", c.occupied_count);
    f.integer("Number of beta electrons", c.occupied_count);
    f.integer("Number of basis functions", c.basis_count);
    f.integer("Number of independent functions", c.basis_count);
    f.integer("Number of point charges in /Mol/", 0);
    f.integer("Number of translation vectors", 0);

    f.integers("Atomic numbers", c.atomic_number);
    // Valence-only: each nucleus carries the charge of the electrons the method counts (like an
    // effective core charge), so that the charges less the molecule's charge give the electrons.
    std::vector<double> nuclear(atoms);
    for (std::size_t a = 0; a < atoms; ++a) nuclear[a] = element_of(c.atomic_number[a])->valence;
    f.reals("Nuclear charges", nuclear);
    f.reals("Current cartesian coordinates", c.r);

    f.integer("Number of contracted shells", c.shell_count);
    f.integer("Number of primitive shells", 6 * c.shell_count);
    f.integer("Highest angular momentum", *std::max_element(c.shell_type.begin(), c.shell_type.end()));
    f.integer("Largest degree of contraction", 6);
    f.integers("Shell types", c.shell_type);
    f.integers("Number of primitives per shell", std::vector<std::int32_t>(shells, 6));
    f.integers("Shell to atom map", c.shell_atom);
    f.reals("Primitive exponents", c.exponents);
    f.reals("Contraction coefficients", o.shell_coef);
    std::vector<double> shell_centre;
    for (std::size_t s = 0; s < shells; ++s) {
        const std::size_t a = static_cast<std::size_t>(c.shell_atom[s] - 1);
        shell_centre.insert(shell_centre.end(), c.r.begin() + 3 * a, c.r.begin() + 3 * a + 3);
    }
    f.reals("Coordinates of each shell", shell_centre);
    f.real("Total Energy", o.total_energy);
    f.reals("Alpha Orbital Energies", c.orbital_energy);
    f.reals("Alpha MO coefficients", o.coef);
    return f.text;
}

}  // namespace zephor::exporter
