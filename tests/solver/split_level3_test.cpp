// Split products and triangular solves against the library's own whole calls, bit for bit and
// flag for flag: every transposition, side, triangle and diagonal, shapes around the 32-row
// block multiple, the kernels' small groups and the library's inner chunking, 2 to 5 blocks on
// one and two threads; then whole solves with and without splitting.
#include "solver/split_level3.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench/molecules.hpp"
#include "common/thread_fp_flags.hpp"
#include "driver/molecule.hpp"
#include "integrals/s_h_matrix.hpp"
#include "solver/deferred_rotations.hpp"
#include "solver/eigen_solve.hpp"
#include "test_support.hpp"

// The exported routines, as the library reaches them.
extern "C" {
void dgemm_(const char*, const char*, const int*, const int*, const int*, const double*, const double*, const int*,
            const double*, const int*, const double*, double*, const int*, std::size_t, std::size_t);
void dtrsm_(const char*, const char*, const char*, const char*, const int*, const int*, const double*,
            const double*, const int*, double*, const int*, std::size_t, std::size_t, std::size_t, std::size_t);
void dsyr2k_(const char*, const char*, const int*, const int*, const double*, const double*, const int*,
             const double*, const int*, const double*, double*, const int*, std::size_t, std::size_t);
}

using namespace zephor;
namespace zb = zephor_bench;

namespace {

using dgemm_fn = decltype(dgemm_);
using dtrsm_fn = decltype(dtrsm_);
using dsyr2k_fn = decltype(dsyr2k_);

// The library the solver loaded (the first solve loads it and allows splitting).
void* library() {
    std::vector<double> a{2.0}, b{1.0}, e;
    dsygv_in_place(a, b, 1, e);
    void* lib = dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    EXPECT_NE(lib, nullptr);
    return lib;
}

std::vector<double> random_matrix(std::mt19937_64& rng, std::size_t size) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> v(size);
    for (double& x : v) x = u(rng);
    return v;
}

// Runs `call` on a fresh copy of `c` with the flags cleared, and returns the result and flags.
template <class Call>
std::pair<std::vector<double>, int> run(std::vector<double> c, Call call) {
    take_thread_fp_flags();
    call(c.data());
    return {c, take_thread_fp_flags().except};
}

// Sets the forced block count and thread count for one comparison, and puts them back.
struct Splitting {
    Splitting(int blocks, int threads) {
        set_level3_forced_blocks(blocks);
        omp_set_num_threads(threads);
    }
    ~Splitting() {
        set_level3_forced_blocks(0);
        omp_set_num_threads(2);
    }
};

}  // namespace

TEST(SplitLevel3, ProductsAreTheLibrarysWholeCallsBitForBit) {
    auto* const whole = reinterpret_cast<dgemm_fn*>(dlsym(library(), "dgemm_"));
    ASSERT_NE(whole, nullptr);
    std::mt19937_64 rng(20261208);
    const int dims[] = {1, 31, 32, 33, 63, 64, 65, 95, 130, 257, 333};
    const int inner[] = {1, 5, 32, 64, 250, 257, 300, 511, 513, 700};
    const char* trans = "NTC";
    const double alphas[] = {1.0, -1.0, 0.37, 0.0};
    const double betas[] = {0.0, 1.0, -0.5};
    const Level3Counts before = level3_counts();
    int misaligned_differs = 0;
    for (int t = 0; t < 160; ++t) {
        const int m = dims[rng() % std::size(dims)];
        const int n = dims[rng() % std::size(dims)];
        const int k = inner[rng() % std::size(inner)];
        const char ta = trans[rng() % 3], tb = trans[rng() % 3];
        const double alpha = alphas[rng() % std::size(alphas)], beta = betas[rng() % std::size(betas)];
        const int ra = ta == 'N' ? m : k, rb = tb == 'N' ? k : n;
        const int lda = ra + static_cast<int>(rng() % 3), ldb = rb + static_cast<int>(rng() % 3),
                  ldc = m + static_cast<int>(rng() % 3);
        const std::vector<double> a = random_matrix(rng, static_cast<std::size_t>(lda) * (ta == 'N' ? k : m));
        const std::vector<double> b = random_matrix(rng, static_cast<std::size_t>(ldb) * (tb == 'N' ? n : k));
        const std::vector<double> c0 = random_matrix(rng, static_cast<std::size_t>(ldc) * n);
        const auto expected = run(c0, [&](double* c) {
            whole(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c, &ldc, 1, 1);
        });
        const int blocks = 2 + static_cast<int>(rng() % 4);
        const int threads = 1 + static_cast<int>(rng() % 2);
        Splitting split(blocks, threads);
        const auto got = run(c0, [&](double* c) {
            dgemm_(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c, &ldc, 1, 1);
        });
        const std::string what = std::string(1, ta) + tb + " m " + std::to_string(m) + " n " + std::to_string(n) +
                                 " k " + std::to_string(k) + ", " + std::to_string(blocks) + " blocks, " +
                                 std::to_string(threads) + " threads";
        EXPECT_TRUE(zephor_test::same_bits(expected.first, got.first)) << what;
        EXPECT_EQ(expected.second, got.second) << what;
        // The same product cut by hand after an odd number of rows: the library's kernels then
        // meet some elements in another place within their groups, and these shapes show it.
        if (m >= 3 && n >= 1 && k >= 5 && alpha != 0.0) {
            const int top = (m / 2) | 1, bottom = m - top;
            const auto cut = run(c0, [&](double* c) {
                whole(&ta, &tb, &top, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c, &ldc, 1, 1);
                const double* a2 = ta == 'N' ? a.data() + top : a.data() + static_cast<std::size_t>(top) * lda;
                whole(&ta, &tb, &bottom, &n, &k, &alpha, a2, &lda, b.data(), &ldb, &beta, c + top, &ldc, 1, 1);
            });
            misaligned_differs += zephor_test::same_bits(expected.first, cut.first) ? 0 : 1;
        }
    }
    EXPECT_GT(level3_counts().split_calls, before.split_calls + 50);
    EXPECT_GT(misaligned_differs, 0) << "no shape here tells an aligned cut from any other";
}

