// The plain evaluation of an orbital, point by point over every shell: the reference that the
// factorised grid evaluation (export/orbital_grid.hpp) is measured against. Lengths in bohr,
// values in bohr^-3/2, the orbitals as exported (normalised against the overlap).
#pragma once

#include <cstdint>
#include <vector>

#include "export/grid_axes.hpp"

namespace zephor::exporter {

struct Checkpoint;
struct Orbitals;

// Per primitive (six per shell): the written coefficient (contraction norm folded in) times the
// primitive's normalisation, (2a/pi)^(3/4) for s and (128 a^5/pi^3)^(1/4) for p.
std::vector<double> primitive_factors(const Checkpoint& c, const Orbitals& o);

// The value at p (bohr) of the orbital with coefficients `coef` (basis_count of them), given the
// primitive factors above.
double orbital_value_at(const Checkpoint& c, const double* coef, const std::vector<double>& factor, const double* p);

// The value of orbital `orbital` (from 1) at the point p (bohr).
double orbital_value(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const double* p);

// Every point of the grid, one orbital (from 1) after the other, each point evaluated as
// orbital_value does: orbitals.size() x points values, in the grid's order.
std::vector<double> plain_grid_values(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals,
                                      const GridAxes& axes);

}  // namespace zephor::exporter
