// The fused rotation kernel against the library's own dlasr, bit for bit: both directions, every
// window, row counts around the 16-row blocks, sweep counts around the 64 that are deferred
// together, identity rotations, tiny, huge and non-finite values; then whole solves with and
// without deferral, on one and two threads, for the golden molecules and generated ones.
#include "solver/deferred_rotations.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bench/molecules.hpp"
#include "common/thread_fp_flags.hpp"
#include "driver/molecule.hpp"
#include "integrals/s_h_matrix.hpp"
#include "solver/eigen_solve.hpp"
#include "test_support.hpp"

using namespace zephor;
using zephor_test::same_bits_or_nan;
namespace zb = zephor_bench;

namespace {

// The library's own dlasr, from the library the solver loaded.
dlasr_fn* library_dlasr() {
    std::vector<double> a{2.0}, b{1.0}, e;
    dsygv_in_place(a, b, 1, e);  // loads the library
    void* lib = dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    EXPECT_NE(lib, nullptr);
    return reinterpret_cast<dlasr_fn*>(dlsym(lib, "dlasr_"));
}

struct Recorded {
    bool forward;
    int first, count;
    std::vector<double> c, s;
};

// Random sweeps over random windows of `columns` columns; `kind` chooses the values.
std::vector<Recorded> random_sweeps(int sweeps, int columns, unsigned seed, int kind) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
    std::vector<Recorded> out;
    for (int k = 0; k < sweeps; ++k) {
        Recorded r;
        r.forward = rng() % 2 == 0;
        r.first = static_cast<int>(rng() % static_cast<unsigned>(columns));
        r.count = 1 + static_cast<int>(rng() % static_cast<unsigned>(columns - r.first));
        for (int j = 0; j + 1 < r.count; ++j) {
            const double t = angle(rng);
            double c = std::cos(t), s = std::sin(t);
            const unsigned pick = static_cast<unsigned>(rng() % 8);
            if (pick == 0) c = 1.0, s = 0.0;           // identity: skipped
            if (pick == 1) c = 1.0, s = -0.0;          // also the identity
            if (kind == 1 && pick == 2) s = 1e-310;    // subnormal sine
            if (kind == 1 && pick == 3) c = 1e300;     // overflow
            if (kind == 2 && pick == 2) c = std::numeric_limits<double>::quiet_NaN();
            if (kind == 2 && pick == 3) s = std::numeric_limits<double>::infinity();
            r.c.push_back(c);
            r.s.push_back(s);
        }
        out.push_back(std::move(r));
    }
    return out;
}

std::vector<double> random_matrix(int lda, int columns, unsigned seed, int kind) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g;
    std::vector<double> a(static_cast<std::size_t>(lda) * static_cast<std::size_t>(columns));
    for (double& x : a) x = g(rng);
    if (kind == 1)
        for (std::size_t e = 0; e < a.size(); e += 5) a[e] *= (e % 2) ? 1e-300 : 1e290;
    return a;
}

// Applies `sweeps` with the library's dlasr, one call each, and with apply_sweeps in one go.
void expect_same_rotations(dlasr_fn* dlasr, const std::vector<Recorded>& sweeps, int rows, int lda, int columns,
                           unsigned seed, int kind, const std::string& what) {
    const std::vector<double> start = random_matrix(lda, columns, seed, kind);
    std::vector<double> library = start;
    take_thread_fp_flags();
    for (const Recorded& r : sweeps) {
        const char direct = r.forward ? 'F' : 'B';
        dlasr("R", "V", &direct, &rows, &r.count, r.c.data(), r.s.data(),
              &library[static_cast<std::size_t>(r.first) * static_cast<std::size_t>(lda)], &lda, 1, 1, 1);
    }
    const FpFlags library_flags = take_thread_fp_flags();
    std::vector<Sweep> list;
    for (const Recorded& r : sweeps) list.push_back({r.forward, r.first, r.count, r.c.data(), r.s.data()});
    // The widest build the processor has (AVX-512 or AVX2), AVX2, SSE2.
    for (int build : {0, 1, 2}) {
        const bool sse2 = build == 2;
        set_rotation_sse2_only(sse2);
        set_rotation_avx2_only(build == 1);
        for (int threads : {1, 2}) {
            omp_set_num_threads(threads);
            std::vector<double> fused = start;
            take_thread_fp_flags();
            apply_sweeps(list.data(), list.size(), fused.data(), rows, lda);
            const FpFlags flags = take_thread_fp_flags();
            const std::string how = what + ", threads " + std::to_string(threads) +
                                    (sse2 ? ", SSE2" : build == 1 ? ", AVX2" : ", widest");
            EXPECT_TRUE(same_bits_or_nan(library, fused)) << how;
            EXPECT_EQ(flags.except, library_flags.except) << how;
            EXPECT_EQ(flags.denormal, library_flags.denormal) << how;
        }
    }
    set_rotation_sse2_only(false);
    set_rotation_avx2_only(false);
}

}  // namespace

