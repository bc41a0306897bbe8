// One self-contained HTML page of the run for the browser: the molecule in 3D (3Dmol.js, inlined),
// the energy-level diagram and the orbital table with every orbital clickable, the chosen orbital
// as two isosurfaces with an isovalue slider, Mulliken charges and Mayer bond orders. The page
// carries the basis and every orbital's coefficients and evaluates a shown orbital's grid itself
// (in a Web Worker); nothing is fetched when the page is viewed.
#pragma once

#include <string>
#include <vector>

#include "export/checkpoint_reader.hpp"
#include "export/orbitals.hpp"
#include "export/population_analysis.hpp"
#include "export/report_reader.hpp"

namespace zephor::exporter {

// The orbitals a page lists: its level diagram opens framing them and it evaluates their grids
// ahead of a click. HOMO - 3 to LUMO + 3 (numbers from 1, within the molecule's orbitals), or the
// list given ("1,5,homo,lumo").
std::vector<std::int32_t> page_orbitals(const Checkpoint& c, const std::string& list);

// Throws RequestError when the report is not of the checkpoint's run, or the molecule is too
// large for the page's grids (more than a million points each at the coarsest spacing).
void check_page(const Checkpoint& c, const Report& r);

// `library_js` is the text of 3Dmol-min.js. Throws RequestError as check_page does. The page's
// coarse grid has a spacing chosen for about 100,000 points, its fine grid half that spacing; both
// are laid out as --cube lays out a grid of that spacing and a 5 bohr margin.
// Atoms are coloured by their Mulliken charges and bonds labelled with Mayer bond orders (of
// `a`), for the pairs that are bonded (page_bonds).
std::string results_page(const Checkpoint& c, const Orbitals& o, const Report& r, const Analysis& a,
                         const std::vector<std::int32_t>& orbitals, const std::string& library_js);

// The bonded pairs the page labels: Mayer order at least 0.3, or closer than 1.2 times the sum of
// the atoms' covalent radii; each with its Mayer order.
std::vector<AtomPair> page_bonds(const Checkpoint& c, const Analysis& a);

// The text of 3Dmol-min.js, built into the program (embedded_3dmol.cpp), so that an installed or
// moved zephor-export needs no file of its own.
std::string read_3dmol_library();

}  // namespace zephor::exporter
