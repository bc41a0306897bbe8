// Each element's lane runs its own additions in ascending k; the vector width only decides how
// many elements advance together. A tile's partial sums wait in `dens` between blocks of k, which
// changes nothing, as every step rounds to double. Compiled for AVX-512, AVX and plain SSE2,
// picked at run time: the same operations on the same values either way (no FMA).
#include "solver/density_tiles.hpp"

#include <algorithm>

#include "solver/wide_vectors.hpp"

namespace zephor {

namespace {

using wide::v4d;
using wide::v8d;

constexpr std::size_t kc = k_block;
constexpr std::size_t nb = strip_width;

// One strip with tiles of nv vectors V of rows by nc columns: written once, compiled into each
// of the target functions below. Every loop over the tile is unrolled, so that its sums stay in
// registers.
template <class V, std::size_t nv, std::size_t nc>
[[gnu::always_inline]] inline void strip(const double* c, std::size_t n, std::size_t occ,
                                         std::size_t j_begin, std::size_t j_end, bool all_rows,
                                         double* dens, Packed& pk) {
    constexpr std::size_t w = sizeof(V) / sizeof(double);
    constexpr std::size_t mr = nv * w;
    static_assert(mr <= max_tile_rows && nc <= max_tile_columns && nb % nc == 0);
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
            // nc columns at a time, each group's k one after another: a tile reads its columns'
            // values in one sequence.
            for (std::size_t q = 0; q < nb; ++q) pk.b[(q / nc) * kc * nc + k * nc + q % nc] = q < width ? ck[j_begin + q] : 0.0;
        }
        for (std::size_t i0 = 0; i0 < rows; i0 += mr) {
            const std::size_t mi = std::min(mr, n - i0);
            for (std::size_t k = 0; k < kn; ++k) {
                const double* ck = c + (k0 + k) * n + i0;
                if (mi == mr) {
                    // A whole tile's rows doubled a vector at a time: the same c + c in every lane.
#pragma GCC unroll 4
                    for (std::size_t v = 0; v < nv; ++v) {
                        V x;
                        wide::load(x, ck + v * w);
                        wide::store(&pk.a[k * mr + v * w], x + x);
                    }
                } else {
                    for (std::size_t r = 0; r < mr; ++r) pk.a[k * mr + r] = r < mi ? ck[r] + ck[r] : 0.0;
                }
            }
            for (std::size_t j0 = j_begin; j0 < j_end; j0 += nc) {
                if (!all_rows && i0 >= j0 + nc) continue;  // wholly below the diagonal
                const std::size_t nj = std::min(nc, j_end - j0);
                // A whole tile is read from and written to dens directly; a partial one goes
                // through pk.tile, zero outside the matrix.
                const bool whole = nj == nc && mi == mr;
                double* t = &pk.tile[0];
                std::size_t ldt = mr;
                if (whole) {
                    t = dens + i0 + j0 * n;
                    ldt = n;
                } else {
                    for (std::size_t q = 0; q < nc; ++q)
                        for (std::size_t r = 0; r < mr; ++r)
                            pk.tile[q * mr + r] = (!first && q < nj && r < mi) ? dens[i0 + r + (j0 + q) * n] : 0.0;
                }
                V sum[nc][nv];
#pragma GCC unroll 8
                for (std::size_t q = 0; q < nc; ++q)
#pragma GCC unroll 4
                    for (std::size_t v = 0; v < nv; ++v) {
                        sum[q][v] = V{};
                        if (!first) wide::load(sum[q][v], t + q * ldt + v * w);
                    }
                const double* bp = &pk.b[(j0 - j_begin) / nc * kc * nc];
                const double* ap = pk.a.data();
                for (std::size_t k = 0; k < kn; ++k) {
                    V a[nv];
#pragma GCC unroll 4
                    for (std::size_t v = 0; v < nv; ++v) wide::load(a[v], ap + k * mr + v * w);
#pragma GCC unroll 8
                    for (std::size_t q = 0; q < nc; ++q) {
                        V bq;
                        wide::broadcast(bq, bp + k * nc + q);
#pragma GCC unroll 4
                        for (std::size_t v = 0; v < nv; ++v) sum[q][v] = sum[q][v] + a[v] * bq;
                    }
                }
#pragma GCC unroll 8
                for (std::size_t q = 0; q < nc; ++q)
#pragma GCC unroll 4
                    for (std::size_t v = 0; v < nv; ++v) wide::store(t + q * ldt + v * w, sum[q][v]);
                if (!whole)
                    for (std::size_t q = 0; q < nj; ++q)
                        for (std::size_t r = 0; r < mi; ++r) dens[i0 + r + (j0 + q) * n] = pk.tile[q * mr + r];
            }
        }
    }
}

// 24 rows by 8 columns: 24 sums, 3 vectors of rows and a column value in 28 of the 32 registers.
__attribute__((target("avx512f"))) void strip_avx512(const double* c, std::size_t n, std::size_t occ,
                                                    std::size_t j_begin, std::size_t j_end, bool all_rows,
                                                    double* dens, Packed& pk) {
    strip<v8d, 3, 8>(c, n, occ, j_begin, j_end, all_rows, dens, pk);
}

// 8 rows by 4 columns: 8 sums, 2 vectors of rows and a column value in the 16 registers.
__attribute__((target("avx"))) void strip_avx(const double* c, std::size_t n, std::size_t occ, std::size_t j_begin,
                                             std::size_t j_end, bool all_rows, double* dens, Packed& pk) {
    strip<v4d, 2, 4>(c, n, occ, j_begin, j_end, all_rows, dens, pk);
}

// 8 rows by 4 columns in pairs of SSE2 registers.
void strip_sse2(const double* c, std::size_t n, std::size_t occ, std::size_t j_begin, std::size_t j_end,
                bool all_rows, double* dens, Packed& pk) {
    strip<v4d, 2, 4>(c, n, occ, j_begin, j_end, all_rows, dens, pk);
}

}  // namespace

int density_width(int widest) {
    if (widest >= 8 && __builtin_cpu_supports("avx512f")) return 8;
    if (widest >= 4 && __builtin_cpu_supports("avx")) return 4;
    return 2;
}

void density_strip(const double* c, std::size_t n, std::size_t occ, std::size_t j_begin, std::size_t j_end,
                   bool all_rows, double* dens, Packed& pk, int width) {
    if (width >= 8)
        strip_avx512(c, n, occ, j_begin, j_end, all_rows, dens, pk);
    else if (width >= 4)
        strip_avx(c, n, occ, j_begin, j_end, all_rows, dens, pk);
    else
        strip_sse2(c, n, occ, j_begin, j_end, all_rows, dens, pk);
}

}  // namespace zephor
