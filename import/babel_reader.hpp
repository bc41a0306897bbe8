// The formats read through the Open Babel library: SDF/MOL, MOL2, PDB, CML, and SMILES (given 3D
// coordinates). Hydrogens are made explicit; a formal charge in the file becomes the charge.
// This runs the library in the calling process: zephor-import calls it in a child process
// (sandboxed_reader.hpp), since a hostile file can crash the library or keep it busy.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "import/molecule_in.hpp"

namespace zephor::importer {

// `format` is Open Babel's name for it: "sdf", "mol", "mol2", "pdb", "cml" or "smi". The atoms
// are checked as read, before hydrogens are added, and again after, so that a molecule zephor
// cannot compute (an element other than H, B, C, N, O, F; more basis functions than a run holds)
// is refused before the slow part. Only then, for SMILES or a file without 3D coordinates, does
// `building_starts` run and are the atoms placed by Open Babel's builder and relaxed with the
// MMFF94 force field (UFF where MMFF94 has no parameters), which gives the same coordinates every
// time. Throws ContentError when Open Babel finds no molecule or the molecule is refused,
// FileError for a format it does not know.
MoleculeIn read_with_babel(std::string_view text, const std::string& format, const std::string& name,
                           const std::function<void()>& building_starts = [] {});

}  // namespace zephor::importer
