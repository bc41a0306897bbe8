// Layout choices follow what readers were seen to need: bare element symbols with the atomic
// number beside them (Open Babel turns "O1" into a dummy atom), a blank line after every [GTO]
// atom block (Jmol fails without it), energies with ten decimals.
#include "export/molden_writer.hpp"

#include "export/checkpoint_reader.hpp"
#include "export/number_text.hpp"
#include "export/orbitals.hpp"
#include "output/fields.hpp"

namespace zephor::exporter {

namespace {

void put_column(std::string& out, const std::string& text, std::size_t width) { put_right(out, text, width); }

std::string fixed(double x, int decimals) {
    std::string s;
    put_fixed(s, x, decimals);
    return s;
}

std::string scientific(double x, int decimals) {
    std::string s;
    put_scientific(s, x, decimals);
    return s;
}

}  // namespace

std::string molden_text(const Checkpoint& c, const Orbitals& o) {
    std::string out;
    out += "[Molden Format]\n";
    out += "[Title]\n";
    out += (c.title.empty() ? "ZEPHOR extended-Hueckel orbitals" : c.title) + "\n";

    out += "[Atoms] AU\n";
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    for (std::size_t a = 0; a < atoms; ++a) {
        const std::int32_t z = c.atomic_number[a];
        out += std::string(1, element_of(z)->letter);
        put_column(out, std::to_string(a + 1), 6);
        put_column(out, integer_text(z), 4);
        // Coordinates as read (bohr), digit for digit.
        for (std::size_t x = 0; x < 3; ++x) {
            std::string v;
            put_shortest_fixed(v, c.r[3 * a + x]);
            out += ' ';
            put_column(out, v, 17);
        }
        out += '\n';
    }

    // Shells atom by atom, as Molden groups them; the checkpoint lists each atom's shells together.
    out += "[GTO]\n";
    const std::size_t shells = static_cast<std::size_t>(c.shell_count);
    for (std::size_t a = 0; a < atoms; ++a) {
        put_column(out, std::to_string(a + 1), 4);
        out += " 0\n";
        for (std::size_t s = 0; s < shells; ++s) {
            if (static_cast<std::size_t>(c.shell_atom[s]) != a + 1) continue;
            out += c.shell_type[s] == 0 ? " s" : " p";
            out += "    6 1.00\n";
            for (std::size_t k = 0; k < 6; ++k) {
                put_column(out, scientific(c.exponents[6 * s + k], 14), 24);
                put_column(out, scientific(o.shell_coef[6 * s + k], 14), 24);
                out += '\n';
            }
        }
        out += '\n';
    }

    out += "[MO]\n";
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    for (std::size_t k = 0; k < n; ++k) {
        out += " Sym= A\n";
        out += " Ene= " + fixed(c.orbital_energy[k], 10) + "\n";
        out += " Spin= Alpha\n";
        out += k < static_cast<std::size_t>(c.occupied_count) ? " Occup= 2.000000\n" : " Occup= 0.000000\n";
        for (std::size_t i = 0; i < n; ++i) {
            put_column(out, std::to_string(i + 1), 5);
            put_column(out, scientific(o.coef[k * n + i], 14), 24);
            out += '\n';
        }
    }
    return out;
}

}  // namespace zephor::exporter
