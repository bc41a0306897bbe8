// Faults from outside the program, injected around the real binary: a full device and a file-size
// limit while each output file is written, memory refused, a FOR005 that is a directory, a FIFO,
// a device, unreadable, empty, cut off or holding control bytes, output names already taken by a
// directory or a symbolic link, and inputs far larger than any molecule. Each must end in its
// documented status and report, with every output file complete or absent and nothing written
// anywhere else.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/errors.hpp"
#include "driver/input_reader.hpp"
#include "driver/molecule.hpp"
#include "golden_library.hpp"
#include "test_support.hpp"

using namespace zephor_test;
namespace fs = std::filesystem;

namespace {

const std::string water = "water\n0\nO 0.0 0.0 0.0\nH 0.0 0.757 0.587\nH 0.0 -0.757 0.587\n";
const std::string memory_refused =
    "Operating system error: Cannot allocate memory\nAllocation would exceed memory limit\n";

fs::path golden(const std::string& name, const std::string& file) { return data_dir() / "golden" / name / file; }

bool is_prefix(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// A private mount namespace lets a test put a tiny tmpfs under the working directory without
// touching the machine's mounts; it needs root (or the capability), which CI has.
bool can_mount_tmpfs() {
    TempDir probe;
    const std::string cmd = "unshare -m sh -c 'mount -t tmpfs -o size=4k zephor-probe \"$0\"' '" +
                            probe.path().string() + "' >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// Runs the binary with its working directory on a fresh tmpfs of `kib` KiB (FOR005 copied in),
// then copies whatever output it left back into `dir`, where the test reads it.
RunResult run_on_small_device(const TempDir& dir, int kib) {
    fs::create_directory(dir / "device");
    const std::string prefix =
        "unshare -m sh -c 'mount -t tmpfs -o size=" + std::to_string(kib) +
        "k zephor-device device && cp FOR005 device/ && cd device && \"$0\"; status=$?; "
        "for f in FOR006 FOR007; do [ -e $f ] && cp $f ..; done; exit $status'";
    return run_zephor(dir.path(), prefix);
}

// Runs as an unprivileged user when the tests run as root (root reads any file).
std::string as_unprivileged_user() {
    if (geteuid() != 0) return "";
    if (std::system("command -v setpriv >/dev/null 2>&1") != 0) return "-";
    return "setpriv --reuid=65534 --regid=65534 --clear-groups";
}

}  // namespace

TEST(DeviceFull, WhileWritingTheReport) {
    if (!can_mount_tmpfs()) GTEST_SKIP() << "cannot mount a tmpfs in a private namespace (needs root)";
    // 8 KiB: one page for FOR005, one for the report of naphthalene, which needs two.
    const std::string report = read_file(golden("naphthalene", "FOR006"));
    ASSERT_GT(report.size(), 4096u);
    TempDir dir;
    fs::copy_file(golden("naphthalene", "FOR005"), dir / "FOR005");
    const RunResult r = run_on_small_device(dir, 8);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error writing (unit = 11, file = 'FOR006')\nNo space left on device\n");
    const std::string stored = read_file(dir / "FOR006");
    EXPECT_FALSE(stored.empty());
    EXPECT_LT(stored.size(), report.size());
    EXPECT_TRUE(is_prefix(stored, report));
    EXPECT_FALSE(fs::exists(dir / "FOR007"));
}

TEST(DeviceFull, WhileWritingTheCheckpoint) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    if (!can_mount_tmpfs()) GTEST_SKIP() << "cannot mount a tmpfs in a private namespace (needs root)";
    // 16 KiB: FOR005 and the report take a page each; benzene's checkpoint needs six.
    const std::string checkpoint = read_file(golden("benzene", "FOR007"));
    ASSERT_GT(checkpoint.size(), 3u * 4096u);
    TempDir dir;
    fs::copy_file(golden("benzene", "FOR005"), dir / "FOR005");
    const RunResult r = run_on_small_device(dir, 16);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error writing (unit = 13, file = 'FOR007')\nNo space left on device\n");
    EXPECT_EQ(read_file(dir / "FOR006"), read_file(golden("benzene", "FOR006")));
    const std::string stored = read_file(dir / "FOR007");
    EXPECT_FALSE(stored.empty());
    EXPECT_LT(stored.size(), checkpoint.size());
    EXPECT_TRUE(is_prefix(stored, checkpoint));
}

TEST(DeviceFull, ARunThatFitsIsUntouchedByTheDevice) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    if (!can_mount_tmpfs()) GTEST_SKIP() << "cannot mount a tmpfs in a private namespace (needs root)";
    TempDir dir;
    fs::copy_file(golden("benzene", "FOR005"), dir / "FOR005");
    const RunResult r = run_on_small_device(dir, 64);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(read_file(dir / "FOR006"), read_file(golden("benzene", "FOR006")));
    EXPECT_EQ(read_file(dir / "FOR007"), read_file(golden("benzene", "FOR007")));
}

