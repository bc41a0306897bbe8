// Whole runs of the program against the plain pipeline in this process: the same files byte for
// byte with one and two OpenMP threads (and the run in memory, with the matrices it keeps), the
// same floating-point note at a quiet stop, and a refused write among the threaded coefficients
// keeping exactly what was stored.
#include "driver/plain_pipeline.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "bench/molecules.hpp"
#include "driver/in_memory_run.hpp"
#include "test_support.hpp"

using namespace zephor;
using zephor_test::golden_input;
namespace zb = zephor_bench;

TEST(PlainPipeline, SameFilesAsThePlainPipelineWithOneAndTwoThreads) {
    const std::vector<std::pair<std::string, std::string>> molecules{
        {"alkane C30", zb::for005(zb::alkane(30))},
        {"flake C54H18", zb::for005(zb::flake(3))},
        {"N/O chain", zb::for005(zb::no_chain(9))},
        {"methylamine-borane", golden_input("methylamine_borane")}};
    for (const auto& [name, input] : molecules) {
        const PlainRun plain = plain_pipeline(input);
        // The run in memory: the same texts, and S and H as assembled, before the solve.
        const InMemoryRun mem = run_in_memory(input, true);
        EXPECT_TRUE(mem.report == plain.report) << name << ", in memory, FOR006";
        EXPECT_TRUE(mem.checkpoint == plain.checkpoint) << name << ", in memory, FOR007";
        EXPECT_TRUE(mem.result.s == plain.s && mem.result.ham == plain.ham) << name << ", in memory, S and H";
        EXPECT_TRUE(run_in_memory(input, false).result.s.empty()) << name;
        for (const char* threads : {"1", "2"}) {
            zephor_test::TempDir dir;
            zephor_test::write_file(dir / "FOR005", input);
            const auto r = zephor_test::run_zephor(dir.path(), std::string("env OMP_NUM_THREADS=") + threads);
            EXPECT_EQ(r.status, 0) << name;
            EXPECT_EQ(r.err, "") << name;
            EXPECT_TRUE(zephor_test::read_file(dir / "FOR006") == plain.report)
                << name << ", FOR006, threads " << threads;
            EXPECT_TRUE(zephor_test::read_file(dir / "FOR007") == plain.checkpoint)
                << name << ", FOR007, threads " << threads;
        }
    }
}

TEST(PlainPipeline, FloatingPointNoteOfAPlainStopIsThatOfThePlainPipeline) {
    // Far apart: whole atom pairs underflow (skipped and raised by hand); at 16 Angstrom some
    // exponentials are subnormal; the chains are large enough to run on two threads.
    auto two_chains = [](double gap) {
        std::vector<zb::Atom> atoms = zb::alkane(15);
        for (zb::Atom a : zb::alkane(15)) atoms.push_back({a.symbol, a.x, a.y + gap, a.z});
        return zb::for005(atoms);
    };
    const std::vector<std::pair<std::string, std::string>> molecules{
        {"H2 at 200 Angstrom", "far\n0\nH 0 0 0\nH 200 0 0\n"},
        {"H2 at 16 Angstrom", "far\n0\nH 0 0 0\nH 0 15.9 0\n"},
        {"two chains 250 Angstrom apart", two_chains(250.0)},
        {"two chains 16 Angstrom apart", two_chains(15.9)},
        {"water", golden_input("water")}};
    for (const auto& [name, input] : molecules) {
        const std::string note = plain_pipeline(input).fp_note;
        const std::string expected = note.empty() ? note : note + "\n";
        for (const char* threads : {"1", "2"}) {
            zephor_test::TempDir dir;
            zephor_test::write_file(dir / "FOR005", input);
            zephor_test::write_file(dir / "FOR006", "kept\n");
            const auto r = zephor_test::run_zephor(dir.path(), std::string("env OMP_NUM_THREADS=") + threads);
            EXPECT_EQ(r.status, 0) << name;
            EXPECT_EQ(r.err, expected) << name << ", threads " << threads;
            EXPECT_EQ(zephor_test::read_file(dir / "FOR006"), "kept\n");
        }
    }
}

TEST(PlainPipeline, RefusedWriteAmongTheThreadedCoefficientsKeepsWhatWasStored) {
    // Enough orbital coefficients for the threaded writer; the file-size limit cuts the checkpoint
    // in its coefficient block, in the first batch and in a later one.
    const std::string input = zb::for005(zb::alkane(100));  // 602 functions, two batches
    zephor_test::TempDir full;
    zephor_test::write_file(full / "FOR005", input);
    ASSERT_EQ(zephor_test::run_zephor(full.path()).status, 0);
    const std::string checkpoint = zephor_test::read_file(full / "FOR007");
    ASSERT_GT(checkpoint.size(), 5500000u);
    ASSERT_LT(zephor_test::read_file(full / "FOR006").size(), 2000000u);
    for (const std::size_t limit : {std::size_t(2000000), std::size_t(5500000)}) {
        for (const char* threads : {"1", "2"}) {
            zephor_test::TempDir dir;
            zephor_test::write_file(dir / "FOR005", input);
            const auto r = zephor_test::run_zephor(
                dir.path(), "prlimit --fsize=" + std::to_string(limit) + " env OMP_NUM_THREADS=" + threads,
                "trap '' XFSZ");
            EXPECT_EQ(r.status, 2) << limit << ", threads " << threads;
            EXPECT_EQ(r.err, "Error writing (unit = 13, file = 'FOR007')\nFile too large\n");
            EXPECT_TRUE(zephor_test::read_file(dir / "FOR007") == checkpoint.substr(0, limit))
                << limit << ", threads " << threads;
            EXPECT_EQ(zephor_test::read_file(dir / "FOR006"), zephor_test::read_file(full / "FOR006"));
        }
    }
}
