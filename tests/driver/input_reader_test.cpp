// The three passes over FOR005: atom-line counting, the sizing and reading passes with their
// layout edge cases and reports, the bad-input files, and robustness against arbitrary bytes.
#include "driver/input_reader.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "test_support.hpp"

using namespace zephor;
using namespace std::string_literals;
using zephor_test::read_report;
using zephor_test::report_of;

namespace {

std::string padded(std::string s, std::size_t width) {
    s.resize(width, ' ');
    return s;
}

struct Molecule {
    std::string title;
    std::int32_t charge = 0;
    std::vector<std::string> symbol;
    std::vector<double> r;
};

// The three passes in the driver's order.
Molecule read_molecule(std::string_view data) {
    const std::int32_t n = count_atom_lines(data);
    const SizingInput sizing = read_sizing_pass(data, n);
    Molecule m;
    m.symbol.resize(sizing.letters.size(), "junk");
    m.r.resize(3 * sizing.letters.size(), 99.0);
    read_atom_pass(data, n, m.title, m.charge, m.symbol, m.r);
    return m;
}

}  // namespace

TEST(CountAtomLines, CountsLinesByTheirFirstCharacter) {
    EXPECT_EQ(count_atom_lines(""), 0);
    EXPECT_EQ(count_atom_lines("\n\n  \n"), 0);
    EXPECT_EQ(count_atom_lines("F\nB\nO\nN\nH\nC\n"), 6);
    EXPECT_EQ(count_atom_lines("f\nb\no\nn\nh\nc\n"), 0);
    // Title Benzene counts, the indented atom and other letters do not, the last line has no LF.
    EXPECT_EQ(count_atom_lines("Benzene\n0\nC 0 0 0\n H 1 0 0\n\nXe\n2-butene\nH 0 0 1"), 3);
    EXPECT_EQ(count_atom_lines("water\r\n0\r\nO 0 0 0\r\nH 0 0 1\r\n"), 2);
    EXPECT_EQ(count_atom_lines("\0H\nH\xff\n\xffH\nC"s), 2);
}

TEST(SizingPass, ReadsTitleChargeAndLetters) {
    const std::string_view water = "water molecule\n\n 0\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nHe 0.0 -0.757 0.587\n";
    const SizingInput s = read_sizing_pass(water, count_atom_lines(water));
    EXPECT_EQ(s.title, padded("water", 100));
    EXPECT_EQ(s.charge, 0);
    EXPECT_EQ(s.charge_line, 3);
    EXPECT_EQ(s.letters, (std::vector<char>{'O', 'H', 'H'}));

    const auto charge = [](const std::string& line) {
        const std::string data = "t\n" + line + "\nH 0 0 0\n";
        return read_sizing_pass(data, 1).charge;
    };
    EXPECT_EQ(charge("-1"), -1);
    EXPECT_EQ(charge("+2"), 2);
    EXPECT_EQ(charge("0 word"), 0);
    EXPECT_EQ(report_of([&] { charge("1.0"); }), read_report(2, 13, "Bad integer for item 1 in list input"));
    EXPECT_EQ(charge(",5"), 0);  // a null charge is 0

    const SizingInput empty = read_sizing_pass("t\n0\n", count_atom_lines("t\n0\n"));
    EXPECT_TRUE(empty.letters.empty());
}

TEST(SizingPass, CommonMistakesInTheFile) {
    // A title starting with an element letter asks for one atom line more than there is.
    const std::string_view benzene = "Benzene\n0\nC 0 0 0\n";
    EXPECT_EQ(count_atom_lines(benzene), 2);
    EXPECT_EQ(report_of([&] { read_sizing_pass(benzene, 2); }), read_report(4, 13, "End of file"));
    // An empty title line: the charge line becomes the title, the atom line the charge.
    EXPECT_EQ(report_of([] { read_sizing_pass("\n0\nO 0 0 0\n", 1); }),
              read_report(3, 13, "Bad integer for item 1 in list input"));
    // A lower-case symbol is not counted but can still be read as an atom.
    EXPECT_EQ(report_of([] { read_sizing_pass("t\n0\nC 0 0 0\nc 1 1 1\nH 0 0 1\n", 2); }),
              read_report(4, 13, "Unknown element symbol 'c' for atom 2"));
    EXPECT_EQ(report_of([] { read_sizing_pass("t\n0\nC 0 0 0\n,1,2,3\n", 2); }),
              read_report(4, 13, "Unknown element symbol '' for atom 2"));
}

