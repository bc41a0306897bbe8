// Density, populations and bond orders, in the summation orders that fix their last bits.
//
// The fast density computes each element exactly as the plain triple loop does (terms
// (c(i,k) + c(i,k)) * c(j,k), added one by one in ascending k from 0) but only for the upper
// triangle, tile by tile, on OpenMP threads: (a + a) * b is the correctly rounded 2ab whichever
// factor is doubled, so dens(j,i) equals dens(i,j) bit for bit and is copied. A tile's partial sums
// wait in `dens` between blocks of k, which changes nothing, as every step rounds to double.
#include "solver/population.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "common/thread_fp_flags.hpp"

namespace zephor {

void density_matrix_reference(const std::vector<double>& mo_coef, std::int32_t n,
                              std::int32_t occupied_count, std::vector<double>& dens) {
    const std::size_t un = static_cast<std::size_t>(n);
    dens.assign(un * un, 0.0);
    if (occupied_count <= 0) return;
    const std::size_t occ = static_cast<std::size_t>(occupied_count);
    for (std::size_t i = 0; i < un; ++i)
        for (std::size_t j = 0; j < un; ++j) {
            double sum = 0.0;
            for (std::size_t k = 0; k < occ; ++k) {
                const double cik = mo_coef[i + k * un];
                sum += (cik + cik) * mo_coef[j + k * un];
            }
            dens[i + j * un] = sum;
        }
}

void atom_populations_reference(const std::vector<double>& dens, std::int32_t n,
                                const std::vector<std::int32_t>& basis_atom,
                                std::int32_t atom_count, std::vector<double>& atom_pop) {
    const std::size_t un = static_cast<std::size_t>(n);
    const std::size_t m = static_cast<std::size_t>(atom_count);
    atom_pop.assign(m * m, 0.0);
    auto atom = [&](std::size_t i) { return static_cast<std::size_t>(basis_atom[i] - 1); };
    for (std::size_t i = 0; i < un; ++i) atom_pop[atom(i) * (m + 1)] += dens[i * (un + 1)];
    for (std::size_t i = 0; i < un; ++i) {
        const std::size_t a = atom(i);
        for (std::size_t j = 0; j < un; ++j) {
            const std::size_t b = atom(j);
            if (a == b) continue;
            const double dij = dens[i + j * un];
            atom_pop[a + b * m] += dij * dij;
        }
    }
}

namespace {

using v4d = double __attribute__((vector_size(32)));

// Tiles of 8 rows x 4 columns in registers; k in blocks of 256; column strips of 64.
constexpr std::size_t mr = 8;
constexpr std::size_t nr = 4;
constexpr std::size_t kc = 256;
constexpr std::size_t nb = 64;

struct Packed {
    std::vector<double> a;  // [k][8]: c(i0 + r, k) + c(i0 + r, k), zero past the last row
    std::vector<double> b;  // [k][64]: c(j_begin + q, k), zero past the strip
    double tile[nr * mr];
};

// One strip of columns [j_begin, j_end) of the upper triangle (rows up to j_end), or of the
// whole matrix when `all_rows`. Each element's lane runs its own additions in ascending k;
// the vector width only decides how many elements advance together. Compiled for AVX and for
// plain SSE2, picked at run time: the same operations on the same values either way.
__attribute__((target_clones("avx", "default")))
void density_strip(const double* c, std::size_t n, std::size_t occ, std::size_t j_begin,
                   std::size_t j_end, bool all_rows, double* dens, Packed& pk) {
    const std::size_t width = j_end - j_begin;
    const std::size_t rows = all_rows ? n : j_end;
    for (std::size_t k0 = 0; k0 < occ; k0 += kc) {
        const std::size_t k1 = std::min(occ, k0 + kc);
        const std::size_t kn = k1 - k0;
        for (std::size_t k = 0; k < kn; ++k) {
            const double* ck = c + (k0 + k) * n;
            for (std::size_t q = 0; q < nb; ++q) pk.b[k * nb + q] = q < width ? ck[j_begin + q] : 0.0;
        }
        for (std::size_t i0 = 0; i0 < rows; i0 += mr) {
            const std::size_t mi = std::min(mr, n - i0);
            for (std::size_t k = 0; k < kn; ++k) {
                const double* ck = c + (k0 + k) * n + i0;
                for (std::size_t r = 0; r < mr; ++r) pk.a[k * mr + r] = r < mi ? ck[r] + ck[r] : 0.0;
            }
            for (std::size_t j0 = j_begin; j0 < j_end; j0 += nr) {
                if (!all_rows && i0 >= j0 + nr) continue;  // wholly below the diagonal
                const std::size_t nj = std::min(nr, j_end - j0);
                for (std::size_t q = 0; q < nr; ++q)
                    for (std::size_t r = 0; r < mr; ++r)
                        pk.tile[q * mr + r] = (q < nj && r < mi) ? dens[i0 + r + (j0 + q) * n] : 0.0;
                // Eight accumulators spelled out, so that they live in registers.
                v4d c00, c01, c10, c11, c20, c21, c30, c31;
                std::memcpy(&c00, &pk.tile[0 * mr], sizeof(v4d));
                std::memcpy(&c01, &pk.tile[0 * mr + 4], sizeof(v4d));
                std::memcpy(&c10, &pk.tile[1 * mr], sizeof(v4d));
                std::memcpy(&c11, &pk.tile[1 * mr + 4], sizeof(v4d));
                std::memcpy(&c20, &pk.tile[2 * mr], sizeof(v4d));
                std::memcpy(&c21, &pk.tile[2 * mr + 4], sizeof(v4d));
                std::memcpy(&c30, &pk.tile[3 * mr], sizeof(v4d));
                std::memcpy(&c31, &pk.tile[3 * mr + 4], sizeof(v4d));
                const double* bp = &pk.b[j0 - j_begin];
                const double* ap = pk.a.data();
                for (std::size_t k = 0; k < kn; ++k) {
                    v4d a0, a1;
                    std::memcpy(&a0, ap + k * mr, sizeof a0);
                    std::memcpy(&a1, ap + k * mr + 4, sizeof a1);
                    const double* bk = bp + k * nb;
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
                std::memcpy(&pk.tile[0 * mr], &c00, sizeof(v4d));
                std::memcpy(&pk.tile[0 * mr + 4], &c01, sizeof(v4d));
                std::memcpy(&pk.tile[1 * mr], &c10, sizeof(v4d));
                std::memcpy(&pk.tile[1 * mr + 4], &c11, sizeof(v4d));
                std::memcpy(&pk.tile[2 * mr], &c20, sizeof(v4d));
                std::memcpy(&pk.tile[2 * mr + 4], &c21, sizeof(v4d));
                std::memcpy(&pk.tile[3 * mr], &c30, sizeof(v4d));
                std::memcpy(&pk.tile[3 * mr + 4], &c31, sizeof(v4d));
                for (std::size_t q = 0; q < nj; ++q)
                    for (std::size_t r = 0; r < mi; ++r) dens[i0 + r + (j0 + q) * n] = pk.tile[q * mr + r];
            }
        }
    }
}

}  // namespace

void density_matrix(const std::vector<double>& mo_coef, std::int32_t n,
                    std::int32_t occupied_count, std::vector<double>& dens) {
    const std::size_t un = static_cast<std::size_t>(n);
    dens.assign(un * un, 0.0);
    if (occupied_count <= 0 || un == 0) return;
    const std::size_t occ = static_cast<std::size_t>(occupied_count);
    const double* c = mo_coef.data();
    double* dd = dens.data();
    const long long blocks = static_cast<long long>((un + nb - 1) / nb);

    // The symmetry needs c + c to stay finite and NaNs to be absent (a NaN's payload would follow
    // the doubled factor); orbitals of unit length always qualify. Otherwise every element is
    // computed, below the diagonal too.
    bool symmetric = true;
    for (std::size_t e = 0; e < un * occ && symmetric; ++e)
        symmetric = std::fabs(c[e]) < 0x1p1022;

    // Work space per thread, allocated here so that a refusal is reported like any other.
    std::vector<Packed> packed(static_cast<std::size_t>(omp_get_max_threads()));
    for (Packed& pk : packed) {
        pk.a.resize(kc * mr);
        pk.b.resize(kc * nb);
    }
    FpFlagsCollector flags;
#pragma omp parallel if (static_cast<long long>(un) >= threads_from_basis_count)
    {
        flags.enter();
        Packed& pk = packed[static_cast<std::size_t>(omp_get_thread_num())];
        // Column strips, widest first (a strip's work grows with its position).
#pragma omp for schedule(dynamic, 1)
        for (long long bb = blocks - 1; bb >= 0; --bb) {
            const std::size_t j_begin = static_cast<std::size_t>(bb) * nb;
            density_strip(c, un, occ, j_begin, std::min(un, j_begin + nb), !symmetric, dd, pk);
        }
        // The lower triangle: copies of the upper one, in blocks that stay in cache.
#pragma omp for schedule(dynamic, 1)
        for (long long bb = 0; bb < (symmetric ? blocks : 0); ++bb) {
            const std::size_t c0 = static_cast<std::size_t>(bb) * nb;
            const std::size_t c1 = std::min(un, c0 + nb);
            for (std::size_t r0 = c0; r0 < un; r0 += nb) {
                const std::size_t r1 = std::min(un, r0 + nb);
                for (std::size_t col = c0; col < c1; ++col)
                    for (std::size_t row = std::max(r0, col + 1); row < r1; ++row)
                        dd[row + col * un] = dd[col + row * un];
            }
        }
        flags.leave();
    }
}

void atom_populations(const std::vector<double>& dens, std::int32_t n,
                      const std::vector<std::int32_t>& basis_atom, std::int32_t atom_count,
                      std::vector<double>& atom_pop) {
    const std::size_t un = static_cast<std::size_t>(n);
    const std::size_t m = static_cast<std::size_t>(atom_count);
    atom_pop.assign(m * m, 0.0);
    auto atom = [&](std::size_t i) { return static_cast<std::size_t>(basis_atom[i] - 1); };

    // Functions of each atom, ascending.
    std::vector<std::size_t> start(m + 1, 0);
    for (std::size_t i = 0; i < un; ++i) ++start[atom(i) + 1];
    for (std::size_t a = 0; a < m; ++a) start[a + 1] += start[a];
    std::vector<std::size_t> funcs(un);
    {
        std::vector<std::size_t> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < un; ++i) funcs[fill[atom(i)]++] = i;
    }

