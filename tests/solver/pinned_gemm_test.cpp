// The wide product against the library's own one-thread dgemm, bit for bit and flag for flag:
// every transposition, shapes around the kernel's groups of four, the packed panels and the
// library's chunking of the inner dimension, alpha and beta cases (signed zeros, infinities,
// overflow, underflow), AVX2 and AVX-512. A plain scalar evaluation of the stated order agrees
// with the library on the full groups, and the negative controls show the comparison sees the
// chunking and the strips summed otherwise.
#include "solver/pinned_gemm.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/thread_fp_flags.hpp"
#include "solver/eigen_solve.hpp"
#include "test_support.hpp"

using namespace zephor;

namespace {

gemm_routine* library_dgemm() {
    std::vector<double> a{2.0}, b{1.0}, e;
    dsygv_in_place(a, b, 1, e);  // loads and pins the library
    void* lib = dlopen(ZEPHOR_LAPACK_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    EXPECT_NE(lib, nullptr);
    return reinterpret_cast<gemm_routine*>(dlsym(lib, "dgemm_"));
}

struct Case {
    char ta, tb;
    int m, n, k;
    double alpha, beta;
    int lda, ldb, ldc;
    std::vector<double> a, b, c;
    std::string what() const {
        return std::string{ta, tb} + " m " + std::to_string(m) + " n " + std::to_string(n) + " k " +
               std::to_string(k) + " alpha " + std::to_string(alpha) + " beta " + std::to_string(beta);
    }
};

// Entries in [-1, 1] with a few exact zeros of either sign; `scale` moves them towards overflow
// or underflow.
std::vector<double> entries(std::mt19937_64& rng, std::size_t size, double scale) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> v(size);
    for (double& x : v) {
        const unsigned r = static_cast<unsigned>(rng() % 64);
        x = r == 0 ? 0.0 : r == 1 ? -0.0 : u(rng) * scale;
    }
    return v;
}

Case make_case(std::mt19937_64& rng, char ta, char tb, int m, int n, int k, double alpha, double beta,
               double scale = 1.0) {
    Case q{ta, tb, m, n, k, alpha, beta, 0, 0, 0, {}, {}, {}};
    const bool na = ta == 'N' || ta == 'n', nb = tb == 'N' || tb == 'n';
    const int ra = na ? m : k, rb = nb ? k : n;
    q.lda = std::max(1, ra + static_cast<int>(rng() % 3));
    q.ldb = std::max(1, rb + static_cast<int>(rng() % 3));
    q.ldc = std::max(1, m + static_cast<int>(rng() % 3));
    q.a = entries(rng, static_cast<std::size_t>(q.lda) * (na ? k : m), scale);
    q.b = entries(rng, static_cast<std::size_t>(q.ldb) * (nb ? n : k), scale);
    q.c = entries(rng, static_cast<std::size_t>(q.ldc) * n, 1.0);
    return q;
}

struct Outcome {
    std::vector<double> c;
    FpFlags flags;
};

template <class Call>
Outcome run(const Case& q, Call call) {
    Outcome o{q.c, {}};
    take_thread_fp_flags();
    call(o.c.data());
    o.flags = take_thread_fp_flags();
    return o;
}

Outcome by_library(gemm_routine* lib, const Case& q) {
    return run(q, [&](double* c) {
        lib(&q.ta, &q.tb, &q.m, &q.n, &q.k, &q.alpha, q.a.data(), &q.lda, q.b.data(), &q.ldb, &q.beta, c, &q.ldc, 1,
            1);
    });
}

Outcome by_pinned(gemm_routine* lib, const Case& q, int width) {
    set_pinned_gemm_width(width);
    Outcome o = run(q, [&](double* c) {
        pinned_gemm(lib, q.ta, q.tb, q.m, q.n, q.k, q.alpha, q.a.data(), q.lda, q.b.data(), q.ldb, q.beta, c, q.ldc);
    });
    set_pinned_gemm_width(8);
    return o;
}

// The stated order in plain scalar code, for every element (the strips too, where the library
// sums otherwise); `chunked` false sums the whole inner dimension at once.
std::vector<double> stated_order(const Case& q, bool chunked) {
    std::vector<double> c = q.c;
    const bool na = q.ta == 'N' || q.ta == 'n', nb = q.tb == 'N' || q.tb == 'n';
    auto opa = [&](int i, int p) { return na ? q.a[i + std::size_t(p) * q.lda] : q.a[p + std::size_t(i) * q.lda]; };
    auto opb = [&](int p, int j) { return nb ? q.b[p + std::size_t(j) * q.ldb] : q.b[j + std::size_t(p) * q.ldb]; };
    for (int j = 0; j < q.n; ++j)
        for (int i = 0; i < q.m; ++i) {
            double& e = c[i + std::size_t(j) * q.ldc];
            if (q.beta != 1.0) e = q.beta == 0.0 ? q.beta : e * q.beta;
            for (int l0 = 0; l0 < q.k;) {
                const int kc = chunked ? pinned_gemm_chunk(q.k - l0) : q.k;
                double sum = 0.0;
                for (int p = l0; p < l0 + kc; ++p) sum = sum + opb(p, j) * opa(i, p);
                e = sum * q.alpha + e;
                l0 += kc;
            }
        }
    return c;
}

// Whether the two agree on the full 4 x 4 groups, and on the strips past them.
struct Agreement {
    bool groups = true, strips = true;
};

Agreement agreement(const Case& q, const std::vector<double>& x, const std::vector<double>& y) {
    Agreement out;
    const int m4 = q.m / 4 * 4, n4 = q.n / 4 * 4;
    for (int j = 0; j < q.n; ++j)
        for (int i = 0; i < q.m; ++i) {
            const std::size_t at = i + std::size_t(j) * q.ldc;
            const bool same = std::memcmp(&x[at], &y[at], sizeof(double)) == 0;
            (i < m4 && j < n4 ? out.groups : out.strips) &= same;
        }
    return out;
}

}  // namespace

