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

// `orbital` counts from 1. Throws RequestError for an orbital out of range, a spacing or margin
// that the header cannot state exactly, or a grid of more than max_cube_points points.
std::string cube_text(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const CubeGrid& grid);

inline constexpr std::int64_t max_cube_points = 50'000'000;

// The value of orbital `orbital` (from 1) at the point p (bohr).
double orbital_value(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const double* p);

}  // namespace zephor::exporter
