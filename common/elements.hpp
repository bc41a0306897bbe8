// The chemistry facts every program shares, each stated once: the periodic table's symbols, the
// six elements zephor computes (atomic number, valence electrons, basis functions and shells),
// and the rule that turns valence electrons and a charge into doubly occupied orbitals.
// zephor's parameters for the six (level energies, STO-6G tables) are integrals/element_table.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zephor {

// Symbols by atomic number (index 0 is empty), in their usual form: capital, then small.
inline constexpr std::array<std::string_view, 119> periodic_symbols = {
    "",   "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",  "S",
    "Cl", "Ar", "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn", "Ga", "Ge", "As",
    "Se", "Br", "Kr", "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Tc", "Ru", "Rh", "Pd", "Ag", "Cd", "In", "Sn",
    "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho",
    "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re", "Os", "Ir", "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po",
    "At", "Rn", "Fr", "Ra", "Ac", "Th", "Pa", "U",  "Np", "Pu", "Am", "Cm", "Bk", "Cf", "Es", "Fm", "Md",
    "No", "Lr", "Rf", "Db", "Sg", "Bh", "Hs", "Mt", "Ds", "Rg", "Cn", "Nh", "Fl", "Mc", "Lv", "Ts", "Og"};

// The atomic number of a symbol in its usual form ("Cl", not "CL"), 0 for none.
constexpr int atomic_number_of(std::string_view symbol) {
    if (symbol.empty()) return 0;
    for (std::size_t z = 1; z < periodic_symbols.size(); ++z)
        if (periodic_symbols[z] == symbol) return static_cast<int>(z);
    return 0;
}

// One of the six elements: a minimal valence basis of one s function (H) or s, px, py, pz.
struct SupportedElement {
    char letter;                      // the symbol, one capital letter
    std::int32_t atomic_number;
    std::int32_t valence_electrons;
    std::int32_t functions;           // 1 (s) or 4 (s, px, py, pz)
    std::int32_t shells;              // 1 (s) or 2 (s, p)
    double covalent_radius = 0.0;     // Angstrom, single-bond radius; for drawing bonds only
};

inline constexpr std::array<SupportedElement, 6> supported_elements{{
    {'H', 1, 1, 1, 1, 0.31},
    {'B', 5, 3, 4, 2, 0.84},
    {'C', 6, 4, 4, 2, 0.76},
    {'N', 7, 5, 4, 2, 0.71},
    {'O', 8, 6, 4, 2, 0.66},
    {'F', 9, 7, 4, 2, 0.57},
}};

// The six letters in the order zephor's counting pass knows them (and the fuzzers map bytes to).
inline constexpr std::string_view element_letters = "FBONHC";

// How messages name the six: "H, B, C, N, O, F".
inline constexpr std::string_view supported_list = "H, B, C, N, O, F";

// The element whose symbol is `letter`, nullptr for any other character.
constexpr const SupportedElement* supported_element(char letter) {
    for (const SupportedElement& e : supported_elements)
        if (e.letter == letter) return &e;
    return nullptr;
}

// The element of atomic number `z` among the six, nullptr for any other.
constexpr const SupportedElement* supported_element_number(std::int32_t z) {
    for (const SupportedElement& e : supported_elements)
        if (e.atomic_number == z) return &e;
    return nullptr;
}

// The occupancy rule. Electrons are the valence electrons less the charge; the orbitals are doubly
// occupied from the lowest, electrons / 2 of them, an odd last electron dropped (none for a count
// of zero or less). A molecule is refused when that asks for more orbitals than basis functions.
constexpr std::int64_t electron_count(std::int64_t valence_electrons, std::int64_t charge) {
    return valence_electrons - charge;
}

constexpr std::int64_t doubly_occupied(std::int64_t electrons) { return electrons > 0 ? electrons / 2 : 0; }

constexpr bool occupancy_fits(std::int64_t electrons, std::int64_t functions) {
    return doubly_occupied(electrons) <= functions;
}

}  // namespace zephor
