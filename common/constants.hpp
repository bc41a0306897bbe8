// The physical and method constants of the program, each with its unit. Every non-integer one is
// a single-precision number widened to double, and the arithmetic uses exactly that value.
#pragma once

namespace zephor {

// Bohr radius, Angstrom per bohr (0.529177188873291015625 exactly): Angstrom / this = bohr.
inline constexpr double bohr_in_angstrom = double(0.5291772f);

// Hartree per eV (0.036749310791492462158203125 exactly): eV * this = hartree.
inline constexpr double hartree_per_ev = double(0.03674931f);

// Wolfsberg-Helmholz constant 1.75, applied as half of it to the sum of the two level energies
// (eV): ham(i,m) = (ham(i,i) + ham(m,m)) * 0.875 * s(i,m). Exact in any precision.
inline constexpr double wolfsberg_helmholz_half = 0.875;

// Every pair with a function on a nitrogen atom takes this many eV times the overlap:
// ham(i,m) = -(35 * s(i,m)).
inline constexpr double nitrogen_pair_ev = 35.0;

}  // namespace zephor
