// The density's inner kernel: tiles of 8 rows x 4 columns held in vector registers.
#pragma once

#include <cstddef>
#include <vector>

namespace zephor {

// Tiles of 8 rows x 4 columns in registers; k in blocks of 256; column strips of 64.
inline constexpr std::size_t tile_rows = 8;
inline constexpr std::size_t tile_columns = 4;
inline constexpr std::size_t k_block = 256;
inline constexpr std::size_t strip_width = 64;

// Work space of one thread: packed panels and one tile.
struct Packed {
    std::vector<double> a;  // [k][8]: c(i0 + r, k) + c(i0 + r, k), zero past the last row
    std::vector<double> b;  // [q / 4][k][q % 4]: c(j_begin + q, k), zero past the strip
    double tile[tile_columns * tile_rows];

    Packed() : a(k_block * tile_rows), b(k_block * strip_width) {}
};

// Adds the terms of k = 0 .. occ-1 to one strip of columns [j_begin, j_end) of dens (n x n) for
// the upper triangle (rows up to j_end), or for the whole matrix when `all_rows`. Each element
// takes its terms (c(i,k) + c(i,k)) * c(j,k) one by one in ascending k.
void density_strip(const double* c, std::size_t n, std::size_t occ, std::size_t j_begin,
                   std::size_t j_end, bool all_rows, double* dens, Packed& pk);

}  // namespace zephor
