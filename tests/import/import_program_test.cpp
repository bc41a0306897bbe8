// zephor-import as a chemist runs it: every format on real molecules (water, benzene, caffeine, a
// charged ion, boron compounds) gives a FOR005 that zephor runs to completion, and the whole road
// zephor-import -> zephor -> zephor-export; exit statuses, exact messages, nothing written on an
// error, nothing replaced without --force, and with --force only a regular file or a link, by a
// rename, a failed write leaving the old file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "driver/molecule.hpp"
#include "import/request_reader.hpp"
#include "test_support.hpp"

using zephor_test::read_file;
using zephor_test::run_shell;
using zephor_test::TempDir;
using zephor_test::write_file;
namespace fs = std::filesystem;

namespace {

std::string import_binary() { return std::string("'") + ZEPHOR_IMPORT_BINARY + "'"; }

void copy_data(const TempDir& dir, const std::string& name) {
    fs::copy_file(fs::path(ZEPHOR_IMPORT_DATA) / name, dir / fs::path(name).filename());
}

// The x, y, z (bohr) of the [Atoms] AU section of a Molden file.
std::vector<double> molden_coordinates(const std::string& molden) {
    std::istringstream in(molden.substr(molden.find("[Atoms] AU\n") + 11));
    std::vector<double> r;
    std::string line;
    while (std::getline(in, line) && line[0] != '[') {
        std::istringstream fields(line);
        std::string symbol;
        int number = 0, z = 0;
        double x = 0, y = 0, w = 0;
        fields >> symbol >> number >> z >> x >> y >> w;
        r.insert(r.end(), {x, y, w});
    }
    return r;
}

}  // namespace

