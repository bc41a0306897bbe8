// The eigenproblem, occupation, total energy, populations and bond orders: properties over real
// molecules, the small cases that are known in closed form, and agreement with the golden files
// to the digits they print.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "driver/molecule.hpp"
#include "integrals/s_h_matrix.hpp"
#include "output/checkpoint.hpp"
#include "solver/eigen_solve.hpp"
#include "solver/population.hpp"
#include "test_support.hpp"

using namespace zephor;

namespace {

struct Solved {
    Molecule m;
    std::vector<double> s, ham, energy, c, dens, pop;
    std::int32_t occ = 0;
    int info = 0;
    std::size_t n() const { return static_cast<std::size_t>(m.basis_count); }
    std::size_t atoms() const { return static_cast<std::size_t>(m.atom_count); }
};

Solved solve(const std::string& text) {
    Solved x;
    x.m = load_molecule(text);
    const std::size_t n = x.n();
    x.s.resize(n * n);
    s_h_matrix(x.s, x.m.basis.ham, x.m.symbol, x.m.basis.g, x.m.basis.alfa, x.m.basis.d, x.m.r,
               x.m.basis.basis_atom, x.m.norm, x.m.basis_count);
    x.ham = x.m.basis.ham;
    x.info = solve_eigenproblem(x.ham, x.s, x.m.basis_count, x.energy, x.c);
    if (x.info != 0) return x;
    x.occ = occupied_orbitals(x.m.electron_count);
    density_matrix(x.c, x.m.basis_count, x.occ, x.dens);
    atom_populations(x.dens, x.m.basis_count, x.m.basis.basis_atom, x.m.atom_count, x.pop);
    return x;
}

Solved solve_golden(const std::string& name) {
    return solve(zephor_test::read_file(zephor_test::data_dir() / "golden" / name / "FOR005"));
}

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

const char* const molecules[] = {"water", "ammonia", "methane_hfirst", "bf3", "benzene",
                                 "fluoroethylene", "formamide", "methylamine_borane",
                                 "naphthalene", "methyl", "ch_anion", "hydroxide", "h2", "h2_plus3"};

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
    for (const char* name : molecules) {
        SCOPED_TRACE(name);
        const Solved x = solve_golden(name);
        ASSERT_EQ(x.info, 0);
        const std::size_t n = x.n();
        // s and ham are untouched by the solve.
        Solved again = solve_golden(name);
        EXPECT_EQ(again.s, x.s);
        EXPECT_EQ(again.ham, x.ham);
        // Bit-for-bit the same orbitals on a second solve.
        EXPECT_EQ(again.c, x.c);
        EXPECT_EQ(again.energy, x.energy);
        for (std::size_t k = 0; k + 1 < n; ++k) EXPECT_LE(x.energy[k], x.energy[k + 1]);
        for (std::size_t k = 0; k < n; ++k) {
            double len = 0;
            for (std::size_t i = 0; i < n; ++i) len += x.c[i + k * n] * x.c[i + k * n];
            EXPECT_NEAR(len, 1.0, 1e-14);
            // Residual of ham c = e s c, relative to the size of ham c.
            double worst = 0;
            for (std::size_t i = 0; i < n; ++i) {
                double hc = 0, sc = 0;
                for (std::size_t j = 0; j < n; ++j) {
                    hc += x.ham[i + j * n] * x.c[j + k * n];
                    sc += x.s[i + j * n] * x.c[j + k * n];
                }
                worst = std::max(worst, std::fabs(hc - x.energy[k] * sc));
            }
            EXPECT_LT(worst, 1e-10);
        }
    }
}

TEST(Eigenproblem, NoBasisAndSingularOverlapStopWithoutAnswer) {
    std::vector<double> e, c;
    EXPECT_NE(solve_eigenproblem({}, {}, 0, e, c), 0);
    // Two coincident hydrogen atoms: the overlap matrix is singular.
    const Solved x = solve("h2 on one point\n0\nH 0 0 0\nH 0 0 0\n");
    EXPECT_NE(x.info, 0);
}

TEST(Populations, SumToTheOccupiedElectronsAndDensityIsSymmetric) {
    for (const char* name : molecules) {
        SCOPED_TRACE(name);
        const Solved x = solve_golden(name);
        double sum = 0;
        for (std::size_t a = 0; a < x.atoms(); ++a) sum += x.pop[a * (x.atoms() + 1)];
        EXPECT_NEAR(sum, 2.0 * x.occ, 1e-12);
        const std::size_t n = x.n();
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(x.dens[i + j * n], x.dens[j + i * n]);
    }
}

TEST(Populations, HydrogenMoleculeAndEmptyOccupation) {
    const Solved h2 = solve("h2\n0\nH 0 0 0\nH 0 0 0.74\n");
    EXPECT_NEAR(h2.pop[0], 1.0, 1e-14);
    EXPECT_NEAR(h2.pop[3], 1.0, 1e-14);
    EXPECT_NEAR(h2.pop[2], 1.0, 1e-14);  // bond order, row 1 column 2
    EXPECT_NEAR(h2.pop[1], 1.0, 1e-14);

    for (const char* charge : {"2", "3"}) {
        const Solved bare = solve(std::string("h2\n") + charge + "\nH 0 0 0\nH 0 0 0.74\n");
        EXPECT_EQ(bare.occ, 0);
        for (double v : bare.pop) EXPECT_EQ(v, 0.0);
    }
    // A lone hydrogen atom has one electron and so no occupied orbital.
    const Solved h = solve("h\n0\nH 0 0 0\n");
    EXPECT_EQ(h.occ, 0);
    EXPECT_EQ(h.pop[0], 0.0);
}

TEST(Populations, BondOrdersSumSquaredDensityBetweenAtoms) {
    const Solved x = solve_golden("water");
    const std::size_t n = x.n(), m = x.atoms();
    for (std::size_t a = 0; a < m; ++a)
        for (std::size_t b = 0; b < m; ++b) {
            if (a == b) continue;
            double expected = 0;
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = 0; j < n; ++j)
                    if (x.m.basis.basis_atom[i] == int(a + 1) && x.m.basis.basis_atom[j] == int(b + 1))
                        expected += x.dens[i + j * n] * x.dens[i + j * n];
            EXPECT_NEAR(x.pop[a + b * m], expected, 1e-15);
            EXPECT_NEAR(x.pop[a + b * m], x.pop[b + a * m], 1e-15);
        }
}

TEST(Golden, OrbitalEnergiesAgreeToAllPrintedDigits) {
    for (const char* name : molecules) {
        SCOPED_TRACE(name);
        const Solved x = solve_golden(name);
        const std::string fchk = zephor_test::read_file(zephor_test::data_dir() / "golden" / name / "FOR007");
        const std::vector<double> expected = section(fchk, "Alpha Orbital Energies");
        ASSERT_EQ(expected.size(), x.n());
        for (std::size_t k = 0; k < x.n(); ++k) {
            const double hartree = x.energy[k] * hartree_per_ev;
            EXPECT_NEAR(hartree, expected[k], std::fabs(expected[k]) * 5e-9);
        }
    }
}
