// Z-matrix conversion: bond lengths (Angstrom), bond angles and dihedral angles (degrees) turned
// into Cartesian coordinates.
//
// The usual layout: the first atom alone; the second with a bond length to a reference atom; the
// third with a length and an angle; every later one with a length, an angle and a dihedral.
// References are atom numbers (from 1, dummy atoms counted) or labels of earlier lines; values
// are numbers or variables, a variable negated by a leading "-", defined after a blank line as
// "R1=1.09" or "R1 1.09". A label's element is read by element_of_label ("C1", "Cl2", "CO1" is
// cobalt); dummy atoms (labels whose element reads "X": "X", "X1", not "Xe") are placed and then
// left out. Bond lengths are at most max_coordinate, dihedrals -360 to 360 degrees.
//
// Orientation: the first atom at the origin, the second on +z, the third in the xz-plane on the
// side of +x; dihedral angles follow the usual sign (looking along b->a for atom i bonded to a,
// angled at b, twisted against c, positive is clockwise).
#pragma once

#include <string>
#include <string_view>

#include "import/molecule_in.hpp"

namespace zephor::importer {

// A plain Z-matrix (.zmat): optional comment lines starting with '#' or '!' first, then the atom
// lines, a blank line and the variables. The title is left empty for the caller.
MoleculeIn read_zmatrix(std::string_view text, const std::string& name);

// A Z-matrix in a Gaussian input (.gzmat): "%" and "#" lines, a blank line, the title, a blank
// line, "charge multiplicity", then the Z-matrix as above ("Variables:" and "Constants:" headers
// allowed).
MoleculeIn read_gaussian_zmatrix(std::string_view text, const std::string& name);

}  // namespace zephor::importer
