// The fast assembly of the overlap and the Hamiltonian: exponentials shared per atom pair,
// geometry-free term prefixes tabulated per pair of function types, OpenMP threads over atoms.
#pragma once

#include <vector>

#include "integrals/basis_view.hpp"

namespace zephor {

// The results of s_h_matrix_reference, bit for bit and with the same floating-point flags.
// Returns false, having written nothing, for inputs its tables do not cover (labels or
// exponents that are not one atom's shared set, more than 32 exponent sets or 64 function types,
// or tables that would raise more than inexact).
bool s_h_matrix_tabulated(std::vector<double>& s, std::vector<double>& ham, const BasisView& basis,
                          std::vector<double>& norm);

}  // namespace zephor
