// Field formatting to the character, row-block shapes, checkpoint label fields and the report
// layout for the small cases whose shape is fixed.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "output/checkpoint.hpp"
#include "output/fields.hpp"
#include "output/output_file.hpp"
#include "output/report.hpp"
#include "test_support.hpp"

using namespace zephor;
using zephor_test::TempDir;

namespace {

std::string f4(double x, int w) {
    std::string s;
    put_f4(s, x, w);
    return s;
}

std::string es(double x) {
    std::string s;
    put_es16(s, x);
    return s;
}

std::string i12(std::int32_t k) {
    std::string s;
    put_i12(s, k);
    return s;
}

// Writes through an OutputFile in a temporary directory and returns what was stored.
template <class Fn>
std::string written(Fn&& fn) {
    TempDir dir;
    const std::string path = (dir / "out").string();
    {
        OutputFile f = OutputFile::create_new(path, 11);
        EXPECT_TRUE(f.is_open());
        fn(f);
        f.close();
    }
    return zephor_test::read_file(path);
}

}  // namespace

TEST(IntegerText, StrIsTwentyCharactersLeftJustified) {
    EXPECT_EQ(str(0), "0" + std::string(19, ' '));
    EXPECT_EQ(str(-7), "-7" + std::string(18, ' '));
    EXPECT_EQ(str(2147483647), "2147483647" + std::string(10, ' '));
    EXPECT_EQ(str(-2147483647 - 1), "-2147483648" + std::string(9, ' '));
    EXPECT_EQ(integer_text(12), "12");
    EXPECT_EQ(i12(6), std::string(11, ' ') + "6");
    EXPECT_EQ(i12(-1), std::string(10, ' ') + "-1");
    EXPECT_EQ(i12(-2147483647 - 1), " -2147483648");
}

TEST(FixedField, RoundingSignsAndOverflow) {
    EXPECT_EQ(f4(-0.00004, 8), " -0.0000");
    EXPECT_EQ(f4(0.00004, 8), "  0.0000");
    EXPECT_EQ(f4(-0.00001, 8), " -0.0000");
    EXPECT_EQ(f4(-0.0, 8), " -0.0000");
    EXPECT_EQ(f4(0.0, 8), "  0.0000");
    EXPECT_EQ(f4(0.5, 8), "  0.5000");
    EXPECT_EQ(f4(0.03125, 8), "  0.0312");   // an exact tie goes to the even digit
    EXPECT_EQ(f4(0.09375, 8), "  0.0938");
    EXPECT_EQ(f4(123.4567, 8), "123.4567");
    EXPECT_EQ(f4(-21.453, 8), "-21.4530");
    EXPECT_EQ(f4(-1234.5, 8), "********");
    EXPECT_EQ(f4(-999.99996, 8), "********");
    EXPECT_EQ(f4(-99.99996, 8), "********");
    EXPECT_EQ(f4(999.99994, 8), "999.9999");
    EXPECT_EQ(f4(0.0, 15), std::string(9, ' ') + "0.0000");
    EXPECT_EQ(f4(9999999999.0, 15), "9999999999.0000");
    EXPECT_EQ(f4(-999999999.0, 15), "-999999999.0000");
    EXPECT_EQ(f4(-9999999999.0, 15), std::string(15, '*'));
    EXPECT_EQ(f4(1e300, 15), std::string(15, '*'));
}

TEST(ScientificField, DigitsExponentsAndOverflow) {
    EXPECT_EQ(es(1.0), "  1.00000000E+00");
    EXPECT_EQ(es(-0.5), " -5.00000000E-01");
    EXPECT_EQ(es(12345.678), "  1.23456780E+04");
    EXPECT_EQ(es(0.529177188873291), "  5.29177189E-01");
    EXPECT_EQ(es(9.9999999996), "  1.00000000E+01");
    EXPECT_EQ(es(0.0), "  0.00000000E+00");
    EXPECT_EQ(es(-0.0), " -0.00000000E+00");
    EXPECT_EQ(es(1.0e-100), std::string(16, '*'));
    EXPECT_EQ(es(1.0e+100), std::string(16, '*'));
    EXPECT_EQ(es(9.99999999e+99), "  9.99999999E+99");
    EXPECT_EQ(es(9.999999999e+99), std::string(16, '*'));  // rounds up to 1.0E+100
    EXPECT_EQ(es(1.0e-99), "  1.00000000E-99");
    EXPECT_EQ(es(-0.788382964), " -7.88382964E-01");
    EXPECT_EQ(es(1.000000005), "  1.00000000E+00");  // binary value just below the tie
}

