// The program as a user meets it: exit statuses, standard error to the byte, and which files a
// run leaves behind, for clean runs, repeated runs, bad input and refused writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver/memory_budget.hpp"
#include "golden_library.hpp"
#include "test_support.hpp"

using namespace zephor_test;
namespace fs = std::filesystem;

namespace {

const std::string water = "water\n0\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n";

fs::path golden(const std::string& name, const std::string& file) { return data_dir() / "golden" / name / file; }

// A run on `input` that must end before any output file exists.
RunResult run_failing(const std::string& input) {
    TempDir dir;
    write_file(dir / "FOR005", input);
    RunResult r = run_zephor(dir.path());
    EXPECT_FALSE(fs::exists(dir / "FOR006"));
    EXPECT_FALSE(fs::exists(dir / "FOR007"));
    EXPECT_EQ(r.out, "");
    return r;
}

}  // namespace

TEST(Run, CleanRunThenSecondRunChangesNothing) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    TempDir dir;
    write_file(dir / "FOR005", water);
    RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    const std::string report = read_file(dir / "FOR006");
    const std::string checkpoint = read_file(dir / "FOR007");
    EXPECT_EQ(report, read_file(golden("water", "FOR006")));

    r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.find("Note: "), r.err.empty() ? std::string::npos : 0u);  // at most the note
    EXPECT_EQ(read_file(dir / "FOR006"), report);
    EXPECT_EQ(read_file(dir / "FOR007"), checkpoint);
}

TEST(Run, OnlyCheckpointPresentWritesTheWholeReport) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    TempDir dir;
    write_file(dir / "FOR005", water);
    write_file(dir / "FOR007", "an older checkpoint\n");
    const RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(dir / "FOR006"), read_file(golden("water", "FOR006")));
    EXPECT_EQ(read_file(dir / "FOR007"), "an older checkpoint\n");
}

TEST(Run, ExistingReportStopsBeforeTheCheckpoint) {
    TempDir dir;
    write_file(dir / "FOR005", water);
    write_file(dir / "FOR006", "keep me");
    const RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "FOR006"), "keep me");
    EXPECT_FALSE(fs::exists(dir / "FOR007"));
}

