// The fast evaluations against the plain ones they replace, bit for bit: assembly, density,
// populations and bond orders with one and two OpenMP threads, on real and generated molecules
// and on inputs that leave the tabulated path; the floating-point flags they leave behind; and
// whole runs of the program against the plain pipeline.
#include <gtest/gtest.h>
#include <omp.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bench/molecules.hpp"
#include "common/thread_fp_flags.hpp"
#include "driver/fp_flags.hpp"
#include "driver/molecule.hpp"
#include "integrals/s_h_matrix.hpp"
#include "output/checkpoint.hpp"
#include "output/fields.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"
#include "solver/eigen_solve.hpp"
#include "solver/population.hpp"
#include "test_support.hpp"

using namespace zephor;
namespace zb = zephor_bench;

namespace {

const char* const golden_names[] = {"ammonia",  "benzene", "bf3",    "ch_anion",      "fluoroethylene",
                                    "formamide", "h2",      "h2_plus3", "hydroxide",   "methane_hfirst",
                                    "methyl",   "methylamine_borane", "naphthalene", "water"};

std::string golden_input(const std::string& name) {
    return zephor_test::read_file(zephor_test::data_dir() / "golden" / name / "FOR005");
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// The same, except that any two NaNs count as equal: which NaN operand's payload survives an
// operation is the compiler's choice of operand order, and every NaN is written as "NaN".
bool same_bits_or_nan(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t e = 0; e < a.size(); ++e)
        if (!(std::isnan(a[e]) && std::isnan(b[e])) &&
            std::bit_cast<std::uint64_t>(a[e]) != std::bit_cast<std::uint64_t>(b[e]))
            return false;
    return true;
}

// The inputs of the assembly, which tests may also make by hand.
struct AssemblyInput {
    std::vector<std::string> symbol;
    std::vector<Label> g;
    std::vector<double> alfa, d, r, ham_diagonal;
    std::vector<std::int32_t> basis_atom;
    std::int32_t n = 0;
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
        s_h_matrix_reference(a.s, a.ham, in.symbol, in.g, in.alfa, in.d, in.r, in.basis_atom, a.norm, in.n);
    } else {
        omp_set_num_threads(threads);
        s_h_matrix(a.s, a.ham, in.symbol, in.g, in.alfa, in.d, in.r, in.basis_atom, a.norm, in.n);
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

TEST(FastAssembly, GoldenMoleculesMatchThePlainEvaluation) {
    for (const char* name : golden_names) expect_same_assembly(input_of(load_molecule(golden_input(name))), name);
}

TEST(FastAssembly, GeneratedMoleculesMatchThePlainEvaluation) {
    // The long chain reaches past the distance where whole atom pairs underflow to zero.
    expect_same_assembly(generated(zb::alkane(60)), "alkane C60");
    expect_same_assembly(generated(zb::flake(3)), "flake C54H18");
    expect_same_assembly(generated(zb::no_chain(10)), "N/O chain");
}

TEST(FastAssembly, UnusualInputsStayExact) {
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

TEST(FastAssembly, ExponentialBelowTheCutOffIsZeroWithUnderflowAndInexact) {
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

TEST(FastAssembly, FloatingPointFlagsMatchThePlainEvaluation) {
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

namespace {

struct Analysed {
    std::vector<double> dens, pop;
    FpFlags flags;
};

Analysed analyse(const std::vector<double>& c, std::int32_t n, std::int32_t occ,
                 const std::vector<std::int32_t>& basis_atom, std::int32_t atoms, int threads) {
    Analysed a;
    take_thread_fp_flags();
    if (threads == 0) {
        density_matrix_reference(c, n, occ, a.dens);
        atom_populations_reference(a.dens, n, basis_atom, atoms, a.pop);
    } else {
        omp_set_num_threads(threads);
        density_matrix(c, n, occ, a.dens);
        atom_populations(a.dens, n, basis_atom, atoms, a.pop);
    }
    a.flags = take_thread_fp_flags();
    return a;
}

void expect_same_analysis(const std::vector<double>& c, std::int32_t n, std::int32_t occ,
                          const std::vector<std::int32_t>& basis_atom, std::int32_t atoms,
                          const std::string& what) {
    const Analysed ref = analyse(c, n, occ, basis_atom, atoms, 0);
    for (int threads : {1, 2}) {
        const Analysed fast = analyse(c, n, occ, basis_atom, atoms, threads);
        EXPECT_TRUE(same_bits_or_nan(ref.dens, fast.dens)) << what << ", density, threads " << threads;
        EXPECT_TRUE(same_bits_or_nan(ref.pop, fast.pop)) << what << ", populations, threads " << threads;
        EXPECT_EQ(ref.flags.except & ~FE_INEXACT, fast.flags.except & ~FE_INEXACT)
            << what << ", flags, threads " << threads;
        EXPECT_EQ(ref.flags.denormal, fast.flags.denormal) << what << ", denormal, threads " << threads;
    }
}

// Unit-length random columns, n x n.
std::vector<double> random_orbitals(std::size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> g;
    std::vector<double> c(n * n);
    for (double& x : c) x = g(rng);
    unit_length_columns(c, static_cast<std::int32_t>(n));
    return c;
}

// Atoms of 1 or 4 functions in order, as the basis numbers them.
std::vector<std::int32_t> atoms_of(std::size_t n, std::int32_t& atom_count) {
    std::vector<std::int32_t> a;
    atom_count = 0;
    while (a.size() < n) {
        ++atom_count;
        const std::size_t size = (atom_count % 3 == 0) ? 1 : 4;
        for (std::size_t f = 0; f < size && a.size() < n; ++f) a.push_back(atom_count);
    }
    return a;
}

}  // namespace

TEST(FastDensity, MatchesThePlainLoopsForEveryShapeOfTile) {
    // Sizes around the 4 x 4 register tile and the 64-wide strips; occupations from none to all,
    // and past one block of 256 orbitals.
    for (std::size_t n : {1u, 2u, 3u, 5u, 8u, 13u, 63u, 64u, 65u, 130u, 300u}) {
        const std::vector<double> c = random_orbitals(n, static_cast<unsigned>(n));
        std::int32_t atoms = 0;
        const std::vector<std::int32_t> basis_atom = atoms_of(n, atoms);
        const std::int32_t ni = static_cast<std::int32_t>(n);
        for (std::int32_t occ : {-1, 0, 1, ni / 2, ni - 1, ni})
            expect_same_analysis(c, ni, occ, basis_atom, atoms,
                                 "n " + std::to_string(n) + ", occupied " + std::to_string(occ));
    }
}

TEST(FastDensity, RealOrbitalsAndUnorderedAtoms) {
    const Molecule m = load_molecule(zb::for005(zb::flake(3)));
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    std::vector<double> s(n * n), ham = m.basis.ham, norm(n), energy, c;
    s_h_matrix(s, ham, m.symbol, m.basis.g, m.basis.alfa, m.basis.d, m.r, m.basis.basis_atom, norm,
               m.basis_count);
    ASSERT_EQ(solve_eigenproblem(ham, s, m.basis_count, energy, c), 0);
    const std::int32_t occ = occupied_orbitals(m.electron_count);
    expect_same_analysis(c, m.basis_count, occ, m.basis.basis_atom, m.atom_count, "flake C54H18");

    // Functions of one atom need not be neighbours: the bond-order sums keep the plain order.
    std::vector<std::int32_t> scattered(n);
    for (std::size_t i = 0; i < n; ++i) scattered[i] = static_cast<std::int32_t>(1 + (i * 7) % 31);
    expect_same_analysis(c, m.basis_count, occ, scattered, 31, "scattered atoms");
}

TEST(FastDensity, ExtremeCoefficientsAndTheirFlags) {
    const std::size_t n = 21;
    std::int32_t atoms = 0;
    const std::vector<std::int32_t> basis_atom = atoms_of(n, atoms);
    std::vector<double> c = random_orbitals(n, 3);
    // Tiny coefficients make products underflow; subnormal ones raise the denormal flag.
    std::vector<double> tiny = c;
    for (std::size_t e = 0; e < tiny.size(); e += 3) tiny[e] *= 1e-170;
    expect_same_analysis(tiny, 21, 15, basis_atom, atoms, "tiny coefficients");
    std::vector<double> subnormal = c;
    subnormal[4] = 1e-310;
    subnormal[n + 7] = -3e-320;
    expect_same_analysis(subnormal, 21, 15, basis_atom, atoms, "subnormal coefficients");
    // Huge, infinite and NaN coefficients: no symmetry to rely on, every element is computed.
    std::vector<double> wild = c;
    wild[2] = 1.7e308;
    wild[n + 5] = std::numeric_limits<double>::infinity();
    wild[2 * n + 9] = std::numeric_limits<double>::quiet_NaN();
    wild[3 * n + 1] = -std::numeric_limits<double>::quiet_NaN();
    expect_same_analysis(wild, 21, 15, basis_atom, atoms, "huge, infinite and NaN coefficients");

    // The same on two threads, with tiny and subnormal coefficients in every column.
    const std::size_t big = 300;
    std::int32_t big_atoms = 0;
    const std::vector<std::int32_t> big_basis_atom = atoms_of(big, big_atoms);
    std::vector<double> spread = random_orbitals(big, 4);
    for (std::size_t e = 0; e < spread.size(); e += 7) spread[e] *= (e % 2) ? 1e-170 : 1e-310;
    expect_same_analysis(spread, 300, 150, big_basis_atom, big_atoms, "tiny coefficients, 300 functions");
}

TEST(FastDensity, UnitLengthColumnsAreThePlainLoopOnAnyThreadCount) {
    std::mt19937_64 rng(11);
    std::normal_distribution<double> g;
    const std::size_t n = 97;
    std::vector<double> c(n * n);
    for (double& x : c) x = g(rng);
    std::vector<double> plain = c;
    for (std::size_t k = 0; k < n; ++k) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum += plain[i + k * n] * plain[i + k * n];
        const double len = std::pow(sum, 0.5);
        for (std::size_t i = 0; i < n; ++i) plain[i + k * n] /= len;
    }
    for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        std::vector<double> fast = c;
        unit_length_columns(fast, static_cast<std::int32_t>(n));
        EXPECT_TRUE(same_bits(plain, fast)) << "threads " << threads;
    }
}

namespace {

std::string es16(double x, bool reference) {
    std::string s;
    if (reference)
        put_es16_reference(s, x);
    else
        put_es16(s, x);
    return s;
}

}  // namespace

TEST(FastFields, Es16MatchesTheReferenceForEveryKindOfValue) {
    std::vector<double> values{0.0, -0.0, 1.0, -0.5, 12345.678, 0.529177188873291, 9.9999999996,
                               999999999.5, 999999999.4, 123456789.5, 123456788.5, 99999999.95,
                               1e-19, 9.9999999e-20, 1e9, 1e-100, 1e100, 9.99999999e99, 5e-324,
                               2.2250738585072014e-308, 1.7976931348623157e308,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 rng(2026);
    // Values spread over every exponent that matters, with random mantissas.
    std::uniform_real_distribution<double> expo(-25.0, 12.0);
    std::uniform_real_distribution<double> mant(1.0, 10.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = mant(rng) * std::pow(10.0, std::floor(expo(rng)));
        values.push_back((i & 1) ? -x : x);
    }
    // Short dyadic numbers: many sit exactly halfway between two 9-digit renderings.
    std::uniform_int_distribution<std::uint64_t> k(1, std::uint64_t(1) << 34);
    std::uniform_int_distribution<int> shift(0, 60);
    for (int i = 0; i < 200000; ++i) values.push_back(std::ldexp(static_cast<double>(k(rng)), -shift(rng)));
    // Neighbours of powers of ten, where the exponent changes.
    for (int e = -20; e <= 10; ++e) {
        double p = std::pow(10.0, e);
        for (int step = 0; step < 50; ++step) {
            values.push_back(p);
            values.push_back(-p);
            p = std::nextafter(p, 0.0);
        }
        const double up = std::pow(10.0, e) * (1.0 - 5e-10);
        for (double x = std::nextafter(up, 0.0), i = 0; i < 50; ++i, x = std::nextafter(x, 1e300))
            values.push_back(x);
    }
    int mismatches = 0;
    for (double x : values) {
        const std::string fast = es16(x, false);
        const std::string ref = es16(x, true);
        if (fast != ref && ++mismatches < 10) ADD_FAILURE() << x << ": '" << fast << "' vs '" << ref << "'";
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FastFields, F4MatchesTheReferenceInBothWidths) {
    std::vector<double> values{0.0, -0.0, 0.03125, -0.03125, 0.00005, -0.00004, 0.00004, 0.5,
                               -999.99996, 123.4567, -21.453, -1234.5, 99999.99995, 1e9, 1.0e10,
                               -9.99999999e8, 5e-324, -5e-324, 1e-300,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 rng(8);
    std::uniform_real_distribution<double> expo(-8.0, 11.0);
    std::uniform_real_distribution<double> mant(1.0, 10.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = mant(rng) * std::pow(10.0, std::floor(expo(rng)));
        values.push_back((i & 1) ? -x : x);
    }
    // Dyadic values: exact halves of the fourth decimal among them.
    std::uniform_int_distribution<std::uint64_t> k(1, std::uint64_t(1) << 40);
    std::uniform_int_distribution<int> shift(0, 50);
    for (int i = 0; i < 200000; ++i) {
        const double x = std::ldexp(static_cast<double>(k(rng)), -shift(rng));
        values.push_back((i & 1) ? -x : x);
    }
    int mismatches = 0;
    for (int width : {8, 15})
        for (double x : values) {
            std::string fast, ref;
            put_f4(fast, x, width);
            put_f4_reference(ref, x, width);
            if (fast != ref && ++mismatches < 10)
                ADD_FAILURE() << x << " F" << width << ".4: '" << fast << "' vs '" << ref << "'";
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(FastFields, LongRowBlocksAreTheLinesOfOnePass) {
    // Past several batches of chunks, with a short last line.
    std::vector<double> values(700003);
    std::mt19937_64 rng(5);
    std::normal_distribution<double> g;
    for (double& x : values) x = g(rng) * 1e-3;
    std::string expected;
    for (std::size_t i = 0; i < values.size(); ++i) {
        put_es16_reference(expected, values[i]);
        if (i % 5 == 4 || i + 1 == values.size()) expected.push_back('\n');
    }
    for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        zephor_test::TempDir dir;
        {
            OutputFile f = OutputFile::create_new((dir / "rows").string(), 13);
            ASSERT_TRUE(f.is_open());
            f.write_line("head");
            f.write_real_rows(values);
            f.write_line("tail");
            f.close();
        }
        EXPECT_TRUE(zephor_test::read_file(dir / "rows") == "head\n" + expected + "tail\n") << "threads " << threads;
    }
}

namespace {

// The run with the plain evaluations, in this process, up to the analysis: the files it writes
// (when `write` is set, in `dir`) and the floating-point note a plain stop would print there.
std::string plain_pipeline(const std::string& input, const std::filesystem::path& dir, bool write) {
    take_thread_fp_flags();
    Molecule m = load_molecule(input);
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    std::vector<double> s(n * n), energy, c, dens, pop;
    s_h_matrix_reference(s, m.basis.ham, m.symbol, m.basis.g, m.basis.alfa, m.basis.d, m.r,
                         m.basis.basis_atom, m.norm, m.basis_count);
    if (solve_eigenproblem(m.basis.ham, s, m.basis_count, energy, c) != 0) return "solve failed";
    const std::int32_t occ = occupied_orbitals(m.electron_count);
    const double total = total_energy(energy, occ);
    density_matrix_reference(c, m.basis_count, occ, dens);
    atom_populations_reference(dens, m.basis_count, m.basis.basis_atom, m.atom_count, pop);
    const std::string note = fp_note();
    if (write) {
        OutputFile report = OutputFile::create_new((dir / "FOR006").string(), 11);
        write_report(report, energy, occ, total, pop, m.basis.valence, m.symbol, m.atom_count);
        report.close();
        OutputFile checkpoint = OutputFile::create_new((dir / "FOR007").string(), 13);
        write_checkpoint(checkpoint, {m.atom_count, m.charge, occ, m.basis_count, m.shell_count,
                                      m.basis.atomic_number, m.r, m.basis.shell_type,
                                      m.basis.shell_atom, m.basis.g, m.basis.alfa, m.basis.d,
                                      energy, c});
        checkpoint.close();
    }
    return note.empty() ? note : note + "\n";
}

}  // namespace

TEST(FastRun, SameFilesAsThePlainPipelineWithOneAndTwoThreads) {
    const std::vector<std::pair<std::string, std::string>> molecules{
        {"alkane C30", zb::for005(zb::alkane(30))},
        {"flake C54H18", zb::for005(zb::flake(3))},
        {"N/O chain", zb::for005(zb::no_chain(9))},
        {"methylamine-borane", golden_input("methylamine_borane")}};
    for (const auto& [name, input] : molecules) {
        zephor_test::TempDir plain;
        plain_pipeline(input, plain.path(), true);
        for (const char* threads : {"1", "2"}) {
            zephor_test::TempDir dir;
            zephor_test::write_file(dir / "FOR005", input);
            const auto r = zephor_test::run_zephor(dir.path(), std::string("env OMP_NUM_THREADS=") + threads);
            EXPECT_EQ(r.status, 0) << name;
            EXPECT_EQ(r.err, "") << name;
            EXPECT_TRUE(zephor_test::read_file(dir / "FOR006") == zephor_test::read_file(plain / "FOR006"))
                << name << ", FOR006, threads " << threads;
            EXPECT_TRUE(zephor_test::read_file(dir / "FOR007") == zephor_test::read_file(plain / "FOR007"))
                << name << ", FOR007, threads " << threads;
        }
    }
}

TEST(FastRun, FloatingPointNoteOfAPlainStopIsThatOfThePlainPipeline) {
    // Far apart: whole atom pairs underflow (skipped and raised by hand); at 16 Angstrom some
    // exponentials are subnormal; the chains are large enough to run on two threads.
    auto two_chains = [](double gap) {
        std::vector<zb::Atom> atoms = zb::alkane(15);
        for (zb::Atom a : zb::alkane(15)) atoms.push_back({a.symbol, a.x, a.y + gap, a.z});
        return zb::for005(atoms);
    };
    const std::vector<std::pair<std::string, std::string>> molecules{
        {"H2 at 200 Angstrom", "far\n0\nH 0 0 0\nH 200 0 0\n"},
        {"H2 at 16 Angstrom", "far\n0\nH 0 0 0\nH 0 15.9 0\n"},
        {"two chains 250 Angstrom apart", two_chains(250.0)},
        {"two chains 16 Angstrom apart", two_chains(15.9)},
        {"water", golden_input("water")}};
    for (const auto& [name, input] : molecules) {
        const std::string expected = plain_pipeline(input, {}, false);
        for (const char* threads : {"1", "2"}) {
            zephor_test::TempDir dir;
            zephor_test::write_file(dir / "FOR005", input);
            zephor_test::write_file(dir / "FOR006", "kept\n");
            const auto r = zephor_test::run_zephor(dir.path(), std::string("env OMP_NUM_THREADS=") + threads);
            EXPECT_EQ(r.status, 0) << name;
            EXPECT_EQ(r.err, expected) << name << ", threads " << threads;
            EXPECT_EQ(zephor_test::read_file(dir / "FOR006"), "kept\n");
        }
    }
}

TEST(FastRun, RefusedWriteAmongTheThreadedCoefficientsKeepsWhatWasStored) {
    // Enough orbital coefficients for the threaded writer; the file-size limit cuts the checkpoint
    // in its coefficient block, in the first batch and in a later one.
    const std::string input = zb::for005(zb::alkane(100));  // 602 functions, two batches
    zephor_test::TempDir full;
    zephor_test::write_file(full / "FOR005", input);
    ASSERT_EQ(zephor_test::run_zephor(full.path()).status, 0);
    const std::string checkpoint = zephor_test::read_file(full / "FOR007");
    ASSERT_GT(checkpoint.size(), 5500000u);
    ASSERT_LT(zephor_test::read_file(full / "FOR006").size(), 2000000u);
    for (const std::size_t limit : {std::size_t(2000000), std::size_t(5500000)}) {
        for (const char* threads : {"1", "2"}) {
            zephor_test::TempDir dir;
            zephor_test::write_file(dir / "FOR005", input);
            const auto r = zephor_test::run_zephor(
                dir.path(), "prlimit --fsize=" + std::to_string(limit) + " env OMP_NUM_THREADS=" + threads,
                "trap '' XFSZ");
            EXPECT_EQ(r.status, 2) << limit << ", threads " << threads;
            EXPECT_EQ(r.err, "Error writing (unit = 13, file = 'FOR007')\nFile too large\n");
            EXPECT_TRUE(zephor_test::read_file(dir / "FOR007") == checkpoint.substr(0, limit))
                << limit << ", threads " << threads;
            EXPECT_EQ(zephor_test::read_file(dir / "FOR006"), zephor_test::read_file(full / "FOR006"));
        }
    }
}
