// Whole runs of the real binary in a hostile setting: FOR005 replaced between its openings, a
// ladder of address-space limits, the process killed while it writes, descriptors and threads
// refused. Whatever happens, each run ends with one of the three documented endings, and each
// output name is absent or holds exactly the bytes of an undisturbed run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "bench/molecules.hpp"
#include "test_support.hpp"

using namespace zephor_test;
namespace fs = std::filesystem;

namespace {

const std::string water = "water\n0\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n";

std::string memory_report(const std::string& system_text) {
    return "Operating system error: " + system_text + "\nAllocation would exceed memory limit\n";
}

bool have(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

// `count` hydrogen atoms 1 Angstrom apart on a cubic grid.
std::string hydrogens(int count) {
    std::string s = "hydrogens\n0\n";
    for (int i = 0; i < count; ++i)
        s += "H " + std::to_string(i % 8) + " " + std::to_string(i / 8 % 8) + " " + std::to_string(i / 64) + "\n";
    return s;
}

struct Outputs {
    std::string report, checkpoint;
};

// The files of an undisturbed run.
Outputs reference_outputs(const std::string& input) {
    TempDir dir;
    write_file(dir / "FOR005", input);
    const RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    return {read_file(dir / "FOR006"), read_file(dir / "FOR007")};
}

// Each name is absent or holds exactly its reference bytes; never a file cut short.
void expect_absent_or_whole(const TempDir& dir, const Outputs& ref) {
    if (fs::exists(dir / "FOR006")) {
        EXPECT_TRUE(read_file(dir / "FOR006") == ref.report) << "FOR006 is not whole";
    }
    if (fs::exists(dir / "FOR007")) {
        EXPECT_TRUE(read_file(dir / "FOR007") == ref.checkpoint) << "FOR007 is not whole";
        EXPECT_TRUE(fs::exists(dir / "FOR006")) << "FOR007 named before FOR006";
    }
}

// Whether the process holds an output file that has no name yet (O_TMPFILE shows as deleted).
bool writing_unnamed_file(pid_t pid) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        char target[PATH_MAX];
        const ssize_t n = readlink(fd.path().c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)).find("(deleted)") != std::string::npos) return true;
    }
    return false;
}

}  // namespace

TEST(HostileRun, FOR005ReplacedBeforeTheReadingPassIsReported) {
    if (!have("strace")) GTEST_SKIP() << "strace is not installed";
    // The third opening of FOR005 is held back 1.5 s; meanwhile O,H,H is replaced by F,F,F,
    // whose basis is twice as large as the arrays sized from the first content.
    TempDir dir;
    write_file(dir / "FOR005", water);
    write_file(dir / "other", "water\n0\nF 0.0 0.0 0.0\nF 0.0 0.757 0.587\nF 0.0 -0.757 0.587\n");
    // LeakSanitizer cannot work under ptrace: the sanitizer build runs this one without it.
    const RunResult r = run_zephor(dir.path(), "env ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -e quiet=path-resolution -P FOR005 -e inject=openat:delay_enter=1500000:when=3",
                                   "(sleep 0.5; mv other FOR005) & :");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "While reading input (unit = 10, file = 'FOR005')\nFOR005 changed while it was being read\n");
    EXPECT_FALSE(fs::exists(dir / "FOR006"));
    EXPECT_FALSE(fs::exists(dir / "FOR007"));
}

