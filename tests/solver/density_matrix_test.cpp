// The tiled, threaded density and the populations and bond orders against the plain loops, bit
// for bit and flag for flag, with one and two OpenMP threads: every shape of tile, real orbitals,
// extreme coefficients.
#include "solver/density_matrix.hpp"

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
#include "solver/eigen_solve.hpp"
#include "solver/population.hpp"
#include "solver/population_reference.hpp"
#include "test_support.hpp"

using namespace zephor;
using zephor_test::same_bits_or_nan;
namespace zb = zephor_bench;

namespace {

struct Analysed {
    std::vector<double> dens, pop;
    FpFlags flags;
};

Analysed analyse(const std::vector<double>& c, std::int32_t n, std::int32_t occ,
                 const std::vector<std::int32_t>& basis_atom, std::int32_t atoms, int threads, int width = 8) {
    Analysed a;
    take_thread_fp_flags();
    if (threads == 0) {
        density_matrix_reference(c, n, occ, a.dens);
        atom_populations_reference(a.dens, n, basis_atom, atoms, a.pop);
    } else {
        omp_set_num_threads(threads);
        // The run hands the density the overlap's memory: whatever is there must not show.
        a.dens.assign(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 12345.678);
        density_matrix(c, n, occ, a.dens, width);
        atom_populations(a.dens, n, basis_atom, atoms, a.pop);
    }
    a.flags = take_thread_fp_flags();
    return a;
}

void expect_same_analysis(const std::vector<double>& c, std::int32_t n, std::int32_t occ,
                          const std::vector<std::int32_t>& basis_atom, std::int32_t atoms,
                          const std::string& what) {
    const Analysed ref = analyse(c, n, occ, basis_atom, atoms, 0);
    // Every vector width this processor has (AVX-512, AVX, SSE2), on one and two threads.
    for (int width : {8, 4, 2})
        for (int threads : {1, 2}) {
            const Analysed fast = analyse(c, n, occ, basis_atom, atoms, threads, width);
            const std::string where =
                what + ", width " + std::to_string(width) + ", threads " + std::to_string(threads);
            EXPECT_TRUE(same_bits_or_nan(ref.dens, fast.dens)) << where << ", density";
            EXPECT_TRUE(same_bits_or_nan(ref.pop, fast.pop)) << where << ", populations";
            EXPECT_EQ(ref.flags.except & ~FE_INEXACT, fast.flags.except & ~FE_INEXACT) << where << ", flags";
            EXPECT_EQ(ref.flags.denormal, fast.flags.denormal) << where << ", denormal";
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

TEST(DensityMatrix, MatchesThePlainLoopsForEveryShapeOfTile) {
    // Sizes around the 8- and 24-row register tiles and the 64-wide strips; occupations from none
    // to all, and past one block of 256 orbitals.
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

TEST(DensityMatrix, RealOrbitalsAndUnorderedAtoms) {
    const Molecule m = load_molecule(zb::for005(zb::flake(3)));
    const std::size_t n = static_cast<std::size_t>(m.basis_count);
    std::vector<double> s(n * n), ham = m.basis.ham, norm(n), energy, c;
    s_h_matrix(s, ham, basis_view(m), norm);
    ASSERT_EQ(solve_eigenproblem(ham, s, m.basis_count, energy, c), 0);
    const std::int32_t occ = occupied_orbitals(m.electron_count);
    expect_same_analysis(c, m.basis_count, occ, m.basis.basis_atom, m.atom_count, "flake C54H18");

    // Functions of one atom need not be neighbours: the bond-order sums keep the plain order.
    std::vector<std::int32_t> scattered(n);
    for (std::size_t i = 0; i < n; ++i) scattered[i] = static_cast<std::int32_t>(1 + (i * 7) % 31);
    expect_same_analysis(c, m.basis_count, occ, scattered, 31, "scattered atoms");
}

TEST(DensityMatrix, ExtremeCoefficientsAndTheirFlags) {
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

