// The files of a run, with the numbered handles that reports name them by, and the largest basis
// the run can hold.
#pragma once

#include <cstdint>

namespace zephor {

inline constexpr const char* input_file_name = "FOR005";
inline constexpr const char* report_file_name = "FOR006";
inline constexpr const char* checkpoint_file_name = "FOR007";

// FOR005 is read on handle 13 in the counting and sizing passes and on handle 10, held open to
// the end of the run, in the reading pass; FOR006 is written on 11 and FOR007 on 13.
inline constexpr int sizing_unit = 13;
inline constexpr int reading_unit = 10;
inline constexpr int report_unit = 11;
inline constexpr int checkpoint_unit = 13;

// The orbital coefficients are counted in a signed 32-bit product n * n, so n is at most 46340.
inline constexpr std::int64_t max_basis_count = 46340;

}  // namespace zephor
