// Gaussian cube file of one orbital on a regular grid around the molecule: lengths in bohr,
// values in bohr^-3/2, the orbital normalised against the overlap.
#pragma once

#include <cstdint>
#include <string>

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

// The value of orbital `orbital` (from 1) at the point p (bohr).
double orbital_value(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const double* p);

}  // namespace zephor::exporter