    for (std::size_t i = 0; i < un; ++i) atom_pop[atom(i) * (m + 1)] += dens[i * (un + 1)];

    // Column b of atom_pop from the columns of b's functions, read top to bottom: for each row
    // atom a the terms arrive with i ascending and, for each i, j ascending, as in the plain loop.
    const long long atoms_ll = static_cast<long long>(m);
    std::vector<std::vector<double>> accs(static_cast<std::size_t>(omp_get_max_threads()),
                                          std::vector<double>(m));
    FpFlagsCollector flags;
#pragma omp parallel if (static_cast<long long>(un) >= threads_from_basis_count)
    {
        flags.enter();
        std::vector<double>& acc = accs[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(dynamic, 4)
        for (long long bl = 0; bl < atoms_ll; ++bl) {
            const std::size_t b = static_cast<std::size_t>(bl);
            const std::size_t f0 = start[b];
            const std::size_t f1 = start[b + 1];
            if (f0 == f1) continue;
            std::fill(acc.begin(), acc.end(), 0.0);
            for (std::size_t i = 0; i < un; ++i) {
                const std::size_t a = atom(i);
                if (a == b) continue;
                double sum = acc[a];
                for (std::size_t f = f0; f < f1; ++f) {
                    const double dij = dens[i + funcs[f] * un];
                    sum += dij * dij;
                }
                acc[a] = sum;
            }
            for (std::size_t a = 0; a < m; ++a)
                if (a != b) atom_pop[a + b * m] = acc[a];
        }
        flags.leave();
    }
}

}  // namespace zephor
