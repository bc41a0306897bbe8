// FOR005 text, exactly as zephor's reading passes take it back, for a molecule zephor runs to the
// end: every check zephor would fail on, quietly or with a report, is made here first.
#include "import/for005_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/constants.hpp"
#include "common/elements.hpp"
#include "import/errors.hpp"
#include "import/text_lines.hpp"

namespace zephor::importer {

bool fits_checkpoint(double angstrom) {
    const double bohr = angstrom / bohr_in_angstrom;
    if (!std::isfinite(bohr)) return false;
    if (bohr == 0.0) return true;
    // ES16.8E2 rounds to nine significant digits as to_chars does (correctly, ties to even).
    char buf[32];
    const char* end = std::to_chars(buf, buf + sizeof buf, bohr, std::chars_format::scientific, 8).ptr;
    const char* e = std::find(static_cast<const char*>(buf), end, 'e');
    return end - e == 4;  // "e+dd"
}

std::string for005_text(const MoleculeIn& m, int charge) {
    check_elements(m);
    std::int64_t valence = 0, functions = 0;
    for (const AtomIn& a : m.atoms) {
        const SupportedElement& e = *supported_element(a.symbol[0]);
        valence += e.valence_electrons;
        functions += e.functions;
    }
    const std::int64_t electrons = electron_count(valence, charge);
    if (electrons < 0)
        throw ContentError("charge " + std::to_string(charge) + " leaves " + std::to_string(electrons) +
                           " valence electrons, fewer than none");
    // zephor refuses a charge that leaves more doubly occupied orbitals than basis functions.
    if (!occupancy_fits(electrons, functions))
        throw ContentError("charge " + std::to_string(charge) + " leaves " + std::to_string(electrons) +
                           " valence electrons for " + std::to_string(functions) + " basis functions");
    for (std::size_t i = 0; i < m.atoms.size(); ++i) {
        const AtomIn& a = m.atoms[i];
        for (const double x : {a.x, a.y, a.z})
            if (!fits_checkpoint(x))
                throw ContentError("atom " + std::to_string(i + 1) + ": the coordinate " + shortest_text(x) +
                                   " \u00c5 does not fit zephor's checkpoint (0, or about 5.3e-100 to 5.29e+99 \u00c5 in size)");
    }
    check_separations(m);
    return for005_lines(m, charge);
}

std::string for005_lines(const MoleculeIn& m, int charge) {
    std::string out = "'";
    for (const char c : m.title) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '\'') out += "''";
        else out += (b < 0x20 || b == 0x7f) ? ' ' : c;
    }
    out += "'\n" + std::to_string(charge) + "\n";
    for (const AtomIn& a : m.atoms) {
        out += a.symbol;
        for (const double x : {a.x, a.y, a.z}) {
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
