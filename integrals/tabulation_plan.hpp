// The tables of the fast assembly, planned once per molecule: the atoms' exponent sets, the
// function types (kind, exponent set, coefficients), exp(-mu R^2)'s mu for every pair of sets and
// the geometry-free term prefix for every pair of types. Planning also decides whether the tables
// cover the input at all, and handles the floating-point flags the tables raise.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

#include "integrals/basis_view.hpp"

namespace zephor {

// |x| within [2^lo, 2^hi].
inline bool magnitude_within(double x, int lo, int hi) {
    const double m = std::fabs(x);
    return m >= std::ldexp(1.0, lo) && m <= std::ldexp(1.0, hi);
}

inline bool zero_or_within(double x, int lo, int hi) { return x == 0.0 || magnitude_within(x, lo, hi); }

struct Plan {
    std::size_t n = 0;
    std::size_t atoms = 0;
    std::vector<std::size_t> atom_start;  // functions of atom a: atom_funcs[atom_start[a] ...)
    std::vector<std::size_t> atom_funcs;  // ascending within each atom
    std::vector<int> kind;                // per function: 0 s, 1 + axis for p
    std::vector<int> type;                // per function
    std::vector<int> atom_set;            // per atom: its exponent set
    std::vector<unsigned char> atom_kinds;  // bit k set when the atom has a function of kind k
    std::vector<unsigned char> atom_nitrogen;
    std::vector<std::array<double, 6>> set_exp;
    std::size_t set_count = 0;
    std::size_t type_count = 0;
    std::vector<double> mu;      // (set a, set b): 36 values alpha*beta/(alpha+beta), [k*6+l]
    std::vector<double> prefix;  // (first type, second type): 36 geometry-free term prefixes
    // Every exponent, norm and prefix is so tame that, with an exponential of exactly zero, the
    // rest of a term can raise at most inexact; an all-zero block may then be skipped whole.
    bool tame = false;
};

// The tables for `basis`, or nothing when they do not cover it: the caller then takes the plain
// evaluation. Raises the flags of building the tables only when it returns a plan.
std::optional<Plan> make_plan(const BasisView& basis, std::size_t n);

}  // namespace zephor