TEST(SplitLevel3, TriangularSolvesAreTheLibrarysWholeCallsBitForBit) {
    auto* const whole = reinterpret_cast<dtrsm_fn*>(dlsym(library(), "dtrsm_"));
    ASSERT_NE(whole, nullptr);
    std::mt19937_64 rng(8122026);
    const int dims[] = {1, 32, 33, 64, 65, 97, 200, 257, 300, 520};
    const Level3Counts before = level3_counts();
    for (int t = 0; t < 160; ++t) {
        const char side = "LR"[rng() % 2], uplo = "UL"[rng() % 2], transa = "NTC"[rng() % 3], diag = "NU"[rng() % 2];
        const int m = dims[rng() % std::size(dims)];
        const int n = dims[rng() % std::size(dims)];
        const int order = side == 'L' ? m : n;
        const int lda = order + static_cast<int>(rng() % 3), ldb = m + static_cast<int>(rng() % 3);
        const double alpha = t % 5 == 0 ? -1.0 : 0.75;
        // A triangle with a dominant diagonal keeps the solution finite.
        std::vector<double> a = random_matrix(rng, static_cast<std::size_t>(lda) * order);
        for (int i = 0; i < order; ++i) a[static_cast<std::size_t>(i) * (lda + 1)] = 2.0 + std::abs(a[i]) + order / 8.0;
        const std::vector<double> b0 = random_matrix(rng, static_cast<std::size_t>(ldb) * n);
        const auto expected = run(b0, [&](double* b) {
            whole(&side, &uplo, &transa, &diag, &m, &n, &alpha, a.data(), &lda, b, &ldb, 1, 1, 1, 1);
        });
        const int blocks = 2 + static_cast<int>(rng() % 4);
        const int threads = 1 + static_cast<int>(rng() % 2);
        Splitting split(blocks, threads);
        const auto got = run(b0, [&](double* b) {
            dtrsm_(&side, &uplo, &transa, &diag, &m, &n, &alpha, a.data(), &lda, b, &ldb, 1, 1, 1, 1);
        });
        const std::string what = std::string{side, uplo, transa, diag} + " m " + std::to_string(m) + " n " +
                                 std::to_string(n) + ", " + std::to_string(blocks) + " blocks, " +
                                 std::to_string(threads) + " threads";
        EXPECT_TRUE(zephor_test::same_bits(expected.first, got.first)) << what;
        EXPECT_EQ(expected.second, got.second) << what;
    }
    EXPECT_GT(level3_counts().split_calls, before.split_calls + 50);
}