TEST(ImportProgram, EveryFormatRunsThroughZephorAndZephorExport) {
    struct Case {
        std::string args;   // after the binary; files are copied into the folder first
        std::string file;   // data file to copy, or ""
        int atoms;
        int charge;
        std::string title;
    };
    const Case cases[] = {
        {"water.xyz", "water.xyz", 3, 0, "water"},
        {"--index 2 two_molecules.xyz", "two_molecules.xyz", 3, 0, "water, second frame"},
        {"ethane.zmat", "ethane.zmat", 8, 0, "ethane"},
        {"formaldehyde.gzmat", "formaldehyde.gzmat", 4, 1, "formaldehyde cation, from a textbook"},
        {"benzene.sdf", "benzene.sdf", 12, 0, "benzene"},
        {"formaldehyde.mol", "formaldehyde.mol", 4, 0, "formaldehyde"},
        {"ammonium.sdf", "ammonium.sdf", 5, 1, "ammonium"},
        {"caffeine.mol2", "caffeine.mol2", 24, 0, "caffeine"},
        {"ammonia_borane.pdb", "ammonia_borane.pdb", 8, 0, "ammonia_borane"},  // no title: the file name
        {"bf3.cml", "bf3.cml", 4, 0, "boron trifluoride"},
        {"--smiles 'CCO'", "", 9, 0, "CCO"},
        {"--smiles '[OH-]'", "", 2, -1, "[OH-]"},
        {"--smiles 'CN1C=NC2=C1C(=O)N(C(=O)N2C)C' --title caffeine", "", 24, 0, "caffeine"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        TempDir dir;
        if (!c.file.empty()) copy_data(dir, c.file);
        const auto imported = run_shell(dir.path(), import_binary() + " " + c.args);
        ASSERT_EQ(imported.status, 0) << imported.err;
        EXPECT_EQ(imported.out + imported.err, "");
        const std::string for005 = read_file(dir / "FOR005");
        const zephor::Molecule m = zephor::load_molecule(for005);
        EXPECT_EQ(m.atom_count, c.atoms);
        EXPECT_EQ(m.charge, c.charge);
        EXPECT_EQ(m.title.substr(0, m.title.find_last_not_of(' ') + 1), c.title);
        const auto run = zephor_test::run_zephor(dir.path());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        ASSERT_TRUE(fs::exists(dir / "FOR007"));
        const auto exported = run_shell(dir.path(), std::string("'") + ZEPHOR_EXPORT_BINARY + "' --molden");
        EXPECT_EQ(exported.status, 0) << exported.err;
        // The coordinates come back through FOR007 and the Molden file to the printed digits.
        const std::vector<double> back = molden_coordinates(read_file(dir / "FOR007.molden"));
        ASSERT_EQ(back.size(), m.r.size());
        for (std::size_t k = 0; k < back.size(); ++k) EXPECT_NEAR(back[k], m.r[k], 5e-9 * std::fabs(m.r[k]) + 1e-12);
    }
}

TEST(ImportProgram, ErrorsWriteNothingAndExitWithTheirStatus) {
    struct Case {
        std::string args, file;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"chlorine.xyz", "bad/chlorine.xyz", 2, "zephor-import: atom 3: Cl is not one of H, B, C, N, O, F\n"},
        {"short_line.xyz", "bad/short_line.xyz", 2,
         "zephor-import: short_line.xyz:4: expected 'symbol x y z', found 'H 0.0 0.757'\n"},
        {"linear.zmat", "bad/linear.zmat", 2,
         "zephor-import: linear.zmat:4: atoms 1, 2 and 3 lie on a line, so the dihedral angle of atom 4 is undefined\n"},
        {"empty.xyz", "bad/empty.xyz", 2, "zephor-import: empty.xyz: the file holds no atom\n"},
        {"--smiles 'C[Si](C)C'", "", 2, "zephor-import: atom 2: Si is not one of H, B, C, N, O, F\n"},
        {"missing.xyz", "", 1, ""},
        {"water.foo", "", 1, "zephor-import: cannot tell the format of 'water.foo' from its name; give --format\n"},
        {"--charge one water.xyz", "water.xyz", 1, ""},
        {"", "", 1, "zephor-import: give one input: a file (or - for standard input) or --smiles\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        TempDir dir;
        if (!c.file.empty()) copy_data(dir, c.file);
        const auto r = run_shell(dir.path(), import_binary() + " " + c.args);
        EXPECT_EQ(r.status, c.status);
        if (!c.err.empty()) {
            EXPECT_EQ(r.err, c.err);
        }
        EXPECT_FALSE(fs::exists(dir / "FOR005"));
    }
}

TEST(ImportProgram, NothingIsReplacedWithoutForceAndStandardInputReads) {
    TempDir dir;
    copy_data(dir, "water.xyz");
    write_file(dir / "FOR005", "mine\n");
    auto r = run_shell(dir.path(), import_binary() + " water.xyz");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zephor-import: FOR005 exists already; use --force to replace it\n");
    EXPECT_EQ(read_file(dir / "FOR005"), "mine\n");
    r = run_shell(dir.path(), import_binary() + " --force --charge -1 --title \"It's water\" water.xyz");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "FOR005").substr(0, 20), "'It''s water'\n-1\nO 0");
    r = run_shell(dir.path(), "cat water.xyz | " + import_binary() + " --format xyz -o piped.FOR005 -");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(dir / "piped.FOR005"), "'water'\n0\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n");
}

