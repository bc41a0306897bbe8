// The three passes over the molecule file FOR005: counting the atom lines, sizing (title, charge,
// symbol letters) and reading (symbols and coordinates), the last two through list-directed
// reads (list_reader.hpp). Coordinates come in as Angstrom and leave as bohr.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/elements.hpp"
#include "driver/list_reader.hpp"

namespace zephor {

// Pass 1: the number of lines whose first character is one of the six element letters
// (element_letters).
std::int32_t count_atom_lines(std::string_view data);

// What pass 2 yields: title, charge and the symbol letter of each atom.
struct SizingInput {
    std::string title;        // 100 characters
    std::int32_t charge = 0;
    int charge_line = 0;      // input line of the charge, for reports about it
    std::vector<char> letters;
};

// Pass 2 over handle 13. A letter that is none of the six fails the read with
// "Unknown element symbol 'X' for atom N".
SizingInput read_sizing_pass(std::string_view data, std::int32_t atom_count);

// Pass 3 over handle 10: symbols and coordinates into `symbol` and `r` (already sized by the
// caller to atom_count and 3 * atom_count). A symbol that is not exactly one of the six letters
// fails the read with "Unknown element symbol 'Cl' for atom N"; a coordinate whose bohr value
// overflows fails like any real that overflows.
void read_atom_pass(std::string_view data, std::int32_t atom_count, std::string& title,
                    std::int32_t& charge, std::vector<std::string>& symbol, std::vector<double>& r);

}  // namespace zephor
