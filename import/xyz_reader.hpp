// XYZ files: a count line, a comment line (the title), then one "symbol x y z" line per atom in
// Angstrom; several molecules may follow one another.
#pragma once

#include <string>
#include <string_view>

#include "import/molecule_in.hpp"

namespace zephor::importer {

// Molecule number `index` (from 1) of the file's text; `name` is used in messages only
// ("name:line: ..."). The symbol is read as a label (element_of_label: "C", "Cl", "C1", "6").
// Further fields after z (extended XYZ) are ignored. Throws ContentError.
MoleculeIn read_xyz(std::string_view text, const std::string& name, int index = 1);

}  // namespace zephor::importer
