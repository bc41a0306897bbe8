// Split level-3 calls: the dgemm_, dtrsm_ and dsyr2k_ the library's LAPACK reaches through its
// PLT. They share the library's own routines, the switches and the counters through this file's
// one state object; the library calls them on the thread that runs dsygv, and the blocks run on
// the solver's team (solver/work_team.hpp), each made of whole calls of the library's one-thread
// routines or of pinned_gemm.
#include "solver/split_level3.hpp"

#include <dlfcn.h>
#include <omp.h>

#include <algorithm>
#include <cstddef>

#include "solver/lapack_option.hpp"
#include "solver/pinned_gemm.hpp"
#include "solver/work_team.hpp"

namespace zephor {

namespace {

using dgemm_fn = void(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                      const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                      const double* beta, double* c, const int* ldc, std::size_t, std::size_t);
using dsyr2k_fn = void(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha,
                       const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
                       const int* ldc, std::size_t, std::size_t);
using dtrsm_fn = void(const char* side, const char* uplo, const char* transa, const char* diag, const int* m,
                      const int* n, const double* alpha, const double* a, const int* lda, double* b,
                      const int* ldb, std::size_t, std::size_t, std::size_t, std::size_t);

// Below this many multiply-adds a call takes about a millisecond or less, too little to share.
constexpr double min_split_work = 4.0 * 1024 * 1024;

struct State {
    dgemm_fn* dgemm = nullptr;
    dtrsm_fn* dtrsm = nullptr;
    dsyr2k_fn* dsyr2k = nullptr;
    bool on = true;
    int concurrent = 1;
    int forced_blocks = 0;
    Level3Counts counts;
};

State& state() {
    static State s;
    return s;
}

// Blocks for a dimension of `extent` rows or columns and `work` multiply-adds: 1 (no split) or
// more, each but the last a multiple of level3_block_multiple long; `per_thread` blocks for each
// thread where their costs differ.
struct Blocks {
    int count = 1;
    int step = 0;
    int first(int b) const { return b * step; }
};

Blocks blocks_for(int extent, double work, int per_thread = 1) {
    const State& st = state();
    Blocks out;
    if (!st.on || st.concurrent < 2 || (st.forced_blocks == 0 && work < min_split_work)) return out;
    int wanted = st.forced_blocks;
    if (wanted == 0) {
        const int threads = std::min(omp_get_max_threads(), st.concurrent);
        wanted = threads < 2 ? 1 : threads * per_thread;
    }
    wanted = std::min(wanted, extent / level3_block_multiple);
    if (wanted < 2) return out;
    const int per_block = (extent + wanted - 1) / wanted;
    out.step = (per_block + level3_block_multiple - 1) / level3_block_multiple * level3_block_multiple;
    out.count = (extent + out.step - 1) / out.step;
    return out;
}

// Runs part(first, size) for every block on the solver's team, the workers' floating-point
// flags handed back to this thread.
template <class Part>
void run_blocks(const Blocks& blocks, int extent, Part part) {
    ++state().counts.split_calls;
    const int team = std::min({blocks.count, state().concurrent, omp_get_max_threads()});
    auto block = [&](int b) {
        const int first = blocks.first(b);
        part(first, std::min(extent, first + blocks.step) - first);
    };
    run_on_team(blocks.count, team, block);
}

}  // namespace

void install_level3_split(void* library) {
    State& st = state();
    st.dgemm = reinterpret_cast<dgemm_fn*>(dlsym(library, "dgemm_"));
    st.dtrsm = reinterpret_cast<dtrsm_fn*>(dlsym(library, "dtrsm_"));
    st.dsyr2k = reinterpret_cast<dsyr2k_fn*>(dlsym(library, "dsyr2k_"));
}

void set_level3_split(bool on) { state().on = on; }

void allow_level3_split(int concurrent_blocks) {
    state().concurrent = std::clamp(concurrent_blocks, 1, level3_max_concurrent);
}

void set_level3_forced_blocks(int blocks) { state().forced_blocks = blocks; }

Level3Counts level3_counts() { return state().counts; }

}  // namespace zephor

// The routines the library finds in the executable (exported by the link, see CMakeLists.txt).
// A call whose arguments the library would reject goes to it whole, so that it reports it.
extern "C" {

void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc, std::size_t transa_len, std::size_t transb_len) {
    const auto is = zephor::lapack_option_is;
    zephor::State& st = zephor::state();
    ++st.counts.calls;
    const bool ta = is(transa, 'T') || is(transa, 'C');
    const bool tb = is(transb, 'T') || is(transb, 'C');
    const bool valid = (ta || is(transa, 'N')) && (tb || is(transb, 'N')) && *m >= 0 && *n >= 0 && *k >= 0 &&
                       *lda >= std::max(1, ta ? *k : *m) && *ldb >= std::max(1, tb ? *n : *k) &&
                       *ldc >= std::max(1, *m);
    const double work = double(*m) * double(*n) * double(*k);
    // Whole columns of C when there are enough of them, else whole rows.
    const bool by_columns = *n >= *m || *n >= 2 * zephor::level3_block_multiple;
    const zephor::Blocks blocks = valid ? zephor::blocks_for(by_columns ? *n : *m, work) : zephor::Blocks{};
    if (blocks.count < 2) {
        // Off, the library's own routine; on, the same bits at full vector width.
        if (valid && st.on)
            zephor::pinned_gemm(st.dgemm, *transa, *transb, *m, *n, *k, *alpha, a, *lda, b, *ldb, *beta, c, *ldc);
        else
            st.dgemm(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, transa_len, transb_len);
        return;
    }
    const std::size_t la = static_cast<std::size_t>(*lda);
    const std::size_t lb = static_cast<std::size_t>(*ldb);
    const std::size_t lc = static_cast<std::size_t>(*ldc);
    if (by_columns) {
        zephor::run_blocks(blocks, *n, [&](int first, int size) {
            const std::size_t j = static_cast<std::size_t>(first);
            zephor::pinned_gemm(st.dgemm, *transa, *transb, *m, size, *k, *alpha, a, *lda, tb ? b + j : b + j * lb,
                                *ldb, *beta, c + j * lc, *ldc);
        });
    } else {
        zephor::run_blocks(blocks, *m, [&](int first, int size) {
            const std::size_t i = static_cast<std::size_t>(first);
            zephor::pinned_gemm(st.dgemm, *transa, *transb, size, *n, *k, *alpha, ta ? a + i * la : a + i, *lda, b,
                                *ldb, *beta, c + i, *ldc);
        });
    }
}

