// The molecule reader: atom-line counting, the value-reading rules with their failure reports,
// the sizing and reading passes, the bad-input files and robustness against arbitrary bytes.
#include "driver/input_reader.hpp"

#include "common/errors.hpp"
#include "test_support.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace zephor;
using namespace std::string_literals;

namespace {

// "where" and message of the report a call throws, or a note that it threw none.
std::string report_of(const std::function<void()>& call) {
    try {
        call();
    } catch (const ReportError& e) {
        return e.where() + "\n" + e.what();
    }
    return "no report";
}

std::string report(int line, int unit, const std::string& message) {
    return "At line " + std::to_string(line) + " of input (unit = " + std::to_string(unit) +
           ", file = 'FOR005')\n" + message;
}

// One read of integers from a fresh reader; fields start at -7 so null values show.
std::vector<std::int32_t> read_integers(std::string_view data, std::size_t n) {
    ListReader in(data, 13, "FOR005");
    std::vector<std::int32_t> v(n, -7);
    std::vector<ListItem> items;
    for (auto& x : v) items.push_back(ListItem::of_integer(x));
    in.read(items);
    return v;
}

std::string read_text(std::string_view data, std::size_t width) {
    ListReader in(data, 13, "FOR005");
    std::string s = "previous";
    const ListItem item[] = {ListItem::of_text(s, width)};
    in.read(item);
    return s;
}

double read_real(std::string_view data) {
    ListReader in(data, 10, "FOR005");
    double x = -7.0;
    const ListItem item[] = {ListItem::of_real(x)};
    in.read(item);
    return x;
}

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

TEST(ListReader, ReadsBeginOnTheLineAfterTheLastOneUsed) {
    const std::string_view data = "1 2 3\n4\n\n  \t\n5 6\n\n7 8";
    ListReader in(data, 13, "FOR005");
    EXPECT_EQ(in.line(), 0);
    std::int32_t a = 0, b = 0;
    const ListItem one[] = {ListItem::of_integer(a)};
    const ListItem two[] = {ListItem::of_integer(a), ListItem::of_integer(b)};
    in.read(one);
    EXPECT_EQ(a, 1);  // 2 and 3 are skipped
    EXPECT_EQ(in.line(), 1);
    in.read(two);  // continues past blank lines onto line 5; 6 is skipped
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 5);
    EXPECT_EQ(in.line(), 2);
    in.read(one);  // skips the empty line before the first value
    EXPECT_EQ(a, 7);
    EXPECT_EQ(in.line(), 7);
    EXPECT_EQ(report_of([&] { in.read(one); }), report(8, 13, "End of file"));
}

