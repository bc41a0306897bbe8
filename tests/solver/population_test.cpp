// Populations and bond orders: they add up to the occupied electrons, known closed forms (H2, no
// occupied orbital), and bond orders as the squared density between two atoms' functions.
#include "solver/population.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/plain_pipeline.hpp"
#include "test_support.hpp"

using namespace zephor;
using zephor_test::golden_input;
using zephor_test::golden_names;

namespace {

std::size_t functions(const PlainRun& x) { return static_cast<std::size_t>(x.molecule.basis_count); }
std::size_t atoms(const PlainRun& x) { return static_cast<std::size_t>(x.molecule.atom_count); }

}  // namespace

TEST(Populations, SumToTheOccupiedElectronsAndDensityIsSymmetric) {
    for (const char* name : golden_names) {
        SCOPED_TRACE(name);
        const PlainRun x = plain_pipeline(golden_input(name));
        double sum = 0;
        for (std::size_t a = 0; a < atoms(x); ++a) sum += x.atom_pop[a * (atoms(x) + 1)];
        EXPECT_NEAR(sum, 2.0 * x.occupied_count, 1e-12);
        const std::size_t n = functions(x);
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(x.dens[i + j * n], x.dens[j + i * n]);
    }
}

TEST(Populations, HydrogenMoleculeAndEmptyOccupation) {
    const PlainRun h2 = plain_pipeline("h2\n0\nH 0 0 0\nH 0 0 0.74\n");
    EXPECT_NEAR(h2.atom_pop[0], 1.0, 1e-14);
    EXPECT_NEAR(h2.atom_pop[3], 1.0, 1e-14);
    EXPECT_NEAR(h2.atom_pop[2], 1.0, 1e-14);  // bond order, row 1 column 2
    EXPECT_NEAR(h2.atom_pop[1], 1.0, 1e-14);

    for (const char* charge : {"2", "3"}) {
        const PlainRun bare = plain_pipeline(std::string("h2\n") + charge + "\nH 0 0 0\nH 0 0 0.74\n");
        EXPECT_EQ(bare.occupied_count, 0);
        for (double v : bare.atom_pop) EXPECT_EQ(v, 0.0);
    }
    // A lone hydrogen atom has one electron and so no occupied orbital.
    const PlainRun h = plain_pipeline("h\n0\nH 0 0 0\n");
    EXPECT_EQ(h.occupied_count, 0);
    EXPECT_EQ(h.atom_pop[0], 0.0);
}

TEST(Populations, BondOrdersSumSquaredDensityBetweenAtoms) {
    const PlainRun x = plain_pipeline(golden_input("water"));
    const std::size_t n = functions(x), m = atoms(x);
    for (std::size_t a = 0; a < m; ++a)
        for (std::size_t b = 0; b < m; ++b) {
            if (a == b) continue;
            double expected = 0;
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = 0; j < n; ++j)
                    if (x.molecule.basis.basis_atom[i] == int(a + 1) && x.molecule.basis.basis_atom[j] == int(b + 1))
                        expected += x.dens[i + j * n] * x.dens[i + j * n];
            EXPECT_NEAR(x.atom_pop[a + b * m], expected, 1e-15);
            EXPECT_NEAR(x.atom_pop[a + b * m], x.atom_pop[b + a * m], 1e-15);
        }
}
