// A molecule as zephor-import reads it from a chemist's file, before it becomes a FOR005:
// element symbols, Cartesian coordinates in Angstrom, a title and, where the file states one,
// the total charge.
#pragma once

#include <optional>
#include <string>
#include <string_view>
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
// taken as an atomic number ("6" -> "C", "80" -> "Hg").
std::string element_symbol(std::string_view text);

// The element of an atom's label, the same rule in every reader: the two leading letters when
// they name an element of the periodic table, in any case ("Cl1", "CL1", "Hg2", and "CO1", which
// is cobalt), else the first letter ("C1", "HA" -> H; "X1" -> "X", a Z-matrix's dummy). A label
// that does not start with a letter is read by element_symbol() ("6" -> "C").
std::string element_of_label(std::string_view label);

// Throws ContentError "atom N: Cl is not one of H, B, C, N, O, F" (N from 1) for the first atom
// zephor cannot compute, and "the file holds no atom" for an empty molecule.
void check_elements(const MoleculeIn& m);

// The closest two atoms may come (Angstrom): nearer, zephor's overlap matrix is too close to
// singular to be solved, and no molecule has such a bond.
inline constexpr double min_separation = 0.1;

// Throws ContentError "atoms 2 and 3 are 0.000 Å apart (closer than 0.1 Å)" for the first atom
// (in file order) closer than min_separation to an earlier one, naming the earliest such. The
// coordinates must be finite. Atoms are binned in a grid of cells, so that each is compared only
// with those of its own and the 26 neighbouring cells: linear time for any number of atoms.
void check_separations(const MoleculeIn& m);

}  // namespace zephor::importer