TEST(ListReader, SeparatorsAreBlanksTabsOneCommaOrSemicolonLineEndsAndCarriageReturns) {
    EXPECT_EQ(read_integers("1\t2 ,3; 4 ,  5\r6\r\n7", 7), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(read_integers("1 2,\n3", 3), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(read_text("ab;cd", 4), "ab  ");
    EXPECT_EQ(read_text("ab/cd", 4), "ab  ");
    EXPECT_EQ(read_text("ab\tcd", 4), "ab  ");
    EXPECT_EQ(read_text("ab\rcd", 4), "ab  ");
}

TEST(ListReader, NullValuesAndSlashLeaveFieldsUnchanged) {
    using V = std::vector<std::int32_t>;
    EXPECT_EQ(read_integers("1,,3", 3), (V{1, -7, 3}));
    EXPECT_EQ(read_integers("1 , , 3", 3), (V{1, -7, 3}));
    EXPECT_EQ(read_integers("1;;3", 3), (V{1, -7, 3}));
    EXPECT_EQ(read_integers(",2 3", 3), (V{-7, 2, 3}));
    EXPECT_EQ(read_integers(",,3", 3), (V{-7, -7, 3}));
    EXPECT_EQ(read_integers("1,\n,3", 3), (V{1, -7, 3}));
    EXPECT_EQ(read_integers("1/2 3", 3), (V{1, -7, -7}));
    EXPECT_EQ(read_integers("1 2/", 3), (V{1, 2, -7}));
    EXPECT_EQ(read_integers("/", 2), (V{-7, -7}));
    EXPECT_EQ(read_integers("\n\n  1,/", 2), (V{1, -7}));
    EXPECT_EQ(read_text(",x", 8), "previous");

    // A slash ends the read; the next one starts on the following line.
    ListReader in("1/ 2\n3", 13, "FOR005");
    std::int32_t a = 0, b = 0;
    const ListItem items[] = {ListItem::of_integer(a), ListItem::of_integer(b)};
    in.read(items);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(report_of([&] { in.read(items); }), report(3, 13, "End of file"));
    EXPECT_EQ(a, 3);
}

TEST(ListReader, RepeatCounts) {
    using V = std::vector<std::int32_t>;
    EXPECT_EQ(read_integers("3*7", 3), (V{7, 7, 7}));
    EXPECT_EQ(read_integers("1 5*2", 3), (V{1, 2, 2}));
    EXPECT_EQ(read_integers("2* 5", 3), (V{-7, -7, 5}));
    EXPECT_EQ(read_integers("2*,5", 3), (V{-7, -7, 5}));
    EXPECT_EQ(read_integers("2*\n5", 3), (V{-7, -7, 5}));
    EXPECT_EQ(read_integers("2*/5", 3), (V{-7, -7, -7}));
    EXPECT_EQ(read_integers("2147483647*1", 2), (V{1, 1}));

    ListReader in("2*'a b' 3*C1\n", 10, "FOR005");
    std::string s1, s2, s3(4, '?');
    double x = 0, y = 0;
    const ListItem items[] = {ListItem::of_text(s1, 3), ListItem::of_text(s2, 4), ListItem::of_text(s3, 1),
                              ListItem::of_text(s3, 2), ListItem::of_text(s3, 3)};
    in.read(items);
    EXPECT_EQ(s1, "a b");
    EXPECT_EQ(s2, "a b ");
    EXPECT_EQ(s3, "C1 ");
    ListReader reals("2*1.5D0", 10, "FOR005");
    const ListItem two[] = {ListItem::of_real(x), ListItem::of_real(y)};
    reals.read(two);
    EXPECT_EQ(x, 1.5);
    EXPECT_EQ(y, 1.5);

    // Item numbers advance by one per repeated value.
    EXPECT_EQ(report_of([] { read_integers("1 2*3 x", 4); }), report(1, 13, "Bad integer for item 4 in list input"));
    EXPECT_EQ(report_of([] { read_integers("1 2*x", 3); }), report(1, 13, "Bad integer for item 2 in list input"));
    EXPECT_EQ(report_of([] { read_integers("1 2*3\n0*5", 4); }),
              report(2, 13, "Zero repeat count in item 4 of list input"));
    EXPECT_EQ(report_of([] { read_integers("0*", 1); }), report(1, 13, "Zero repeat count in item 1 of list input"));
    EXPECT_EQ(report_of([] { read_integers("7 2147483648*1", 2); }),
              report(1, 13, "Integer overflow while reading item 2"));
}

TEST(ListReader, QuotedText) {
    EXPECT_EQ(read_text("'it''s a, b/c; d'", 20), padded("it's a, b/c; d", 20));
    EXPECT_EQ(read_text("\"say \"\"hi\"\"\"", 8), "say \"hi\"");
    EXPECT_EQ(read_text("'  '", 3), "   ");
    EXPECT_EQ(read_text("''", 3), "   ");
    EXPECT_EQ(read_text("'a\rb'", 3), "a\rb");
    EXPECT_EQ(read_text("'ab',x", 3), "ab ");
    EXPECT_EQ(read_text("'ab'/", 3), "ab ");
    EXPECT_EQ(read_text("'ab'\r\n", 3), "ab ");

    // Continuing past line ends, which (with their CR) are no part of the text.
    ListReader in("'ab\ncd\r\nef' 5\n6", 13, "FOR005");
    std::string s;
    std::int32_t n = 0;
    const ListItem text[] = {ListItem::of_text(s, 8)};
    const ListItem integer[] = {ListItem::of_integer(n)};
    in.read(text);
    EXPECT_EQ(s, "abcdef  ");
    in.read(integer);
    EXPECT_EQ(n, 6);
    EXPECT_EQ(in.line(), 4);

    EXPECT_EQ(report_of([] { read_text("'ab'c", 8); }), report(1, 13, "Invalid string input in item 1"));
    EXPECT_EQ(report_of([] { read_text("\"it\"'s\"", 8); }), report(1, 13, "Invalid string input in item 1"));
    EXPECT_EQ(report_of([] { read_text("\n'a\nb'c", 8); }), report(3, 13, "Invalid string input in item 1"));
    EXPECT_EQ(report_of([] { read_text("'abc\n\n", 8); }), report(3, 13, "End of file"));
    // Quoted values are never numbers.
    EXPECT_EQ(report_of([] { read_integers("'1'", 1); }), report(1, 13, "Bad integer for item 1 in list input"));
    EXPECT_EQ(report_of([] { read_real("'1.5"); }), report(1, 10, "Bad real number in item 1 of list input"));
}

TEST(ListReader, UnquotedTextIsCutOrPadded) {
    EXPECT_EQ(read_text("Water molecule", 100), padded("Water", 100));
    EXPECT_EQ(read_text("Chlorine", 4), "Chlo");
    EXPECT_EQ(read_text("Cl", 1), "C");
    EXPECT_EQ(read_text("ab'c\"d", 8), "ab'c\"d  ");
    EXPECT_EQ(read_text("\"it's\"", 8), "it's    ");
    EXPECT_EQ(read_text("a\0b"s, 4), "a\0b "s);
}

TEST(ListReader, Integers) {
    using V = std::vector<std::int32_t>;
    EXPECT_EQ(read_integers("-1 +2 007 -0", 4), (V{-1, 2, 7, 0}));
    EXPECT_EQ(read_integers("2147483647 -2147483648", 2), (V{2147483647, -2147483647 - 1}));
    for (const char* bad : {"1.0", "+", "-", "1e3", "12a", "0x10", "--1", "1-", "*5", "x"}) {
        EXPECT_EQ(report_of([&] { read_integers("5\n"s + bad, 2); }),
                  report(2, 13, "Bad integer for item 2 in list input"))
            << bad;
    }
    for (const char* big : {"2147483648", "-2147483649", "99999999999999999999999999"}) {
        EXPECT_EQ(report_of([&] { read_integers("5 6 "s + big, 3); }),
                  report(1, 13, "Integer overflow while reading item 3"))
            << big;
    }
    // A bad character decides over the size.
    EXPECT_EQ(report_of([] { read_integers("99999999999999x", 1); }),
              report(1, 13, "Bad integer for item 1 in list input"));
}

TEST(ListReader, RealsAreCorrectlyRounded) {
    EXPECT_EQ(read_real("0.74"), 0.74);
    EXPECT_EQ(read_real("-1.2E-1"), -0.12);
    EXPECT_EQ(read_real("1.5D0"), 1.5);
    EXPECT_EQ(read_real("1.5d+2"), 150.0);
    EXPECT_EQ(read_real("-2.5e2"), -250.0);
    EXPECT_EQ(read_real("3"), 3.0);
    EXPECT_EQ(read_real(".5"), 0.5);
    EXPECT_EQ(read_real("5."), 5.0);
    EXPECT_EQ(read_real("+.5e-1"), 0.05);
    EXPECT_EQ(read_real("0.1000000000000000055511151231257827"), 0.1);
    EXPECT_EQ(read_real("2.2250738585072011e-308"), 2.2250738585072011e-308);
    EXPECT_EQ(read_real("4.9D-324"), 4.9e-324);  // underflow to a subnormal is accepted
    EXPECT_EQ(read_real("1e-400"), 0.0);
    EXPECT_EQ(read_real("1.7976931348623157e308"), 1.7976931348623157e308);

    for (const char* bad : {"1.2.3", ".", "e5", "1e", "1e+", "1.5+3", "inf", "-Infinity", "nan", "1.5x", "0x1p3",
                            "1e999", "-1e400", "--1", "1E5.0", "+"}) {
        const std::string data = "C 0.0 0.0\n "s + bad;
        ListReader in(data, 10, "FOR005");
        std::string s;
        double x = 0, y = 0, z = 0;
        const ListItem items[] = {ListItem::of_text(s, 4), ListItem::of_real(x), ListItem::of_real(y),
                                  ListItem::of_real(z)};
        EXPECT_EQ(report_of([&] { in.read(items); }), report(2, 10, "Bad real number in item 4 of list input"))
            << bad;
    }
}

TEST(ListReader, EndOfFileLineIsJustPastTheLastLine) {
    EXPECT_EQ(report_of([] { read_integers("", 1); }), report(1, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5", 2); }), report(2, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5\n", 2); }), report(2, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5\n\n  \n", 2); }), report(4, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5,", 2); }), report(2, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("2*", 3); }), report(2, 13, "End of file"));
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
    EXPECT_EQ(report_of([&] { charge("1.0"); }), report(2, 13, "Bad integer for item 1 in list input"));
    EXPECT_EQ(charge(",5"), 0);  // a null charge is 0

    const SizingInput empty = read_sizing_pass("t\n0\n", count_atom_lines("t\n0\n"));
    EXPECT_TRUE(empty.letters.empty());
}

