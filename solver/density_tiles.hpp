// The density's inner kernel: tiles of rows x columns held in vector registers.
#pragma once

#include <cstddef>
#include <vector>

namespace zephor {

// Tiles of up to 24 rows x 8 columns in registers (24 x 8 with AVX-512, 8 x 4 with AVX or SSE2);
// k in blocks of 256; column strips of 64.
inline constexpr std::size_t max_tile_rows = 24;
inline constexpr std::size_t max_tile_columns = 8;
inline constexpr std::size_t k_block = 256;
inline constexpr std::size_t strip_width = 64;

// Work space of one thread: packed panels and one tile.
struct Packed {
    std::vector<double> a;  // [k][rows]: c(i0 + r, k) + c(i0 + r, k), zero past the last row
    std::vector<double> b;  // [q / nc][k][q % nc], nc columns a tile: c(j_begin + q, k), 0 past the strip
    double tile[max_tile_columns * max_tile_rows];

    Packed() : a(k_block * max_tile_rows), b(k_block * strip_width) {}
};

// The vector width the strips use, in doubles: the widest of 8 (AVX-512), 4 (AVX) and 2 (SSE2)
// that both the processor and `widest` allow.
int density_width(int widest);

// Adds the terms of k = 0 .. occ-1 to one strip of columns [j_begin, j_end) of dens (n x n) for
// the upper triangle (rows up to j_end), or for the whole matrix when `all_rows`. Each element
// takes its terms (c(i,k) + c(i,k)) * c(j,k) one by one in ascending k, whatever `width`
// (a value of density_width).
void density_strip(const double* c, std::size_t n, std::size_t occ, std::size_t j_begin,
                   std::size_t j_end, bool all_rows, double* dens, Packed& pk, int width);

}  // namespace zephor
