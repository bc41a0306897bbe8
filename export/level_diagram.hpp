// The pictures chemists look at first: the molecular-orbital energy-level diagram and the density
// of states, drawn with cairo into SVG, PNG or PDF (chosen by the file name's extension) from one
// drawing code, into memory. Energies in eV.
#pragma once

#include <string>
#include <vector>

namespace zephor::exporter {

struct LevelData {
    std::string title;                // FOR005's title ("" when unknown)
    std::string formula;              // Hill order: C and H first, then alphabetical
    std::vector<double> energies_ev;  // every orbital, ascending
    int occupied = 0;                 // doubly occupied orbitals
};

struct EnergyWindow {
    double min_ev, max_ev;
};

// HOMO - 15 eV to LUMO + 10 eV (or around the lowest or highest level when there is no HOMO or
// LUMO).
EnergyWindow default_window(const LevelData& d);

// Level line width in the drawing (points), by which a reader of the SVG can count the levels.
inline constexpr double level_line_width = 2.5;

enum class PictureFormat { svg, png, pdf };

// The format a picture's file name asks for by its extension (in any case); RequestError for an
// extension other than .svg, .png or .pdf.
PictureFormat picture_format(const std::string& path);

// The pictures are drawn into memory and returned as the file's bytes, which the caller writes
// whole. RequestError when cairo cannot draw (std::bad_alloc for memory).

// One short horizontal line per orbital inside the window, degenerate levels (within 1e-4 eV) side
// by side at one height; distinct levels closer than a few points moved apart on the page, each
// joined by a thin leader to a tick at its true energy; each occupied level with its electron
// pair (two arrows), HOMO and LUMO labelled and the gap written, title and formula on top.
std::string levels_picture(const LevelData& d, const EnergyWindow& w, PictureFormat format);

// RequestError unless the broadening is a positive number of eV.
void check_broadening(double broadening_ev);

// The density of states: each orbital a Gaussian of standard deviation `broadening_ev` holding two
// electrons' states, summed over the window, the occupied part shaded.
std::string dos_picture(const LevelData& d, const EnergyWindow& w, double broadening_ev, PictureFormat format);

// Groups drawn side by side: [first, last) index ranges of orbitals within `tolerance_ev` of the
// group's first (1e-4 eV for degenerate levels).
std::vector<std::pair<int, int>> degenerate_groups(const std::vector<double>& energies_ev, double tolerance_ev = 1e-4);

}  // namespace zephor::exporter
