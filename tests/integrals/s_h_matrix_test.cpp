// The assembled s and ham against reference numbers (ten significant digits): H2, C-H and N-H
// pairs with the nitrogen rule, p overlaps along the bond, and exact symmetry with both
// Hamiltonian rules on real molecules.
#include "integrals/s_h_matrix.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/molecule.hpp"
#include "test_support.hpp"

using namespace zephor;

namespace {

// Relative agreement to ten significant digits.
void expect_digits(double expected, double actual) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * 1e-9 + 1e-15) << "expected " << expected;
}

// Builds s and ham for a molecule given as FOR005 text.
struct Matrices {
    Molecule m;
    std::vector<double> s;
    double S(int i, int j) const { return s[static_cast<std::size_t>(i + j * m.basis_count)]; }
    double H(int i, int j) const { return m.basis.ham[static_cast<std::size_t>(i + j * m.basis_count)]; }
};

Matrices assemble(const std::string& text) {
    Matrices x{load_molecule(text), {}};
    const std::size_t n = static_cast<std::size_t>(x.m.basis_count);
    x.s.assign(n * n, 12345.0);  // whatever the caller left must not matter
    s_h_matrix(x.s, x.m.basis.ham, basis_view(x.m), x.m.norm);
    return x;
}

}  // namespace

TEST(Assembly, HydrogenMoleculeAt074Angstrom) {
    const Matrices x = assemble("h2\n0\nH 0 0 0\nH 0 0 0.74\n");
    EXPECT_EQ(x.m.r[5], 1.3983973904385163);
    EXPECT_NEAR(x.S(0, 0), 1.0, 1e-15);
    EXPECT_NEAR(x.S(1, 1), 1.0, 1e-15);
    expect_digits(0.6597306316, x.S(0, 1));
    expect_digits(-15.701589472, x.H(0, 1));
    EXPECT_EQ(x.H(0, 1), x.H(1, 0));
    EXPECT_EQ(x.H(0, 0), -13.600000381469727);
    EXPECT_EQ(x.H(0, 1), (x.H(0, 0) + x.H(1, 1)) * 0.875 * x.S(0, 1));
}

TEST(Assembly, CarbonHydrogenAndNitrogenHydrogenPairs) {
    const Matrices ch = assemble("ch\n0\nC 0 0 0\nH 0.6 0.7 0.5\n");
    const double s_ch[4] = {0.5152772280, 0.2750891735, 0.3209373691, 0.2292409779};
    const double h_ch[4] = {-15.78036511, -6.01757567, -7.02050495, -5.01464639};
    for (int k = 0; k < 4; ++k) {
        expect_digits(s_ch[k], ch.S(k, 4));
        EXPECT_NEAR(ch.H(k, 4), h_ch[k], 1e-8);
    }
    // Functions of one atom do not overlap each other.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (i != j) {
                EXPECT_EQ(ch.S(i, j), 0.0);
                EXPECT_EQ(ch.H(i, j), 0.0);
            }

    const Matrices nh = assemble("nh\n0\nN 0 0 0\nH 0.6 0.7 0.5\n");
    const double s_nh[4] = {0.4733918763, 0.2440065775, 0.2846743404, 0.2033388146};
    const double h_nh[4] = {-16.56871567, -8.54023021, -9.96360191, -7.11685851};
    for (int k = 0; k < 4; ++k) {
        expect_digits(s_nh[k], nh.S(k, 4));
        EXPECT_NEAR(nh.H(k, 4), h_nh[k], 1e-8);
        EXPECT_EQ(nh.H(k, 4), -(35.0 * nh.S(k, 4)));
    }
}

TEST(Assembly, POverlapFollowsTheBondDirection) {
    const Matrices a = assemble("x\n0\nC 0 0 0\nH 0.6 -0.7 0.5\n");
    const Matrices b = assemble("x\n0\nH 0.6 -0.7 0.5\nC 0 0 0\n");
    EXPECT_GT(a.S(1, 4), 0);
    EXPECT_LT(a.S(2, 4), 0);
    // Hydrogen first: the same pairs with the roles of i and j exchanged.
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(b.S(0, k + 1), a.S(k, 4), 1e-15);
}

TEST(Assembly, RealMoleculesAreExactlySymmetricAndFollowTheHamiltonianRules) {
    for (const char* name : {"water", "ammonia", "methane_hfirst", "bf3", "benzene",
                             "fluoroethylene", "formamide", "methylamine_borane"}) {
        SCOPED_TRACE(name);
        const Matrices x = assemble(zephor_test::read_file(zephor_test::data_dir() / "golden" / name / "FOR005"));
        const int n = x.m.basis_count;
        auto on_n = [&](int i) { return x.m.symbol[x.m.basis.basis_atom[i] - 1] == "N   "; };
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(x.S(i, i), 1.0, 1e-14);
            for (int j = 0; j < n; ++j) {
                EXPECT_EQ(x.S(i, j), x.S(j, i));
                EXPECT_EQ(x.H(i, j), x.H(j, i));
                if (i == j) continue;
                const double expected = (on_n(i) || on_n(j))
                                            ? -(35.0 * x.S(i, j))
                                            : (x.H(i, i) + x.H(j, j)) * 0.875 * x.S(i, j);
                EXPECT_EQ(x.H(i, j), expected);
            }
        }
    }
}
