// Deferred rotations: the routines the library's dsteqr reaches through its PLT, and the fused
// kernel. The library calls them with LAPACK's arguments only, so what they share (the library's
// own routines, the pending sweeps, the counters) lives in this file's one state object; dsteqr
// runs on the calling thread (the library is pinned to one) and the solver's team
// (solver/work_team.hpp) only reads the sweeps and writes its own rows of Z.
#include "solver/deferred_rotations.hpp"

#include <dlfcn.h>
#include <omp.h>

#include <algorithm>
#include <new>
#include <vector>

#include "common/thread_fp_flags.hpp"
#include "solver/lapack_option.hpp"
#include "solver/rotation_schedule.hpp"
#include "solver/wide_vectors.hpp"
#include "solver/work_team.hpp"

namespace zephor {

namespace {

using dswap_fn = void(const int* n, double* x, const int* incx, double* y, const int* incy);
using dsteqr_fn = void(const char* compz, const int* n, double* d, double* e, double* z, const int* ldz,
                       double* work, int* info, std::size_t compz_len);

// Sweeps applied together: enough that a block of rows is read from memory once for many sweeps,
// few enough that their cosines and sines (2 x 64 x n doubles) stay small beside Z.
constexpr std::size_t max_pending = 64;

// Rows of Z a block carries in registers along a sweep: four vectors of four doubles. (32 rows
// measured no faster on one thread and slower on two.)
constexpr int block_rows = 16;
// With AVX-512: four vectors of eight doubles, the same four independent chains of rotations.
constexpr int wide_block_rows = 32;


struct State {
    dlasr_fn* dlasr = nullptr;
    dswap_fn* dswap = nullptr;
    dsteqr_fn* dsteqr = nullptr;
    bool deferral = true;
    bool sse2_only = false;
    bool avx2_only = false;

    // While the wrapped dsteqr runs: its Z and the sweeps not yet applied to it.
    bool active = false;
    double* z = nullptr;
    int rows = 0;
    int ldz = 0;
    std::vector<double> cs;  // per pending sweep: count - 1 cosines, then count - 1 sines
    std::vector<Sweep> pending;
    std::size_t cs_used = 0;
    std::vector<Step> steps;  // the wavefront's order, one entry per rotation at most
    std::vector<int> done;

