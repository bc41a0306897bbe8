// The tabulated assembly against the plain evaluation, bit for bit and flag for flag, with one
// and two OpenMP threads: golden and generated molecules, inputs that leave the tables, and
// exponentials that underflow.
#include "integrals/s_h_matrix_tabulated.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bench/molecules.hpp"
#include "common/thread_fp_flags.hpp"
#include "driver/molecule.hpp"
#include "integrals/s_h_matrix.hpp"
#include "integrals/s_h_matrix_reference.hpp"
#include "test_support.hpp"

using namespace zephor;
using zephor_test::golden_input;
using zephor_test::golden_names;
using zephor_test::same_bits;
namespace zb = zephor_bench;

namespace {

// The inputs of the assembly, which tests may also make by hand.
struct AssemblyInput {
    std::vector<std::string> symbol;
    std::vector<Label> g;
    std::vector<double> alfa, d, r, ham_diagonal;
    std::vector<std::int32_t> basis_atom;
    std::int32_t n = 0;

    BasisView view() const {
        BasisView b;
        b.atom_count = static_cast<std::int32_t>(symbol.size());
        b.basis_count = n;
        b.symbol = symbol;
        b.r = r;
        b.g = g;
        b.alfa = alfa;
        b.d = d;
        b.basis_atom = basis_atom;
        return b;
    }
};

AssemblyInput input_of(const Molecule& m) {
    AssemblyInput in{m.symbol, m.basis.g, m.basis.alfa, m.basis.d, m.r, {}, m.basis.basis_atom,
                     m.basis_count};
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    for (std::size_t i = 0; i < n; ++i) in.ham_diagonal.push_back(m.basis.ham[i * (n + 1)]);
    return in;
}

struct Assembled {
    std::vector<double> s, ham, norm;
    FpFlags flags;
};

// One assembly with cleared flags; `threads` 0 means the reference.
Assembled assemble(const AssemblyInput& in, int threads) {
    const std::size_t n = static_cast<std::size_t>(in.n);
    Assembled a;
    a.s.assign(n * n, -7.0);
    a.ham.assign(n * n, 99.0);
    a.norm.assign(n, -1.0);
    for (std::size_t i = 0; i < n; ++i) a.ham[i * (n + 1)] = in.ham_diagonal[i];
    take_thread_fp_flags();
    if (threads == 0) {
        s_h_matrix_reference(a.s, a.ham, in.view(), a.norm);
    } else {
        omp_set_num_threads(threads);
        s_h_matrix(a.s, a.ham, in.view(), a.norm);
    }
    a.flags = take_thread_fp_flags();
    return a;
}

void expect_same_assembly(const AssemblyInput& in, const std::string& what) {
    const Assembled ref = assemble(in, 0);
    for (int threads : {1, 2}) {
        const Assembled fast = assemble(in, threads);
        EXPECT_TRUE(same_bits(ref.s, fast.s)) << what << ", s, threads " << threads;
        EXPECT_TRUE(same_bits(ref.ham, fast.ham)) << what << ", ham, threads " << threads;
        EXPECT_TRUE(same_bits(ref.norm, fast.norm)) << what << ", norm, threads " << threads;
        EXPECT_EQ(ref.flags.except & ~FE_INEXACT, fast.flags.except & ~FE_INEXACT)
            << what << ", flags, threads " << threads;
        EXPECT_EQ(ref.flags.denormal, fast.flags.denormal) << what << ", denormal, threads " << threads;
    }
}

AssemblyInput generated(const std::vector<zb::Atom>& atoms) {
    return input_of(load_molecule(zb::for005(atoms)));
}

}  // namespace

TEST(TabulatedAssembly, GoldenMoleculesMatchThePlainEvaluation) {
    for (const char* name : golden_names) expect_same_assembly(input_of(load_molecule(golden_input(name))), name);
}

TEST(TabulatedAssembly, GeneratedMoleculesMatchThePlainEvaluation) {
    // The long chain reaches past the distance where whole atom pairs underflow to zero.
    expect_same_assembly(generated(zb::alkane(60)), "alkane C60");
    expect_same_assembly(generated(zb::flake(3)), "flake C54H18");
    expect_same_assembly(generated(zb::no_chain(10)), "N/O chain");
}

