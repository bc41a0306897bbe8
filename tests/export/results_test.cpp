// What chemists look at and pipe on: the level diagram and DOS (SVG parsed by xmllint with one
// level line per orbital in the window, PNG of the page's size and not blank, PDF), the JSON
// accepted by QCElemental as an AtomicResult with FOR006's numbers to the printed digits, the
// orbital list, the strict report reader, and the title carried into every export.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "common/constants.hpp"
#include "common/text_forms.hpp"
#include "bench/molecules.hpp"
#include "export/checkpoint_reader.hpp"
#include "export/orbitals.hpp"
#include "export/population_analysis.hpp"
#include "export/results_json.hpp"
#include "export/errors.hpp"
#include "export/level_diagram.hpp"
#include "export/report_reader.hpp"
#include "export_test_support.hpp"
#include "output/fields.hpp"

namespace {

using namespace zephor_export_test;
using namespace zephor::exporter;
namespace fs = std::filesystem;

const fs::path golden = fs::path(ZEPHOR_EXPORT_DATA) / ".." / "golden";

// A folder holding a golden run's FOR005, FOR006 and FOR007.
void copy_run(const fs::path& dir, const std::string& molecule) {
    for (const char* f : {"FOR005", "FOR006", "FOR007"}) fs::copy_file(golden / molecule / f, dir / f);
}
void copy_run(const TempDir& dir, const std::string& molecule) { copy_run(dir.path(), molecule); }

std::uint32_t png_u32(const std::string& png, std::size_t at) {
    return (std::uint32_t(std::uint8_t(png[at])) << 24) | (std::uint32_t(std::uint8_t(png[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(png[at + 2])) << 8) | std::uint32_t(std::uint8_t(png[at + 3]));
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The level lines of a level diagram's SVG (stroke width level_line_width), each "M x0 y L x1 y".
struct SvgLine {
    double x0, x1, y;
};
std::vector<SvgLine> level_lines(const std::string& svg) {
    std::vector<SvgLine> lines;
    for (std::size_t at = svg.find("<path"); at != std::string::npos; at = svg.find("<path", at + 1)) {
        const std::string tag = svg.substr(at, svg.find('>', at) - at);
        if (tag.find("stroke-width:2.5;") == std::string::npos) continue;
        const std::size_t d = tag.find(" d=\"");
        if (d == std::string::npos) continue;
        std::istringstream in(tag.substr(d + 4));
        char m = 0, l = 0;
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        in >> m >> x0 >> y0 >> l >> x1 >> y1;
        EXPECT_TRUE(in && m == 'M' && l == 'L' && y0 == y1) << tag;
        lines.push_back({std::min(x0, x1), std::max(x0, x1), y0});
    }
    return lines;
}

}  // namespace

TEST(Results, LevelDiagramHasOneLineperOrbitalInTheWindowInEveryFormat) {
    TempDir dir;
    copy_run(dir, "benzene");
    Result r = run(dir.path(), export_binary() + " --levels levels.svg --dos dos.svg");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote levels.svg\nwrote dos.svg\n");
    for (const char* svg : {"levels.svg", "dos.svg"})
        EXPECT_EQ(run(dir.path(), std::string("xmllint --noout ") + svg).status, 0) << svg;
    // Benzene's window, HOMO - 15 eV to LUMO + 10 eV, holds orbitals 2 to 18.
    EXPECT_EQ(count(read_file(dir / "levels.svg"), "stroke-width:2.5"), 17u);
    r = run(dir.path(), export_binary() + " --levels all.svg --window -40,15");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(read_file(dir / "all.svg"), "stroke-width:2.5"), 25u);  // orbitals up to 10.8 eV
    r = run(dir.path(), export_binary() + " --levels levels.png --dos dos.pdf");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string png = read_file(dir / "levels.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(png_u32(png, 16), 600u);  // IHDR width and height
    EXPECT_EQ(png_u32(png, 20), 800u);
    EXPECT_EQ(read_file(dir / "dos.pdf").substr(0, 5), "%PDF-");
    // Not blank: a white page compresses to far less.
    EXPECT_GT(png.size(), 5000u);
    r = run(dir.path(), export_binary() + " --levels levels.jpg");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zephor-export: levels.jpg: the picture's name must end in .svg, .png or .pdf\n");
    r = run(dir.path(), export_binary() + " --levels w.svg --window 5,1");
    EXPECT_EQ(r.err, "zephor-export: --window 5,1: give EMIN,EMAX in eV, EMIN below EMAX\n");
}

TEST(Results, DegenerateLevelsAreGroupedAndTheDefaultWindowFramesTheFrontier) {
    const auto groups = degenerate_groups({-3.0, -2.00005, -2.0, -1.0, -0.9998, 0.5});
    ASSERT_EQ(groups.size(), 5u);
    EXPECT_EQ(groups[1], (std::pair<int, int>{1, 3}));
    EXPECT_EQ(groups[2], (std::pair<int, int>{3, 4}));  // 2e-4 apart: two levels
    EXPECT_EQ(degenerate_groups({-1.0, -0.9998}, 3e-4).size(), 1u);
    LevelData d{"", "H2", {-15.0, 5.0}, 1};
    const EnergyWindow w = default_window(d);
    EXPECT_EQ(w.min_ev, -30.0);
    EXPECT_EQ(w.max_ev, 15.0);
}

TEST(Results, OnlyDegenerateLevelsAreDrawnSideBySide) {
    // -10.05 and -10.0 are distinct (0.05 eV, under two points of the page apart); -8.0 and
    // -7.99999 are one degenerate pair.
    const LevelData d{"", "X", {-12.0, -10.05, -10.0, -8.0, -7.99999, 2.0}, 3};
    std::vector<SvgLine> lines = level_lines(levels_picture(d, default_window(d), PictureFormat::svg));
    ASSERT_EQ(lines.size(), 6u);
    std::sort(lines.begin(), lines.end(), [](const SvgLine& a, const SvgLine& b) { return a.y > b.y; });  // by energy
    const auto side_by_side = [](const SvgLine& a, const SvgLine& b) { return std::abs(a.y - b.y) < 1e-6 && (a.x1 < b.x0 || b.x1 < a.x0); };
    EXPECT_TRUE(side_by_side(lines[3], lines[4])) << lines[3].y << " " << lines[4].y;
    // The near pair at two heights told apart by more than a line's width, never side by side.
    EXPECT_FALSE(side_by_side(lines[1], lines[2]));
    EXPECT_GT(lines[1].y - lines[2].y, 2 * level_line_width);
    EXPECT_LT(lines[1].y - lines[2].y, 10.0);  // moved the least
    // Every distinct level at its own height.
    for (std::size_t k : {0u, 1u, 2u, 4u}) EXPECT_GT(lines[k].y - lines[k + 1].y, 2 * level_line_width) << k;
}

TEST(Results, DensityOfStatesHasNumberedStatesPerEvAxisAndStaysInItsPlot) {
    const LevelData d{"", "X", {-12.0, -10.0, -10.0, -10.0, -8.0, 2.0}, 3};
    const std::string svg = dos_picture(d, {-10.0, 5.0}, 0.2, PictureFormat::svg);  // a peak at the edge
    // Tick labels left of the axis (x = 80) above the zero at the energy axis (y = 440): glyphs at
    // two heights or more (ticks 5 and 10 states per eV here).
    std::set<double> heights;
    for (std::size_t at = svg.find("<use"); at != std::string::npos; at = svg.find("<use", at + 1)) {
        const std::string tag = svg.substr(at, svg.find('>', at) - at);
        const std::size_t x = tag.find(" x=\""), y = tag.find(" y=\"");
        if (x == std::string::npos || y == std::string::npos) continue;
        const double gx = std::stod(tag.substr(x + 4)), gy = std::stod(tag.substr(y + 4));
        if (gx > 40 && gx < 80 && gy < 440) heights.insert(gy);
    }
    EXPECT_GE(heights.size(), 2u);
    EXPECT_NE(svg.find("<clipPath"), std::string::npos);  // the curve clipped to the plot
}

TEST(Results, JsonIsAnAtomicResultForQcelementalWithTheReportsNumbers) {
    if (run(fs::temp_directory_path(), "/usr/bin/python3 -c 'import qcelemental'").status != 0)
        GTEST_SKIP() << "QCElemental (python3-qcelemental) is not installed";
    for (const char* molecule : {"water", "benzene", "methyl", "ch_anion"}) {
        SCOPED_TRACE(molecule);
        TempDir dir;
        copy_run(dir, molecule);
        Result r = run(dir.path(), export_binary() + " --json results.json");
        ASSERT_EQ(r.status, 0) << r.err;
        // QCElemental validates the file and prints what the checks below compare with FOR006.
        const std::string script =
            "import qcelemental as q, sys\n"
            "r = q.models.AtomicResult.parse_file('results.json')\n"
            "x = r.extras\n"
            "print('%.4f' % x['total_energy_ev'])\n"
            "print(' '.join('%.4f' % v for v in x['orbital_energies_ev'][:r.properties.calcinfo_nalpha]))\n"
            "print(' '.join('%.4f' % v for v in x['report_charges']))\n"
            "print(' '.join('%.4f' % b['order'] for b in x['report_bond_orders']))\n"
            "print(r.schema_name, r.driver.value, r.model.method, r.model.basis, r.provenance.creator, r.success)\n"
            "print('%.4f' % (r.return_result / 0.036749310791492462158203125))\n"
            "print(r.provenance.linear_algebra['config'].split()[0])\n";
        write_file(dir / "check.py", script);
        r = run(dir.path(), "/usr/bin/python3 check.py");
        ASSERT_EQ(r.status, 0) << r.err;
        // The same numbers from the report, as printed there.
        const Report report = read_report((dir / "FOR006").string());
        std::ostringstream expected;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.4f", report.total_energy_ev);
        expected << buf << "\n";
        auto list = [&](const std::vector<double>& v) {
            for (std::size_t i = 0; i < v.size(); ++i) {
                std::snprintf(buf, sizeof buf, "%.4f", v[i]);
                expected << (i ? " " : "") << buf;
            }
            expected << "\n";
        };
        list(report.occupied_ev);
        list(report.charge);
        std::vector<double> orders;
        for (const BondOrder& b : report.bond_orders) orders.push_back(b.order);
        list(orders);
        expected << "qcschema_output energy extended-huckel STO-6G zephor True\n";
        std::snprintf(buf, sizeof buf, "%.4f", report.total_energy_ev);
        expected << buf << "\n";
        expected << "OpenBLAS\n";  // the library zephor loads, as it names itself
        EXPECT_EQ(r.out, expected.str());
    }
}

TEST(Results, JsonIsLaidOutAsTheJsonLibraryWritesTheWholeDocument) {
    // Written member by member, the text must be what the library's dump(2) of the parsed document
    // gives: its key order, indentation, empty brackets, shortest numbers and escapes, with a title
    // of quotes, control bytes and bytes that are not UTF-8.
    const zephor::LapackLibrary lapack{"/lib/x\"y.so", "OpenBLAS 0.3.21 NO_AFFINITY\tPrescott", "0.3.21"};
    for (const auto& entry : fs::directory_iterator(golden)) {
        SCOPED_TRACE(entry.path().filename().string());
        const Checkpoint c = parse_checkpoint(read_file(entry.path() / "FOR007"), "FOR007");
        const Orbitals o = export_orbitals(c);
        const Analysis a = population_analysis(c, o);
        const Report r = parse_report(read_file(entry.path() / "FOR006"), "FOR006");
        for (const std::string& title : {std::string(), std::string("q\"\\\x01\x7f\xff\xc3\xa9\n")}) {
            const std::string text = results_json(c, o, r, a, title, "1.0", lapack);
            EXPECT_EQ(nlohmann::json::parse(text).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n", text);
        }
    }
}

TEST(Results, ReportReaderIsStrictAndTheJsonNeedsTheSameRun) {
    const std::string water = read_file(golden / "water" / "FOR006");
    const Report r = parse_report(water, "FOR006");
    EXPECT_EQ(r.symbol, (std::vector<std::string>{"O", "H", "H"}));
    EXPECT_EQ(r.charge[0], -1.3254);
    EXPECT_EQ(r.bond_orders.size(), 3u);
    EXPECT_EQ(r.bond_orders[2].a, 2);
    EXPECT_EQ(r.total_energy_ev, -167.1133);
    auto error_of = [](const std::string& text) {
        try {
            parse_report(text, "FOR006");
        } catch (const MalformedCheckpoint& e) {
            return std::string(e.what());
        }
        return std::string("read");
    };
    std::string cut = water.substr(0, water.find("   H(2)-H(3)"));
    EXPECT_EQ(error_of(cut), "FOR006:28: the file ends where the bond order of atoms 2 and 3 should be");
    std::string shifted = water;
    shifted.replace(shifted.find("Estate2:-17.9050eV"), 18, "Estate2: -17.905eV");
    EXPECT_EQ(error_of(shifted), "FOR006:13: Estate2:: ' -17.905' is not an F8.4 field");
    EXPECT_EQ(error_of("Thank you"), "FOR006:1: expected 'Thank you for using ZEPHOR', found 'Thank you'");
}

// zephor-export's own failures share one base, which main() catches last of its own.
static_assert(std::is_base_of_v<ExportError, MalformedCheckpoint> && std::is_base_of_v<ExportError, FileError> &&
              std::is_base_of_v<ExportError, RequestError> && std::is_base_of_v<ExportError, ReportMismatch>);

// Every golden report belongs to its checkpoint; one of another run, of the same atom count or of
// the same molecule slightly moved, is refused naming both files, exit status 2, nothing written.
TEST(Results, AReportMustBelongToItsCheckpoint) {
    for (const auto& entry : fs::directory_iterator(golden)) {
        SCOPED_TRACE(entry.path().filename().string());
        const Checkpoint c = parse_checkpoint(read_file(entry.path() / "FOR007"), "FOR007");
        EXPECT_NO_THROW(check_report_of(parse_report(read_file(entry.path() / "FOR006"), "FOR006"), "FOR006", c, "FOR007"));
    }
    TempDir dir;
    // Water with one hydrogen 0.01 Angstrom further out, run by zephor here.
    fs::create_directory(dir / "moved");
    write_file(dir / "moved" / "FOR005", "water\n0\nO 0.0 0.0 0.0\nH 0.0 0.767 0.587\nH 0.0 -0.757 0.587\n");
    ASSERT_EQ(run(dir / "moved", ZEPHOR_BINARY).status, 0);
    for (const char* molecule : {"water", "ammonia", "methyl", "hydroxide", "ch_anion", "h2", "h2_plus3", "formamide"}) {
        fs::create_directory(dir / molecule);
        copy_run(dir / molecule, molecule);
    }
    const struct {
        const char* checkpoint;
        const char* report;
        const char* difference;
    } mixed[] = {
        {"water", "ammonia", "4 atoms in the report, 3 in the checkpoint"},
        {"methyl", "ammonia", "atom 1: N in the report, C in the checkpoint"},
        {"hydroxide", "ch_anion", "atom 1: C in the report, O in the checkpoint"},
        {"h2", "h2_plus3", "0 occupied orbitals in the report, 1 in the checkpoint"},
        {"water", "moved", "orbital 1: -33.3558 eV in the report, -33.3628 eV in the checkpoint"},
        {"moved", "water", "orbital 1: -33.3628 eV in the report, -33.3558 eV in the checkpoint"},
    };
    for (const auto& m : mixed) {
        const std::string command = export_binary() + " " + m.checkpoint + "/FOR007 --json x.json --report " +
                                    m.report + "/FOR006";
        SCOPED_TRACE(command);
        const Result r = run(dir.path(), command);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "zephor-export: " + std::string(m.report) + "/FOR006 is not the report of " + m.checkpoint +
                             "/FOR007 (" + m.difference + ")\n");
        EXPECT_FALSE(fs::exists(dir / "x.json"));
    }
    // The results page takes the report too; the one beside the checkpoint by default.
    fs::copy_file(dir / "moved" / "FOR006", dir / "water" / "FOR006", fs::copy_options::overwrite_existing);
    const Result r = run(dir / "water", export_binary() + " --html page.html");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find('(')), "zephor-export: FOR006 is not the report of FOR007 ");
    EXPECT_FALSE(fs::exists(dir / "water" / "page.html"));
    EXPECT_EQ(run(dir.path(), export_binary() + " moved/FOR007 --json x.json").status, 0);
}

// The export fuzzer's seeds and every input it failed on (regression_*), in the ordinary suite:
// a checkpoint, a line "==== FOR006", a report. pair_* are matching runs, mixed_* are not; each
// must end in its result or a typed error.
TEST(Results, ExportFuzzerSeedsAndRegressions) {
    const fs::path seeds = fs::path(ZEPHOR_EXPORT_DATA) / ".." / ".." / ".." / "fuzz" / "corpus" / "export";
    std::size_t replayed = 0;
    for (const auto& entry : fs::directory_iterator(seeds)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const std::string bytes = read_file(entry.path());
        const std::size_t cut = bytes.find("\n==== FOR006\n");
        const std::string checkpoint = bytes.substr(0, cut == std::string::npos ? cut : cut + 1);
        const std::string report = cut == std::string::npos ? "" : bytes.substr(cut + 13);
        std::string outcome;
        try {
            check_report_of(parse_report(report, "FOR006"), "FOR006", parse_checkpoint(checkpoint, "FOR007"), "FOR007");
            outcome = "pair";
        } catch (const ReportMismatch&) {
            outcome = "mixed";
        } catch (const MalformedCheckpoint&) {
            outcome = "malformed";
        }
        if (name.rfind("regression_", 0) != 0) {
            EXPECT_EQ(outcome, name.substr(0, name.find('_')));
        }
        ++replayed;
    }
    EXPECT_GE(replayed, 6u);
}

// The checkpoint shows hartree = eV * hartree_per_ev to nine digits, the report eV to four: the
// report of the same run is accepted whichever side of a rounding boundary the eV value lies,
// where converting the checkpoint's hartree back and rounding would refuse some.
TEST(Results, OrbitalEnergiesAreComparedExactlyAcrossBothRoundings) {
    Checkpoint c;
    c.atom_count = 1;
    c.atomic_number = {1};
    c.occupied_count = 1;
    Report r;
    r.symbol = {"H"};
    auto printed = [](double x, bool f4) {
        std::string t;
        f4 ? zephor::put_f4(t, x, 8) : zephor::put_es16(t, x);
        return *zephor::parse_real_text(t.substr(t.find_first_not_of(' ')));
    };
    int naive_refusals = 0, cases = 0;
    for (std::int64_t units = -999999; units <= 9999999; units += 7919) {
        const double boundary = (static_cast<double>(units) + 0.5) / 10000.0;  // between two F8.4 values
        double e = boundary;
        for (int step = 0; step < 12; ++step) e = std::nextafter(e, -HUGE_VAL);
        for (int step = 0; step < 24; ++step, e = std::nextafter(e, HUGE_VAL)) {
            c.orbital_energy = {printed(e * zephor::hartree_per_ev, false)};
            r.occupied_ev = {printed(e, true)};
            ++cases;
            if (printed(c.orbital_energy[0] / zephor::hartree_per_ev, true) != r.occupied_ev[0]) ++naive_refusals;
            ASSERT_NO_THROW(check_report_of(r, "FOR006", c, "FOR007")) << e;
            // Two units of the last printed digit off is another run (one unit can be the other
            // rounding of a value this close to the boundary).
            r.occupied_ev = {printed(e, true) + 0.0002};
            ASSERT_THROW(check_report_of(r, "FOR006", c, "FOR007"), ReportMismatch) << e;
        }
    }
    EXPECT_GT(naive_refusals, cases / 10);
    // A value too wide for F8.4 shows as asterisks in the report.
    c.orbital_energy = {printed(-123.45 * zephor::hartree_per_ev, false)};
    r.occupied_ev = {std::nan("")};
    EXPECT_NO_THROW(check_report_of(r, "FOR006", c, "FOR007"));
    c.orbital_energy = {printed(-23.45 * zephor::hartree_per_ev, false)};
    EXPECT_THROW(check_report_of(r, "FOR006", c, "FOR007"), ReportMismatch);
}

TEST(Results, ListMarksHomoAndLumoAndTheTitleReachesEveryExport) {
    TempDir dir;
    copy_run(dir, "water");
    Result r = run(dir.path(), export_binary() + " --list");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "orbital   energy (eV)   energy (hartree)   occupation");
    EXPECT_NE(r.out.find("      4      -15.8500       -0.582476590            2   HOMO\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("            2   HOMO\n"), std::string::npos);
    EXPECT_NE(r.out.find("            0   LUMO\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "FOR007.molden"));  // --list alone writes nothing
    r = run(dir.path(), export_binary() + " --cube homo --molden --fchk");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_file(dir / "FOR007.molden").find("[Title]\nwater\n"), std::string::npos);
    EXPECT_EQ(read_file(dir / "FOR007.fchk").substr(0, 6), "water\n");
    const std::string cube = read_file(dir / "FOR007.mo4.cube");
    EXPECT_EQ(cube.substr(0, cube.find('\n')), "water: ZEPHOR orbital 4 of 6 (HOMO)");
    // Gaussian's orbital cube: a negative atom count, then after the atoms "1 orbital, number 4".
    std::istringstream lines(cube);
    std::string line;
    for (int i = 0; i < 3; ++i) std::getline(lines, line);
    EXPECT_EQ(line.substr(0, 5), "   -3");
    for (int i = 0; i < 7; ++i) std::getline(lines, line);
    EXPECT_EQ(line, "    1    4");
    r = run(dir.path(), export_binary() + " --title \"It's water\" --molden -o titled");
    EXPECT_NE(read_file(dir / "titled.molden").find("[Title]\nIt's water\n"), std::string::npos);
    // A title that is not UTF-8 cannot go into the JSON; whatever refuses it, the program ends with
    // a message and status 1, never an abort.
    r = run(dir.path(), export_binary() + " --json t.json --title \"$(printf '\\377')\"");
    if (r.status != 0) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("zephor-export: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "t.json"));
    }
}

TEST(Results, AseReadsThePlainCubeAsTheSameUnitOrbital) {
    if (run(fs::temp_directory_path(), "/usr/bin/python3 -c 'import ase'").status != 0)
        GTEST_SKIP() << "ASE (python3-ase) is not installed";
    TempDir dir;
    copy_run(dir, "water");
    Result r = run(dir.path(), export_binary() + " --cube homo --plain-cube");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string cube = read_file(dir / "FOR007.mo4.cube");
    std::istringstream lines(cube);
    std::string line;
    for (int i = 0; i < 3; ++i) std::getline(lines, line);
    EXPECT_EQ(line.substr(0, 5), "    3");
    write_file(dir / "check.py",
               "from ase.io.cube import read_cube_data\n"
               "data, atoms = read_cube_data('FOR007.mo4.cube')\n"
               "print(atoms.get_chemical_formula(), data.shape, round(float((data**2).sum()) * 0.25**3, 3))\n");
    r = run(dir.path(), "/usr/bin/python3 check.py");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "H2O (49, 61, 54) 1.0\n");  // the integral of psi squared, to three decimals
}

TEST(Results, PageOrbitalsAndASelfContainedPage) {
    TempDir dir;
    copy_run(dir, "water");
    Result r = run(dir.path(), export_binary() + " --html page.html --orbitals 1,homo,lumo,1 --title \"</script><b>\"");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string page = read_file(dir / "page.html");
    // The title cannot end a script or inject markup; the orbitals listed are those asked for,
    // once each, and no grid is written into the page.
    EXPECT_EQ(count(page, "</script>"), 3u);  // the library's, the data's and the page's own
    EXPECT_NE(page.find("<title>&lt;/script&gt;&lt;b&gt; — ZEPHOR results</title>"), std::string::npos);
    EXPECT_NE(page.find("\"listed\":[1,4,5]"), std::string::npos);
    EXPECT_EQ(page.find("\"cubes\""), std::string::npos);
    EXPECT_EQ(page.find(" src="), std::string::npos);
    r = run(dir.path(), export_binary() + " --html other.html --orbitals 7");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zephor-export: --orbitals 7: '7' is not an orbital from 1 to 6, homo or lumo\n");
    EXPECT_FALSE(fs::exists(dir / "other.html"));
}

namespace {

std::string from_base64(const std::string& text) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned v = 0;
    int bits = 0;
    for (const char ch : text) {
        if (ch == '=') break;
        v = (v << 6) | static_cast<unsigned>(alphabet.find(ch));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 0xff);
        }
    }
    return out;
}

}  // namespace