TEST(SizingPass, CommonMistakesInTheFile) {
    // A title starting with an element letter asks for one atom line more than there is.
    const std::string_view benzene = "Benzene\n0\nC 0 0 0\n";
    EXPECT_EQ(count_atom_lines(benzene), 2);
    EXPECT_EQ(report_of([&] { read_sizing_pass(benzene, 2); }), report(4, 13, "End of file"));
    // An empty title line: the charge line becomes the title, the atom line the charge.
    EXPECT_EQ(report_of([] { read_sizing_pass("\n0\nO 0 0 0\n", 1); }),
              report(3, 13, "Bad integer for item 1 in list input"));
    // A lower-case symbol is not counted but can still be read as an atom.
    EXPECT_EQ(report_of([] { read_sizing_pass("t\n0\nC 0 0 0\nc 1 1 1\nH 0 0 1\n", 2); }),
              report(4, 13, "Unknown element symbol 'c' for atom 2"));
    EXPECT_EQ(report_of([] { read_sizing_pass("t\n0\nC 0 0 0\n,1,2,3\n", 2); }),
              report(4, 13, "Unknown element symbol '' for atom 2"));
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
              report(4, 13, "Unknown element symbol '5' for atom 2"));
    std::string title;
    std::int32_t charge = 0;
    std::vector<std::string> symbol(2);
    std::vector<double> r(6);
    read_atom_pass(wrapped, 2, title, charge, symbol, r);
    EXPECT_EQ(r[2], 5.0 / bohr_in_angstrom);
    EXPECT_EQ(r[5], 1.0 / bohr_in_angstrom);
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nC 0 0\nH 0 0 1\n"); }),
              report(4, 10, "Bad real number in item 4 of list input"));
    // A trailing line starting with an element letter is read as an atom.
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nH 0 0 0\nF end\n"); }),
              report(4, 10, "Bad real number in item 2 of list input"));
}