TEST(FileSizeLimit, CutInsideALineKeepsEveryByteBeforeIt) {
    // The limit falls in the middle of a coefficient line of the checkpoint.
    const std::string report = read_file(golden("benzene", "FOR006"));
    const std::string checkpoint = read_file(golden("benzene", "FOR007"));
    const std::size_t limit = checkpoint.size() / 2 + 7;
    TempDir dir;
    fs::copy_file(golden("benzene", "FOR005"), dir / "FOR005");
    const RunResult r = run_zephor(dir.path(), "prlimit --fsize=" + std::to_string(limit), "trap '' XFSZ");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Error writing (unit = 13, file = 'FOR007')\nFile too large\n");
    EXPECT_EQ(read_file(dir / "FOR006"), report);
    EXPECT_EQ(read_file(dir / "FOR007"), checkpoint.substr(0, limit));
}

TEST(MemoryRefused, LargeMoleculeUnderAnAddressSpaceLimit) {
    if (under_address_sanitizer()) GTEST_SKIP() << "the sanitizer build cannot run under prlimit --as";
    // 1500 carbon atoms: 6000 functions, so each square matrix takes 288 MB. With 200 MB the
    // Hamiltonian is refused (step 3); with 450 MB it fits and the overlap matrix is refused.
    std::string input = "large\n0\n";
    for (int i = 0; i < 1500; ++i) input += "C " + std::to_string(i * 3) + " 0 0\n";
    for (const char* limit : {"200000000", "450000000"}) {
        SCOPED_TRACE(limit);
        TempDir dir;
        write_file(dir / "FOR005", input);
        const RunResult r = run_zephor(dir.path(), std::string("prlimit --as=") + limit);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, memory_refused);
        EXPECT_FALSE(fs::exists(dir / "FOR006"));
        EXPECT_FALSE(fs::exists(dir / "FOR007"));
    }
}

