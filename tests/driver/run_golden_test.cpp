// The real binary on every reference molecule: both output files byte for byte as stored.
// Bit-exact on purpose: the solve is pinned to one thread and one kernel.
#include <gtest/gtest.h>

#include <filesystem>

#include "golden_library.hpp"
#include "test_support.hpp"

using namespace zephor_test;

class GoldenRun : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenRun, ReportAndCheckpointAreByteIdentical) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    const auto golden = data_dir() / "golden" / GetParam();
    TempDir dir;
    std::filesystem::copy_file(golden / "FOR005", dir / "FOR005");
    const RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir / "FOR006"), read_file(golden / "FOR006"));
    EXPECT_EQ(read_file(dir / "FOR007"), read_file(golden / "FOR007"));
}

INSTANTIATE_TEST_SUITE_P(Molecules, GoldenRun,
                         ::testing::Values("ammonia", "benzene", "bf3", "ch_anion", "fluoroethylene",
                                           "formamide", "h2", "h2_plus3", "hydroxide", "methane_hfirst",
                                           "methyl", "methylamine_borane", "naphthalene", "water"));