TEST(AtomPass, CoordinatesWhoseBohrValueOverflowsAreBadReals) {
    // 9.5e307 Angstrom is still finite in bohr; 9.6e307 is not, in any of x, y, z.
    EXPECT_EQ(read_molecule("t\n0\nH -9.5e307 0 9.5E307\n").r[0], -9.5e307 / bohr_in_angstrom);
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nH 0 -9.6e307 0\n"); }),
              report(3, 10, "Bad real number in item 3 of list input"));
    // The line is that of the value itself when the atom runs over two lines.
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nC 0 0\n1.7D308\n"); }),
              report(4, 10, "Bad real number in item 4 of list input"));
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
                  report(4, 10, "Unknown element symbol '" + shown + "' for atom 2"))
            << line;
    }
    EXPECT_EQ(report_of([] { read_molecule("t\n0\n'C x' 0 0 0\nH 0 0 0\n"); }),
              report(3, 10, "Unknown element symbol 'C x' for atom 1"));
    // The line of the report is the atom line, where its first value stands.
    EXPECT_EQ(report_of([] { read_molecule("t\n0\nH 0 0 0\n\nCl\n0 0 0\n"); }),
              report(5, 10, "Unknown element symbol 'Cl' for atom 2"));
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
        {"charge_real.FOR005", report(2, 13, "Bad integer for item 1 in list input")},
        {"charge_overflow.FOR005", report(2, 13, "Integer overflow while reading item 1")},
        {"empty_title.FOR005", report(3, 13, "Bad integer for item 1 in list input")},
        {"title_h2o.FOR005", report(6, 13, "End of file")},
        {"quoted_title.FOR005", report(1, 13, "Invalid string input in item 1")},
        {"unclosed_title.FOR005", report(6, 13, "End of file")},
        {"symbol_lower.FOR005", report(4, 13, "Unknown element symbol 'h' for atom 2")},
        {"symbol_cl.FOR005", report(4, 10, "Unknown element symbol 'Cl' for atom 2")},
        {"missing_z.FOR005", report(4, 10, "Bad real number in item 4 of list input")},
        {"bad_x.FOR005", report(3, 10, "Bad real number in item 2 of list input")},
        {"zero_repeat.FOR005", report(3, 10, "Zero repeat count in item 2 of list input")},
        {"coordinate_overflow.FOR005", report(4, 10, "Bad real number in item 2 of list input")},
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
    EXPECT_EQ(report_of([&] { read_sizing_pass(many_blank_lines, 2); }), report(1000004, 13, "End of file"));

    const std::string long_title = std::string(5000000, 'x') + "\n0\n";
    EXPECT_EQ(read_sizing_pass(long_title, 0).title, std::string(100, 'x'));
    const std::string long_quote = "'" + std::string(1000000, '\n') + "t'\n7\n";
    EXPECT_EQ(read_sizing_pass(long_quote, 0).charge, 7);
    EXPECT_EQ(read_real("1." + std::string(1000000, '5') + "e-1"), 0.15555555555555556);
    EXPECT_EQ(report_of([] { read_integers(std::string(1000000, '9'), 1); }),
              report(1, 13, "Integer overflow while reading item 1"));
    EXPECT_EQ(read_integers(std::string(1000000, '0') + "12", 1), std::vector<std::int32_t>{12});
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
