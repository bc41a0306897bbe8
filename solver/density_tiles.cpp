// Each element's lane runs its own additions in ascending k; the vector width only decides how
// many elements advance together. A tile's partial sums wait in `dens` between blocks of k, which
// changes nothing, as every step rounds to double. Compiled for AVX and for plain SSE2, picked at
// run time: the same operations on the same values either way (no FMA).
#include "solver/density_tiles.hpp"

#include <algorithm>

#include "solver/wide_vectors.hpp"

namespace zephor {

namespace {

using wide::v4d;

constexpr std::size_t mr = tile_rows;
constexpr std::size_t nr = tile_columns;
constexpr std::size_t kc = k_block;
constexpr std::size_t nb = strip_width;


}  // namespace

__attribute__((target_clones("avx", "default")))
// One strip of columns [j_begin, j_end) of the upper triangle (rows up to j_end), or of the
// whole matrix when `all_rows`. Each element's lane runs its own additions in ascending k;
// the vector width only decides how many elements advance together. Compiled for AVX and for
// plain SSE2, picked at run time: the same operations on the same values either way.
void density_strip(const double* c, std::size_t n, std::size_t occ, std::size_t j_begin,
                   std::size_t j_end, bool all_rows, double* dens, Packed& pk) {
    const std::size_t width = j_end - j_begin;
    const std::size_t rows = all_rows ? n : j_end;
    for (std::size_t k0 = 0; k0 < occ; k0 += kc) {
        // The first chunk starts every sum from +0 itself, as the plain loop does, so that dens
        // need not be cleared first.
        const bool first = k0 == 0;
        const std::size_t k1 = std::min(occ, k0 + kc);
        const std::size_t kn = k1 - k0;
        for (std::size_t k = 0; k < kn; ++k) {
            const double* ck = c + (k0 + k) * n;
            // Four columns at a time, each group's k one after another: a tile reads its columns'
            // values in one sequence.
            for (std::size_t q = 0; q < nb; ++q) pk.b[(q / nr) * kc * nr + k * nr + q % nr] = q < width ? ck[j_begin + q] : 0.0;
        }
        for (std::size_t i0 = 0; i0 < rows; i0 += mr) {
            const std::size_t mi = std::min(mr, n - i0);
            for (std::size_t k = 0; k < kn; ++k) {
                const double* ck = c + (k0 + k) * n + i0;
                if (mi == mr) {
                    // A whole tile's rows doubled four at a time: the same c + c in every lane.
                    v4d lo, hi;
                    wide::load(lo, ck);
                    wide::load(hi, ck + 4);
                    wide::store(&pk.a[k * mr], lo + lo);
                    wide::store(&pk.a[k * mr + 4], hi + hi);
                } else {
                    for (std::size_t r = 0; r < mr; ++r) pk.a[k * mr + r] = r < mi ? ck[r] + ck[r] : 0.0;
                }
            }
            for (std::size_t j0 = j_begin; j0 < j_end; j0 += nr) {
                if (!all_rows && i0 >= j0 + nr) continue;  // wholly below the diagonal
                const std::size_t nj = std::min(nr, j_end - j0);
                // A whole tile is read from and written to dens directly; a partial one goes
                // through pk.tile, zero outside the matrix.
                const bool whole = nj == nr && mi == mr;
                double* t = &pk.tile[0];
                std::size_t ldt = mr;
                if (whole) {
                    t = dens + i0 + j0 * n;
                    ldt = n;
                } else {
                    for (std::size_t q = 0; q < nr; ++q)
                        for (std::size_t r = 0; r < mr; ++r)
                            pk.tile[q * mr + r] = (!first && q < nj && r < mi) ? dens[i0 + r + (j0 + q) * n] : 0.0;
                }
                // Eight accumulators spelled out, so that they live in registers.
                v4d c00 = {}, c01 = {}, c10 = {}, c11 = {}, c20 = {}, c21 = {}, c30 = {}, c31 = {};
                if (!first) {
                    wide::load(c00, t);
                    wide::load(c01, t + 4);
                    wide::load(c10, t + ldt);
                    wide::load(c11, t + ldt + 4);
                    wide::load(c20, t + 2 * ldt);
                    wide::load(c21, t + 2 * ldt + 4);
                    wide::load(c30, t + 3 * ldt);
                    wide::load(c31, t + 3 * ldt + 4);
                }
                const double* bp = &pk.b[(j0 - j_begin) / nr * kc * nr];
                const double* ap = pk.a.data();
                for (std::size_t k = 0; k < kn; ++k) {
                    v4d a0, a1;
                    wide::load(a0, ap + k * mr);
                    wide::load(a1, ap + k * mr + 4);
                    const double* bk = bp + k * nr;
                    const v4d b0 = {bk[0], bk[0], bk[0], bk[0]};
                    c00 = c00 + a0 * b0;
                    c01 = c01 + a1 * b0;
                    const v4d b1 = {bk[1], bk[1], bk[1], bk[1]};
                    c10 = c10 + a0 * b1;
                    c11 = c11 + a1 * b1;
                    const v4d b2 = {bk[2], bk[2], bk[2], bk[2]};
                    c20 = c20 + a0 * b2;
                    c21 = c21 + a1 * b2;
                    const v4d b3 = {bk[3], bk[3], bk[3], bk[3]};
                    c30 = c30 + a0 * b3;
                    c31 = c31 + a1 * b3;
                }
                wide::store(t, c00);
                wide::store(t + 4, c01);
                wide::store(t + ldt, c10);
                wide::store(t + ldt + 4, c11);
                wide::store(t + 2 * ldt, c20);
                wide::store(t + 2 * ldt + 4, c21);
                wide::store(t + 3 * ldt, c30);
                wide::store(t + 3 * ldt + 4, c31);
                if (!whole)
                    for (std::size_t q = 0; q < nj; ++q)
                        for (std::size_t r = 0; r < mi; ++r) dens[i0 + r + (j0 + q) * n] = pk.tile[q * mr + r];
            }
        }
    }
}
}  // namespace zephor
