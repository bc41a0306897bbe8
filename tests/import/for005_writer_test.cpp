// The FOR005 the importer writes is read back by zephor's own reader to exactly the coordinates
// it came from, whatever the title holds; atoms zephor cannot compute are refused.
#include "import/for005_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "common/constants.hpp"
#include "driver/molecule.hpp"
#include "import/errors.hpp"

using namespace zephor::importer;

TEST(For005Writer, ZephorReadsBackTheSameDoublesTitleAndCharge) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-50.0, 50.0);
    MoleculeIn m;
    // Titles that would otherwise be counted as atom lines, or cut at a blank or comma.
    m.title = "Benzene, it's 'quoted', C6H6";
    for (const char* s : {"C", "H", "B", "N", "O", "F"}) m.atoms.push_back({s, u(rng), u(rng), u(rng)});
    m.atoms.push_back({"H", -0.0, 1e-300, 123456789.123456789});
    m.atoms.push_back({"H", 0.1, 0.2 + 0.1, 1.0 / 3.0});
    const std::string text = for005_text(m, -2);
    EXPECT_EQ(text.substr(0, text.find('\n')), "'Benzene, it''s ''quoted'', C6H6'");
    const zephor::Molecule back = zephor::load_molecule(text);
    ASSERT_EQ(back.atom_count, static_cast<std::int32_t>(m.atoms.size()));
    EXPECT_EQ(back.charge, -2);
    EXPECT_EQ(back.title.substr(0, 28), "Benzene, it's 'quoted', C6H6");
    for (std::size_t i = 0; i < m.atoms.size(); ++i) {
        EXPECT_EQ(back.symbol[i], m.atoms[i].symbol + "   ");
        const double xyz[3] = {m.atoms[i].x, m.atoms[i].y, m.atoms[i].z};
        for (int c = 0; c < 3; ++c) {
            const double expected = xyz[c] / zephor::bohr_in_angstrom;
            EXPECT_EQ(std::signbit(back.r[3 * i + c]), std::signbit(expected)) << i << " " << c;
            EXPECT_EQ(back.r[3 * i + c], expected) << i << " " << c;
        }
    }
}

TEST(For005Writer, ControlCharactersInTheTitleBecomeBlanks) {
    MoleculeIn m;
    m.title = "two\nlines\tand a tab";
    m.atoms.push_back({"H", 0.0, 0.0, 0.0});
    EXPECT_EQ(for005_text(m, 0), "'two lines and a tab'\n0\nH 0 0 0\n");
}

TEST(For005Writer, UnknownElementsEmptyMoleculesAndOverflowingCoordinatesAreRefused) {
    auto error_of = [](const MoleculeIn& m) {
        try {
            for005_text(m, 0);
        } catch (const ContentError& e) {
            return std::string(e.what());
        }
        return std::string("written");
    };
    MoleculeIn m;
    EXPECT_EQ(error_of(m), "the file holds no atom");
    for (const char* s : {"H", "C", "O", "H", "H", "N", "Cl"}) m.atoms.push_back({s, 0.0, 0.0, 0.0});
    EXPECT_EQ(error_of(m), "atom 7: Cl is not one of H, B, C, N, O, F");
    m.atoms.back() = {"Si", 0.0, 0.0, 0.0};
    EXPECT_EQ(error_of(m), "atom 7: Si is not one of H, B, C, N, O, F");
    m.atoms.back() = {"H", 0.0, 0.0, 1e308};
    EXPECT_EQ(error_of(m), "atom 7: coordinate too large for a molecule");
    m.atoms.back() = {"H", 0.0, 0.0, 9e307};
    EXPECT_EQ(error_of(m), "written");
}
