// The zephor-export program as a user runs it: options, default names, exit statuses and
// messages, and the rule that no existing file is replaced without --force.
#include <gtest/gtest.h>

#include "export_test_support.hpp"

namespace {

using namespace zephor_export_test;
namespace fs = std::filesystem;

TEST(ExportProgram, HelpAndVersion) {
    TempDir dir;
    const Result help = run(dir.path(), export_binary() + " --help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--molden", "--fchk", "--cube", "--spacing", "--force", "--output", "FOR007"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const Result version = run(dir.path(), export_binary() + " --version");
    EXPECT_EQ(version.status, 0);
    // The version, then the library zephor loads and what it says of itself.
    EXPECT_EQ(version.out.rfind("zephor-export " ZEPHOR_VERSION "\nlinear algebra: " ZEPHOR_LAPACK_LIBRARY "\nOpenBLAS ", 0), 0u)
        << version.out;
    const Result wrong = run(dir.path(), export_binary() + " --no-such-option");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("--no-such-option"), std::string::npos);
}

TEST(ExportProgram, WritesMoldenAndFchkFromFor007ByDefault) {
    TempDir dir;
    fs::copy_file(data_dir() / "water.FOR007", dir / "FOR007");
    const Result r = run(dir.path(), export_binary());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote FOR007.molden\nwrote FOR007.fchk\n");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::exists(dir / "FOR007.molden"));
    EXPECT_TRUE(fs::exists(dir / "FOR007.fchk"));
    EXPECT_FALSE(fs::exists(dir / "FOR007.cube"));
}

TEST(ExportProgram, WritesOnlyWhatIsAskedUnderThePrefix) {
    TempDir dir;
    const std::string input = "'" + (data_dir() / "benzene.FOR007").string() + "'";
    Result r = run(dir.path(), export_binary() + " " + input + " -o out/benzene --cube lumo --spacing 0.5");
    EXPECT_EQ(r.status, 1);  // the folder out/ does not exist
    EXPECT_NE(r.err.find("cannot create out/benzene.mo16.cube"), std::string::npos) << r.err;
    fs::create_directory(dir / "out");
    r = run(dir.path(), export_binary() + " " + input + " -o out/benzene --cube lumo --spacing 0.5");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote out/benzene.mo16.cube\n");
    EXPECT_EQ(read_file(dir / "out/benzene.mo16.cube").substr(0, 31), "ZEPHOR orbital 16 of 30 (LUMO)\n");
    EXPECT_FALSE(fs::exists(dir / "out/benzene.molden"));
    r = run(dir.path(), export_binary() + " " + input + " --cube 31");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zephor-export: orbital 31 does not exist: the checkpoint has orbitals 1 to 30\n");
    r = run(dir.path(), export_binary() + " " + input + " --cube 3 --spacing 0.3333333");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zephor-export: the grid spacing must be 0.001 to 10 bohr with at most six decimals\n");
}

TEST(ExportProgram, ReplacesNothingWithoutForce) {
    TempDir dir;
    fs::copy_file(data_dir() / "water.FOR007", dir / "water.FOR007");
    write_file(dir / "water.fchk", "mine\n");
    Result r = run(dir.path(), export_binary() + " water.FOR007");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zephor-export: water.fchk exists already; use --force to replace it\n");
    EXPECT_EQ(read_file(dir / "water.fchk"), "mine\n");
    EXPECT_FALSE(fs::exists(dir / "water.molden"));  // nothing is written unless every name is free
    r = run(dir.path(), export_binary() + " water.FOR007 --force");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "water.fchk").substr(0, 33), "ZEPHOR extended-Hueckel orbitals\n");
}

TEST(ExportProgram, MalformedOrMissingInput) {
    TempDir dir;
    fs::copy_file(data_dir() / "bad" / "truncated.FOR007", dir / "FOR007");
    Result r = run(dir.path(), export_binary());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "zephor-export: FOR007:55: the file ends inside this row of 'Alpha MO coefficients' (36 values "
              "expected)\n");
    EXPECT_FALSE(fs::exists(dir / "FOR007.molden"));
    r = run(dir.path(), export_binary() + " missing.FOR007");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zephor-export: cannot open missing.FOR007 for reading\n");
}

// Open Babel refuses a formatted checkpoint without alpha electrons; the user is told.
TEST(ExportProgram, NotesAnFchkWithoutElectrons) {
    TempDir dir;
    fs::copy_file(data_dir() / "h2_plus3.FOR007", dir / "h2_plus3.FOR007");
    const Result r = run(dir.path(), export_binary() + " h2_plus3.FOR007 --fchk");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "zephor-export: note: h2_plus3.fchk has no occupied orbital; Open Babel refuses formatted "
              "checkpoints with zero alpha electrons\n");
    const Result homo = run(dir.path(), export_binary() + " h2_plus3.FOR007 --cube homo");
    EXPECT_EQ(homo.status, 1);
    EXPECT_EQ(homo.err, "zephor-export: --cube homo: the checkpoint has no occupied orbital\n");
}

}  // namespace
