// Basis enumeration and electron counts: function and shell numbering follows the input order,
// and the charge is taken off the valence electrons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/errors.hpp"
#include "driver/memory_budget.hpp"
#include "driver/molecule.hpp"
#include "solver/eigen_solve.hpp"

using namespace zephor;

namespace {

const std::string methane_c_first =
    "methane\n0\nC 0 0 0\nH 0.629 0.629 0.629\nH -0.629 -0.629 0.629\nH -0.629 0.629 -0.629\nH 0.629 -0.629 -0.629\n";
const std::string methane_h_first =
    "methane\n0\nH 0.629 0.629 0.629\nH -0.629 -0.629 0.629\nH -0.629 0.629 -0.629\nH 0.629 -0.629 -0.629\nC 0 0 0\n";

double diag(const Molecule& m, int k) {
    return m.basis.ham[static_cast<std::size_t>(k) * static_cast<std::size_t>(m.basis_count + 1)];
}

}  // namespace

TEST(Basis, MethaneCarbonFirst) {
    const Molecule m = load_molecule(methane_c_first);
    EXPECT_EQ(m.atom_count, 5);
    EXPECT_EQ(m.basis_count, 8);
    EXPECT_EQ(m.shell_count, 6);
    EXPECT_EQ(m.electron_count, 8);
    EXPECT_EQ(occupied_orbitals(m.electron_count), 4);
    EXPECT_EQ(m.basis.shell_type, (std::vector<std::int32_t>{0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(m.basis.shell_atom, (std::vector<std::int32_t>{1, 1, 2, 3, 4, 5}));
    EXPECT_EQ(m.basis.basis_atom, (std::vector<std::int32_t>{1, 1, 1, 1, 2, 3, 4, 5}));
    const double expected[8] = {-21.399999618530273, -11.399999618530273, -11.399999618530273,
                                -11.399999618530273, -13.600000381469727, -13.600000381469727,
                                -13.600000381469727, -13.600000381469727};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(diag(m, k), expected[k]) << k;
    const Label labels[8] = {label_ss, label_px, label_py, label_pz, label_ss, label_ss, label_ss, label_ss};
    for (int k = 0; k < 8; ++k)
        for (int p = 0; p < 6; ++p) EXPECT_EQ(m.basis.g[6 * k + p], labels[k]);
    EXPECT_EQ(m.basis.atomic_number, (std::vector<std::int32_t>{6, 1, 1, 1, 1}));
    EXPECT_EQ(m.basis.valence, (std::vector<double>{4, 1, 1, 1, 1}));
}

TEST(Basis, MethaneHydrogensFirstFollowsInputOrder) {
    const Molecule m = load_molecule(methane_h_first);
    EXPECT_EQ(m.basis.basis_atom, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 5, 5, 5}));
    EXPECT_EQ(m.basis.shell_type, (std::vector<std::int32_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(m.basis.shell_atom, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 5}));
    EXPECT_EQ(diag(m, 0), -13.600000381469727);
    EXPECT_EQ(diag(m, 4), -21.399999618530273);
    EXPECT_EQ(diag(m, 7), -11.399999618530273);
    // The carbon's exponents and its 2s/2p coefficients land in functions 5 to 8.
    EXPECT_EQ(m.basis.alfa[6 * 4], 30.49724006652832);
    EXPECT_EQ(m.basis.d[6 * 4], -0.013252788223326206);
    EXPECT_EQ(m.basis.d[6 * 7], 0.003759696613997221);
}

TEST(Basis, ElectronCountsFromChargeAndParity) {
    struct Case { std::string input; std::int32_t basis, shells, electrons, occupied; };
    const Case cases[] = {
        {"water\n0\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n", 6, 4, 8, 4},
        {"methyl\n0\nC 0 0 0\nH 1.08 0 0\nH -0.54 0.935 0\nH -0.54 -0.935 0\n", 7, 5, 7, 3},
        {"h2\n1\nH 0 0 0\nH 0 0 0.74\n", 2, 2, 1, 0},
        {"h2\n+2\nH 0 0 0\nH 0 0 0.74\n", 2, 2, 0, 0},
        {"h2\n3\nH 0 0 0\nH 0 0 0.74\n", 2, 2, -1, 0},
        {"h2\n-1\nH 0 0 0\nH 0 0 0.74\n", 2, 2, 3, 1},
        {"bf3\n0\nB 0 0 0\nF 1.3 0 0\nF -0.65 1.126 0\nF -0.65 -1.126 0\n", 16, 8, 24, 12},
        {"none\n0\n", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const Molecule m = load_molecule(c.input);
        EXPECT_EQ(m.basis_count, c.basis);
        EXPECT_EQ(m.shell_count, c.shells);
        EXPECT_EQ(m.electron_count, c.electrons);
        EXPECT_EQ(occupied_orbitals(m.electron_count), c.occupied);
    }
}

TEST(Basis, ChargesThatCannotBeHeldAreRefused) {
    // More doubly occupied orbitals than functions.
    try {
        load_molecule("water\n-20\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n");
        FAIL() << "accepted";
    } catch (const ReportError& e) {
        EXPECT_EQ(e.where(), "At line 2 of input (unit = 13, file = 'FOR005')");
        EXPECT_STREQ(e.what(), "Charge -20 leaves 28 electrons for 6 basis functions");
    }
    // Exactly full is fine (12 electrons in 6 functions), and the extremes of a 32-bit charge
    // neither overflow nor slip through.
    EXPECT_EQ(load_molecule("water\n-4\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n").electron_count, 12);
    EXPECT_THROW(load_molecule("h\n-2147483648\nH 0 0 0\n"), ReportError);
    EXPECT_EQ(load_molecule("h\n2147483647\nH 0 0 0\n").electron_count, -2147483646);
}

TEST(Basis, MatricesBeyondTheMachinesMemoryAreRefusedUpFront) {
    const std::uint64_t gib = std::uint64_t(1) << 30;
    EXPECT_EQ(peak_matrix_bytes(1000), 16000000u);
    EXPECT_TRUE(fits_in_memory(1000, gib));
    EXPECT_TRUE(fits_in_memory(46340, 40 * gib));
    // 46340 functions need 2 x 17.2 GB: more than a 24 GiB machine holds.
    EXPECT_FALSE(fits_in_memory(46340, 24 * gib));
    EXPECT_FALSE(fits_in_memory(12000, 2 * gib));
    EXPECT_TRUE(fits_in_memory(46340, 0));  // a system that does not say is not second-guessed
    EXPECT_GT(machine_memory_bytes(), 0u);
}
