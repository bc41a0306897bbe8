// The FOR005 the importer writes is read back by zephor's own reader to exactly the coordinates
// it came from, whatever the title holds; atoms zephor cannot compute are refused.
#include "import/for005_writer.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "driver/molecule.hpp"
#include "driver/plain_pipeline.hpp"
#include "import/errors.hpp"
#include "import/xyz_reader.hpp"
#include "import/zmatrix.hpp"
#include "test_support.hpp"

using namespace zephor::importer;

namespace {

// The rows of the checkpoint's coordinates, up to the next section's label.
std::string checkpoint_coordinates(const std::string& checkpoint) {
    const std::size_t from = checkpoint.find('\n', checkpoint.find("\nCurrent cartesian coordinates") + 1) + 1;
    std::size_t to = from;
    while (to < checkpoint.size() && !std::isalpha(static_cast<unsigned char>(checkpoint[to]))) to = checkpoint.find('\n', to) + 1;
    return checkpoint.substr(from, to - from);
}

}  // namespace

TEST(For005Writer, ZephorReadsBackTheSameDoublesTitleAndCharge) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-50.0, 50.0);
    MoleculeIn m;
    // Titles that would otherwise be counted as atom lines, or cut at a blank or comma.
    m.title = "Benzene, it's 'quoted', C6H6";
    for (const char* s : {"C", "H", "B", "N", "O", "F"}) m.atoms.push_back({s, u(rng), u(rng), u(rng)});
    m.atoms.push_back({"H", -0.0, 1e-90, 123456789.123456789});
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
    double x = 0.0;
    for (const char* s : {"H", "C", "O", "H", "H", "N", "Cl"}) m.atoms.push_back({s, x += 1.5, 0.0, 0.0});
    EXPECT_EQ(error_of(m), "atom 7: Cl is not one of H, B, C, N, O, F");
    m.atoms.back() = {"Si", 0.0, 0.0, 0.0};
    EXPECT_EQ(error_of(m), "atom 7: Si is not one of H, B, C, N, O, F");
    m.atoms.back().symbol = "X";  // a dummy atom is no element either
    EXPECT_EQ(error_of(m), "atom 7: X is not one of H, B, C, N, O, F");
    m.atoms.back() = {"H", 0.0, 0.0, 1e308};
    EXPECT_EQ(error_of(m), "atom 7: the coordinate 1e+308 \u00c5 does not fit zephor's checkpoint (0, or about "
                           "5.3e-100 to 5.29e+99 \u00c5 in size)");
    m.atoms.back() = {"H", 0.0, 0.0, 5e99};
    EXPECT_EQ(error_of(m), "written");
    // A charge zephor would refuse: more doubly occupied orbitals than functions (found by fuzzing).
    MoleculeIn o;
    o.atoms.push_back({"O", 0.0, 0.0, 0.0});
    EXPECT_EQ(for005_text(o, -2), "''\n-2\nO 0 0 0\n");  // 8 electrons in 4 functions: full
    try {
        for005_text(o, -4);
        ADD_FAILURE() << "written";
    } catch (const ContentError& e) {
        EXPECT_STREQ(e.what(), "charge -4 leaves 10 valence electrons for 4 basis functions");
    }
}

