// The plain evaluation of the overlap and Hamiltonian assembly: every one of the 36 primitive
// pairs of every pair of functions through s2, sp, p2 and pp. It serves the inputs the tables of
// the fast path do not cover, and is the reference that path is tested against, bit for bit and
// flag for flag.
#pragma once

#include <vector>

#include "integrals/basis_view.hpp"

namespace zephor {

// Same contract as s_h_matrix. Elements are independent and each is summed on one thread in
// k, l order, so OpenMP threads (for large bases) do not change a bit.
void s_h_matrix_reference(std::vector<double>& s, std::vector<double>& ham, const BasisView& basis,
                          std::vector<double>& norm);

}  // namespace zephor