TEST(DeferredRotations, FusedKernelIsTheLibrarysDlasrBitForBit) {
    dlasr_fn* const dlasr = library_dlasr();
    ASSERT_NE(dlasr, nullptr);
    // Rows around the 16-row blocks (and past the thread threshold), sweep counts around 64.
    for (int rows : {1, 2, 5, 15, 16, 17, 31, 32, 33, 64, 95, 200}) {
        for (int sweeps : {1, 7, 63, 64, 65, 130}) {
            const int columns = 40;
            const std::string what = std::to_string(rows) + " rows, " + std::to_string(sweeps) + " sweeps";
            expect_same_rotations(dlasr, random_sweeps(sweeps, columns, static_cast<unsigned>(rows * 1000 + sweeps), 0),
                                  rows, rows + 3, columns, 17, 0, what);
        }
    }
    // Whole-width windows on a square matrix, as the solver's sweeps are.
    expect_same_rotations(dlasr, random_sweeps(100, 300, 5, 0), 300, 300, 300, 6, 0, "300 x 300");
}

TEST(DeferredRotations, TinyHugeAndNonFiniteValuesPassThroughAsInTheLibrary) {
    dlasr_fn* const dlasr = library_dlasr();
    ASSERT_NE(dlasr, nullptr);
    for (int rows : {33, 170}) {
        expect_same_rotations(dlasr, random_sweeps(70, 50, 8, 1), rows, rows, 50, 9, 1,
                              "subnormal, huge, " + std::to_string(rows) + " rows");
        expect_same_rotations(dlasr, random_sweeps(70, 50, 10, 2), rows, rows, 50, 11, 0,
                              "NaN and infinity, " + std::to_string(rows) + " rows");
    }
}

TEST(DeferredRotations, SolvesWithAndWithoutDeferralAreTheSameBits) {
    std::vector<std::pair<std::string, std::string>> molecules;
    for (const char* name : zephor_test::golden_names) molecules.emplace_back(name, zephor_test::golden_input(name));
    molecules.emplace_back("alkane C40", zb::for005(zb::alkane(40)));
    molecules.emplace_back("flake C54H18", zb::for005(zb::flake(3)));
    molecules.emplace_back("N/O chain", zb::for005(zb::no_chain(20)));
    const RotationCounts before = rotation_counts();
    for (const auto& [name, input] : molecules) {
        Molecule m = load_molecule(input);
        const std::size_t n = static_cast<std::size_t>(m.basis_count);
        std::vector<double> s(n * n);
        s_h_matrix(s, m.basis.ham, basis_view(m), m.norm);
        set_rotation_deferral(false);
        std::vector<double> plain_energy, plain_c;
        ASSERT_EQ(solve_eigenproblem(m.basis.ham, s, m.basis_count, plain_energy, plain_c), 0) << name;
        set_rotation_deferral(true);
        for (int threads : {1, 2}) {
            omp_set_num_threads(threads);
            std::vector<double> energy, c;
            ASSERT_EQ(solve_eigenproblem(m.basis.ham, s, m.basis_count, energy, c), 0) << name;
            EXPECT_TRUE(zephor_test::same_bits(plain_c, c)) << name << ", threads " << threads;
            EXPECT_TRUE(zephor_test::same_bits(plain_energy, energy)) << name << ", threads " << threads;
        }
    }
    // This test program exports the kernel as zephor does: the library really called it.
    const RotationCounts after = rotation_counts();
    EXPECT_GT(after.dsteqr_calls, before.dsteqr_calls);
    EXPECT_GT(after.deferred_sweeps, before.deferred_sweeps);
}