// The page carries every orbital's coefficients in about 1 MB at most: a small molecule's as the
// doubles themselves, larger ones' in the widest fixed point that fits, each coefficient within
// half a step of it (the step 2^-(bits-1) of the orbital's largest coefficient). Read back here
// from the page's own data against the exported orbitals; pages up to 200 atoms stay under
// 1.5 MB besides the library.
TEST(Results, PageCoefficientsAsExactAsTheirSizeAllows) {
    struct Case {
        std::string name;
        std::string for005;
        std::string encoding;
    };
    const Case cases[] = {
        {"benzene", "", "float64le"},
        {"C66H134, 398 functions", zephor_bench::for005(zephor_bench::alkane(66)), "fixed32le"},
        {"192 atoms, 552 functions", zephor_bench::for005(zephor_bench::no_chain(24)), "fixed24le"},
        {"C150H30, 630 functions", zephor_bench::for005(zephor_bench::flake(5)), "fixed16le"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.for005.empty()) copy_run(dir, c.name);
        else {
            write_file(dir.path() / "FOR005", c.for005);
            ASSERT_EQ(run(dir.path(), std::string("'") + ZEPHOR_BINARY + "'").status, 0);
        }
        const Result r = run(dir.path(), export_binary() + " --html page.html");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string page = read_file(dir.path() / "page.html");
        const std::size_t library = page.find("</script>") - page.find("<script>");
        EXPECT_LT(page.size() - library, 1'500'000u);
        const std::string open = "<script type=\"application/json\" id=\"zephor-data\">";
        const std::size_t from = page.find(open) + open.size();
        const nlohmann::json d = nlohmann::json::parse(page.substr(from, page.find("</script>", from) - from));
        const nlohmann::json& o = d["orbitals"];
        EXPECT_EQ(o["encoding"], c.encoding);

        const Orbitals exported = export_orbitals(read_checkpoint((dir.path() / "FOR007").string()));
        const std::size_t n = o["count"];
        ASSERT_EQ(n * n, exported.coef.size());
        const std::string bytes = from_base64(o["data"]);
        std::size_t off = 0;
        if (c.encoding == "float64le") {
            ASSERT_EQ(bytes.size(), 8 * n * n);
            for (std::size_t i = 0; i < n * n; ++i) {
                std::uint64_t bits = 0;
                for (int b = 7; b >= 0; --b) bits = bits << 8 | static_cast<std::uint8_t>(bytes[8 * i + b]);
                off += std::bit_cast<double>(bits) != exported.coef[i];
            }
        } else {
            const int width = std::stoi(c.encoding.substr(5)) / 8;
            ASSERT_EQ(bytes.size(), static_cast<std::size_t>(width) * n * n);
            const double full = std::ldexp(1.0, 8 * width - 1) - 1.0;
            for (std::size_t i = 0; i < n * n; ++i) {
                std::int64_t q = 0;
                for (int b = width - 1; b >= 0; --b) q = q * 256 + static_cast<std::uint8_t>(bytes[width * i + b]);
                if (q > full) q -= static_cast<std::int64_t>(2 * (full + 1));
                const double scale = o["scale"][i / n];
                off += !(std::fabs(static_cast<double>(q) / full * scale - exported.coef[i]) <= 0.5000001 / full * scale);
            }
        }
        EXPECT_EQ(off, 0u);
    }
}