TEST(AtomPass, ConvertsAngstromToBohrExactly) {
    const Molecule blanks = read_molecule("t\n0\nC 1.0 -1.2 0.74 carbon\n");
    const Molecule commas = read_molecule("t\n0\nC,1.0,-1.2,0.74\n");
    EXPECT_EQ(blanks.symbol, (std::vector<std::string>{"C   "}));
    EXPECT_EQ(blanks.r, (std::vector<double>{1.8897262032952922, -2.2676714439543506, 1.3983973904385163}));
    EXPECT_EQ(commas.symbol, blanks.symbol);
    EXPECT_EQ(commas.r, blanks.r);

    const Molecule crlf = read_molecule("'H2, water'\r\n-1\r\n\r\nO 0 0 0\r\nH 0 0.757 0.587\r\nH 0 -.757 .587\r\n");
    const Molecule lf = read_molecule("'H2, water'\n-1\n\nO 0 0 0\nH 0 0.757 0.587\nH 0 -.757 .587\n");
    EXPECT_EQ(crlf.title, padded("H2, water", 100));
    EXPECT_EQ(crlf.charge, -1);
    EXPECT_EQ(crlf.symbol, (std::vector<std::string>{"O   ", "H   ", "H   "}));
    EXPECT_EQ(crlf.r, lf.r);
    EXPECT_EQ(lf.r[4], 0.757 / 0.529177188873291015625);
}

TEST(AtomPass, LayoutEdgeCases) {
    // An indented atom line is not counted, so the last atom line is never read.
    const Molecule indented = read_molecule("t\n0\n H 0 0 9\nH 0 0 1\nH 0 0 2\n");
    EXPECT_EQ(indented.r.size(), 6u);
    EXPECT_EQ(indented.r[2], 9.0 / bohr_in_angstrom);
    EXPECT_EQ(indented.r[5], 1.0 / bohr_in_angstrom);
    // Title and charge with no atom line.
    const Molecule none = read_molecule("no atoms\n0\n");
    EXPECT_TRUE(none.symbol.empty());
    EXPECT_EQ(none.title, padded("no", 100));
    // z from the next line, which is a number or (failing) an atom line. Pass 2 takes a wrapped
    // number for the next atom's symbol and refuses it.
    const std::string_view wrapped = "t\n0\nC 0 0\n5\nH 0 0 1\n";
    EXPECT_EQ(report_of([&] { read_sizing_pass(wrapped, 2); }),
              read_report(4, 13, "Unknown element symbol '5' for atom 2"));
    std::string title;
    std::int32_t charge = 0;
    std::vector<std::string> symbol(2);
    std::vector<double> r(6);
    read_atom_pass(wrapped, 2, title, charge, symbol, r);
    EXPECT_EQ(r[2], 5.0 / bohr_in_angstrom);
    EXPECT_EQ(r[5], 1.0 / bohr_in_angstrom);
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nC 0 0\nH 0 0 1\n"); }),
              read_report(4, 10, "Bad real number in item 4 of list input"));
    // A trailing line starting with an element letter is read as an atom.
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nH 0 0 0\nF end\n"); }),
              read_report(4, 10, "Bad real number in item 2 of list input"));
}

TEST(AtomPass, CoordinatesWhoseBohrValueOverflowsAreBadReals) {
    // 9.5e307 Angstrom is still finite in bohr; 9.6e307 is not, in any of x, y, z.
    EXPECT_EQ(read_molecule("t\n0\nH -9.5e307 0 9.5E307\n").r[0], -9.5e307 / bohr_in_angstrom);
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nH 0 -9.6e307 0\n"); }),
              read_report(3, 10, "Bad real number in item 3 of list input"));
    // The line is that of the value itself when the atom runs over two lines.
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nC 0 0\n1.7D308\n"); }),
              read_report(4, 10, "Bad real number in item 4 of list input"));
}

TEST(AtomPass, FieldsWithoutValueKeepPreviousContentsOrStartAtZero) {
    // x, y, z keep the previous atom's coordinates across a null value; the first atom starts at 0.
    const Molecule m = read_molecule("t\n0\nH 1 /\nH,,4,5\nH 7,,\n3\n");
    const double b = bohr_in_angstrom;
    EXPECT_EQ(m.r, (std::vector<double>{1 / b, 0.0, 0.0, 1 / b, 4 / b, 5 / b, 7 / b, 4 / b, 3 / b}));
    // Title and charge start blank and 0 in every pass.
    std::string title = "old";
    std::int32_t charge = 9;
    std::vector<std::string> symbol;
    std::vector<double> r;
    read_atom_pass("/\n,\n", 0, title, charge, symbol, r);
    EXPECT_EQ(title, std::string(100, ' '));
    EXPECT_EQ(charge, 0);
}

