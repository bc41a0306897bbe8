// The exported files in the readers people use, run for real: Open Babel (obabel) and Jmol's
// headless JmolData, both from Debian (scripts/setup.sh installs them). Each reader must find the
// checkpoint's atoms, coordinates, orbital count and energies; Jmol must integrate an orbital's
// density to 1 and render the water HOMO to a PNG.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "export/checkpoint_reader.hpp"
#include "export/orbitals.hpp"
#include "export_test_support.hpp"

namespace {

using namespace zephor::exporter;
using namespace zephor_export_test;
namespace fs = std::filesystem;

// The checkpoint's bohr, and the Angstrom that readers print (zephor's own conversion factor).
constexpr double angstrom_per_bohr = 0.529177188873291015625;

// A directory with <molecule>.FOR007 exported to Molden, fchk and the HOMO's cube.
struct Exported {
    TempDir dir;
    Checkpoint c;
    explicit Exported(const std::string& molecule) {
        fs::copy_file(data_dir() / (molecule + ".FOR007"), dir / (molecule + ".FOR007"));
        c = parse_checkpoint(checkpoint_text(molecule), molecule);
        const Result r = run(dir.path(), export_binary() + " " + molecule + ".FOR007 --molden --fchk --cube homo");
        EXPECT_EQ(r.status, 0) << r.err;
    }
};

Result jmol(const fs::path& dir, const std::string& script) {
    write_file(dir / "test.spt", script);
    // A reader that cannot parse a file may loop rather than fail: the timeout turns that into a failure.
    return run(dir, "timeout 120 java -Xmx512m -jar /usr/share/java/JmolData.jar -n -o -x -s test.spt 2>&1");
}

// Lines "ZX key value..." printed by a Jmol script.
std::vector<std::vector<std::string>> marked(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::vector<std::string> words;
        for (std::string w; f >> w;) words.push_back(w);
        if (!words.empty() && words[0] == "ZX") rows.emplace_back(words.begin() + 1, words.end());
    }
    return rows;
}

void expect_no_java_trouble(const Result& r) {
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("Exception"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << r.out;
}

TEST(ThirdPartyReaders, OpenBabelReadsAtomsAndCoordinatesOfAllThreeFormats) {
    ASSERT_EQ(std::system("command -v obabel >/dev/null"), 0) << "obabel missing: run scripts/setup.sh";
    for (const char* molecule : {"water", "benzene"}) {
        Exported e(molecule);
        for (const std::string format : {"molden", "fchk", "cube"}) {
            SCOPED_TRACE(std::string(molecule) + "." + format);
            const std::string file = std::string(molecule) + (format == "cube" ? ".mo" + std::to_string(e.c.occupied_count) + ".cube" : "." + format);
            const Result r = run(e.dir.path(), "obabel -i" + format + " " + file + " -oxyz");
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.err.find("1 molecule converted"), std::string::npos) << r.err;
            std::istringstream in(r.out);
            std::string line;
            std::getline(in, line);
            ASSERT_EQ(std::stoi(line), e.c.atom_count);
            std::getline(in, line);  // title
            for (std::int32_t a = 0; a < e.c.atom_count; ++a) {
                std::string symbol;
                double x[3];
                in >> symbol >> x[0] >> x[1] >> x[2];
                EXPECT_EQ(symbol, std::string(1, element_of(e.c.atomic_number[a])->letter));
                for (int u = 0; u < 3; ++u) EXPECT_NEAR(x[u], e.c.r[3 * a + u] * angstrom_per_bohr, 1e-4);
            }
        }
    }
}

TEST(ThirdPartyReaders, JmolReadsOrbitalsFromMoldenAndFchk) {
    ASSERT_EQ(std::system("test -r /usr/share/java/JmolData.jar"), 0) << "Jmol missing: run scripts/setup.sh";
    Exported e("benzene");
    for (const std::string file : {"benzene.molden", "benzene.fchk"}) {
        SCOPED_TRACE(file);
        const Result r = jmol(e.dir.path(),
                              "load \"" + file + "\"\n"
                              "print \"ZX atoms \" + {*}.count\n"
                              "x = getProperty(\"auxiliaryInfo.models[1].moData\")\n"
                              "print \"ZX mos \" + x.mos.length\n"
                              "for (var i = 1; i <= x.mos.length; i++) { print \"ZX mo \" + x.mos[i].energy + \" \" + x.mos[i].occupancy }\n"
                              "mo HOMO\n");
        expect_no_java_trouble(r);
        const auto rows = marked(r.out);
        ASSERT_EQ(rows.size(), 2u + 30u) << r.out;
        EXPECT_EQ(rows[0][1], "12");
        EXPECT_EQ(rows[1][1], "30");
        for (std::size_t k = 0; k < 30; ++k) {
            const double energy = std::stod(rows[2 + k][1]);  // Jmol keeps single precision
            EXPECT_NEAR(energy, e.c.orbital_energy[k], 1e-6 * std::fabs(e.c.orbital_energy[k]) + 1e-7);
            EXPECT_EQ(std::stod(rows[2 + k][2]), k < 15 ? 2.0 : 0.0);
        }
        // Jmol integrates the orbital's square on its own grid: 1 for an orbital with c^T S c = 1.
        const std::size_t at = r.out.find("Integrated density = ");
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_NEAR(std::stod(r.out.substr(at + 21)), 1.0, 5e-3);
    }
}

TEST(ThirdPartyReaders, JmolRendersTheWaterHomoAndReadsItsCube) {
    ASSERT_EQ(std::system("test -r /usr/share/java/JmolData.jar"), 0) << "Jmol missing: run scripts/setup.sh";
    Exported e("water");
    const Result r = jmol(e.dir.path(),
                          "load \"water.fchk\"\n"
                          "mo HOMO\n"
                          "write image 400 300 PNG \"homo.png\"\n"
                          "load \"water.molden\"\n"
                          "mo 4\n"
                          "write image 400 300 PNG \"homo-molden.png\"\n"
                          "isosurface cutoff 0.05 \"water.mo4.cube\"\n"
                          "write image 400 300 PNG \"homo-cube.png\"\n");
    expect_no_java_trouble(r);
    for (const char* png : {"homo.png", "homo-molden.png", "homo-cube.png"}) {
        SCOPED_TRACE(png);
        ASSERT_TRUE(fs::exists(e.dir / png)) << r.out;
        const std::string bytes = read_file(e.dir / png);
        EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
        EXPECT_GT(bytes.size(), 5000u);  // a drawn orbital, not an empty frame
    }
    // The cube: every point read, and the values' range is the file's own.
    EXPECT_NE(r.out.find("JVXL read: 49 x 61 x 54 data points"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("161406 points read"), std::string::npos) << r.out;
    const std::string cube = read_file(e.dir / "water.mo4.cube");
    double largest = 0.0;
    // The values start after the last atom and the orbital-number line.
    const std::size_t last_atom = cube.find("    1    1.000000    0.000000   -1.430523");
    std::istringstream values(cube.substr(cube.find('\n', cube.find('\n', last_atom) + 1) + 1));
    for (double v; values >> v;) largest = std::max(largest, v);
    const std::size_t at = r.out.find("data min/max/mean = ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string range = r.out.substr(at + 20);
    EXPECT_NEAR(std::stod(range.substr(range.find('/') + 1)), largest, 1e-6);
}

}  // namespace
