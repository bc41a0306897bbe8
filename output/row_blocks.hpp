// Row blocks: a list written five values to a line (I12 or ES16.8E2 fields), the last line
// holding what is left, and no line at all for an empty list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "output/output_file.hpp"

namespace zephor {

// Whether value i (from 0) of a list of `count` ends its line.
inline bool ends_row(std::size_t i, std::size_t count) { return i % 5 == 4 || i + 1 == count; }

void write_int_rows(OutputFile& f, std::span<const std::int32_t> values);

// Long lists (the orbital coefficients) are formatted on OpenMP threads in chunks of whole lines
// and stored in list order, so the bytes are those of one pass.
void write_real_rows(OutputFile& f, std::span<const double> values);

// Allocates now the work space that write_real_rows needs for a list of `values` reals.
void reserve_row_block(OutputFile& f, std::size_t values);

}  // namespace zephor