TEST(AtomPass, OnlyTheSixSingleLettersAreElements) {
    EXPECT_EQ(read_molecule("t\n0\nC 0 0 0\n'C ' 0 0 0\nH\n").symbol, (std::vector<std::string>{"C   ", "C   "}));
    EXPECT_EQ(read_molecule("t\n0\nB 0 0 0\nN, 0 0 0\n").symbol, (std::vector<std::string>{"B   ", "N   "}));
    for (const auto& [line, shown] : std::vector<std::pair<std::string, std::string>>{
             {"Cl 0 0 0", "Cl"}, {"C1 0 0 0", "C1"}, {"Chlorine 0 0 0", "Chlo"},
             {"Ca,0,0,0", "Ca"}}) {
        const std::string data = "t\n0\nH 0 0 0\n" + line + "\n";
        EXPECT_EQ(report_of([&] { read_molecule(data); }),
                  read_report(4, 10, "Unknown element symbol '" + shown + "' for atom 2"))
            << line;
    }
    EXPECT_EQ(report_of([] { read_molecule("t\n0\n'C x' 0 0 0\nH 0 0 0\n"); }),
              read_report(3, 10, "Unknown element symbol 'C x' for atom 1"));
    // The line of the report is the atom line, where its first value stands.
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nH 0 0 0\n\nCl\n0 0 0\n"); }),
              read_report(5, 10, "Unknown element symbol 'Cl' for atom 2"));
}

TEST(AtomPass, RefusesWronglySizedArrays) {
    std::string title;
    std::int32_t charge = 0;
    std::vector<std::string> symbol(1);
    std::vector<double> r(2);
    EXPECT_THROW(read_atom_pass("t\n0\nH 0 0 0\n", 1, title, charge, symbol, r), std::invalid_argument);
}

TEST(BadInputFiles, GiveTheirExactReports) {
    const struct {
        const char* name;
        std::string expected;
    } cases[] = {
        {"charge_real.FOR005", read_report(2, 13, "Bad integer for item 1 in list input")},
        {"charge_overflow.FOR005", read_report(2, 13, "Integer overflow while reading item 1")},
        {"empty_title.FOR005", read_report(3, 13, "Bad integer for item 1 in list input")},
        {"title_h2o.FOR005", read_report(6, 13, "End of file")},
        {"quoted_title.FOR005", read_report(1, 13, "Invalid string input in item 1")},
        {"unclosed_title.FOR005", read_report(6, 13, "End of file")},
        {"symbol_lower.FOR005", read_report(4, 13, "Unknown element symbol 'h' for atom 2")},
        {"symbol_cl.FOR005", read_report(4, 10, "Unknown element symbol 'Cl' for atom 2")},
        {"missing_z.FOR005", read_report(4, 10, "Bad real number in item 4 of list input")},
        {"bad_x.FOR005", read_report(3, 10, "Bad real number in item 2 of list input")},
        {"zero_repeat.FOR005", read_report(3, 10, "Zero repeat count in item 2 of list input")},
        {"coordinate_overflow.FOR005", read_report(4, 10, "Bad real number in item 2 of list input")},
    };
    for (const auto& c : cases) {
        const std::string data = zephor_test::read_file(zephor_test::data_dir() / "bad" / c.name);
        ASSERT_FALSE(data.empty()) << c.name;
        EXPECT_EQ(report_of([&] { read_molecule(data); }), c.expected) << c.name;
    }
}

TEST(Robustness, LargeInputsReadInLinearTime) {
    std::string many_blank_lines(1000000, '\n');
    many_blank_lines += "t\n0\nH 0 0 0";
    const SizingInput s = read_sizing_pass(many_blank_lines, count_atom_lines(many_blank_lines));
    EXPECT_EQ(s.charge_line, 1000002);
    EXPECT_EQ(report_of([&] { read_sizing_pass(many_blank_lines, 2); }), read_report(1000004, 13, "End of file"));

    const std::string long_title = std::string(5000000, 'x') + "\n0\n";
    EXPECT_EQ(read_sizing_pass(long_title, 0).title, std::string(100, 'x'));
    const std::string long_quote = "'" + std::string(1000000, '\n') + "t'\n7\n";
    EXPECT_EQ(read_sizing_pass(long_quote, 0).charge, 7);
}

TEST(Robustness, RandomAndTruncatedInputsEitherReadOrReport) {
    const std::string base =
        "'Water, \"bent\"'\n0\nO 0.0 0.0 0.0\nH,0.0,0.757,0.587\nH 0.0 -.757D0 5.87E-1 extra\n";
    const std::string alphabet = " \t\r\n,;/'\"*+-.0123456789eEdDFBONHCcl";
    std::mt19937 random(20240611);
    int reports = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string data = base.substr(0, random() % (base.size() + 1));
        const int edits = static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const char c = random() % 3 == 0 ? static_cast<char>(random() % 256)
                                             : alphabet[random() % alphabet.size()];
            const std::size_t at = data.empty() ? 0 : random() % data.size();
            if (random() % 2 == 0 && !data.empty()) {
                data[at] = c;
            } else {
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), c);
            }
        }
        try {
            read_molecule(data);
        } catch (const ReportError&) {
            ++reports;
        }
        // Counts that disagree with the file must also end in a result or a report.
        try {
            read_sizing_pass(data, static_cast<std::int32_t>(random() % 6));
        } catch (const ReportError&) {
            ++reports;
        }
    }
    EXPECT_GT(reports, 0);
}