TEST(InputFile, DirectoryOrUnreadableIsAQuietStop) {
    {
        TempDir dir;
        fs::create_directory(dir / "FOR005");
        const RunResult r = run_zephor(dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");
        EXPECT_FALSE(fs::exists(dir / "FOR006"));
        EXPECT_FALSE(fs::exists(dir / "FOR007"));
    }
    const std::string user = as_unprivileged_user();
    if (user == "-") GTEST_SKIP() << "running as root without setpriv: root reads any file";
    TempDir dir;
    write_file(dir / "FOR005", water);
    fs::permissions(dir / "FOR005", fs::perms::none);
    // The folder is open to all, so only the unreadable input can stop the run.
    fs::permissions(dir.path(), fs::perms::all);
    const RunResult r = run_zephor(dir.path(), user);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_FALSE(fs::exists(dir / "FOR006"));
    EXPECT_FALSE(fs::exists(dir / "FOR007"));
}

TEST(InputFile, AnythingButARegularFileIsAQuietStop) {
    // A FIFO would hold the run forever waiting for a writer, /dev/zero would be read until
    // memory runs out, and neither could be read three times; a link to a file still works.
    const struct {
        const char* setup;
        bool runs;
    } cases[] = {
        {"mkfifo FOR005", false},
        {"ln -s /dev/zero FOR005", false},
        {"ln -s /dev/null FOR005", false},
        {"mkdir real && printf 'h2\\n0\\nH 0 0 0\\nH 0 0 0.74\\n' >real/in && ln -s real/in FOR005", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setup);
        TempDir dir;
        const RunResult r = run_zephor(dir.path(), "timeout 60", c.setup);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");
        EXPECT_EQ(fs::exists(dir / "FOR006"), c.runs);
        EXPECT_EQ(fs::exists(dir / "FOR007"), c.runs);
    }
}

TEST(InputFile, EmptyOrCutOffIsAReadReport) {
    struct Case {
        std::string input;
        std::string err;
    };
    const Case cases[] = {
        {"", "At line 1 of input (unit = 13, file = 'FOR005')\nEnd of file\n"},
        // Cut inside the last atom line, inside a quoted title, after the charge line's sign.
        {water.substr(0, water.size() - 6), "At line 6 of input (unit = 10, file = 'FOR005')\nEnd of file\n"},
        {"'wat", "At line 2 of input (unit = 13, file = 'FOR005')\nEnd of file\n"},
        {"water\n-", "At line 2 of input (unit = 13, file = 'FOR005')\nBad integer for item 1 in list input\n"},
        {"water\n0\nO 0.0 0.0 0.0\nH 0.0 0.7", "At line 5 of input (unit = 10, file = 'FOR005')\nEnd of file\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        TempDir dir;
        write_file(dir / "FOR005", c.input);
        const RunResult r = run_zephor(dir.path());
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(fs::exists(dir / "FOR006"));
        EXPECT_FALSE(fs::exists(dir / "FOR007"));
    }
}

TEST(InputFile, ControlBytesInASymbolAreShownEscapedInTheReport) {
    // The symbol is echoed in the report: a NUL must not cut the message short, and a control
    // byte (ESC, a lone CR) must not reach the terminal raw. Found by fuzzing.
    const struct {
        std::string input;
        std::string err;
    } cases[] = {
        {"x\n0\nH 0 0 0\nH" + std::string(1, '\0') + " 0 0 1\n",
         "At line 4 of input (unit = 10, file = 'FOR005')\nUnknown element symbol 'H\\x00' for atom 2\n"},
        // The title, starting with a letter, is counted as the atom line.
        {"Hx\n0\n\x1b[2J 0 0 0\n",
         "At line 3 of input (unit = 13, file = 'FOR005')\nUnknown element symbol '\\x1b' for atom 1\n"},
        {"Cx\n0\n'C\r\x7f' 0 0 0\n",
         "At line 3 of input (unit = 10, file = 'FOR005')\nUnknown element symbol 'C\\x0d\\x7f' for atom 1\n"},
        // Printable bytes, and those of UTF-8 text, are shown as they are.
        {"x\n0\nC\xc3\xa9 0 0 0\n",
         "At line 3 of input (unit = 10, file = 'FOR005')\nUnknown element symbol 'C\xc3\xa9' for atom 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        TempDir dir;
        write_file(dir / "FOR005", c.input);
        const RunResult r = run_zephor(dir.path());
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_FALSE(fs::exists(dir / "FOR006"));
    }
}

TEST(OutputNames, TakenByADirectoryOrALinkStopTheRunAndStayAsTheyWere) {
    const std::string report = read_file(golden("water", "FOR006"));
    for (const char* name : {"FOR006", "FOR007"}) {
        SCOPED_TRACE(name);
        const bool is_report = std::string(name) == "FOR006";
        TempDir elsewhere;
        for (int kind = 0; kind < 3; ++kind) {
            SCOPED_TRACE(kind);
            TempDir dir;
            write_file(dir / "FOR005", water);
            const fs::path target = elsewhere / ("target" + std::to_string(kind));
            if (kind == 0) {
                fs::create_directory(dir / name);
            } else if (kind == 1) {
                fs::create_symlink(target, dir / name);  // dangling
            } else {
                write_file(target, "not mine");
                fs::create_symlink(target, dir / name);
            }
            const RunResult r = run_zephor(dir.path());
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out + r.err, "");
            // The name is left exactly as it was, and nothing is created through a link.
            if (kind == 0) {
                EXPECT_TRUE(fs::is_directory(fs::symlink_status(dir / name)));
                EXPECT_TRUE(fs::is_empty(dir / name));
            } else {
                EXPECT_TRUE(fs::is_symlink(dir / name));
                EXPECT_EQ(fs::read_symlink(dir / name), target);
            }
            if (kind == 2) {
                EXPECT_EQ(read_file(target), "not mine");
            } else {
                EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
            }
            if (is_report) {
                EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "FOR007")));
            } else {
                EXPECT_EQ(read_file(dir / "FOR006"), report);
            }
        }
    }
}

