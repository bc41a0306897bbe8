// The XYZ reader: titles, symbols as people write them, several molecules in one file, extra
// columns, and the exact report of every malformed file.
#include "import/xyz_reader.hpp"

#include <gtest/gtest.h>

#include <string>

#include "import/errors.hpp"
#include "test_support.hpp"

using namespace zephor::importer;

namespace {

std::string data(const std::string& name) { return zephor_test::read_file(std::string(ZEPHOR_IMPORT_DATA) + "/" + name); }

std::string error_of(const std::string& file, int index = 1) {
    try {
        read_xyz(data(file), file, index);
    } catch (const ContentError& e) {
        return e.what();
    }
    return "read";
}

}  // namespace

TEST(XyzReader, WaterAsWritten) {
    const MoleculeIn m = read_xyz(data("water.xyz"), "water.xyz");
    EXPECT_EQ(m.title, "water");
    EXPECT_FALSE(m.charge.has_value());
    ASSERT_EQ(m.atoms.size(), 3u);
    EXPECT_EQ(m.atoms[0].symbol, "O");
    EXPECT_EQ(m.atoms[2].symbol, "H");
    EXPECT_EQ(m.atoms[2].y, -0.757);
    EXPECT_EQ(m.atoms[2].z, 0.587);
    // CRLF line ends, tabs and a Fortran exponent read the same.
    const MoleculeIn crlf = read_xyz("3\r\nwater\r\nO\t0 0 0\r\nH 0.0 0.757D0 0.587\r\nH 0 -0.757 5.87e-1\r\n", "w");
    EXPECT_EQ(crlf.title, "water");
    EXPECT_EQ(crlf.atoms[1].y, 0.757);
    EXPECT_EQ(crlf.atoms[2].z, 0.587);
}

TEST(XyzReader, SecondMoleculeWithLowerCaseAndNumberedSymbolsAndExtraColumns) {
    const MoleculeIn first = read_xyz(data("two_molecules.xyz"), "two_molecules.xyz");
    EXPECT_EQ(first.atoms.size(), 2u);
    const MoleculeIn second = read_xyz(data("two_molecules.xyz"), "two_molecules.xyz", 2);
    EXPECT_EQ(second.title, "water, second frame");
    ASSERT_EQ(second.atoms.size(), 3u);
    EXPECT_EQ(second.atoms[0].symbol, "O");
    EXPECT_EQ(second.atoms[1].symbol, "H");  // atomic number 1
    EXPECT_EQ(second.atoms[2].symbol, "H");
    EXPECT_EQ(error_of("two_molecules.xyz", 3), "two_molecules.xyz: the file holds 2 molecules, not molecule 3");
}

TEST(XyzReader, MalformedFilesGiveFileLineAndWhatWasExpected) {
    EXPECT_EQ(error_of("bad/short_line.xyz"), "bad/short_line.xyz:4: expected 'symbol x y z', found 'H 0.0 0.757'");
    EXPECT_EQ(error_of("bad/no_count.xyz"), "bad/no_count.xyz:1: expected the number of atoms, found 'three'");
    EXPECT_EQ(error_of("bad/cut.xyz"), "bad/cut.xyz:5: the file ends after 2 of 4 atoms (count on line 1)");
    EXPECT_EQ(error_of("bad/empty.xyz"), "bad/empty.xyz: the file holds no atom");
    EXPECT_EQ(error_of("bad/chlorine.xyz"), "read");  // the element is refused when FOR005 is written
    // Infinity, NaN and hexadecimal are no coordinates; control bytes are shown escaped.
    for (const char* x : {"inf", "nan", "0x1p3"}) {
        try {
            read_xyz(std::string("1\nt\nH 0 0 ") + x + "\n", "t.xyz");
            ADD_FAILURE() << x;
        } catch (const ContentError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("t.xyz:3: expected 'symbol x y z', found 'H 0 0 ") + x + "'");
        }
    }
    try {
        read_xyz(std::string("1\nt\nH\x01 0 0\n"), "t.xyz");
    } catch (const ContentError& e) {
        EXPECT_EQ(std::string(e.what()), "t.xyz:3: expected 'symbol x y z', found 'H\\x01 0 0'");
    }
}

TEST(XyzReader, LabelsByTheSharedRuleAMarkOutOfRangeAndHighBytes) {
    // The element of a symbol or label: two leading letters that name an element, else one.
    const struct {
        const char* label;
        const char* symbol;
    } labels[] = {{"C", "C"},   {"c", "C"},   {"C1", "C"},   {"Cl", "Cl"}, {"CL1", "Cl"}, {"Hg1", "Hg"},
                  {"HG", "Hg"}, {"BR1", "Br"}, {"FE1", "Fe"}, {"Os", "Os"}, {"CO1", "Co"}, {"HA", "H"},
                  {"6", "C"},   {"80", "Hg"}, {"118", "Og"}, {"X", "X"}};
    for (const auto& l : labels) {
        const MoleculeIn m = read_xyz(std::string("1\nt\n") + l.label + " 0 0 0\n", "t.xyz");
        EXPECT_EQ(m.atoms.at(0).symbol, l.symbol) << l.label;
    }
    // A UTF-8 byte-order mark before the count is skipped.
    EXPECT_EQ(read_xyz("\xef\xbb\xbf" "1\nt\nH 0 0 0\n", "t.xyz").atoms.size(), 1u);
    const auto error_of_text = [](const std::string& text) {
        try {
            read_xyz(text, "t.xyz");
        } catch (const ContentError& e) {
            return std::string(e.what());
        }
        return std::string("read");
    };
    EXPECT_EQ(error_of_text("1\nt\nH 0 0 1e400\n"), "t.xyz:3: the coordinate '1e400' is out of range");
    EXPECT_EQ(error_of_text("1\nt\nH 0 -1.5D999 0\n"), "t.xyz:3: the coordinate '-1.5D999' is out of range");
    // Bytes 0x80 and above are escaped like control bytes: none reaches the terminal raw.
    EXPECT_EQ(error_of_text("1\nt\nH 0 0 \x9b" "2J\n"), "t.xyz:3: expected 'symbol x y z', found 'H 0 0 \\x9b2J'");
    EXPECT_EQ(error_of_text("\xc3\xa9\n"), "t.xyz:1: expected the number of atoms, found '\\xc3\\xa9'");
}
