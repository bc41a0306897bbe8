// The six elements ZEPHOR knows (H, B, C, N, O, F): the shared facts of common/elements.hpp
// (atomic number, valence electrons, functions, shells) beside zephor's own parameters, the
// extended-Hueckel s- and p-level energies (eV) and the STO-6G contractions (exponents in bohr^-2).
// Every non-integer constant is a single-precision number widened to double.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zephor {

// A primitive's label: "ss", "px", "py" or "pz" followed by two blanks.
using Label = std::array<char, 4>;
inline constexpr Label label_ss{'s', 's', ' ', ' '};
inline constexpr Label label_px{'p', 'x', ' ', ' '};
inline constexpr Label label_py{'p', 'y', ' ', ' '};
inline constexpr Label label_pz{'p', 'z', ' ', ' '};

struct ElementData {
    char letter;
    std::int32_t atomic_number;
    double valence;                 // valence electrons, as a double for the charges
    std::int32_t valence_electrons; // the same, for the electron tally
    std::int32_t functions;         // 1 (s) or 4 (s, px, py, pz)
    std::int32_t shells;            // 1 (s) or 2 (s, p)
    double s_level;                 // eV
    double p_level;                 // eV; unused for hydrogen
    std::array<double, 6> exponents;  // bohr^-2, shared by all functions of the atom
};

// The element whose symbol is the single capital `letter`, or nullptr for any other character.
const ElementData* element_by_letter(char letter);

// Contraction coefficients of the six primitives: hydrogen 1s, and the 2s and 2p of B to F.
extern const std::array<double, 6> coef_1s;
extern const std::array<double, 6> coef_2s;
extern const std::array<double, 6> coef_2p;

// What `element` hands to the driver for one atom: 6 x count labels, exponents and coefficients,
// column by column in the order s, px, py, pz.
struct ElementTables {
    std::vector<Label> gi;
    std::vector<double> ai;
    std::vector<double> di;
    std::int32_t count = 0;
};

// The tables of the element named by the first character of `symbol` (compared with C, H, B, N,
// O, F in that order); nothing for any other first character.
std::optional<ElementTables> element(std::string_view symbol);

}  // namespace zephor