TEST(ImportProgram, ForceReplacesByRenameAndAFailedWriteKeepsTheOldFile) {
    // Twelve atoms: a FOR005 of some 300 bytes, beyond the file-size limit of 100 bytes that the
    // message still fits in.
    std::string xyz = "12\nbenzene\n";
    for (int k = 0; k < 6; ++k) {
        const double a = k * 3.14159265358979 / 3;
        xyz += "C " + std::to_string(1.39 * std::cos(a)) + " " + std::to_string(1.39 * std::sin(a)) + " 0\n";
        xyz += "H " + std::to_string(2.47 * std::cos(a)) + " " + std::to_string(2.47 * std::sin(a)) + " 0\n";
    }
    enum class Standing { nothing, file, char_device, fifo, folder, link_to_file, dangling_link };
    struct Case {
        Standing standing;
        std::string args, prefix;
        int status;
        std::string err;
    };
    const std::string not_regular = "zephor-import: out is not a regular file; it is never replaced, not even with --force\n";
    const std::string exists = "zephor-import: out exists already; use --force to replace it\n";
    const Case cases[] = {
        {Standing::file, "--force", "prlimit --fsize=100", 1, "zephor-import: cannot write out: File too large\n"},
        {Standing::nothing, "", "prlimit --fsize=100", 1, "zephor-import: cannot write out: File too large\n"},
        {Standing::file, "--force", "", 0, ""},
        {Standing::char_device, "--force", "", 1, not_regular},
        {Standing::fifo, "--force", "timeout 20", 1, not_regular},
        {Standing::folder, "--force", "", 1, not_regular},
        {Standing::link_to_file, "", "", 1, exists},
        {Standing::link_to_file, "--force", "", 0, ""},
        {Standing::dangling_link, "", "", 1, exists},
        {Standing::dangling_link, "--force", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix + " " + c.args + " over kind " + std::to_string(static_cast<int>(c.standing)));
        TempDir dir;
        write_file(dir / "benzene.xyz", xyz);
        const std::string out = (dir / "out").string();
        switch (c.standing) {
            case Standing::nothing: break;
            case Standing::file: write_file(dir / "out", "old\n"); break;
            case Standing::char_device: ASSERT_EQ(mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0) << std::strerror(errno); break;
            case Standing::fifo: ASSERT_EQ(mkfifo(out.c_str(), 0666), 0); break;
            case Standing::folder: fs::create_directory(dir / "out"); break;
            case Standing::link_to_file:
                write_file(dir / "pointed_to", "old\n");
                fs::create_symlink("pointed_to", dir / "out");
                break;
            case Standing::dangling_link: fs::create_symlink("nowhere", dir / "out"); break;
        }
        const fs::file_type type = fs::symlink_status(dir / "out").type();
        std::set<std::string> before;
        for (const auto& e : fs::directory_iterator(dir.path())) before.insert(e.path().filename().string());
        const auto r = run_shell(dir.path(), c.prefix + " " + import_binary() + " benzene.xyz -o out " + c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        std::set<std::string> after;
        for (const auto& e : fs::directory_iterator(dir.path())) after.insert(e.path().filename().string());
        if (c.standing == Standing::nothing) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "out")));  // not even an empty file
        } else {
            EXPECT_EQ(after, before);  // nothing new, no temporary left
        }
        if (fs::exists(dir / "pointed_to")) {
            EXPECT_EQ(read_file(dir / "pointed_to"), "old\n");
        }
        if (c.status == 0) {
            EXPECT_EQ(fs::symlink_status(dir / "out").type(), fs::file_type::regular);
            EXPECT_EQ(read_file(dir / "out").substr(0, 10), "'benzene'\n");
        } else if (c.standing != Standing::nothing) {
            EXPECT_EQ(fs::symlink_status(dir / "out").type(), type);
            if (c.standing == Standing::file) {
                EXPECT_EQ(read_file(dir / "out"), "old\n");
            }
        }
    }
}

