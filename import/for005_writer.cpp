// FOR005 text, exactly as zephor's reading passes take it back.
#include "import/for005_writer.hpp"

#include <charconv>
#include <cmath>

#include "common/constants.hpp"
#include "import/errors.hpp"

namespace zephor::importer {

std::string for005_text(const MoleculeIn& m, int charge) {
    check_elements(m);
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
