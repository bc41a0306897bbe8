// The list-directed value reads: lines and separators, null values and slashes, repeat counts,
// quoted and unquoted text, integers and correctly rounded reals, with their exact reports.
#include "driver/list_reader.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/errors.hpp"
#include "test_support.hpp"

using namespace zephor;
using namespace std::string_literals;
using zephor_test::read_report;
using zephor_test::report_of;

namespace {

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

}  // namespace

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
    EXPECT_EQ(report_of([&] { in.read(one); }), read_report(8, 13, "End of file"));
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
    EXPECT_EQ(report_of([&] { in.read(items); }), read_report(3, 13, "End of file"));
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
    EXPECT_EQ(report_of([] { read_integers("1 2*3 x", 4); }), read_report(1, 13, "Bad integer for item 4 in list input"));
    EXPECT_EQ(report_of([] { read_integers("1 2*x", 3); }), read_report(1, 13, "Bad integer for item 2 in list input"));
    EXPECT_EQ(report_of([] { read_integers("1 2*3\n0*5", 4); }),
              read_report(2, 13, "Zero repeat count in item 4 of list input"));
    EXPECT_EQ(report_of([] { read_integers("0*", 1); }), read_report(1, 13, "Zero repeat count in item 1 of list input"));
    EXPECT_EQ(report_of([] { read_integers("7 2147483648*1", 2); }),
              read_report(1, 13, "Integer overflow while reading item 2"));
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

    EXPECT_EQ(report_of([] { read_text("'ab'c", 8); }), read_report(1, 13, "Invalid string input in item 1"));
    EXPECT_EQ(report_of([] { read_text("\"it\"'s\"", 8); }), read_report(1, 13, "Invalid string input in item 1"));
    EXPECT_EQ(report_of([] { read_text("\n'a\nb'c", 8); }), read_report(3, 13, "Invalid string input in item 1"));
    EXPECT_EQ(report_of([] { read_text("'abc\n\n", 8); }), read_report(3, 13, "End of file"));
    // Quoted values are never numbers.
    EXPECT_EQ(report_of([] { read_integers("'1'", 1); }), read_report(1, 13, "Bad integer for item 1 in list input"));
    EXPECT_EQ(report_of([] { read_real("'1.5"); }), read_report(1, 10, "Bad real number in item 1 of list input"));
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
                  read_report(2, 13, "Bad integer for item 2 in list input"))
            << bad;
    }
    for (const char* big : {"2147483648", "-2147483649", "99999999999999999999999999"}) {
        EXPECT_EQ(report_of([&] { read_integers("5 6 "s + big, 3); }),
                  read_report(1, 13, "Integer overflow while reading item 3"))
            << big;
    }
    // A bad character decides over the size.
    EXPECT_EQ(report_of([] { read_integers("99999999999999x", 1); }),
              read_report(1, 13, "Bad integer for item 1 in list input"));
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
        EXPECT_EQ(report_of([&] { in.read(items); }), read_report(2, 10, "Bad real number in item 4 of list input"))
            << bad;
    }
}

TEST(ListReader, EndOfFileLineIsJustPastTheLastLine) {
    EXPECT_EQ(report_of([] { read_integers("", 1); }), read_report(1, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5", 2); }), read_report(2, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5\n", 2); }), read_report(2, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5\n\n  \n", 2); }), read_report(4, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("5,", 2); }), read_report(2, 13, "End of file"));
    EXPECT_EQ(report_of([] { read_integers("2*", 3); }), read_report(2, 13, "End of file"));
}

TEST(ListReader, MegabyteValuesReadInLinearTime) {
    EXPECT_EQ(read_real("1." + std::string(1000000, '5') + "e-1"), 0.15555555555555556);
    EXPECT_EQ(report_of([] { read_integers(std::string(1000000, '9'), 1); }),
              read_report(1, 13, "Integer overflow while reading item 1"));
    EXPECT_EQ(read_integers(std::string(1000000, '0') + "12", 1), std::vector<std::int32_t>{12});
}
