// Z-matrix conversion: every bond length, angle and dihedral a file states comes back from the
// Cartesian coordinates to 1e-6 (Angstrom, degrees), in the stated orientation; references by
// number and label, variables (negated too), dummy atoms, the Gaussian input layout; and the exact
// report of every Z-matrix that defines no geometry.
#include "import/zmatrix.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "import/errors.hpp"
#include "import/for005_writer.hpp"
#include "test_support.hpp"

using namespace zephor::importer;

namespace {

constexpr double pi = 3.14159265358979323846;

std::string data(const std::string& name) { return zephor_test::read_file(std::string(ZEPHOR_IMPORT_DATA) + "/" + name); }

struct P {
    double x, y, z;
};
P at(const MoleculeIn& m, int i) { return {m.atoms[i - 1].x, m.atoms[i - 1].y, m.atoms[i - 1].z}; }
P sub(P a, P b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(P a, P b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
P cross(P a, P b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double len(P a) { return std::sqrt(dot(a, a)); }

double distance(const MoleculeIn& m, int i, int j) { return len(sub(at(m, i), at(m, j))); }
double angle(const MoleculeIn& m, int i, int j, int k) {
    const P a = sub(at(m, i), at(m, j)), b = sub(at(m, k), at(m, j));
    return std::acos(dot(a, b) / (len(a) * len(b))) * 180.0 / pi;
}
// The usual signed dihedral i-j-k-l (IUPAC).
double dihedral(const MoleculeIn& m, int i, int j, int k, int l) {
    const P b0 = sub(at(m, i), at(m, j)), b2 = sub(at(m, l), at(m, k));
    P b1 = sub(at(m, k), at(m, j));
    const double n = len(b1);
    b1 = {b1.x / n, b1.y / n, b1.z / n};
    const P v = sub(b0, {dot(b0, b1) * b1.x, dot(b0, b1) * b1.y, dot(b0, b1) * b1.z});
    const P w = sub(b2, {dot(b2, b1) * b1.x, dot(b2, b1) * b1.y, dot(b2, b1) * b1.z});
    return std::atan2(dot(cross(b1, v), w), dot(v, w)) * 180.0 / pi;
}
// Equal as angles: 180 and -180 are the same dihedral.
void expect_angle(double expected, double actual) {
    EXPECT_NEAR(std::remainder(actual - expected, 360.0), 0.0, 1e-6) << "expected " << expected << ", got " << actual;
}

std::string error_of(const std::string& file) {
    try {
        read_zmatrix(data(file), file);
    } catch (const ContentError& e) {
        return e.what();
    }
    return "read";
}

}  // namespace

TEST(Zmatrix, WaterWithVariablesInTheStandardOrientation) {
    const MoleculeIn m = read_zmatrix(data("water.zmat"), "water.zmat");
    ASSERT_EQ(m.atoms.size(), 3u);
    EXPECT_EQ(m.atoms[0].symbol, "O");
    EXPECT_EQ(m.atoms[1].symbol, "H");
    // First atom at the origin, second on +z, third in the xz-plane towards +x.
    EXPECT_EQ(at(m, 1).x, 0.0);
    EXPECT_EQ(at(m, 1).z, 0.0);
    EXPECT_EQ(at(m, 2).x, 0.0);
    EXPECT_EQ(at(m, 2).y, 0.0);
    EXPECT_GT(at(m, 2).z, 0.0);
    EXPECT_EQ(at(m, 3).y, 0.0);
    EXPECT_GT(at(m, 3).x, 0.0);
    EXPECT_NEAR(distance(m, 1, 2), 0.9572, 1e-12);
    EXPECT_NEAR(distance(m, 1, 3), 0.9572, 1e-12);
    EXPECT_NEAR(angle(m, 3, 1, 2), 104.52, 1e-9);
}

TEST(Zmatrix, EthaneReproducesEveryStatedLengthAngleAndDihedral) {
    // Labels and numbers as references, a negated variable, dihedrals of both signs.
    const MoleculeIn m = read_zmatrix(data("ethane.zmat"), "ethane.zmat");
    ASSERT_EQ(m.atoms.size(), 8u);
    struct Line {
        int i, a;
        double r;
        int b;
        double theta;
        int c;
        double phi;
    };
    const Line lines[] = {{3, 1, 1.09, 2, 110.0, 0, 0.0},    {4, 1, 1.09, 2, 110.0, 3, 120.0},
                          {5, 1, 1.09, 2, 110.0, 3, -120.0}, {6, 2, 1.09, 1, 110.0, 3, 60.0},
                          {7, 2, 1.09, 1, 110.0, 3, 180.0},  {8, 2, 1.09, 1, 110.0, 3, -60.0}};
    EXPECT_NEAR(distance(m, 1, 2), 1.54, 1e-6);
    for (const Line& l : lines) {
        SCOPED_TRACE("atom " + std::to_string(l.i));
        EXPECT_NEAR(distance(m, l.i, l.a), l.r, 1e-6);
        EXPECT_NEAR(angle(m, l.i, l.a, l.b), l.theta, 1e-6);
        if (l.c > 0) expect_angle(l.phi, dihedral(m, l.i, l.a, l.b, l.c));
    }
}

TEST(Zmatrix, DummyAtomsArePlacedAndLeftOut) {
    // H-C#N made linear through a dummy atom above the carbon.
    const MoleculeIn m = read_zmatrix(data("dummy.zmat"), "dummy.zmat");
    ASSERT_EQ(m.atoms.size(), 3u);
    EXPECT_EQ(m.atoms[0].symbol, "C");
    EXPECT_EQ(m.atoms[1].symbol, "N");
    EXPECT_NEAR(distance(m, 1, 2), 1.16, 1e-12);
    EXPECT_NEAR(distance(m, 1, 3), 1.06, 1e-12);
    EXPECT_NEAR(angle(m, 2, 1, 3), 180.0, 1e-6);
}

TEST(Zmatrix, GaussianInputGivesTitleChargeAndGeometry) {
    const MoleculeIn m = read_gaussian_zmatrix(data("formaldehyde.gzmat"), "formaldehyde.gzmat");
    EXPECT_EQ(m.title, "formaldehyde cation, from a textbook");
    EXPECT_EQ(m.charge, 1);
    ASSERT_EQ(m.atoms.size(), 4u);
    EXPECT_NEAR(distance(m, 1, 2), 1.21, 1e-12);
    EXPECT_NEAR(distance(m, 1, 4), 1.10, 1e-12);
    EXPECT_NEAR(angle(m, 4, 1, 2), 121.8, 1e-9);
    expect_angle(180.0, dihedral(m, 4, 1, 2, 3));
}

TEST(Zmatrix, ZmatricesThatDefineNoGeometryAreReported) {
    EXPECT_EQ(error_of("bad/forward_reference.zmat"),
              "bad/forward_reference.zmat:3: atom 3 refers to atom 3, which is not defined before it");
    EXPECT_EQ(error_of("bad/undefined_variable.zmat"), "bad/undefined_variable.zmat:3: undefined variable 'A1'");
    EXPECT_EQ(error_of("bad/linear.zmat"),
              "bad/linear.zmat:4: atoms 1, 2 and 3 lie on a line, so the dihedral angle of atom 4 is undefined");
    const auto of_text = [](const std::string& text) {
        try {
            read_zmatrix(text, "z");
        } catch (const ContentError& e) {
            return std::string(e.what());
        }
        return std::string("read");
    };
    EXPECT_EQ(of_text("# only a comment\n\n"), "z: the file holds no atom");
    EXPECT_EQ(of_text("O\nH 1\n"), "z:2: atom 2: expected label, reference and bond length, found 2 fields");
    EXPECT_EQ(of_text("O\nH O1 0.96\n"), "z:2: atom 2 refers to 'O1', which is not an atom defined before it");
    EXPECT_EQ(of_text("O\nH 1 0.96\nH 1 0.96 1 104\n"), "z:3: atom 3 names atom 1 twice as a reference");
    EXPECT_EQ(of_text("O\nH 1 -0.96\n"), "z:2: the bond length of atom 2 must be positive");
    EXPECT_EQ(of_text("O\nH 1 0.96\nH 1 0.96 2 190\n"), "z:3: the bond angle of atom 3 must be 0 to 180 degrees");
    EXPECT_EQ(of_text("O\nH 1 r\n\nr 0.96 extra more\n"),
              "z:4: expected a variable as 'name=value' or 'name value', found 'r 0.96 extra more'");
    EXPECT_EQ(of_text("O\nH 1 0.9?\n"), "z:2: '0.9?' is neither a number nor a variable");
}

TEST(Zmatrix, LabelsOutOfRangeValuesAndHighBytesAreReadAsInXyz) {
    const auto of_text = [](const std::string& text) {
        try {
            return read_zmatrix(text, "z").atoms.at(1).symbol;
        } catch (const ContentError& e) {
            return std::string(e.what());
        }
    };
    // The element of a label by the rule the XYZ reader uses: none becomes another element.
    const struct {
        const char* label;
        const char* symbol;
    } labels[] = {{"H1", "H"},   {"Hg1", "Hg"}, {"CL1", "Cl"}, {"BR1", "Br"}, {"FE1", "Fe"}, {"Os", "Os"},
                  {"CO1", "Co"}, {"Co", "Co"},  {"C12", "C"},  {"XE1", "Xe"}, {"NA", "Na"}, {"HA", "H"}};
    for (const auto& l : labels)
        EXPECT_EQ(of_text(std::string("O\n") + l.label + " 1 1.0\n"), l.symbol) << l.label;
    // A dummy stays a dummy; with a byte-order mark first.
    EXPECT_EQ(read_zmatrix("\xef\xbb\xbfO\nX1 1 1.0\nH 1 0.96 2 90\n", "z").atoms.size(), 2u);
    EXPECT_EQ(read_zmatrix("\xef\xbb\xbfO\nX1 1 1.0\nH 1 0.96 2 90\n", "z").atoms[0].symbol, "O");
    EXPECT_EQ(of_text("O\nH 1 1e400\n"), "z:2: the value '1e400' is out of range");
    EXPECT_EQ(of_text("O\nH 1 r\n\nr=-1e400\n"), "z:4: the value '-1e400' is out of range");
    EXPECT_EQ(of_text("O\nH 1 1e308\n"), "z:2: the bond length of atom 2, 1e+308 \u00c5, is longer than 5e+99 \u00c5");
    EXPECT_EQ(of_text("O\nH 1 1\nH 1 1e308 2 90\n"),
              "z:3: the bond length of atom 3, 1e+308 \u00c5, is longer than 5e+99 \u00c5");
    EXPECT_EQ(of_text("C\nH 1 1\nH 1 1 2 90\nH 1 1 2 90 3 1e308\n"),
              "z:4: the dihedral angle of atom 4 must be -360 to 360 degrees, not 1e+308");
    EXPECT_EQ(of_text("C\nH 1 1\nH 1 1 2 90\nH 1 1 2 90 3 -361\n"),
              "z:4: the dihedral angle of atom 4 must be -360 to 360 degrees, not -361");
    EXPECT_EQ(read_zmatrix("C\nH 1 1\nH 1 1 2 90\nH 1 1 2 90 3 -360\n", "z").atoms.size(), 4u);
    EXPECT_EQ(of_text("O\nH 1 \x9b" "2J\n"), "z:2: '\\x9b2J' is neither a number nor a variable");
    EXPECT_EQ(of_text("O\nH \xc3\xa9 1\n"), "z:2: atom 2 refers to '\\xc3\\xa9', which is not an atom defined before it");
}

TEST(Zmatrix, ForeignElementsAndAtomsPlacedOnAnotherAreRefusedWhenWritten) {
    const auto written = [](const std::string& text) {
        try {
            for005_text(read_zmatrix(text, "z"), 0);
        } catch (const ContentError& e) {
            return std::string(e.what());
        }
        return std::string("written");
    };
    EXPECT_EQ(written("O\nHg1 1 2.0\n"), "atom 2: Hg is not one of H, B, C, N, O, F");
    EXPECT_EQ(written("C\nH 1 1.0\nH 1 1.0 2 90\nCL1 1 1.7 2 90 3 120\n"), "atom 4: Cl is not one of H, B, C, N, O, F");
    EXPECT_EQ(written("O\nCO1 1 1.2\n"), "atom 2: Co is not one of H, B, C, N, O, F");
    EXPECT_EQ(written("O\nC1 1 1.2\n"), "written");
    // An equilateral triangle, then a zero dihedral that puts atom 4 on atom 1.
    EXPECT_EQ(written("H\nO 1 1.0\nO 2 1.0 1 60\nH 3 1.0 2 60 1 0\n"),
              "atoms 1 and 4 are 0.000 \u00c5 apart (closer than 0.1 \u00c5)");
}