TEST(NonFinite, InfinityAndNaNForms) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(f4(inf, 8), "Infinity");
    EXPECT_EQ(f4(-inf, 8), "    -Inf");
    EXPECT_EQ(f4(-inf, 15), "      -Infinity");
    EXPECT_EQ(f4(nan, 8), "     NaN");
    EXPECT_EQ(es(inf), "        Infinity");
    EXPECT_EQ(es(-inf), "       -Infinity");
    EXPECT_EQ(es(nan), "             NaN");
}

TEST(RowBlock, FiveValuesToALineAndNoEmptyLine) {
    auto ints = [](int n) {
        std::vector<std::int32_t> v(static_cast<std::size_t>(n), 6);
        return written([&](OutputFile& f) { f.write_int_rows(v); });
    };
    EXPECT_EQ(ints(0), "");
    const std::string six = std::string(11, ' ') + "6";
    EXPECT_EQ(ints(1), six + "\n");
    EXPECT_EQ(ints(5), six + six + six + six + six + "\n");
    EXPECT_EQ(ints(6), six + six + six + six + six + "\n" + six + "\n");

    const std::vector<double> reals(11, 1.0);
    const std::string one = "  1.00000000E+00";
    const std::string full = one + one + one + one + one + "\n";
    EXPECT_EQ(written([&](OutputFile& f) { f.write_real_rows(std::span(reals.data(), 10)); }), full + full);
    EXPECT_EQ(written([&](OutputFile& f) { f.write_real_rows(reals); }), full + full + one + "\n");
}

TEST(OutputFile, RefusesAnExistingNameOrADanglingLink) {
    TempDir dir;
    zephor_test::write_file(dir / "taken", "old");
    EXPECT_FALSE(OutputFile::create_new((dir / "taken").string(), 11).is_open());
    EXPECT_EQ(zephor_test::read_file(dir / "taken"), "old");
    std::filesystem::create_symlink(dir / "elsewhere", dir / "link");
    EXPECT_FALSE(OutputFile::create_new((dir / "link").string(), 11).is_open());
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
}

TEST(CheckpointLabels, ValueTextStartsInColumn60Or61) {
    auto line = [](std::string_view label, char type, bool array, int width, std::int32_t v) {
        std::string s;
        put_label_field(s, label, type, array, width);
        put_integer_text(s, v);
        return s;
    };
    // A 12-atom count in a 60-character field ends in position 62.
    const std::string atoms = line("Number of atoms", 'I', false, 60, 12);
    EXPECT_EQ(atoms.size(), 62u);
    EXPECT_EQ(atoms[43], 'I');
    // A 5-function count in a 59-character field ends in position 60; charge -1 in 62.
    EXPECT_EQ(line("Number of basis functions", 'I', false, 59, 5).size(), 60u);
    EXPECT_EQ(line("Charge", 'I', false, 60, -1), "Charge" + std::string(37, ' ') + "I" + std::string(16, ' ') + "-1");
    EXPECT_EQ(line("Primitive exponents", 'R', true, 59, 18),
              "Primitive exponents" + std::string(24, ' ') + "R   N=" + std::string(10, ' ') + "18");
}

TEST(Report, NoOccupiedOrbitalAndOneAtom) {
    const std::string report = written([](OutputFile& f) {
        write_report(f, {-13.6}, 0, 0.0, {1.0}, {1.0}, {"H   "}, 1);
    });
    const std::string tail =
        std::string(62, '*') + "\nEnergy levels (occupied orbitals)\nTotal energy:         0.0000eV\n" +
        std::string(66, '*') + "\nMulliken population analysis:\n   H(1):  0.0000\n" + std::string(66, '*') +
        "\nTotal charge:  0.0000\n" + std::string(66, '*') + "\nWiberg bond orders:\n";
    ASSERT_GE(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);
    EXPECT_EQ(report.rfind("Thank you for using ZEPHOR\n", 0), 0u);
}

TEST(Report, LabelsGrowWithTwoDigitNumbers) {
    const int atoms = 10;
    std::vector<double> pop(atoms * atoms, 0.25);
    std::vector<double> valence(atoms, 4.0);
    std::vector<std::string> symbol(atoms, "C   ");
    symbol[9] = "H   ";
    std::vector<double> energy(12, -150.0);
    energy[9] = -1.5;
    const std::string report = written([&](OutputFile& f) {
        write_report(f, energy, 10, -300.0, pop, valence, symbol, atoms);
    });
    EXPECT_NE(report.find("\nEstate9:********eV\nEstate10: -1.5000eV\nTotal energy:      -300.0000eV\n"), std::string::npos);
    EXPECT_NE(report.find("\n   H(10):  3.7500\n"), std::string::npos);
    EXPECT_NE(report.find("\n   C(1)-H(10):  0.2500\n"), std::string::npos);
    EXPECT_NE(report.find("\n   C(9)-H(10):  0.2500\n"), std::string::npos);
}