TEST(SplitLevel3, RankTwoKUpdatesAreTheLibrarysWholeCallsBitForBit) {
    auto* const whole = reinterpret_cast<dsyr2k_fn*>(dlsym(library(), "dsyr2k_"));
    ASSERT_NE(whole, nullptr);
    std::mt19937_64 rng(31122026);
    const int dims[] = {1, 32, 33, 64, 65, 97, 200, 257, 300, 520};
    const int inner[] = {1, 3, 31, 32, 33, 64, 100, 128, 129, 300};
    const Level3Counts before = level3_counts();
    auto compare = [&](char uplo, char trans, int n, int k, double alpha, double beta, int blocks, int threads) {
        const int rows = trans == 'N' ? n : k, cols = trans == 'N' ? k : n;
        const int lda = rows + static_cast<int>(rng() % 3), ldb = rows + static_cast<int>(rng() % 3),
                  ldc = n + static_cast<int>(rng() % 3);
        const std::vector<double> a = random_matrix(rng, static_cast<std::size_t>(lda) * cols);
        const std::vector<double> b = random_matrix(rng, static_cast<std::size_t>(ldb) * cols);
        const std::vector<double> c0 = random_matrix(rng, static_cast<std::size_t>(ldc) * n);
        const auto expected = run(c0, [&](double* c) {
            whole(&uplo, &trans, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c, &ldc, 1, 1);
        });
        Splitting split(blocks, threads);
        const auto got = run(c0, [&](double* c) {
            dsyr2k_(&uplo, &trans, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c, &ldc, 1, 1);
        });
        const std::string what = std::string{uplo, trans} + " n " + std::to_string(n) + " k " + std::to_string(k) +
                                 " beta " + std::to_string(beta) + ", " + std::to_string(blocks) + " blocks, " +
                                 std::to_string(threads) + " threads";
        EXPECT_TRUE(zephor_test::same_bits(expected.first, got.first)) << what;
        EXPECT_EQ(expected.second, got.second) << what;
    };
    for (int t = 0; t < 120; ++t) {
        // Mostly the lower, untransposed update with beta = 1 that is split; the others go whole.
        const char uplo = t % 6 == 5 ? 'U' : 'L', trans = t % 7 == 6 ? 'T' : 'N';
        const double beta = t % 9 == 8 ? 0.5 : 1.0;
        compare(uplo, trans, dims[rng() % std::size(dims)], inner[rng() % std::size(inner)],
                t % 4 == 0 ? 1.0 : -1.0, beta, 2 + static_cast<int>(rng() % 6), 1 + static_cast<int>(rng() % 2));
    }
    // Orders of the reductions of large molecules, by the size rule.
    for (int n : {2000, 3001})
        for (int k : {32, 64}) compare('L', 'N', n, k, -1.0, 1.0, 0, 2);
    EXPECT_GT(level3_counts().split_calls, before.split_calls + 50);
}

TEST(SplitLevel3, SolvesWithAndWithoutSplittingAreTheSameBits) {
    library();
    std::vector<std::pair<std::string, std::string>> molecules;
    for (const char* name : zephor_test::golden_names) molecules.emplace_back(name, zephor_test::golden_input(name));
    molecules.emplace_back("flake C150H30", zb::for005(zb::flake(5)));
    molecules.emplace_back("alkane C130", zb::for005(zb::alkane(130)));
    molecules.emplace_back("N/O chain", zb::for005(zb::no_chain(40)));
    for (const auto& [name, input] : molecules) {
        Molecule m = load_molecule(input);
        const std::size_t n = static_cast<std::size_t>(m.basis_count);
        std::vector<double> s(n * n);
        s_h_matrix(s, m.basis.ham, basis_view(m), m.norm);
        // The library's own solve: every rotation and every call of its own.
        set_level3_split(false);
        set_rotation_deferral(false);
        std::vector<double> plain_energy, plain_c;
        ASSERT_EQ(solve_eigenproblem(m.basis.ham, s, m.basis_count, plain_energy, plain_c), 0) << name;
        set_level3_split(true);
        set_rotation_deferral(true);
        // The size rule (large molecules only), and every call with two or more blocks split.
        for (int blocks : {0, 2, 3}) {
            for (int threads : {1, 2}) {
                const Level3Counts before = level3_counts();
                Splitting split(blocks, threads);
                std::vector<double> energy, c;
                ASSERT_EQ(solve_eigenproblem(m.basis.ham, s, m.basis_count, energy, c), 0) << name;
                const std::string what = name + ", " + std::to_string(blocks) + " blocks, " +
                                         std::to_string(threads) + " threads";
                EXPECT_TRUE(zephor_test::same_bits(plain_c, c)) << what;
                EXPECT_TRUE(zephor_test::same_bits(plain_energy, energy)) << what;
                if (n >= 600 && threads == 2) {
                    EXPECT_GT(level3_counts().split_calls, before.split_calls) << what;
                }
            }
        }
    }
}
