// The FOR005 the importer writes is read back by zephor's own reader to exactly the coordinates
// it came from, whatever the title holds; atoms zephor cannot compute are refused.
#include "import/for005_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>

#include "common/constants.hpp"
#include "driver/molecule.hpp"
#include "import/errors.hpp"
#include "import/xyz_reader.hpp"
#include "import/zmatrix.hpp"
#include "test_support.hpp"

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
    // byte chooses the reader; a molecule that becomes a FOR005 must be read by zephor.
    int files = 0, written = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(ZEPHOR_IMPORT_DATA) + "/../../../fuzz/corpus/import")) {
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
            ++written;
        } catch (const ContentError&) {
        }
    }
    EXPECT_GT(files, 15);
    EXPECT_GT(written, 5);
}
