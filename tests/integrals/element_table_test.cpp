// The element table: its constants are the widened single-precision values, `element` hands
// out columns by the symbol's first character, and every contraction is normalised to 1e-6.
#include "integrals/element_table.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/elements.hpp"
#include "integrals/primitive_overlap.hpp"
#include "integrals/s_h_matrix.hpp"

using namespace zephor;

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

TEST(ElementTable, TheSharedFactsAreTheTablesFactsAndTheOccupancyRule) {
    // The six of common/elements.hpp are the table's six, in every fact the table repeats, and
    // their symbols are the periodic table's.
    std::size_t found = 0;
    for (const char letter : element_letters) {
        const SupportedElement* f = supported_element(letter);
        const ElementData* e = element_by_letter(letter);
        ASSERT_NE(f, nullptr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->atomic_number, f->atomic_number);
        EXPECT_EQ(e->valence_electrons, f->valence_electrons);
        EXPECT_EQ(e->valence, static_cast<double>(f->valence_electrons));
        EXPECT_EQ(e->functions, f->functions);
        EXPECT_EQ(e->shells, f->shells);
        EXPECT_EQ(periodic_symbols[static_cast<std::size_t>(f->atomic_number)], std::string(1, letter));
        EXPECT_EQ(supported_element_number(f->atomic_number), f);
        EXPECT_EQ(element(std::string(1, letter) + "   ")->count, f->functions);
        ++found;
    }
    EXPECT_EQ(found, 6u);
    EXPECT_EQ(supported_element('X'), nullptr);
    EXPECT_EQ(supported_element_number(17), nullptr);
    EXPECT_EQ(periodic_symbols.size(), 119u);
    EXPECT_EQ(atomic_number_of("Og"), 118);
    EXPECT_EQ(atomic_number_of("Cl"), 17);
    EXPECT_EQ(atomic_number_of("CL"), 0);
    EXPECT_EQ(atomic_number_of(""), 0);
    // electrons = valence - charge; electrons / 2 doubly occupied, an odd one dropped, none below
    // zero; refused when more than the functions.
    EXPECT_EQ(electron_count(8, -2), 10);
    EXPECT_EQ(doubly_occupied(7), 3);
    EXPECT_EQ(doubly_occupied(-3), 0);
    EXPECT_TRUE(occupancy_fits(8, 4));
    EXPECT_TRUE(occupancy_fits(9, 4));
    EXPECT_FALSE(occupancy_fits(10, 4));
    EXPECT_TRUE(occupancy_fits(-5, 1));
}
