// The density of the doubly occupied, unit-length orbitals (no overlap term enters).
#pragma once

#include <cstdint>
#include <vector>

namespace zephor {

// dens(i,j) = sum over occupied k of (c(i,k) + c(i,k)) * c(j,k), added in ascending k from 0.
// `dens` is resized to n x n; all zero when occupied_count <= 0. The same bits as
// density_matrix_reference (population_reference.hpp) on any number of threads, with vectors
// of at most `widest` doubles (8, 4 or 2; the widest the processor has unless a test asks).
void density_matrix(const std::vector<double>& mo_coef, std::int32_t n,
                    std::int32_t occupied_count, std::vector<double>& dens, int widest = 8);

}  // namespace zephor
