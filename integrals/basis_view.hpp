// The molecule's basis as the assembly and the writers read it: read-only views of the arrays the
// driver owns. Per atom, per basis function (numbered atom by atom, s before px, py, pz) and per
// shell (s shell before p shell); atoms are numbered from 1 inside the arrays.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "integrals/element_table.hpp"

namespace zephor {

struct BasisView {
    std::int32_t atom_count = 0;
    std::int32_t basis_count = 0;
    std::int32_t shell_count = 0;
    std::span<const std::string> symbol;          // per atom: 4 characters, "C   "
    std::span<const double> r;                    // 3 x atom_count, bohr
    std::span<const std::int32_t> atomic_number;  // per atom
    std::span<const Label> g;                     // 6 x basis_count primitive labels
    std::span<const double> alfa;                 // 6 x basis_count exponents, bohr^-2
    std::span<const double> d;                    // 6 x basis_count contraction coefficients
    std::span<const std::int32_t> basis_atom;     // per function: its atom
    std::span<const std::int32_t> shell_type;     // per shell: 0 = s, 1 = p
    std::span<const std::int32_t> shell_atom;     // per shell: its atom
};

}  // namespace zephor
