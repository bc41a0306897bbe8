// The density in tiles on OpenMP threads, upper triangle only: (a + a) * b is the correctly
// rounded 2ab whichever factor is doubled, so dens(j,i) equals dens(i,j) bit for bit and is
// copied.
#include "solver/density_matrix.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "common/thread_fp_flags.hpp"
#include "solver/density_tiles.hpp"

namespace zephor {

void density_matrix(const std::vector<double>& mo_coef, std::int32_t n,
                    std::int32_t occupied_count, std::vector<double>& dens, int widest) {
    const std::size_t un = static_cast<std::size_t>(n);
    // Every element is written below (the tiles start their sums from +0), so the memory handed
    // in is not cleared first: 32 MB for 2000 functions.
    if (occupied_count <= 0 || un == 0) {
        dens.assign(un * un, 0.0);
        return;
    }
    dens.resize(un * un);
    const std::size_t occ = static_cast<std::size_t>(occupied_count);
    const double* c = mo_coef.data();
    double* dd = dens.data();
    const long long blocks = static_cast<long long>((un + strip_width - 1) / strip_width);

    // The symmetry needs c + c to stay finite and NaNs to be absent (a NaN's payload would follow
    // the doubled factor); orbitals of unit length always qualify. Otherwise every element is
    // computed, below the diagonal too.
    bool symmetric = true;
    for (std::size_t e = 0; e < un * occ && symmetric; ++e)
        symmetric = std::fabs(c[e]) < 0x1p1022;

    // Work space per thread, allocated here so that a refusal is reported like any other.
    std::vector<Packed> packed(static_cast<std::size_t>(omp_get_max_threads()));
    const int width = density_width(widest);
    FpFlagsCollector flags;
#pragma omp parallel if (static_cast<long long>(un) >= threads_from_basis_count)
    {
        flags.enter();
        Packed& pk = packed[static_cast<std::size_t>(omp_get_thread_num())];
        // Column strips, widest first (a strip's work grows with its position).
#pragma omp for schedule(dynamic, 1)
        for (long long bb = blocks - 1; bb >= 0; --bb) {
            const std::size_t j_begin = static_cast<std::size_t>(bb) * strip_width;
            density_strip(c, un, occ, j_begin, std::min(un, j_begin + strip_width), !symmetric, dd, pk, width);
        }
        // The lower triangle: copies of the upper one, in blocks that stay in cache.
#pragma omp for schedule(dynamic, 1)
        for (long long bb = 0; bb < (symmetric ? blocks : 0); ++bb) {
            const std::size_t c0 = static_cast<std::size_t>(bb) * strip_width;
            const std::size_t c1 = std::min(un, c0 + strip_width);
            for (std::size_t r0 = c0; r0 < un; r0 += strip_width) {
                const std::size_t r1 = std::min(un, r0 + strip_width);
                for (std::size_t col = c0; col < c1; ++col)
                    for (std::size_t row = std::max(r0, col + 1); row < r1; ++row)
                        dd[row + col * un] = dd[col + row * un];
            }
        }
        flags.leave();
    }
}
}  // namespace zephor