TEST(HostileRun, AddressSpaceLadderEndsInWholeFilesOrTheMemoryReport) {
    if (under_address_sanitizer()) GTEST_SKIP() << "the sanitizer build cannot run under prlimit --as";
    // Water, a 62-atom chain, 500 hydrogen atoms and a 602-function chain (worker threads): below
    // about 190 MB the linear-algebra library cannot get its work buffer and once retried forever.
    const std::string molecules[] = {water, zephor_bench::for005(zephor_bench::alkane(20)), hydrogens(500),
                                     zephor_bench::for005(zephor_bench::alkane(100))};
    for (const std::string& input : molecules) {
        const Outputs ref = reference_outputs(input);
        int whole = 0;
        int refused = 0;
        for (const int mb : {30, 45, 60, 80, 100, 130, 160, 190, 220, 260, 300}) {
            SCOPED_TRACE(input.substr(0, input.find('\n')) + " at " + std::to_string(mb) + " MB");
            TempDir dir;
            write_file(dir / "FOR005", input);
            const auto start = std::chrono::steady_clock::now();
            const RunResult r = run_zephor(dir.path(), "timeout 30 prlimit --as=" + std::to_string(mb * 1000000));
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
            if (r.status == 0) {
                ++whole;
                EXPECT_EQ(r.err, "");
                EXPECT_TRUE(read_file(dir / "FOR006") == ref.report);
                EXPECT_TRUE(read_file(dir / "FOR007") == ref.checkpoint);
            } else {
                ++refused;
                EXPECT_EQ(r.status, 1);
                EXPECT_EQ(r.err, memory_report("Cannot allocate memory"));
                EXPECT_FALSE(fs::exists(dir / "FOR006"));
                EXPECT_FALSE(fs::exists(dir / "FOR007"));
            }
        }
        // The ladder reaches both sides of the limit.
        EXPECT_GT(whole, 0);
        EXPECT_GT(refused, 0);
    }
}

TEST(HostileRun, KilledWhileWritingLeavesNoCutFile) {
    // 602 functions: a 1.2 MB report and a 6 MB checkpoint, some tens of milliseconds of writing.
    const std::string input = zephor_bench::for005(zephor_bench::alkane(100));
    const Outputs ref = reference_outputs(input);
    std::mt19937 random(20261208);
    int during_writes = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
        TempDir dir;
        write_file(dir / "FOR005", input);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            execl(ZEPHOR_BINARY, ZEPHOR_BINARY, static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait until the first unnamed output file is open, then kill at a random moment of the
        // next 40 ms: inside the report, between the files, inside the checkpoint, or after.
        int status = 0;
        bool exited = false;
        while (!writing_unnamed_file(pid)) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        if (!exited) {
            ++during_writes;
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        expect_absent_or_whole(dir, ref);
    }
    EXPECT_GT(during_writes, 40);
}

TEST(HostileRun, DescriptorsOrAddressSpaceRefusedToTheLibraryAreTheMemoryReport) {
    // The sanitizers' runtime needs descriptors and address space of its own.
    if (under_address_sanitizer()) GTEST_SKIP() << "the sanitizer build cannot run under these limits";
    // Four descriptors: the three standard ones and FOR005 leave none for loading the library.
    // Descriptors this test process inherited (from the test runner) must not reach the run.
    for (int fd = 3; fd < 1024; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
    TempDir dir;
    write_file(dir / "FOR005", water);
    RunResult r = run_zephor(dir.path(), "prlimit --nofile=4");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, memory_report("Too many open files"));
    EXPECT_FALSE(fs::exists(dir / "FOR006"));
    // 30 MB cannot even map the library.
    r = run_zephor(dir.path(), "prlimit --as=30000000");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, memory_report("Cannot allocate memory"));
    EXPECT_FALSE(fs::exists(dir / "FOR006"));
}

TEST(HostileRun, ThreadsRefusedRunOnOneThreadWithTheSameBytes) {
    // A process limit of one counts only for an unprivileged user.
    if (geteuid() != 0 || !have("setpriv")) GTEST_SKIP() << "needs root and setpriv to run as nobody";
    if (under_address_sanitizer()) GTEST_SKIP() << "the sanitizer runtime starts a thread of its own";
    const std::string input = zephor_bench::for005(zephor_bench::alkane(100));
    const Outputs ref = reference_outputs(input);
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    write_file(dir / "FOR005", input);
    const RunResult r = run_zephor(dir.path(), "setpriv --reuid=65534 --regid=65534 --clear-groups prlimit --nproc=1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_TRUE(read_file(dir / "FOR006") == ref.report);
    EXPECT_TRUE(read_file(dir / "FOR007") == ref.checkpoint);
}

TEST(HostileRun, ACoordinateBeyondWhatBohrCanHoldIsABadReal) {
    TempDir dir;
    write_file(dir / "FOR005", "far\n0\nC 0 0 0\nH 1e308 0 0\n");
    const RunResult r = run_zephor(dir.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "At line 4 of input (unit = 10, file = 'FOR005')\nBad real number in item 2 of list input\n");
    EXPECT_FALSE(fs::exists(dir / "FOR006"));
    EXPECT_FALSE(fs::exists(dir / "FOR007"));
}
