// The eigenproblem, occupation and total energy: properties over real molecules, the small
// cases known in closed form, unit-length columns on any thread count, and agreement with the
// golden files to the digits they print.
#include "solver/eigen_solve.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "driver/plain_pipeline.hpp"
#include "test_support.hpp"

using namespace zephor;
using zephor_test::golden_input;
using zephor_test::golden_names;
using zephor_test::same_bits;

namespace {

std::size_t functions(const PlainRun& x) { return static_cast<std::size_t>(x.molecule.basis_count); }

// The values of one array section of a golden checkpoint.
std::vector<double> section(const std::string& fchk, const std::string& label) {
    std::istringstream in(fchk);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(label, 0) == 0) {
            const int count = std::stoi(line.substr(49));
            std::vector<double> v;
            double x;
            while (static_cast<int>(v.size()) < count && in >> x) v.push_back(x);
            return v;
        }
    return {};
}

}  // namespace

TEST(Occupation, CountsAreTruncatedAndNeverNegative) {
    EXPECT_EQ(occupied_orbitals(8), 4);
    EXPECT_EQ(occupied_orbitals(7), 3);
    EXPECT_EQ(occupied_orbitals(1), 0);
    EXPECT_EQ(occupied_orbitals(0), 0);
    EXPECT_EQ(occupied_orbitals(-1), 0);
    EXPECT_EQ(occupied_orbitals(-7), 0);
    const std::vector<double> e{-3.0, -2.0, -1.0};
    EXPECT_EQ(total_energy(e, 3), -12.0);
    EXPECT_EQ(total_energy(e, 0), 0.0);
}

TEST(Eigenproblem, OrbitalsOfRealMolecules) {
    for (const char* name : golden_names) {
        SCOPED_TRACE(name);
        const PlainRun x = plain_pipeline(golden_input(name));
        ASSERT_TRUE(x.solved);
        const std::size_t n = functions(x);
        // s and ham are untouched by the solve.
        PlainRun again = plain_pipeline(golden_input(name));
        EXPECT_EQ(again.s, x.s);
        EXPECT_EQ(again.ham, x.ham);
        // Bit-for-bit the same orbitals on a second solve.
        EXPECT_EQ(again.mo_coef, x.mo_coef);
        EXPECT_EQ(again.orbital_energy, x.orbital_energy);
        for (std::size_t k = 0; k + 1 < n; ++k) EXPECT_LE(x.orbital_energy[k], x.orbital_energy[k + 1]);
        for (std::size_t k = 0; k < n; ++k) {
            double len = 0;
            for (std::size_t i = 0; i < n; ++i) len += x.mo_coef[i + k * n] * x.mo_coef[i + k * n];
            EXPECT_NEAR(len, 1.0, 1e-14);
            // Residual of ham c = e s c, relative to the size of ham c.
            double worst = 0;
            for (std::size_t i = 0; i < n; ++i) {
                double hc = 0, sc = 0;
                for (std::size_t j = 0; j < n; ++j) {
                    hc += x.ham[i + j * n] * x.mo_coef[j + k * n];
                    sc += x.s[i + j * n] * x.mo_coef[j + k * n];
                }
                worst = std::max(worst, std::fabs(hc - x.orbital_energy[k] * sc));
            }
            EXPECT_LT(worst, 1e-10);
        }
    }
}

TEST(Eigenproblem, NoBasisAndSingularOverlapStopWithoutAnswer) {
    std::vector<double> e, c;
    EXPECT_NE(solve_eigenproblem({}, {}, 0, e, c), 0);
    // Two coincident hydrogen atoms: the overlap matrix is singular.
    const PlainRun x = plain_pipeline("h2 on one point\n0\nH 0 0 0\nH 0 0 0\n");
    EXPECT_FALSE(x.solved);
}

TEST(Eigenproblem, UnitLengthColumnsAreThePlainLoopOnAnyThreadCount) {
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


TEST(Golden, OrbitalEnergiesAgreeToAllPrintedDigits) {
    for (const char* name : golden_names) {
        SCOPED_TRACE(name);
        const PlainRun x = plain_pipeline(golden_input(name));
        const std::string fchk = zephor_test::read_file(zephor_test::data_dir() / "golden" / name / "FOR007");
        const std::vector<double> expected = section(fchk, "Alpha Orbital Energies");
        ASSERT_EQ(expected.size(), functions(x));
        for (std::size_t k = 0; k < functions(x); ++k) {
            const double hartree = x.orbital_energy[k] * hartree_per_ev;
            EXPECT_NEAR(hartree, expected[k], std::fabs(expected[k]) * 5e-9);
        }
    }
}