TEST(FloatingPointNote, ExactlyTheRaisedFlagsAtAQuietStopAndNothingOtherwise) {
    // Far-apart atoms underflow in the overlap exponentials; close ones raise nothing that is
    // reported. Each stops at an existing report.
    const struct {
        std::string input;
        std::string err;
    } cases[] = {
        {"far\n0\nH 0 0 0\nH 0 0 60\n",
         "Note: The following floating-point exceptions are signalling: IEEE_UNDERFLOW_FLAG\n"},
        {water, ""},
        {"h2\n0\nH 0 0 0\nH 0 0 0.74\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        TempDir dir;
        write_file(dir / "FOR005", c.input);
        RunResult r = run_zephor(dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");  // a normal end never prints the note
        const std::string report = read_file(dir / "FOR006");
        fs::remove(dir / "FOR007");
        r = run_zephor(dir.path());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(read_file(dir / "FOR006"), report);
        EXPECT_FALSE(fs::exists(dir / "FOR007"));
    }
}

TEST(Load, TwentyThousandAtomsAreRefusedBeforeAnyArrayExists) {
    std::string input = "huge\n0\n";
    for (int i = 0; i < 20000; ++i) input += "CNOF"[i % 4] + std::string(" ") + std::to_string(i) + " 0 0\n";
    // The sizing step alone refuses it, so the arrays of the reading step are never requested.
    EXPECT_THROW(zephor::size_molecule(input, zephor::count_atom_lines(input)), zephor::MemoryRefused);

    TempDir dir;
    write_file(dir / "FOR005", input);
    // Generous bounds that only a huge allocation or a stuck run can reach.
    const std::string limits = !under_address_sanitizer() ? "prlimit --as=1000000000 timeout 120" : "timeout 120";
    const RunResult r = run_zephor(dir.path(), limits);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, memory_refused);
    EXPECT_FALSE(fs::exists(dir / "FOR006"));
    EXPECT_FALSE(fs::exists(dir / "FOR007"));
}

TEST(Load, HugeLinesAndBlankLinesGiveTheOrdinaryResult) {
    ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY();
    // The title and the blank lines are read and dropped: the outputs are those of plain H2.
    // A reading pass slower than linear would need hours for these; the bound is two minutes.
    const std::string h2 = read_file(golden("h2", "FOR005"));
    const std::string rest = h2.substr(h2.find('\n') + 1);
    const std::string inputs[] = {
        std::string(1 << 20, 'x') + "\n" + rest,                              // a 1 MiB title line
        "h2\n" + std::string(1000000, '\n') + rest,                           // 10^6 blank lines
        "h2\n0\nH 0.0 0.0 0.0" + std::string(1 << 20, ' ') + "\nH 0.0 0.0 0.74\n",  // 1 MiB of blanks after z
    };
    for (const std::string& input : inputs) {
        TempDir dir;
        write_file(dir / "FOR005", input);
        const RunResult r = run_zephor(dir.path(), "timeout 120");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");
        EXPECT_EQ(read_file(dir / "FOR006"), read_file(golden("h2", "FOR006")));
        EXPECT_EQ(read_file(dir / "FOR007"), read_file(golden("h2", "FOR007")));
    }
    // One line of a megabyte and nothing else: the charge is missing.
    TempDir dir;
    write_file(dir / "FOR005", std::string(1 << 20, 'x'));
    const RunResult r = run_zephor(dir.path(), "timeout 120");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "At line 2 of input (unit = 13, file = 'FOR005')\nEnd of file\n");
}