TEST(Run, MissingInputIsAQuietStop) {
    TempDir dir;
    const RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(Run, MalformedInputIsReportedWithLineHandleAndMessage) {
    RunResult r = run_failing("water\n1.0\nO 0 0 0\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "At line 2 of input (unit = 13, file = 'FOR005')\nBad integer for item 1 in list input\n");

    // A title starting with an element letter is counted as an atom: one atom line too many.
    r = run_failing("Benzene\n0\nH 0 0 0\nH 0 0 0.74\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), "End of file\n");
    EXPECT_NE(r.err.find("(unit = 13, file = 'FOR005')"), std::string::npos);

    // An empty title line: the charge line becomes the title, the atom line the charge.
    r = run_failing("\n0\nH 0 0 0\nH 0 0 0.74\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "At line 3 of input (unit = 13, file = 'FOR005')\nBad integer for item 1 in list input\n");

    r = run_failing("chloride\n0\nC 0 0 0\nCl 0 0 1.7\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "At line 4 of input (unit = 10, file = 'FOR005')\nUnknown element symbol 'Cl' for atom 2\n");
}

TEST(Run, ChargeBeyondTheBasisIsRefused) {
    const RunResult r = run_failing("water\n-20\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "At line 2 of input (unit = 13, file = 'FOR005')\nCharge -20 leaves 28 electrons for 6 basis functions\n");
}

TEST(Run, NoAtomsAndCoincidentAtomsEndQuietlyWithoutFiles) {
    RunResult r = run_failing("nothing\n0\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    r = run_failing("h2 on one point\n0\nH 0 0 0\nH 0 0 0\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Run, TooLargeABasisIsRefusedBeforeAllocation) {
    std::string input = "big\n0\n";
    for (int i = 0; i < 11586; ++i) input += "C " + std::to_string(i * 2) + " 0 0\n";  // 46344 functions
    const RunResult r = run_failing(input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Operating system error: Cannot allocate memory\nAllocation would exceed memory limit\n");
}

TEST(Run, RefusedWritesAreReportedAndKeepWhatWasStored) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    const std::string report = read_file(golden("water", "FOR006"));
    ASSERT_GT(report.size(), 600u);
    {
        TempDir dir;
        write_file(dir / "FOR005", water);
        const RunResult r = run_zephor(dir.path(), "prlimit --fsize=600", "trap '' XFSZ");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "Error writing (unit = 11, file = 'FOR006')\nFile too large\n");
        EXPECT_EQ(read_file(dir / "FOR006"), report.substr(0, 600));
        EXPECT_FALSE(fs::exists(dir / "FOR007"));
    }
    {
        // The report fits, the checkpoint does not.
        TempDir dir;
        write_file(dir / "FOR005", water);
        const std::string limit = std::to_string(report.size() + 100);
        const RunResult r = run_zephor(dir.path(), "prlimit --fsize=" + limit, "trap '' XFSZ");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "Error writing (unit = 13, file = 'FOR007')\nFile too large\n");
        EXPECT_EQ(read_file(dir / "FOR006"), report);
        EXPECT_EQ(read_file(dir / "FOR007"), read_file(golden("water", "FOR007")).substr(0, report.size() + 100));
    }
}

TEST(Run, SameBytesWhateverTheBlasEnvironmentSays) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    for (const char* env : {"OPENBLAS_NUM_THREADS=1", "OPENBLAS_NUM_THREADS=2",
                            "OPENBLAS_CORETYPE=Haswell OPENBLAS_NUM_THREADS=2", "OMP_NUM_THREADS=2"}) {
        SCOPED_TRACE(env);
        for (const char* name : {"water", "benzene", "ammonia"}) {
            TempDir dir;
            fs::copy_file(golden(name, "FOR005"), dir / "FOR005");
            const RunResult r = run_zephor(dir.path(), std::string("env ") + env);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(read_file(dir / "FOR006"), read_file(golden(name, "FOR006")));
            EXPECT_EQ(read_file(dir / "FOR007"), read_file(golden(name, "FOR007")));
        }
    }
}

TEST(Run, FloatingPointNoteOnAQuietStopAfterUnderflow) {
    // Atoms far apart make the overlap exponentials underflow; the stop at the existing report
    // names the raised flags, and a clean run of the same molecule prints nothing.
    TempDir dir;
    write_file(dir / "FOR005", "far\n0\nH 0 0 0\nH 0 0 60\n");
    RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.rfind("Note: The following floating-point exceptions are signalling:", 0), 0u);
    EXPECT_NE(r.err.find(" IEEE_UNDERFLOW_FLAG"), std::string::npos);
    EXPECT_EQ(r.err.back(), '\n');
}

TEST(Run, ClosedStandardStreamsNeverReceiveTheOutputFiles) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    // With standard output and error closed, the output files must not take their descriptors.
    TempDir dir;
    fs::copy_file(golden("water", "FOR005"), dir / "FOR005");
    const int status = std::system(("cd '" + dir.path().string() + "' && '" + std::string(ZEPHOR_BINARY) +
                                    "' <&- >&- 2>&-").c_str());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(dir / "FOR006"), read_file(golden("water", "FOR006")));
    EXPECT_EQ(read_file(dir / "FOR007"), read_file(golden("water", "FOR007")));
}

TEST(Run, MatricesBeyondTheMachinesMemoryAreRefusedNotKilled) {
    // 44000 functions need 31 GB for their two matrices; on a machine with less memory and swap
    // the run would otherwise be killed by the system part-way through.
    if (zephor::machine_memory_bytes() >= zephor::peak_matrix_bytes(44000))
        GTEST_SKIP() << "this machine could hold the matrices";
    std::string input = "big\n0\n";
    for (int i = 0; i < 11000; ++i) input += "C " + std::to_string(i * 2) + " 0 0\n";
    const RunResult r = run_failing(input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Operating system error: Cannot allocate memory\nAllocation would exceed memory limit\n");
}
