// A molecule as zephor-import reads it from a chemist's file, before it becomes a FOR005:
// element symbols, Cartesian coordinates in Angstrom, a title and, where the file states one,
// the total charge.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zephor::importer {

struct AtomIn {
    std::string symbol;  // as normalised by element_symbol(): "C", "Cl", "X" for a dummy
    double x = 0.0, y = 0.0, z = 0.0;  // Angstrom
};

struct MoleculeIn {
    std::string title;
    std::optional<int> charge;
    std::vector<AtomIn> atoms;
};

// "c", "CL" and "Cl" all become "Cl"'s form: first letter capital, the rest small. A number is
// taken as an atomic number ("6" -> "C") for the elements of the first two rows.
std::string element_symbol(std::string_view text);

// Throws ContentError "atom N: Cl is not one of H, B, C, N, O, F" (N from 1) for the first atom
// zephor cannot compute, and "the file holds no atom" for an empty molecule.
void check_elements(const MoleculeIn& m);

}  // namespace zephor::importer
