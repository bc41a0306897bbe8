// Element symbols as chemists write them, and the six elements zephor computes.
#include "import/molecule_in.hpp"

#include <cctype>

#include "import/errors.hpp"

namespace zephor::importer {

namespace {

// Symbols of the first 36 elements, enough to name what a file holds when it is refused.
constexpr const char* periodic[] = {"",   "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg",
                                    "Al", "Si", "P",  "S",  "Cl", "Ar", "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn",
                                    "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As", "Se", "Br", "Kr"};

bool computable(const std::string& s) {
    return s == "H" || s == "B" || s == "C" || s == "N" || s == "O" || s == "F";
}

}  // namespace

std::string element_symbol(std::string_view text) {
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        int z = 0;
        for (const char c : text) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || z > 1000) return std::string(text);
            z = 10 * z + (c - '0');
        }
        if (z >= 1 && z < static_cast<int>(std::size(periodic))) return periodic[z];
        return std::string(text);
    }
    std::string s(text);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        s[i] = static_cast<char>(i == 0 ? std::toupper(c) : std::tolower(c));
    }
    return s;
}

void check_elements(const MoleculeIn& m) {
    if (m.atoms.empty()) throw ContentError("the file holds no atom");
    for (std::size_t i = 0; i < m.atoms.size(); ++i)
        if (!computable(m.atoms[i].symbol))
            throw ContentError("atom " + std::to_string(i + 1) + ": " + shown(m.atoms[i].symbol) +
                               " is not one of H, B, C, N, O, F");
}

}  // namespace zephor::importer
