// Element table, primitive overlaps and the s/ham assembly against the program's reference
// numbers (ten significant digits unless a bit-exact value is stated).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/molecule.hpp"
#include "integrals/element_table.hpp"
#include "integrals/primitive_overlap.hpp"
#include "integrals/s_h_matrix.hpp"
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
    s_h_matrix(x.s, x.m.basis.ham, x.m.symbol, x.m.basis.g, x.m.basis.alfa, x.m.basis.d, x.m.r,
               x.m.basis.basis_atom, x.m.norm, x.m.basis_count);
    return x;
}

}  // namespace

TEST(ElementTable, ConstantsAreTheWidenedSinglePrecisionValues) {
    const ElementData* c = element_by_letter('C');
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->atomic_number, 6);
    EXPECT_EQ(c->valence, 4.0);
    EXPECT_EQ(c->s_level, -21.399999618530273);
    EXPECT_EQ(c->p_level, -11.399999618530273);
    EXPECT_EQ(c->exponents[0], 30.49724006652832);
    EXPECT_EQ(element_by_letter('H')->s_level, -13.600000381469727);
    EXPECT_EQ(element_by_letter('H')->exponents[5], 0.1001124307513237);
    EXPECT_EQ(element_by_letter('N')->s_level, -25.579999923706055);
    EXPECT_EQ(element_by_letter('O')->s_level, -32.380001068115234);
    EXPECT_EQ(element_by_letter('F')->p_level, -18.65999984741211);
    EXPECT_EQ(element_by_letter('F')->exponents[0], 67.03227996826172);
    EXPECT_EQ(element_by_letter('B')->exponents[4], 0.23840999603271484);
    EXPECT_EQ(coef_1s[0], 0.009163596667349339);
    EXPECT_EQ(coef_2s[0], -0.013252788223326206);
    EXPECT_EQ(coef_2p[5], 0.1017082929611206);
    EXPECT_EQ(element_by_letter('c'), nullptr);
    EXPECT_EQ(element_by_letter('X'), nullptr);
}

TEST(ElementTable, ElementGivesColumnsBySymbolFirstCharacter) {
    auto h = element("H   ");
    ASSERT_TRUE(h);
    EXPECT_EQ(h->count, 1);
    ASSERT_EQ(h->ai.size(), 6u);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(h->gi[k], label_ss);
    EXPECT_EQ(h->di[2], coef_1s[2]);

    auto c = element("C   ");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->count, 4);
    const Label labels[4] = {label_ss, label_px, label_py, label_pz};
    for (int f = 0; f < 4; ++f)
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(c->gi[6 * f + k], labels[f]);
            EXPECT_EQ(c->ai[6 * f + k], c->ai[k]);
            EXPECT_EQ(c->di[6 * f + k], f == 0 ? coef_2s[k] : coef_2p[k]);
        }

    // Judged by the first character alone; two calls give identical, independent tables.
    auto cl = element("Cl  ");
    ASSERT_TRUE(cl);
    EXPECT_EQ(cl->ai, c->ai);
    EXPECT_EQ(element("Na  ")->ai, element("N   ")->ai);
    EXPECT_FALSE(element("c   "));
    EXPECT_FALSE(element("X   "));
    EXPECT_FALSE(element("    "));
}

TEST(ElementTable, EveryContractionIsNormalisedWithinOneMillionth) {
    const double origin[3] = {0, 0, 0};
    for (char letter : std::string("HBCNOF")) {
        auto t = element(std::string(1, letter) + "   ");
        for (int f = 0; f < t->count; ++f) {
            double sum = 0;
            for (int k = 0; k < 6; ++k)
                for (int l = 0; l < 6; ++l)
                    sum += primitive_pair(t->gi[6 * f + k], origin, t->ai[6 * f + k], t->di[6 * f + k],
                                          t->gi[6 * f + l], origin, t->ai[6 * f + l], t->di[6 * f + l]);
            EXPECT_NEAR(sum, 1.0, 1e-6) << letter << " function " << f;
        }
    }
    // The documented remainders: hydrogen 1s 0.99999997, boron 2p 1.0000009.
    auto h = element("H   ");
    double sum = 0;
    for (int k = 0; k < 6; ++k)
        for (int l = 0; l < 6; ++l) sum += s2(0, 0, 0, 0, 0, 0, h->ai[k], h->ai[l], h->di[k], h->di[l]);
    EXPECT_NEAR(sum, 0.99999997, 1e-8);
}

TEST(PrimitiveOverlap, ReferenceValuesForTwoCentres) {
    expect_digits(0.8010554440, s2(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
    expect_digits(-0.4232912015, sp(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
    expect_digits(0.6019864673, p2(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
    expect_digits(-0.1025003985, pp(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1));
}

TEST(PrimitiveOverlap, SelfOverlapCarriesTheSinglePrecisionFactor) {
    EXPECT_EQ(overlap_k, 2.8284270763397217);
    EXPECT_EQ(overlap_2k, 5.656854152679443);
    EXPECT_EQ(overlap_4k, 11.313708305358887);
    EXPECT_NEAR(s2(1, 2, 3, 1, 2, 3, 0.8, 0.8, 1, 1), 0.999999982885729, 1e-15);
    EXPECT_NEAR(p2(1, 2, 3, 1, 2, 3, 0.8, 0.8, 1, 1), 0.999999982885729, 1e-15);
}

TEST(PrimitiveOverlap, SymmetriesSignsAndZeros) {
    // One centre: sp and pp vanish.
    EXPECT_EQ(sp(1, 1, 1, 1, 1, 1, 2.0, 0.3, 1, 1), 0.0);
    EXPECT_EQ(pp(1, 1, 1, 1, 1, 1, 2.0, 0.3, 1, 1), 0.0);
    // sp changes sign with d1; positive when the s centre lies on the positive side.
    const double fwd = sp(0.4, 0, 0, 0, 0, 0, 1.1, 0.6, 1, 1);
    EXPECT_GT(fwd, 0);
    EXPECT_EQ(sp(-0.4, 0, 0, 0, 0, 0, 1.1, 0.6, 1, 1), -fwd);
    // pp is symmetric under exchange of the primitives and zero when a p-axis coordinate agrees.
    EXPECT_NEAR(pp(0, 0, 0, 0.5, 0.3, -0.2, 1.2, 0.7, 1, 1), pp(0.5, 0.3, -0.2, 0, 0, 0, 0.7, 1.2, 1, 1), 1e-16);
    EXPECT_EQ(pp(0, 0.2, 0, 0.5, 0.2, -0.2, 1.2, 0.7, 1, 1), 0.0);
    // p2 changes sign where 2*alpha*beta*d1^2 = alpha + beta.
    EXPECT_EQ(p2(1, 0, 0, 0, 0, 0, 1, 1, 1, 1), 0.0);
    EXPECT_LT(p2(1.1, 0, 0, 0, 0, 0, 1, 1, 1, 1), 0.0);
    // Far apart: the exponential underflows to zero without error.
    EXPECT_EQ(s2(0, 0, 0, 1e3, 0, 0, 30, 30, 1, 1), 0.0);
}

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
