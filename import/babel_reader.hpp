// The formats read through the Open Babel library: SDF/MOL, MOL2, PDB, CML, and SMILES (given 3D
// coordinates). Hydrogens are made explicit; a formal charge in the file becomes the charge.
#pragma once

#include <string>
#include <string_view>

#include "import/molecule_in.hpp"

namespace zephor::importer {

// `format` is Open Babel's name for it: "sdf", "mol", "mol2", "pdb", "cml" or "smi". For SMILES
// the atoms are placed by Open Babel's builder and relaxed with the MMFF94 force field (UFF where
// MMFF94 has no parameters), which gives the same coordinates every time. Throws ContentError
// when Open Babel finds no molecule, FileError for a format it does not know.
MoleculeIn read_with_babel(std::string_view text, const std::string& format, const std::string& name);

}  // namespace zephor::importer
