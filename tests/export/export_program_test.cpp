// The zephor-export program as a user runs it: options, default names, exit statuses and
// messages, the rule that no existing file is replaced without --force and that --force replaces
// by a rename, never over anything but a regular file or a link, every request checked before the
// first file, titles that are not UTF-8, grids too large for any integer.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "export_test_support.hpp"

namespace {

using namespace zephor_export_test;
namespace fs = std::filesystem;

const fs::path golden = fs::path(ZEPHOR_EXPORT_DATA) / ".." / "golden";

// A folder holding a golden run's FOR005, FOR006 and FOR007.
void copy_run(const TempDir& dir, const std::string& molecule) {
    for (const char* f : {"FOR005", "FOR006", "FOR007"}) fs::copy_file(golden / molecule / f, dir / f);
}

// The names in the folder.
std::set<std::string> names_in(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
    return names;
}

const std::set<std::string> run_files = {"FOR005", "FOR006", "FOR007"};

// Kinds of things that can stand under an output's name.
enum class Standing { nothing, file, char_device, fifo, socket, folder, link_to_file, dangling_link };

// Puts `what` under `name` in `dir`; a file and the file a link points to hold "old\n".
void make(const TempDir& dir, const std::string& name, Standing what) {
    const std::string path = (dir / name).string();
    switch (what) {
        case Standing::nothing: break;
        case Standing::file: write_file(dir / name, "old\n"); break;
        case Standing::char_device: ASSERT_EQ(mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0) << std::strerror(errno); break;
        case Standing::fifo: ASSERT_EQ(mkfifo(path.c_str(), 0666), 0); break;
        case Standing::socket: {
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            ASSERT_LT(path.size(), sizeof a.sun_path);
            std::strcpy(a.sun_path, path.c_str());
            ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
            close(fd);
            break;
        }
        case Standing::folder: fs::create_directory(dir / name); break;
        case Standing::link_to_file:
            write_file(dir / "pointed_to", "old\n");
            fs::create_symlink("pointed_to", dir / name);
            break;
        case Standing::dangling_link: fs::create_symlink("nowhere", dir / name); break;
    }
}

fs::file_type type_of(const TempDir& dir, const std::string& name) { return fs::symlink_status(dir / name).type(); }

TEST(ExportProgram, HelpAndVersion) {
    TempDir dir;
    const Result help = run(dir.path(), export_binary() + " --help");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--molden", "--fchk", "--cube", "--spacing", "--margin", "--plain-cube", "--list",
                             "--levels", "--dos", "--window", "--broadening", "--json", "--html", "--orbitals",
                             "--report", "--title", "--force", "--output", "--version", "FOR007"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    // The footer names every output option, and the exit statuses.
    const std::string footer = help.out.substr(help.out.find("With none of"));
    for (const char* word : {"--molden", "--fchk", "--cube", "--levels", "--dos", "--json", "--html", "Exit status"})
        EXPECT_NE(footer.find(word), std::string::npos) << word;
    for (const char* word : {"Molden", "cube", "energy-level diagram", "density of states", "JSON", "results page"})
        EXPECT_NE(help.out.substr(0, help.out.find("OPTIONS")).find(word), std::string::npos) << word;
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
    // A comma list: a cube each, named by its number, the bytes of a single request; an orbital
    // named twice (homo and 15) gives one cube.
    r = run(dir.path(), export_binary() + " " + input + " -o out/list --cube homo,LUMO,2,15 --spacing 0.5");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote out/list.mo15.cube\nwrote out/list.mo16.cube\nwrote out/list.mo2.cube\n");
    EXPECT_EQ(read_file(dir / "out/list.mo16.cube"), read_file(dir / "out/benzene.mo16.cube"));
    EXPECT_EQ(read_file(dir / "out/list.mo2.cube").substr(0, 24), "ZEPHOR orbital 2 of 30\ne");
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

// --force replaces a regular file or a symbolic link (as a link) by a rename; anything else under
// the name is refused even with --force; a write that fails (here at the file-size limit, the
// message within it) leaves what stood there untouched and nothing under a new name.
TEST(ExportProgram, ForceReplacesByRenameAndAFailedWriteKeepsTheOldFile) {
    struct Case {
        Standing standing;
        std::string args;    // after the binary, in the water run's folder
        std::string prefix;  // before the binary ("prlimit --fsize=N")
        int status;
        std::string err;
    };
    const std::string not_regular = " is not a regular file; it is never replaced, not even with --force\n";
    const Case cases[] = {
        {Standing::file, "--json out.json --force", "prlimit --fsize=300", 1,
         "zephor-export: cannot write out.json: File too large\n"},
        {Standing::nothing, "--json out.json", "prlimit --fsize=300", 1,
         "zephor-export: cannot write out.json: File too large\n"},
        {Standing::file, "--levels out.svg --force", "prlimit --fsize=300", 1,
         "zephor-export: cannot write out.svg: File too large\n"},
        {Standing::nothing, "--molden -o out --json out.json", "prlimit --fsize=300", 1,
         "zephor-export: cannot write out.molden: File too large\n"},
        {Standing::file, "--json out.json --force", "", 0, ""},
        {Standing::file, "--json out.json", "", 1, "zephor-export: out.json exists already; use --force to replace it\n"},
        {Standing::char_device, "--json out.json --force", "", 1, "zephor-export: out.json" + not_regular},
        {Standing::char_device, "--json out.json", "", 1, "zephor-export: out.json" + not_regular},
        {Standing::fifo, "--json out.json --force", "timeout 20", 1, "zephor-export: out.json" + not_regular},
        {Standing::socket, "--json out.json --force", "", 1, "zephor-export: out.json" + not_regular},
        {Standing::folder, "--json out.json --force", "", 1, "zephor-export: out.json" + not_regular},
        {Standing::link_to_file, "--json out.json --force", "", 0, ""},
        {Standing::link_to_file, "--json out.json", "", 1, "zephor-export: out.json exists already; use --force to replace it\n"},
        {Standing::dangling_link, "--json out.json", "", 1, "zephor-export: out.json exists already; use --force to replace it\n"},
        {Standing::dangling_link, "--json out.json --force", "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix + " " + c.args + " over standing kind " + std::to_string(static_cast<int>(c.standing)));
        TempDir dir;
        copy_run(dir, "water");
        const std::string name = c.args.find("--levels") != std::string::npos ? "out.svg" : "out.json";
        make(dir, name, c.standing);
        const std::set<std::string> before = names_in(dir);
        const fs::file_type type = type_of(dir, name);
        const Result r = run(dir.path(), c.prefix + " " + export_binary() + " " + c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        // Nothing new beside the outputs, no temporary left; what a link pointed to is untouched.
        EXPECT_EQ(names_in(dir), before);
        if (fs::exists(dir / "pointed_to")) {
            EXPECT_EQ(read_file(dir / "pointed_to"), "old\n");
        }
        if (c.status == 0) {
            EXPECT_EQ(type_of(dir, name), fs::file_type::regular);
            EXPECT_EQ(read_file(dir / name).substr(0, 2), "{\n");
        } else {
            EXPECT_EQ(type_of(dir, name), type);
            if (c.standing == Standing::file) {
                EXPECT_EQ(read_file(dir / name), "old\n");
            }
        }
    }
}

// Bytes of a title that are not UTF-8 (from FOR005 or --title) become U+FFFD in the JSON, the page
// and the pictures; the run succeeds.
TEST(ExportProgram, TitlesThatAreNotUtf8AreWrittenWithReplacementCharacters) {
    struct Case {
        std::string for005_title;  // FOR005's first line
        std::string option;        // --title, through printf
        std::string shown;         // the title as written
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"'Eau caf\xe9'", "", "Eau caf" + fffd},
        {"water", "--title \"$(printf '\\377')\"", fffd},
        {"water", "--title \"$(printf 'a\\342\\202b\\300\\257')\"", "a" + fffd + "b" + fffd + fffd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        TempDir dir;
        copy_run(dir, "water");
        std::string for005 = read_file(dir / "FOR005");
        write_file(dir / "FOR005", c.for005_title + for005.substr(for005.find('\n')));
        const Result r = run(dir.path(), export_binary() + " --json r.json --html p.html --levels l.svg --dos d.pdf " + c.option);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(read_file(dir / "r.json").find("\"title\": \"" + c.shown + "\""), std::string::npos);
        const std::string page = read_file(dir / "p.html");
        EXPECT_NE(page.find("<title>" + c.shown + " — ZEPHOR results</title>"), std::string::npos);
        EXPECT_NE(page.find("\"title\":\"" + c.shown + "\""), std::string::npos);
        EXPECT_EQ(run(dir.path(), "xmllint --noout l.svg").status, 0);
    }
}

// Far-apart atoms: the grid's size is compared with the limit before it becomes an integer, and
// the message says what to change (for the page, which chooses its own spacing, the molecule).
TEST(ExportProgram, GridsTooLargeForAnyIntegerAreRefusedWithTheirPointCount) {
    struct Case {
        std::string atoms;  // FOR005's atom lines
        std::string args;
        std::string err;
    };
    const std::string hint = " (at most 50000000); use a larger --spacing or a smaller --margin\n";
    const Case cases[] = {
        {"H 0 0 0\nH 1e30 0 0\n", "--cube homo", "zephor-export: the grid would have 1.81e+34 points" + hint},
        {"H 0 0 0\nH 1e30 0 0\n", "--html p.html",
         "zephor-export: the molecule is too large for the page's grids: each would have 1.7e+30 points (at most 1000000)\n"},
        {"H -4e5 -4e5 -4e5\nH 4e5 4e5 4e5\n", "--cube homo", "zephor-export: the grid would have 2.21e+20 points" + hint},
        {"H -4e5 -4e5 -4e5\nH 4e5 4e5 4e5\n", "--html p.html",
         "zephor-export: the molecule is too large for the page's grids: each would have 3.46e+15 points (at most 1000000)\n"},
        {"H 0 0 0\nH 0 0 0.74\n", "--cube homo --spacing 0.03", "zephor-export: the grid would have 72038848 points" + hint},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.atoms + c.args);
        TempDir dir;
        write_file(dir / "FOR005", "far\n0\n" + c.atoms);
        ASSERT_EQ(run(dir.path(), std::string("'") + ZEPHOR_BINARY + "'").status, 0);
        const Result r = run(dir.path(), export_binary() + " --molden " + c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(names_in(dir), run_files);
    }
}

// Every option, name and orbital number is checked before the first file is written; --list
// with outputs does both.
TEST(ExportProgram, EveryRequestIsCheckedBeforeTheFirstFile) {
    struct Case {
        std::string args;
        std::string err;
    };
    const Case cases[] = {
        {"--molden --fchk --cube 0", "orbital 0 does not exist: the checkpoint has orbitals 1 to 6"},
        {"--molden --fchk --cube seven", "--cube seven: give an orbital number, homo or lumo"},
        {"--molden --cube homo,seven", "--cube seven: give an orbital number, homo or lumo"},
        {"--molden --cube 1,,2", "--cube 1,,2: give orbital numbers, homo or lumo, separated by single commas"},
        {"--molden --cube lumo,7", "orbital 7 does not exist: the checkpoint has orbitals 1 to 6"},
        {"--molden --cube homo --spacing 0.001", "the grid would have 2338620384793 points (at most 50000000); use a "
                                                 "larger --spacing or a smaller --margin"},
        {"--molden --cube homo --margin 200", "the grid margin must be 0 to 100 bohr"},
        {"--levels same.svg --dos same.svg", "same.svg is named for two outputs; give each output its own name"},
        {"--levels a.svg --dos ./a.svg", "a.svg and ./a.svg are the same file; give each output its own name"},
        {"--levels a.svg --dos sub/../a.svg", "a.svg and sub/../a.svg are the same file; give each output its own name"},
        {"--json same.json --html same.json", "same.json is named for two outputs; give each output its own name"},
        {"-o x --molden --json x.molden", "x.molden is named for two outputs; give each output its own name"},
        {"--molden --levels l.jpg", "l.jpg: the picture's name must end in .svg, .png or .pdf"},
        {"--molden --dos d.svg --broadening 0", "--broadening must be a positive number of eV"},
        {"--molden --levels l.svg --window 5,1", "--window 5,1: give EMIN,EMAX in eV, EMIN below EMAX"},
        {"--molden --html p.html --orbitals 2,99", "--orbitals 2,99: '99' is not an orbital from 1 to 6, homo or lumo"},
        {"--molden --fchk --json taken.json", "taken.json exists already; use --force to replace it"},
        {"--molden --fchk --json missing/r.json", "cannot create missing/r.json: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        TempDir dir;
        copy_run(dir, "water");
        fs::create_directory(dir / "sub");
        write_file(dir / "taken.json", "mine\n");
        const std::set<std::string> before = names_in(dir);
        const Result r = run(dir.path(), export_binary() + " " + c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "zephor-export: " + c.err + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(names_in(dir), before);
    }
    TempDir dir;
    copy_run(dir, "water");
    const Result r = run(dir.path(), export_binary() + " --list --html page.html");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "orbital   energy (eV)   energy (hartree)   occupation");
    EXPECT_NE(r.out.find("\nwrote page.html\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir / "page.html"));
}

// Every "<" inside the page's data is escaped, so that no title can end or comment out a script.
TEST(ExportProgram, NoTitleChangesHowThePageParses) {
    for (const std::string title : {"</script><b>", "<!--<script>", "<script>", "-->", "<!--", "a & b > c",
                                    "\xE2\x80\xA8\xE2\x80\xA9"}) {
        SCOPED_TRACE(title);
        TempDir dir;
        copy_run(dir, "water");
        write_file(dir / "title", title);
        const Result r = run(dir.path(), export_binary() + " --html page.html --title \"$(cat title)\"");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string page = read_file(dir / "page.html");
        const std::string open = "<script type=\"application/json\" id=\"zephor-data\">";
        const std::size_t from = page.find(open) + open.size();
        const std::string data = page.substr(from, page.find("</script>", from) - from);
        for (const char* raw : {"<", ">", "&", "\xE2\x80\xA8", "\xE2\x80\xA9"})
            EXPECT_EQ(data.find(raw), std::string::npos) << raw;
        EXPECT_EQ(page.find("<!--"), std::string::npos);
        EXPECT_NE(data.find("\"title\":\""), std::string::npos);
    }
}

// Where the file system has no unnamed files, each output is written under a hidden temporary
// name beside it, which is renamed (or, without --force, renamed only where nothing stands) or
// removed again: the same outcomes as above, and nothing left behind.
TEST(ExportProgram, WithoutUnnamedFilesATemporaryNameIsRenamedOrRemoved) {
    struct Case {
        Standing standing;
        std::string args, prefix;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {Standing::nothing, "--json out.json --molden -o out", "", 0, ""},
        {Standing::file, "--json out.json --force", "", 0, ""},
        {Standing::link_to_file, "--json out.json --force", "", 0, ""},
        {Standing::file, "--json out.json", "", 1, "zephor-export: out.json exists already; use --force to replace it\n"},
        {Standing::file, "--json out.json --force", "prlimit --fsize=300", 1,
         "zephor-export: cannot write out.json: File too large\n"},
        {Standing::nothing, "--json out.json --molden -o out", "prlimit --fsize=300", 1,
         "zephor-export: cannot write out.molden: File too large\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix + " " + c.args + " over standing kind " + std::to_string(static_cast<int>(c.standing)));
        TempDir dir;
        copy_run(dir, "water");
        make(dir, "out.json", c.standing);
        std::set<std::string> expected = names_in(dir);
        if (c.status == 0) expected.insert({"out.json"});
        if (c.status == 0 && c.args.find("--molden") != std::string::npos) expected.insert("out.molden");
        TempDir log;
        // The sanitizers' runtime must otherwise be the first library loaded.
        const std::string preload = "env ASAN_OPTIONS=verify_asan_link_order=0 ZEPHOR_REFUSALS='" + (log / "refusals").string() +
                                    "' LD_PRELOAD='" + ZEPHOR_WITHOUT_UNNAMED_FILES + "' ";
        const Result r = run(dir.path(), preload + c.prefix + " " + export_binary() + " " + c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(names_in(dir), expected);
        if (c.status != 0 || c.standing == Standing::file) {
            // The fallback was taken, unless the run stopped at its checks.
            EXPECT_EQ(fs::exists(log / "refusals"), c.err.find("exists already") == std::string::npos);
        }
        if (fs::exists(dir / "pointed_to")) {
            EXPECT_EQ(read_file(dir / "pointed_to"), "old\n");
        }
        if (c.status == 0) {
            EXPECT_EQ(type_of(dir, "out.json"), fs::file_type::regular);
            EXPECT_EQ(read_file(dir / "out.json").substr(0, 2), "{\n");
        } else if (c.standing == Standing::file) {
            EXPECT_EQ(read_file(dir / "out.json"), "old\n");
        }
    }
}

}  // namespace
