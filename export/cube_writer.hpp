// Gaussian cube file of one orbital on a regular grid around the molecule: lengths in bohr,
// values in bohr^-3/2, the orbital normalised against the overlap.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/grid_axes.hpp"

namespace zephor::exporter {

struct Checkpoint;
struct Orbitals;

struct CubeGrid {
    double spacing = 0.25;  // bohr, at most six decimals
    double margin = 6.0;    // bohr beyond the outermost atoms on every side
    // Gaussian's orbital-cube header (a negative atom count, the orbital's number after the
    // atoms), which gabedit needs to take the values as an orbital; ASE 3.22 reads only the plain
    // form (false).
    bool orbital_header = true;
};

// `orbital` counts from 1. Throws RequestError as check_cube does.
std::string cube_text(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const CubeGrid& grid);

// The cubes of several orbitals (from 1) in one pass over the grid, slab of planes by slab, so
// that only a slab's values are held: sink(m, text) receives the successive pieces of the cube of
// orbitals[m], which joined in order are cube_text's. Every orbital is checked first.
void write_cubes(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals, const CubeGrid& grid,
                 const std::function<void(std::size_t, std::string_view)>& sink);

// The cube of `orbital` with the given values at the points of cube_axes (in the grid's order):
// how a grid evaluated some other way (the plain one) is written.
std::string cube_text(const Checkpoint& c, std::int32_t orbital, const CubeGrid& grid, const std::vector<double>& values);

// The points of the cube around the molecule: its origin (exact in six decimals), counts and step.
// The grid must have been checked (check_cube).
GridAxes cube_axes(const Checkpoint& c, const CubeGrid& grid);

// At most 50 million points: a 650 MB cube, held in memory once.
inline constexpr std::int64_t max_cube_points = 50'000'000;

// Throws RequestError for an orbital out of range, a spacing or margin that the header cannot
// state exactly, or a grid of more than max_cube_points points.
void check_cube(const Checkpoint& c, std::int32_t orbital, const CubeGrid& grid);

// The number of points of the grid around the molecule, in floating point so that far-apart
// atoms give a large number (or infinity) rather than a wrapped integer.
double cube_point_count(const Checkpoint& c, const CubeGrid& grid);

// A point count for a message: the integer, or about three digits and the power of ten when it
// is too large for one.
std::string point_count_text(double points);

}  // namespace zephor::exporter