TEST(ImportProgram, ChargesAreDecimalAndEveryWrittenFileRunsThroughZephor) {
    struct Case {
        std::string args;
        std::string xyz;  // written as in.xyz when not empty
        int status;
        std::string err;
    };
    const std::string water = "3\nwater\nO 0 0 0\nH 0 0.757 0.587\nH 0 -0.757 0.587\n";
    const Case cases[] = {
        // CLI11's conversion would read these as 16, 10 and 8.
        {"--charge 0x10 in.xyz", water, 1, "zephor-import: --charge: '0x10' is not a decimal integer\n"},
        {"--charge 1e1 in.xyz", water, 1, "zephor-import: --charge: '1e1' is not a decimal integer\n"},
        {"--charge 010.0 in.xyz", water, 1, "zephor-import: --charge: '010.0' is not a decimal integer\n"},
        {"--charge 2147483648 in.xyz", water, 1, "zephor-import: --charge: '2147483648' is not a decimal integer\n"},
        {"--charge 9 in.xyz", water, 2, "zephor-import: charge 9 leaves -1 valence electrons, fewer than none\n"},
        {"--charge +8 in.xyz", water, 0, ""},
        {"--charge -2147483648 in.xyz", water, 2,
         "zephor-import: charge -2147483648 leaves 2147483656 valence electrons for 6 basis functions\n"},
        {"in.xyz", "2\nt\nH 0 0 0\nH 0 0 0\n", 2, "zephor-import: atoms 1 and 2 are 0.000 \u00c5 apart (closer than 0.1 \u00c5)\n"},
        {"in.xyz", "2\nt\nH 0 0 0\nH 0 0 9e307\n", 2,
         "zephor-import: atom 2: the coordinate 9e+307 \u00c5 does not fit zephor's checkpoint (0, or about "
         "5.3e-100 to 5.29e+99 \u00c5 in size)\n"},
        {"in.xyz", "\xef\xbb\xbf" + water, 0, ""},
        {"in.xyz", "1\nt\nHg1 0 0 0\n", 2, "zephor-import: atom 1: Hg is not one of H, B, C, N, O, F\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + " " + c.xyz);
        TempDir dir;
        write_file(dir / "in.xyz", c.xyz);
        const auto r = run_shell(dir.path(), import_binary() + " " + c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(fs::exists(dir / "FOR005"), c.status == 0);
        if (c.status != 0) continue;
        // What is written runs to both files.
        const auto run = zephor_test::run_zephor(dir.path());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(fs::exists(dir / "FOR006"));
        EXPECT_TRUE(fs::exists(dir / "FOR007"));
    }
}

namespace {

std::string hooks_binary() { return std::string("'") + ZEPHOR_IMPORT_HOOKS_BINARY + "'"; }

// run_shell, and the seconds it took.
struct TimedRun {
    zephor_test::RunResult r;
    double seconds;
};
TimedRun timed_shell(const fs::path& dir, const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    TimedRun t{run_shell(dir, command), 0};
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return t;
}

// An SDF of `n` carbon atoms in a row, 1.5 Angstrom apart, with no bonds: 3D coordinates given.
std::string carbon_row_sdf(int n) {
    std::string s = "carbon row\n  zephor\n\n";
    char line[128];
    std::snprintf(line, sizeof line, "%3d%3d  0  0  0  0  0  0  0  0999 V2000\n", n % 1000, 0);
    // The counts line holds three digits; more atoms need the V3000 form.
    if (n > 999) {
        s += "  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n";
        s += "M  V30 COUNTS " + std::to_string(n) + " 0 0 0 0\nM  V30 BEGIN ATOM\n";
        for (int i = 0; i < n; ++i) s += "M  V30 " + std::to_string(i + 1) + " C " + std::to_string(1.5 * i) + " 0 0.5 0\n";
        return s + "M  V30 END ATOM\nM  V30 END CTAB\nM  END\n$$$$\n";
    }
    s += line;
    for (int i = 0; i < n; ++i) {
        std::snprintf(line, sizeof line, "%10.4f%10.4f%10.4f C   0  0  0  0  0  0  0  0  0  0  0  0\n", 1.5 * i, 0.0, 0.5);
        s += line;
    }
    return s + "M  END\n$$$$\n";
}

}  // namespace

TEST(ImportProgramOpenBabel, ElementsAndSizesAreRefusedBeforeAny3DBuilding) {
    // A 6 kB phosphate chain took over a minute of 3D building before its P was refused; an
    // absurd atom count went on to hydrogens and a FOR005 no run can hold.
    const std::string chain = read_file(fs::path(ZEPHOR_IMPORT_DATA) / "bad/phosphate_chain.smi");
    const std::string chain_smiles = chain.substr(0, chain.find('\n'));
    struct Case {
        std::string args, err;
    };
    const Case cases[] = {
        {"phosphate_chain.smi", "zephor-import: atom 2: P is not one of H, B, C, N, O, F\n"},
        {"--smiles '" + chain_smiles + "'", "zephor-import: atom 2: P is not one of H, B, C, N, O, F\n"},
        {"carbon_row.sdf",
         "zephor-import: carbon_row.sdf: its 12000 atoms need 48000 basis functions; a run holds at most 46340\n"},
        {"--smiles 'CCS'", "zephor-import: atom 3: S is not one of H, B, C, N, O, F\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.substr(0, 60));
        TempDir dir;
        copy_data(dir, "bad/phosphate_chain.smi");
        write_file(dir / "carbon_row.sdf", carbon_row_sdf(12000));
        const TimedRun t = timed_shell(dir.path(), "timeout -s KILL 60 " + import_binary() + " " + c.args);
        EXPECT_EQ(t.r.status, 2);
        EXPECT_EQ(t.r.err, c.err);
        EXPECT_LT(t.seconds, 20.0);
        EXPECT_FALSE(fs::exists(dir / "FOR005"));
    }
}

TEST(ImportProgramOpenBabel, TheLibrarysOwnOutputAndRawBytesStayOffTheTerminal) {
    // libxml2 printed three lines of its own, quoting the file's raw bytes, before the message.
    TempDir dir;
    copy_data(dir, "bad/raw_bytes.cml");
    fs::copy_file(dir / "raw_bytes.cml", dir / "raw\x1b[2Jbytes.cml");
    auto r = run_shell(dir.path(), import_binary() + " raw_bytes.cml");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zephor-import: raw_bytes.cml: Open Babel found no molecule in it\n");
    r = run_shell(dir.path(), import_binary() + " 'raw\x1b[2Jbytes.cml'");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zephor-import: raw\\x1b[2Jbytes.cml: Open Babel found no molecule in it\n");
    r = run_shell(dir.path(), import_binary() + " --smiles 'C\x1b[2J'");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zephor-import: SMILES 'C\\x1b[2J': Open Babel found no molecule in it\n");
    EXPECT_FALSE(fs::exists(dir / "FOR005"));
}

TEST(ImportProgramOpenBabel, ThreeDBuildingStopsAtTheTimeout) {
    TempDir dir;
    copy_data(dir, "bad/polyether.smi");
    const TimedRun t = timed_shell(dir.path(), "timeout -s KILL 60 " + import_binary() + " --timeout 1 polyether.smi");
    EXPECT_EQ(t.r.status, 2);
    EXPECT_EQ(t.r.err, "zephor-import: polyether.smi: 3D building did not finish within 1 s; give a larger --timeout\n");
    EXPECT_LT(t.seconds, 10.0);
    EXPECT_FALSE(fs::exists(dir / "FOR005"));

    // A timeout is a positive number of seconds; a generous one changes nothing.
    for (const std::string bad : {"0", "-1", "nan", "inf", "1e300", "soon"}) {
        SCOPED_TRACE(bad);
        const auto r = run_shell(dir.path(), import_binary() + " --timeout " + bad + " --smiles CCO");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("--timeout"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "FOR005"));
    }
    copy_data(dir, "benzene.sdf");
    const auto r = run_shell(dir.path(), import_binary() + " --timeout 300 benzene.sdf");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "FOR005").substr(0, 10), "'benzene'\n");
}

TEST(ImportProgramOpenBabel, ACrashOrHangOfTheLibraryInItsChildIsExitTwo) {
    // The test build's child process misbehaves as asked; the parent reports it and writes nothing.
    // A server (--serve) reads in a long-lived child of its own: it answers two such requests,
    // one after the other, with the run's own status and message, and lives on.
    struct Case {
        std::string fault, args;
        int status;
        std::string err;
    };
    // AddressSanitizer catches the segmentation fault itself and exits 1.
    const std::string segv = zephor_test::under_address_sanitizer() ? "(exit status 1)" : "(signal 11)";
    std::vector<Case> cases = {
        {"segv", "benzene.sdf", 2, "zephor-import: benzene.sdf: Open Babel failed on this file " + segv + "\n"},
        {"abort", "--smiles CCO", 2, "zephor-import: SMILES 'CCO': Open Babel failed on this file (signal 6)\n"},
        {"exit", "benzene.sdf", 2, "zephor-import: benzene.sdf: Open Babel failed on this file (exit status 0)\n"},
        {"throw", "benzene.sdf", 2, "zephor-import: benzene.sdf: Open Babel failed on this file (vector\\x1b)\n"},
        {"sleep", "--timeout 1 benzene.sdf", 2,
         "zephor-import: benzene.sdf: Open Babel did not finish within 1 s; give a larger --timeout\n"},
        {"spin", "--timeout 1.5 --smiles CCO", 2,
         "zephor-import: SMILES 'CCO': 3D building did not finish within 1.5 s; give a larger --timeout\n"},
        // What the library prints is dropped, and the molecule is read as ever.
        {"chatter", "benzene.sdf", 0, ""},
    };
    if (!zephor_test::under_address_sanitizer())  // whose shadow memory rules out RLIMIT_AS
        cases.push_back({"alloc", "benzene.sdf", 2, "zephor-import: benzene.sdf: Open Babel ran out of memory on this file\n"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        TempDir dir;
        copy_data(dir, "benzene.sdf");
        const TimedRun t = timed_shell(
            dir.path(), "ZEPHOR_IMPORT_TEST_FAULT=" + c.fault + " timeout -s KILL 60 " + hooks_binary() + " " + c.args);
        EXPECT_EQ(t.r.status, c.status);
        EXPECT_EQ(t.r.out, "");
        EXPECT_EQ(t.r.err, c.err);
        EXPECT_LT(t.seconds, 15.0);
        EXPECT_EQ(fs::exists(dir / "FOR005"), c.status == 0);

        std::vector<std::string> args;
        std::istringstream words(c.args + " --force");
        for (std::string w; words >> w;) args.push_back(w);
        const std::string request = zephor::importer::encoded({args, "", dir.path().string()});
        write_file(dir / "requests", request + request);
        const TimedRun served = timed_shell(dir.path(), "ZEPHOR_IMPORT_TEST_FAULT=" + c.fault + " timeout -s KILL 60 " +
                                                            hooks_binary() + " --serve < requests");
        const std::string answer = std::to_string(c.status) + " " + std::to_string(c.err.size()) + "\n" + c.err;
        EXPECT_EQ(served.r.status, 0) << served.r.err;
        EXPECT_EQ(served.r.out, answer + answer);
        EXPECT_LT(served.seconds, 15.0);
    }
}

TEST(ImportProgramOpenBabel, AMoleculeThatTakesAllMemoryIsRefusedAtTheAddressSpaceLimit) {
    // 1500 nested branches: Open Babel's work on them grows past 3 GB in seconds. The child's
    // 2 GiB limit refuses it; prlimit keeps the machine safe from a build without that limit.
    if (zephor_test::under_address_sanitizer()) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    TempDir dir;
    copy_data(dir, "bad/memory/deep_branches.smi");  // not replayed: no limit under AddressSanitizer
    const TimedRun t = timed_shell(dir.path(), "prlimit --as=6000000000 timeout -s KILL 120 " + import_binary() +
                                                   " --timeout 100 deep_branches.smi");
    EXPECT_EQ(t.r.status, 2);
    EXPECT_EQ(t.r.err, "zephor-import: deep_branches.smi: Open Babel ran out of memory on this file\n");
    EXPECT_FALSE(fs::exists(dir / "FOR005"));
}

TEST(ImportProgramOpenBabel, Built3DCoordinatesAreTheSameEveryTime) {
    // Open Babel's builder draws random directions, seeded from the clock, for a flat drawing and
    // for a stereocentre: the FOR005 differed from one run to the next. Its force field sums on
    // OpenMP threads: benzene's coordinates differed between one thread and two.
    for (const std::string args : {"ethanol_2d.mol", "--smiles 'OC(C)(F)[C@H](N)C'", "--smiles c1ccccc1"}) {
        SCOPED_TRACE(args);
        std::vector<std::string> texts;
        for (const char* threads : {"1", "2", "3"}) {
            TempDir dir;
            copy_data(dir, "hostile/ethanol_2d.mol");
            const auto r = run_shell(dir.path(), std::string("OMP_NUM_THREADS=") + threads + " " + import_binary() + " " + args);
            ASSERT_EQ(r.status, 0) << r.err;
            texts.push_back(read_file(dir / "FOR005"));
        }
        EXPECT_EQ(texts[0], texts[1]);
        EXPECT_EQ(texts[0], texts[2]);
    }
}
