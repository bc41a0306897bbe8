// The pinned kernel's matrix product with wide registers: the full 4 x 4 groups of C computed
// here in the library's order of operations (see the header), the strips past them by the
// library. Operands are written in the kernel's order (product b * a, sum + product,
// sum * alpha + C, C * beta) so that even a NaN keeps the operand the kernel would keep.
#include "solver/pinned_gemm.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "solver/lapack_option.hpp"
#include "solver/wide_vectors.hpp"

namespace zephor {

namespace {

using wide::broadcast;
using wide::load;
using wide::splat;
using wide::store;
using wide::v4d;
using wide::v8d;

// The library kernel's group: rows and columns of C it treats four at a time.
constexpr int group = 4;
// Rows of op(A) and columns of op(B) packed at a time, for one chunk of at most 128: 192 KiB
// and 256 KiB, in the second-level cache while the tiles sweep them.
constexpr int panel_rows = 192;
constexpr int panel_cols = 256;
constexpr int max_chunk = 128;

struct State {
    int width = 8;
};

State& state() {
    static State s;
    return s;
}

int processor_width() {
    if (__builtin_cpu_supports("avx512f")) return 8;
    if (__builtin_cpu_supports("avx2")) return 4;
    return 0;
}

// One tile of C: nv vectors of rows by 4 * ng columns, over one chunk of kc. `ap` holds the
// chunk of op(A) with `astride` doubles between consecutive inner indices; `bp` the chunk of
// op(B), 4 columns at a time, each group kc * 4 doubles long.
template <class V, int nv, int ng>
[[gnu::always_inline]] inline void tile(int kc, const double* ap, int astride, const double* bp, double* c,
                                        std::size_t ldc, double alpha) {
    constexpr int w = sizeof(V) / sizeof(double);
    constexpr int cols = group * ng;
    // Every loop over the tile unrolled, so that the sums stay in registers (left as loops, the
    // 24 sums of the widest tile went to memory on every step).
    V sum[cols][nv];
#pragma GCC unroll 8
    for (int j = 0; j < cols; ++j)
#pragma GCC unroll 4
        for (int v = 0; v < nv; ++v) sum[j][v] = V{};  // +0, as the kernel clears its registers
    for (int p = 0; p < kc; ++p) {
        V av[nv];
#pragma GCC unroll 4
        for (int v = 0; v < nv; ++v) load(av[v], ap + static_cast<std::size_t>(p) * astride + v * w);
#pragma GCC unroll 8
        for (int j = 0; j < cols; ++j) {
            V bj;
            // Eight lanes from memory in one instruction; four kept as they measured best.
            const double* bjp = bp + (j / group) * kc * group + p * group + j % group;
            if constexpr (w == 8)
                broadcast(bj, bjp);
            else
                splat(bj, *bjp);
#pragma GCC unroll 4
            for (int v = 0; v < nv; ++v) sum[j][v] = sum[j][v] + bj * av[v];
        }
    }
    V al;
    splat(al, alpha);
#pragma GCC unroll 8
    for (int j = 0; j < cols; ++j)
#pragma GCC unroll 4
        for (int v = 0; v < nv; ++v) {
            double* cp = c + j * ldc + v * w;
            V cv;
            load(cv, cp);
            cv = sum[j][v] * al + cv;
            store(cp, cv);
        }
}

// The operands as the interior needs them.
struct Product {
    bool ta, tb;
    int m4, n4, k;
    double alpha, beta;
    const double* a;
    std::size_t lda;
    const double* b;
    std::size_t ldb;
    double* c;
    std::size_t ldc;
};

// Rows [i0, i0 + rows) of op(A), inner indices [l0, l0 + kc): ap[p * rows + i].
void pack_a(const Product& q, int i0, int rows, int l0, int kc, double* ap) {
    if (!q.ta) {
        for (int p = 0; p < kc; ++p)
            std::memcpy(ap + static_cast<std::size_t>(p) * rows, q.a + i0 + static_cast<std::size_t>(l0 + p) * q.lda,
                        sizeof(double) * static_cast<std::size_t>(rows));
    } else {
        // Along the rows for each inner index: the packed panel is written in order, and each
        // row's cache line of A serves eight inner indices from the first-level cache.
        const double* first = q.a + l0 + static_cast<std::size_t>(i0) * q.lda;
        for (int p = 0; p < kc; ++p) {
            double* out = ap + static_cast<std::size_t>(p) * rows;
            for (int i = 0; i < rows; ++i) out[i] = first[p + static_cast<std::size_t>(i) * q.lda];
        }
    }
}

// Columns [j0, j0 + cols) of op(B), inner indices [l0, l0 + kc), four columns at a time:
// bp[(g * kc + p) * 4 + j] for column j0 + 4 g + j.
void pack_b(const Product& q, int j0, int cols, int l0, int kc, double* bp) {
    for (int g = 0; g < cols / group; ++g)
        for (int j = 0; j < group; ++j) {
            const int col = j0 + g * group + j;
            double* out = bp + static_cast<std::size_t>(g) * kc * group + j;
            if (!q.tb) {
                const double* in = q.b + l0 + static_cast<std::size_t>(col) * q.ldb;
                for (int p = 0; p < kc; ++p) out[p * group] = in[p];
            } else {
                const double* in = q.b + col + static_cast<std::size_t>(l0) * q.ldb;
                for (int p = 0; p < kc; ++p) out[p * group] = in[static_cast<std::size_t>(p) * q.ldb];
            }
        }
}

// C's interior scaled by beta as the library's driver does before any product (beta = 0 stores
// beta itself, so -0 stays -0).
void scale_interior(const Product& q) {
    if (q.beta == 1.0) return;
    for (int j = 0; j < q.n4; ++j) {
        double* col = q.c + static_cast<std::size_t>(j) * q.ldc;
        if (q.beta == 0.0)
            std::fill(col, col + q.m4, q.beta);
        else
            for (int i = 0; i < q.m4; ++i) col[i] = col[i] * q.beta;
    }
}

// The column tiles of one packed panel pair: 8 columns at a time where the registers allow, rows
// by the widest tile that fits what is left (every count is a multiple of 4).
#define ZEPHOR_PANEL_TILES(V8, NV_MAIN, NG_MAIN)                                                        \
    for (int jg = 0; jg < cols;) {                                                                    \
        const int ng = (NG_MAIN == 2 && cols - jg >= 2 * group) ? 2 : 1;                             \
        const double* bg = bp + static_cast<std::size_t>(jg / group) * kc * group;                    \
        double* cj = q.c + static_cast<std::size_t>(j0 + jg) * q.ldc;                                 \
        for (int r = 0; r < rows;) {                                                                  \
            const int left = rows - r;                                                                \
            const double* ar = ap + r;                                                                \
            double* cr = cj + i0 + r;                                                                 \
            int done;                                                                                 \
            if (left >= NV_MAIN * W8) {                                                               \
                if (ng == 2) tile<V8, NV_MAIN, NG_MAIN>(kc, ar, rows, bg, cr, q.ldc, q.alpha);        \
                else tile<V8, NV_MAIN, 1>(kc, ar, rows, bg, cr, q.ldc, q.alpha);                      \
                done = NV_MAIN * W8;                                                                  \
            } else if (left >= 2 * W8) {                                                              \
                if (ng == 2) tile<V8, 2, NG_MAIN>(kc, ar, rows, bg, cr, q.ldc, q.alpha);              \
                else tile<V8, 2, 1>(kc, ar, rows, bg, cr, q.ldc, q.alpha);                            \
                done = 2 * W8;                                                                        \
            } else if (left >= W8) {                                                                  \
                if (ng == 2) tile<V8, 1, NG_MAIN>(kc, ar, rows, bg, cr, q.ldc, q.alpha);              \
                else tile<V8, 1, 1>(kc, ar, rows, bg, cr, q.ldc, q.alpha);                            \
                done = W8;                                                                            \
            } else {                                                                                  \
                if (ng == 2) tile<v4d, 1, NG_MAIN>(kc, ar, rows, bg, cr, q.ldc, q.alpha);             \
                else tile<v4d, 1, 1>(kc, ar, rows, bg, cr, q.ldc, q.alpha);                           \
                done = group;                                                                         \
            }                                                                                         \
            r += done;                                                                                \
        }                                                                                             \
        jg += ng * group;                                                                             \
    }

// The library driver's loops: chunks of the inner dimension outermost, so every element of C
// receives alpha * (chunk sum) chunk by chunk in ascending order.
#define ZEPHOR_INTERIOR_BODY(V8, NV_MAIN, NG_MAIN)                                                    \
    constexpr int W8 = sizeof(V8) / sizeof(double);                                                   \
    scale_interior(q);                                                                                \
    for (int l0 = 0; l0 < q.k;) {                                                                     \
        const int kc = pinned_gemm_chunk(q.k - l0);                                                   \
        for (int j0 = 0; j0 < q.n4; j0 += panel_cols) {                                               \
            const int cols = std::min(panel_cols, q.n4 - j0);                                         \
            pack_b(q, j0, cols, l0, kc, bp);                                                          \
            for (int i0 = 0; i0 < q.m4; i0 += panel_rows) {                                           \
                const int rows = std::min(panel_rows, q.m4 - i0);                                     \
                pack_a(q, i0, rows, l0, kc, ap);                                                      \
                ZEPHOR_PANEL_TILES(V8, NV_MAIN, NG_MAIN)                                              \
            }                                                                                         \
        }                                                                                             \
        l0 += kc;                                                                                     \
    }

// 24 rows by 8 columns: 24 sums, 3 rows of A and a column value in 28 of the 32 registers.
__attribute__((target("avx512f"))) void interior_avx512(const Product& q, double* ap, double* bp) {
    ZEPHOR_INTERIOR_BODY(v8d, 3, 2)
}

// 12 rows by 4 columns: 12 sums, 3 rows of A and a column value in the 16 registers.
__attribute__((target("avx2"))) void interior_avx2(const Product& q, double* ap, double* bp) {
    ZEPHOR_INTERIOR_BODY(v4d, 3, 1)
}

#undef ZEPHOR_INTERIOR_BODY
#undef ZEPHOR_PANEL_TILES

// Each thread's packing buffers, kept between calls (allocated on the first large call).
struct Buffers {
    std::vector<double> a, b;
};

Buffers* buffers() {
    thread_local Buffers buf;
    try {
        buf.a.resize(static_cast<std::size_t>(panel_rows) * max_chunk);
        buf.b.resize(static_cast<std::size_t>(panel_cols) * max_chunk);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return &buf;
}

}  // namespace

void set_pinned_gemm_width(int doubles) { state().width = doubles; }

int pinned_gemm_width() {
    const int w = std::min(state().width, processor_width());
    return w >= 8 ? 8 : w >= 4 ? 4 : 0;
}

void pinned_gemm(gemm_routine* library, char transa, char transb, int m, int n, int k, double alpha,
                 const double* a, int lda, const double* b, int ldb, double beta, double* c, int ldc) {
    const bool ta = lapack_option_is(&transa, 'T') || lapack_option_is(&transa, 'C');
    const bool tb = lapack_option_is(&transb, 'T') || lapack_option_is(&transb, 'C');
    const bool valid = (ta || lapack_option_is(&transa, 'N')) && (tb || lapack_option_is(&transb, 'N')) && m >= 0 &&
                       n >= 0 && k >= 0 && lda >= std::max(1, ta ? k : m) && ldb >= std::max(1, tb ? n : k) &&
                       ldc >= std::max(1, m);
    const int m4 = m / group * group, n4 = n / group * group;
    const int width = pinned_gemm_width();
    // What the library does in other ways (scaling only, a NaN beta it stores as if zero, no full
    // group) and what would fail it goes to it whole.
    Buffers* buf = nullptr;
    if (width == 0 || !valid || m4 == 0 || n4 == 0 || k == 0 || alpha == 0.0 || std::isnan(beta) ||
        (buf = buffers()) == nullptr) {
        library(&transa, &transb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc, 1, 1);
        return;
    }
    const Product q{ta,      tb,   m4, n4, k, alpha, beta, a, static_cast<std::size_t>(lda), b,
                    static_cast<std::size_t>(ldb), c, static_cast<std::size_t>(ldc)};
    if (width == 8)
        interior_avx512(q, buf->a.data(), buf->b.data());
    else
        interior_avx2(q, buf->a.data(), buf->b.data());
    // The strips past the last full groups, where the library's kernel sums otherwise.
    if (m4 < m) {
        const int rows = m - m4;
        const double* a2 = ta ? a + static_cast<std::size_t>(m4) * q.lda : a + m4;
        library(&transa, &transb, &rows, &n, &k, &alpha, a2, &lda, b, &ldb, &beta, c + m4, &ldc, 1, 1);
    }
    if (n4 < n) {
        const int cols = n - n4;
        const double* b2 = tb ? b + n4 : b + static_cast<std::size_t>(n4) * q.ldb;
        library(&transa, &transb, &m4, &cols, &k, &alpha, a, &lda, b2, &ldb, &beta, c + static_cast<std::size_t>(n4) * q.ldc,
                &ldc, 1, 1);
    }
}

}  // namespace zephor