TEST(TabulatedAssembly, UnusualInputsStayExact) {
    const AssemblyInput base = generated(zb::no_chain(2));
    const std::size_t n = static_cast<std::size_t>(base.n);

    // Functions of different atoms interleaved and in reverse order: the lower index is still
    // the first primitive of every pair.
    {
        AssemblyInput in = base;
        std::vector<std::size_t> order(n);
        for (std::size_t i = 0; i < n; ++i) order[i] = n - 1 - i;
        std::swap(order[0], order[n / 2]);
        AssemblyInput shuffled = in;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t o = order[i];
            shuffled.basis_atom[i] = in.basis_atom[o];
            shuffled.ham_diagonal[i] = in.ham_diagonal[o];
            for (std::size_t k = 0; k < 6; ++k) {
                shuffled.g[6 * i + k] = in.g[6 * o + k];
                shuffled.alfa[6 * i + k] = in.alfa[6 * o + k];
                shuffled.d[6 * i + k] = in.d[6 * o + k];
            }
        }
        expect_same_assembly(shuffled, "reordered functions");
    }
    // One function of an atom with exponents of its own, and one with mixed labels: both leave
    // the tabulated path for the plain one on threads.
    {
        AssemblyInput in = base;
        in.alfa[6 * 2 + 3] *= 1.5;
        expect_same_assembly(in, "exponents differing within an atom");
        AssemblyInput mixed = base;
        mixed.g[6 * 1 + 4] = label_pz;
        expect_same_assembly(mixed, "mixed labels within a function");
    }
    // More function types than the tables hold.
    {
        AssemblyInput in = base;
        std::mt19937_64 rng(7);
        std::uniform_real_distribution<double> u(0.5, 1.5);
        for (double& c : in.d) c *= u(rng);
        expect_same_assembly(in, "a coefficient set per function");
    }
    // An atom at infinity: its functions' self-overlaps are NaN, not those of their type.
    {
        AssemblyInput in = base;
        in.r[3] = std::numeric_limits<double>::infinity();
        expect_same_assembly(in, "an atom at infinity");
    }
    // Atoms without functions (atom 1 here) and an empty basis.
    {
        AssemblyInput in = base;
        in.r.insert(in.r.begin(), {1.0, 2.0, 3.0});
        in.symbol.insert(in.symbol.begin(), "N   ");
        for (auto& a : in.basis_atom) ++a;
        expect_same_assembly(in, "an atom without functions");
        AssemblyInput empty;
        expect_same_assembly(empty, "no functions");
    }
}

TEST(TabulatedAssembly, ExponentialBelowTheCutOffIsZeroWithUnderflowAndInexact) {
    // The skipped calls are replaced by +0 and these two flags; this is what the C library does.
    for (double t : {-746.0, -746.5, -1000.0, -1.0e6, -1.0e300, -std::numeric_limits<double>::max()}) {
        take_thread_fp_flags();
        volatile double x = t;
        const double e = std::exp(x);
        const FpFlags f = take_thread_fp_flags();
        EXPECT_EQ(std::bit_cast<std::uint64_t>(e), 0u) << t;
        EXPECT_EQ(f.except, FE_UNDERFLOW | FE_INEXACT) << t;
        EXPECT_FALSE(f.denormal) << t;
    }
}

TEST(TabulatedAssembly, FloatingPointFlagsMatchThePlainEvaluation) {
    auto pair_at = [](char a, char b, double x, double y, double z) {
        return generated({{a, 0.0, 0.0, 0.0}, {b, x, y, z}});
    };
    // Whole atom pairs underflowing (skipped), some primitive pairs underflowing, subnormal
    // exponentials, and tiny offsets along one axis of far-apart atoms (no skipping then).
    expect_same_assembly(pair_at('H', 'H', 200.0, 0.0, 0.0), "H H 200 Angstrom");
    expect_same_assembly(pair_at('C', 'N', 150.0, 40.0, -3.0), "C N 155 Angstrom");
    expect_same_assembly(pair_at('H', 'H', 15.9, 0.0, 0.0), "H H 15.9 Angstrom");
    expect_same_assembly(pair_at('O', 'C', 0.0, 9.0, 11.0), "O C 14 Angstrom");
    expect_same_assembly(pair_at('C', 'O', 200.0, 1e-200, 0.0), "C O with a 1e-200 offset");
    expect_same_assembly(pair_at('C', 'C', 1e-160, 0.0, 300.0), "C C with a 1e-160 offset");
    expect_same_assembly(pair_at('H', 'C', 1e-310, 0.0, 300.0), "H C with a subnormal offset");
    // Far-apart atoms next to close ones.
    std::vector<zb::Atom> atoms = zb::alkane(3);
    for (zb::Atom a : zb::alkane(2)) atoms.push_back({a.symbol, a.x + 180.0, a.y, a.z});
    expect_same_assembly(generated(atoms), "two alkanes 180 Angstrom apart");
    // Large enough for two threads, with flags raised on every row: two chains side by side,
    // 200 Angstrom apart (underflow to zero) and 16 Angstrom apart (subnormal exponentials).
    for (double gap : {200.0, 15.9}) {
        std::vector<zb::Atom> pair = zb::alkane(15);
        for (zb::Atom a : zb::alkane(15)) pair.push_back({a.symbol, a.x, a.y + gap, a.z});
        ASSERT_GE(zb::basis_count(pair), threads_from_basis_count);
        expect_same_assembly(generated(pair), "two chains " + std::to_string(gap) + " Angstrom apart");
    }
}

