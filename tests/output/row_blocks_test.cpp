// Row blocks: five values to a line, no empty line, and long blocks formatted on threads giving
// the lines of one pass.
#include "output/row_blocks.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <random>
#include <string>
#include <vector>

#include "output/fields.hpp"
#include "test_support.hpp"

using namespace zephor;

namespace {

// What `fn` writes through an output file kept in memory.
template <class Fn>
std::string written(Fn&& fn) {
    OutputFile f = OutputFile::in_memory("rows", 11);
    fn(f);
    return f.take_text();
}

}  // namespace

TEST(RowBlock, FiveValuesToALineAndNoEmptyLine) {
    auto ints = [](int n) {
        std::vector<std::int32_t> v(static_cast<std::size_t>(n), 6);
        return written([&](OutputFile& f) { write_int_rows(f, v); });
    };
    EXPECT_EQ(ints(0), "");
    const std::string six = std::string(11, ' ') + "6";
    EXPECT_EQ(ints(1), six + "\n");
    EXPECT_EQ(ints(5), six + six + six + six + six + "\n");
    EXPECT_EQ(ints(6), six + six + six + six + six + "\n" + six + "\n");

    const std::vector<double> reals(11, 1.0);
    const std::string one = "  1.00000000E+00";
    const std::string full = one + one + one + one + one + "\n";
    EXPECT_EQ(written([&](OutputFile& f) { write_real_rows(f, std::span(reals.data(), 10)); }), full + full);
    EXPECT_EQ(written([&](OutputFile& f) { write_real_rows(f, reals); }), full + full + one + "\n");
}

TEST(RowBlock, LongRowBlocksAreTheLinesOfOnePass) {
    // Past several batches of chunks, with a short last line.
    std::vector<double> values(700003);
    std::mt19937_64 rng(5);
    std::normal_distribution<double> g;
    for (double& x : values) x = g(rng) * 1e-3;
    std::string expected;
    for (std::size_t i = 0; i < values.size(); ++i) {
        put_es16_reference(expected, values[i]);
        if (i % 5 == 4 || i + 1 == values.size()) expected.push_back('\n');
    }
    for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        zephor_test::TempDir dir;
        {
            OutputFile f = OutputFile::create_new((dir / "rows").string(), 13);
            ASSERT_TRUE(f.is_open());
            f.write_line("head");
            write_real_rows(f, values);
            f.write_line("tail");
            f.close();
        }
        EXPECT_TRUE(zephor_test::read_file(dir / "rows") == "head\n" + expected + "tail\n") << "threads " << threads;
    }
}
