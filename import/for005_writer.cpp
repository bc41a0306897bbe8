// FOR005 text, exactly as zephor's reading passes take it back.
#include "import/for005_writer.hpp"

#include <charconv>
#include <cmath>

#include "common/constants.hpp"
#include "import/errors.hpp"

namespace zephor::importer {

std::string for005_text(const MoleculeIn& m, int charge) {
    check_elements(m);
    // zephor refuses a charge that leaves more doubly occupied orbitals than basis functions.
    long long electrons = -static_cast<long long>(charge), functions = 0;
    for (const AtomIn& a : m.atoms) {
        electrons += a.symbol == "H" ? 1 : a.symbol == "B" ? 3 : a.symbol == "C" ? 4 : a.symbol == "N" ? 5 : a.symbol == "O" ? 6 : 7;
        functions += a.symbol == "H" ? 1 : 4;
    }
    if (electrons / 2 > functions)
        throw ContentError("charge " + std::to_string(charge) + " leaves " + std::to_string(electrons) +
                           " valence electrons for " + std::to_string(functions) + " basis functions");
    std::string out = "'";
    for (const char c : m.title) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\'') out += "''";
        else out += (b < 0x20 || b == 0x7f) ? ' ' : c;
    }
    out += "'\n" + std::to_string(charge) + "\n";
    for (std::size_t i = 0; i < m.atoms.size(); ++i) {
        const AtomIn& a = m.atoms[i];
        out += a.symbol;
        for (const double x : {a.x, a.y, a.z}) {
            // zephor divides by the Bohr radius on reading: that value must stay finite.
            if (!std::isfinite(x / bohr_in_angstrom))
                throw ContentError("atom " + std::to_string(i + 1) + ": coordinate too large for a molecule");
            char buf[32];
            const auto res = std::to_chars(buf, buf + sizeof buf, x);
            out += ' ';
            out.append(buf, res.ptr);
        }
        out += '\n';
    }
    return out;
}

}  // namespace zephor::importer