void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
            const double* alpha, const double* a, const int* lda, double* b, const int* ldb, std::size_t side_len,
            std::size_t uplo_len, std::size_t transa_len, std::size_t diag_len) {
    const auto is = zephor::lapack_option_is;
    zephor::State& st = zephor::state();
    ++st.counts.calls;
    const bool left = is(side, 'L');
    const bool valid = (left || is(side, 'R')) && (is(uplo, 'U') || is(uplo, 'L')) &&
                       (is(transa, 'N') || is(transa, 'T') || is(transa, 'C')) && (is(diag, 'U') || is(diag, 'N')) &&
                       *m >= 0 && *n >= 0 && *lda >= std::max(1, left ? *m : *n) && *ldb >= std::max(1, *m);
    // With A on the left every column of B is solved on its own; on the right, every row.
    const int order = left ? *m : *n;
    const int extent = left ? *n : *m;
    const double work = double(order) * double(order) * double(extent) / 2.0;
    const zephor::Blocks blocks = valid ? zephor::blocks_for(extent, work) : zephor::Blocks{};
    if (blocks.count < 2) {
        st.dtrsm(side, uplo, transa, diag, m, n, alpha, a, lda, b, ldb, side_len, uplo_len, transa_len, diag_len);
        return;
    }
    const std::size_t lb = static_cast<std::size_t>(*ldb);
    zephor::run_blocks(blocks, extent, [&](int first, int size) {
        const std::size_t f = static_cast<std::size_t>(first);
        if (left)
            st.dtrsm(side, uplo, transa, diag, m, &size, alpha, a, lda, b + f * lb, ldb, side_len, uplo_len,
                     transa_len, diag_len);
        else
            st.dtrsm(side, uplo, transa, diag, &size, n, alpha, a, lda, b + f, ldb, side_len, uplo_len,
                     transa_len, diag_len);
    });
}

// The rank-2k update of a lower triangle, C += alpha (A B^T + B A^T) with beta = 1, as the
// reduction to tridiagonal form and to standard form call it (inner dimension 32 or 64). The
// library treats the small blocks on the diagonal apart from the rest, so it is not cut into
// rows or columns: a block of columns [j0, j1) is the library's own dsyr2k on its triangle, and
// the rows below it are two products, A B^T first and B A^T second, which is what the library
// computes there in its two passes. That holds while the inner dimension is one chunk of the
// library's (its chunk is longer than 128 on the pinned kernel; the tests cover k up to 128 and
// the longer ones going whole), hence the bound on k.
void dsyr2k_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha, const double* a,
             const int* lda, const double* b, const int* ldb, const double* beta, double* c, const int* ldc,
             std::size_t uplo_len, std::size_t trans_len) {
    const auto is = zephor::lapack_option_is;
    zephor::State& st = zephor::state();
    ++st.counts.calls;
    constexpr int max_inner = 128;
    const bool ours = is(uplo, 'L') && is(trans, 'N') && *beta == 1.0 && *alpha != 0.0 && *k >= 1 &&
                      *k <= max_inner && *n >= 0 && *lda >= std::max(1, *n) && *ldb >= std::max(1, *n) &&
                      *ldc >= std::max(1, *n);
    // Four blocks per thread: the later ones have fewer rows below them.
    const double work = double(*n) * double(*n) * double(*k);
    const zephor::Blocks blocks = ours ? zephor::blocks_for(*n, work, 4) : zephor::Blocks{};
    if (blocks.count < 2) {
        st.dsyr2k(uplo, trans, n, k, alpha, a, lda, b, ldb, beta, c, ldc, uplo_len, trans_len);
        return;
    }
    const std::size_t lc = static_cast<std::size_t>(*ldc);
    zephor::run_blocks(blocks, *n, [&](int first, int size) {
        const std::size_t j0 = static_cast<std::size_t>(first);
        const std::size_t j1 = j0 + static_cast<std::size_t>(size);
        st.dsyr2k(uplo, trans, &size, k, alpha, a + j0, lda, b + j0, ldb, beta, c + j0 + j0 * lc, ldc, uplo_len,
                  trans_len);
        const int below = *n - first - size;
        if (below == 0) return;
        double* rect = c + j1 + j0 * lc;
        zephor::pinned_gemm(st.dgemm, 'N', 'T', below, size, *k, *alpha, a + j1, *lda, b + j0, *ldb, *beta, rect, *ldc);
        zephor::pinned_gemm(st.dgemm, 'N', 'T', below, size, *k, *alpha, b + j1, *ldb, a + j0, *lda, *beta, rect, *ldc);
    });
}

}  // extern "C"