TEST(For005Writer, EveryImportFuzzingSeedAndRegressionReadsBackOrIsReported) {
    // The seeds and past findings of the import fuzzer, replayed as it replays them: the first
    // byte chooses the reader; a molecule that becomes a FOR005 must be read by zephor and run
    // to the end, both files written, no coordinate of the checkpoint in asterisks.
    int files = 0, written = 0;
    std::vector<std::filesystem::directory_entry> entries;
    for (const char* folder : {"/../../../fuzz/corpus/import", "/../fuzz_regressions/import"})
        for (const auto& entry : std::filesystem::directory_iterator(std::string(ZEPHOR_IMPORT_DATA) + folder))
            entries.push_back(entry);
    for (const auto& entry : entries) {
        const std::string bytes = zephor_test::read_file(entry.path());
        if (bytes.empty()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++files;
        const std::string_view text(bytes.data() + 1, bytes.size() - 1);
        try {
            MoleculeIn m;
            switch (static_cast<unsigned char>(bytes[0]) % 4) {
            case 0: m = read_xyz(text, "f.xyz"); break;
            case 1: m = read_xyz(text, "f.xyz", 1 + static_cast<unsigned char>(bytes[0]) / 4 % 3); break;
            case 2: m = read_zmatrix(text, "f.zmat"); break;
            default: m = read_gaussian_zmatrix(text, "f.gzmat"); break;
            }
            const std::string for005 = for005_text(m, m.charge.value_or(0));
            EXPECT_EQ(zephor::load_molecule(for005).atom_count, static_cast<std::int32_t>(m.atoms.size()));
            const zephor::PlainRun run = zephor::plain_pipeline(for005);
            EXPECT_TRUE(run.solved);
            EXPECT_FALSE(run.report.empty());
            EXPECT_EQ(checkpoint_coordinates(run.checkpoint).find('*'), std::string::npos);
            ++written;
        } catch (const ContentError&) {
        }
    }
    EXPECT_GT(files, 22);
    EXPECT_GT(written, 5);
}

TEST(For005Writer, OnlyAFor005ThatZephorRunsToTheEndIsWritten) {
    // Atoms on top of each other (zephor's solve fails on them and it stops without a word), fewer
    // electrons than none, and coordinates that would be asterisks in the checkpoint (which
    // zephor-export then refuses) are refused; what is written runs to both files.
    struct Case {
        std::vector<AtomIn> atoms;
        int charge;
        std::string error;  // "" when written
    };
    const Case cases[] = {
        {{{"H", 0, 0, 0}, {"H", 0, 0, 0}}, 0, "atoms 1 and 2 are 0.000 \u00c5 apart (closer than 0.1 \u00c5)"},
        {{{"O", 0, 0, 0}, {"H", 1, 0, 0}, {"H", 1, 0.03, 0.04}}, 0,
         "atoms 2 and 3 are 0.050 \u00c5 apart (closer than 0.1 \u00c5)"},
        // The first atom that comes too close, with the earliest atom it is close to.
        {{{"C", 0, 0, 0}, {"H", 5, 0, 0}, {"H", 5.01, 0, 0}, {"H", 0, 0, 0.09}}, 0,
         "atoms 2 and 3 are 0.010 \u00c5 apart (closer than 0.1 \u00c5)"},
        {{{"H", 0, 0, 0}, {"H", 0, 0, 0.15}, {"H", 0, 0, 0.071}}, 0,
         "atoms 1 and 3 are 0.071 \u00c5 apart (closer than 0.1 \u00c5)"},
        // Across a cell boundary, and far from the origin.
        {{{"H", -0.04, 0.19999, 0}, {"H", 0.04, 0.20001, 0}}, 0, "atoms 1 and 2 are 0.080 \u00c5 apart (closer than 0.1 \u00c5)"},
        {{{"H", 1e20, 0, 0}, {"H", 1e20, 0, 0}}, 0, "atoms 1 and 2 are 0.000 \u00c5 apart (closer than 0.1 \u00c5)"},
        {{{"H", 0, 0, 0}, {"H", 0.1, 0, 0}}, 0, ""},
        {{{"H", 0, 0, 0}, {"H", 0, 0, 0.74}}, 2, ""},
        {{{"H", 0, 0, 0}, {"H", 0, 0, 0.74}}, 3, "charge 3 leaves -1 valence electrons, fewer than none"},
        {{{"H", 0, 0, 0}}, 2, "charge 2 leaves -1 valence electrons, fewer than none"},
        {{{"H", 0, 0, 0}, {"H", 0, 0, 1e-300}}, 0,
         "atom 2: the coordinate 1e-300 \u00c5 does not fit zephor's checkpoint (0, or about 5.3e-100 to 5.29e+99 \u00c5 "
         "in size)"},
        {{{"H", 0, 0, 0}, {"H", -9e307, 0, 0}}, 0,
         "atom 2: the coordinate -9e+307 \u00c5 does not fit zephor's checkpoint (0, or about 5.3e-100 to 5.29e+99 "
         "\u00c5 in size)"},
        {{{"H", 0, 0, 0}, {"H", 0, 5.29e99, 0}, {"H", 6e-100, 0, -2.0}}, 0, ""},
    };
    for (const Case& c : cases) {
        MoleculeIn m;
        m.atoms = c.atoms;
        SCOPED_TRACE(c.error);
        try {
            const std::string text = for005_text(m, c.charge);
            EXPECT_EQ(c.error, "");
            const zephor::PlainRun run = zephor::plain_pipeline(text);
            EXPECT_TRUE(run.solved);
            EXPECT_FALSE(run.report.empty());
            EXPECT_FALSE(checkpoint_coordinates(run.checkpoint).empty());
            EXPECT_EQ(checkpoint_coordinates(run.checkpoint).find('*'), std::string::npos);
        } catch (const ContentError& e) {
            EXPECT_EQ(e.what(), c.error);
        }
    }
    // The field's edges, in bohr: nine significant digits with a two-digit exponent.
    const double bohr = zephor::bohr_in_angstrom;
    EXPECT_TRUE(fits_checkpoint(9.9999999949e99 * bohr));
    EXPECT_FALSE(fits_checkpoint(9.9999999951e99 * bohr));
    EXPECT_TRUE(fits_checkpoint(1.0000001e-99 * bohr));
    EXPECT_FALSE(fits_checkpoint(9.99e-100 * bohr));
    EXPECT_TRUE(fits_checkpoint(-0.0));
}

TEST(For005Writer, TheDistanceCheckTakesLinearTimeOnAHundredThousandAtoms) {
    // A plane of atoms 0.5 Angstrom apart: every atom has the same x (a sweep along one axis
    // would compare every pair); then one atom placed next to the first.
    MoleculeIn m;
    for (int i = 0; i < 317; ++i)
        for (int j = 0; j < 317; ++j) m.atoms.push_back({"H", 0.0, 0.5 * i, 0.5 * j});
    EXPECT_EQ(for005_text(m, 0).size() > 100000, true);
    m.atoms.push_back({"H", 0.0, 0.0, 0.06});
    try {
        for005_text(m, 0);
        ADD_FAILURE() << "written";
    } catch (const ContentError& e) {
        EXPECT_STREQ(e.what(), "atoms 1 and 100490 are 0.060 \u00c5 apart (closer than 0.1 \u00c5)");
    }
}