TEST(PinnedGemm, ProductsAreTheLibrarysOwnBitForBitAndFlagForFlag) {
    gemm_routine* const lib = library_dgemm();
    ASSERT_NE(lib, nullptr);
    std::vector<int> widths{4, 8};
    std::erase_if(widths, [](int w) {
        set_pinned_gemm_width(w);
        const bool has = pinned_gemm_width() == w;
        set_pinned_gemm_width(8);
        return !has;
    });
    if (widths.empty()) GTEST_SKIP() << "the processor has neither AVX2 nor AVX-512";
    std::mt19937_64 rng(9122026);
    // Around the groups of four, the 8-column and 24-row tiles, the 192 x 256 packed panels.
    const int dims[] = {1, 3, 4, 5, 7, 8, 12, 16, 23, 24, 28, 33, 191, 192, 196, 197, 259, 260};
    // Around the chunks: one, two halves (rounded to fours), 128 and the rest.
    const int inner[] = {1, 3, 8, 127, 128, 129, 130, 200, 255, 256, 257, 383, 385, 521};
    const char* trans = "NTCnt";
    const double inf = std::numeric_limits<double>::infinity();
    const double alphas[] = {1.0, -1.0, 0.37, 0.0, -0.0, 1e300, inf};
    const double betas[] = {1.0, 0.0, -0.0, -0.5, 2.0, inf};
    int stated_groups_differ = 0, one_chunk_differs = 0, stated_strips_differ = 0;
    for (int t = 0; t < 150; ++t) {
        // Big and tiny entries now and then, for overflow and underflow in the sums.
        const double scale = t % 13 == 5 ? 1e160 : t % 13 == 9 ? 1e-160 : 1.0;
        const Case q = make_case(rng, trans[rng() % 5], trans[rng() % 5], dims[rng() % std::size(dims)],
                                 dims[rng() % std::size(dims)], inner[rng() % std::size(inner)],
                                 t < 100 ? alphas[t % 3] : alphas[rng() % std::size(alphas)],
                                 betas[rng() % std::size(betas)], scale);
        const Outcome expected = by_library(lib, q);
        for (int w : widths) {
            const Outcome got = by_pinned(lib, q, w);
            EXPECT_TRUE(zephor_test::same_bits(expected.c, got.c)) << q.what() << ", width " << w;
            EXPECT_EQ(expected.flags.except, got.flags.except) << q.what() << ", width " << w;
            EXPECT_EQ(expected.flags.denormal, got.flags.denormal) << q.what() << ", width " << w;
        }
        // The scalar evaluations on the smaller shapes (they are slow under the sanitizers).
        if (q.alpha == 0.0 || !std::isfinite(q.alpha) || !std::isfinite(q.beta) || scale != 1.0 ||
            double(q.m) * q.n * q.k > 4e6)
            continue;
        const Agreement stated = agreement(q, expected.c, stated_order(q, true));
        stated_groups_differ += stated.groups ? 0 : 1;
        stated_strips_differ += stated.strips ? 0 : 1;
        if (q.k > 128) one_chunk_differs += agreement(q, expected.c, stated_order(q, false)).groups ? 0 : 1;
    }
    EXPECT_EQ(stated_groups_differ, 0) << "the stated order is not the library's on the full groups";
    EXPECT_GT(one_chunk_differs, 0) << "no shape here tells the library's chunks from one sum";
    EXPECT_GT(stated_strips_differ, 0) << "no shape here shows the strips summed in another order";
}

// Shapes of the solver's own calls (the eigenvector matrix built from its reflectors, 32 and 64
// wide panels, and the rank-2k update's rectangles) at the orders of large molecules (one side
// of each at full length).
TEST(PinnedGemm, TheSolversShapesAreTheLibrarysOwn) {
    gemm_routine* const lib = library_dgemm();
    ASSERT_NE(lib, nullptr);
    std::mt19937_64 rng(10122026);
    const struct {
        char ta, tb;
        int m, n, k;
        double alpha, beta;
    } shapes[] = {{'N', 'T', 1966, 32, 32, -1.0, 1.0}, {'T', 'N', 32, 1998, 966, 1.0, 0.0},
                  {'N', 'N', 998, 966, 32, -1.0, 1.0}, {'N', 'T', 1503, 251, 64, -1.0, 1.0},
                  {'C', 'N', 64, 1002, 2938, 1.0, 0.0}, {'N', 'C', 2938, 130, 64, -1.0, 1.0}};
    for (const auto& s : shapes) {
        const Case q = make_case(rng, s.ta, s.tb, s.m, s.n, s.k, s.alpha, s.beta);
        const Outcome expected = by_library(lib, q);
        const Outcome got = by_pinned(lib, q, 8);
        EXPECT_TRUE(zephor_test::same_bits(expected.c, got.c)) << q.what();
        EXPECT_EQ(expected.flags.except, got.flags.except) << q.what();
    }
}