    RotationCounts counts;
};

State& state() {
    static State s;
    return s;
}

using wide::broadcast;
using wide::load;
using wide::splat;
using wide::store;
using wide::v4d;
using wide::v8d;

inline bool identity(double c, double s) { return !(c != 1.0 || s != 0.0); }

// Rotations r0 .. r1 - 1 of one sweep on rows [row0, row0 + 16): the column being rotated into
// stays in registers from one rotation to the next. Each lane performs the library's
// c*temp - s*a and s*temp + c*a on its own element. Compiled three times below: four vectors of
// four doubles for AVX2 and for plain SSE2, two of eight for AVX-512 (no FMA in any): the same
// operations on the same values.
template <class V, int rows>
[[gnu::always_inline]] inline void run_step(const Sweep& sw, int r0, int r1, double* a, std::size_t ld, int row0) {
    constexpr int w = sizeof(V) / sizeof(double);
    constexpr int nv = rows / w;
    V x[nv];
    const int rotations = sw.count - 1;
    const std::ptrdiff_t step = sw.forward ? static_cast<std::ptrdiff_t>(ld) : -static_cast<std::ptrdiff_t>(ld);
    double* col = a + static_cast<std::size_t>(sw.forward ? sw.first + r0 : sw.first + rotations - r0) * ld + row0;
#pragma GCC unroll 4
    for (int q = 0; q < nv; ++q) load(x[q], col + w * q);
    for (int r = r0; r < r1; ++r) {
        const int j = sw.forward ? r : rotations - 1 - r;
        double* other = col + step;
        const double c = sw.c[j];
        const double s = sw.s[j];
        if (identity(c, s)) {
#pragma GCC unroll 4
            for (int q = 0; q < nv; ++q) {
                store(col + w * q, x[q]);
                load(x[q], other + w * q);
            }
        } else {
            V cv, sv;
            if constexpr (w == 8) {
                // Eight lanes from memory in one instruction each (no shuffle).
                broadcast(cv, sw.c + j);
                broadcast(sv, sw.s + j);
            } else {
                splat(cv, c);
                splat(sv, s);
            }
            if (sw.forward) {
                // temp = a(j+1) is loaded, a(j) = s*temp + c*x is final, x becomes c*temp - s*x.
#pragma GCC unroll 4
                for (int q = 0; q < nv; ++q) {
                    V temp;
                    load(temp, other + w * q);
                    store(col + w * q, sv * temp + cv * x[q]);
                    x[q] = cv * temp - sv * x[q];
                }
            } else {
                // x is a(j+1) = temp; a(j+1) = c*temp - s*a(j) is final, x becomes s*temp + c*a(j).
#pragma GCC unroll 4
                for (int q = 0; q < nv; ++q) {
                    V aj;
                    load(aj, other + w * q);
                    store(col + w * q, cv * x[q] - sv * aj);
                    x[q] = sv * x[q] + cv * aj;
                }
            }
        }
        col = other;
    }
#pragma GCC unroll 4
    for (int q = 0; q < nv; ++q) store(col + w * q, x[q]);
}

__attribute__((target("avx512f"))) void steps_block_avx512(const Step* steps, std::size_t count,
                                                          const Sweep* sweeps, double* a, std::size_t ld, int row0) {
    for (std::size_t t = 0; t < count; ++t)
        run_step<v8d, wide_block_rows>(sweeps[steps[t].sweep], static_cast<int>(steps[t].r0), static_cast<int>(steps[t].r1), a, ld,
                      row0);
}

__attribute__((target("avx2"))) void steps_block_avx2(const Step* steps, std::size_t count, const Sweep* sweeps,
                                                      double* a, std::size_t ld, int row0) {
    for (std::size_t t = 0; t < count; ++t)
        run_step<v4d, block_rows>(sweeps[steps[t].sweep], static_cast<int>(steps[t].r0), static_cast<int>(steps[t].r1), a, ld,
                      row0);
}

void steps_block_sse2(const Step* steps, std::size_t count, const Sweep* sweeps, double* a, std::size_t ld,
                      int row0) {
    for (std::size_t t = 0; t < count; ++t)
        run_step<v4d, block_rows>(sweeps[steps[t].sweep], static_cast<int>(steps[t].r0), static_cast<int>(steps[t].r1), a, ld,
                      row0);
}

// The same sweep, one row at a time, for the rows past the last full block.
void sweep_rows(const Sweep& sw, double* a, int lda, int row0, int row1) {
    const std::size_t ld = static_cast<std::size_t>(lda);
    for (int i = row0; i < row1; ++i) {
        if (sw.forward) {
            for (int j = 0; j + 1 < sw.count; ++j) {
                if (identity(sw.c[j], sw.s[j])) continue;
                double* aj = a + static_cast<std::size_t>(sw.first + j) * ld + i;
                double* aj1 = aj + ld;
                const double temp = *aj1;
                *aj1 = sw.c[j] * temp - sw.s[j] * *aj;
                *aj = sw.s[j] * temp + sw.c[j] * *aj;
            }
        } else {
            for (int j = sw.count - 2; j >= 0; --j) {
                if (identity(sw.c[j], sw.s[j])) continue;
                double* aj = a + static_cast<std::size_t>(sw.first + j) * ld + i;
                double* aj1 = aj + ld;
                const double temp = *aj1;
                *aj1 = sw.c[j] * temp - sw.s[j] * *aj;
                *aj = sw.s[j] * temp + sw.c[j] * *aj;
            }
        }
    }
}

// apply_sweeps with the wavefront's work space given: `steps` must hold one entry per rotation
// and `done` one per sweep without growing, since this runs inside the library's frames.
void run_sweeps(const Sweep* sweeps, std::size_t sweep_count, double* a, int m, int lda, std::vector<Step>& steps,
                std::vector<int>& done) {
    if (m <= 0 || sweep_count == 0) return;
    schedule_sweeps(sweeps, sweep_count, steps, done);
    const std::size_t ld = static_cast<std::size_t>(lda);
    const State& st = state();
    const bool avx512 = !st.sse2_only && !st.avx2_only && __builtin_cpu_supports("avx512f");
    const auto block = st.sse2_only || !__builtin_cpu_supports("avx2") ? steps_block_sse2 : steps_block_avx2;
    // 32-row blocks with AVX-512, then 16-row ones; the rows past them take the sweeps one after
    // another (for each element the same operations in the same order). Job 0 is those rows.
    const int wide_blocks = avx512 ? m / wide_block_rows : 0;
    const int narrow_first = wide_blocks * wide_block_rows;
    const int narrow_blocks = (m - narrow_first) / block_rows;
    const int tail = narrow_first + narrow_blocks * block_rows;
    const int first_block_job = tail < m ? 1 : 0;
    const int jobs = first_block_job + wide_blocks + narrow_blocks;
    auto job = [&](int j) {
        if (j < first_block_job) {
            for (std::size_t k = 0; k < sweep_count; ++k) sweep_rows(sweeps[k], a, lda, tail, m);
            return;
        }
        j -= first_block_job;
        if (j < wide_blocks)
            steps_block_avx512(steps.data(), steps.size(), sweeps, a, ld, j * wide_block_rows);
        else
            block(steps.data(), steps.size(), sweeps, a, ld, narrow_first + (j - wide_blocks) * block_rows);
    };
    run_on_team(jobs, m >= threads_from_basis_count ? omp_get_max_threads() : 1, job);
}

void flush() {
    State& st = state();
    if (st.pending.empty()) return;
    run_sweeps(st.pending.data(), st.pending.size(), st.z, st.rows, st.ldz, st.steps, st.done);
    st.pending.clear();
    st.cs_used = 0;
}

// Room for the pending sweeps of an n x n Z, allocated before the library starts: nothing may
// throw through its frames.
bool reserve(int n) {
    State& st = state();
    try {
        const std::size_t per_sweep = 2 * static_cast<std::size_t>(n);
        if (st.cs.size() < max_pending * per_sweep) st.cs.resize(max_pending * per_sweep);
        st.pending.reserve(max_pending);
        if (st.steps.capacity() < max_pending * static_cast<std::size_t>(n)) st.steps.reserve(max_pending * static_cast<std::size_t>(n));
        st.done.reserve(max_pending);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

void apply_sweeps(const Sweep* sweeps, std::size_t sweep_count, double* a, int m, int lda) {
    std::vector<Step> steps;
    std::vector<int> done;
    std::size_t rotations = 0;
    for (std::size_t k = 0; k < sweep_count; ++k) rotations += static_cast<std::size_t>(std::max(0, sweeps[k].count - 1));
    steps.reserve(rotations);
    run_sweeps(sweeps, sweep_count, a, m, lda, steps, done);
}

void install_rotation_kernel(void* library) {
    State& st = state();
    st.dlasr = reinterpret_cast<dlasr_fn*>(dlsym(library, "dlasr_"));
    st.dswap = reinterpret_cast<dswap_fn*>(dlsym(library, "dswap_"));
    st.dsteqr = reinterpret_cast<dsteqr_fn*>(dlsym(library, "dsteqr_"));
}

void set_rotation_deferral(bool on) { state().deferral = on; }

void set_rotation_sse2_only(bool on) { state().sse2_only = on; }

void set_rotation_avx2_only(bool on) { state().avx2_only = on; }

RotationCounts rotation_counts() { return state().counts; }

}  // namespace zephor

// The routines the library finds in the executable (exported by the link, see CMakeLists.txt).
extern "C" {

void dsteqr_(const char* compz, const int* n, double* d, double* e, double* z, const int* ldz, double* work,
             int* info, std::size_t compz_len) {
    zephor::State& st = zephor::state();
    ++st.counts.dsteqr_calls;
    const auto is = zephor::lapack_option_is;
    const bool vectors = is(compz, 'V') || is(compz, 'I');
    if (!st.deferral || st.active || !vectors || *n < 2 || *ldz < *n || !zephor::reserve(*n)) {
        st.dsteqr(compz, n, d, e, z, ldz, work, info, compz_len);
        return;
    }
    st.active = true;
    st.z = z;
    st.rows = *n;
    st.ldz = *ldz;
    st.dsteqr(compz, n, d, e, z, ldz, work, info, compz_len);
    zephor::flush();
    st.active = false;
}

void dlasr_(const char* side, const char* pivot, const char* direct, const int* m, const int* n, const double* c,
            const double* s, double* a, const int* lda, std::size_t side_len, std::size_t pivot_len,
            std::size_t direct_len) {
    zephor::State& st = zephor::state();
    const auto is = zephor::lapack_option_is;
    if (st.active && is(side, 'R') && is(pivot, 'V') && (is(direct, 'F') || is(direct, 'B')) && *m == st.rows &&
        *lda == st.ldz && a >= st.z) {
        const std::ptrdiff_t offset = a - st.z;
        const int first = static_cast<int>(offset / st.ldz);
        if (offset % st.ldz == 0 && *n >= 1 && first + *n <= st.rows) {
            if (*n == 1) return;  // no rotation in the sequence
            const std::size_t rotations = static_cast<std::size_t>(*n - 1);
            if (st.pending.size() == zephor::max_pending) zephor::flush();
            double* cc = st.cs.data() + st.cs_used;
            double* ss = cc + rotations;
            std::copy(c, c + rotations, cc);
            std::copy(s, s + rotations, ss);
            st.cs_used += 2 * rotations;
            st.pending.push_back({is(direct, 'F'), first, *n, cc, ss});
            ++st.counts.deferred_sweeps;
            return;
        }
    }
    zephor::flush();
    st.dlasr(side, pivot, direct, m, n, c, s, a, lda, side_len, pivot_len, direct_len);
}

void dswap_(const int* n, double* x, const int* incx, double* y, const int* incy) {
    zephor::State& st = zephor::state();
    if (st.active) zephor::flush();
    st.dswap(n, x, incx, y, incy);
}

}  // extern "C"
