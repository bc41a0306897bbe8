// The exported files read back as a viewer would, and checked against the program's physics: the
// basis rebuilt from each file's own [GTO] / shell sections with zephor's assembly gives
// c^T S c = I and H c = e S c for the written orbitals and energies (H with zephor's rules).
// Tolerance 1e-7 (hartree for the residual): the checkpoint holds nine significant digits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "export/checkpoint_reader.hpp"
#include "export/cube_writer.hpp"
#include "export/errors.hpp"
#include "export/fchk_writer.hpp"
#include "export/molden_writer.hpp"
#include "export/orbital_value.hpp"
#include "export/orbitals.hpp"
#include "export_test_support.hpp"
#include "test_support.hpp"
#include "common/constants.hpp"
#include "output/checkpoint.hpp"

namespace {

using namespace zephor::exporter;
using namespace zephor_export_test;

// What a reader takes from an exported file.
struct ReadBack {
    std::vector<std::int32_t> atomic_number;
    std::vector<double> r;  // bohr
    std::vector<std::int32_t> shell_type, shell_atom;
    std::vector<double> exponents, coefficients;
    std::vector<double> energy;     // hartree
    std::vector<double> occupation;
    std::vector<double> coef;       // n x n
    std::size_t n = 0;
};

ReadBack read_molden(const std::string& text) {
    ReadBack b;
    std::istringstream in(text);
    std::string line, section;
    std::getline(in, line);
    EXPECT_EQ(line, "[Molden Format]");
    std::int32_t atom = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') {
            section = line;
            continue;
        }
        std::istringstream f(line);
        if (section == "[Atoms] AU") {
            std::string symbol;
            int index = 0, z = 0;
            double x, y, zc;
            f >> symbol >> index >> z >> x >> y >> zc;
            b.atomic_number.push_back(z);
            b.r.insert(b.r.end(), {x, y, zc});
        } else if (section == "[GTO]") {
            std::string first;
            if (!(f >> first)) {
                atom = 0;  // the blank line that closes an atom block
                continue;
            }
            if (atom == 0) {
                atom = std::stoi(first);
                continue;
            }
            int primitives = 0;
            f >> primitives;
            EXPECT_EQ(primitives, 6);
            b.shell_type.push_back(first == "s" ? 0 : 1);
            b.shell_atom.push_back(atom);
            for (int k = 0; k < primitives; ++k) {
                std::getline(in, line);
                std::istringstream p(line);
                double e, c;
                p >> e >> c;
                b.exponents.push_back(e);
                b.coefficients.push_back(c);
            }
        } else if (section == "[MO]") {
            std::string key;
            f >> key;
            if (key == "Ene=") {
                double e;
                f >> e;
                b.energy.push_back(e);
            } else if (key == "Occup=") {
                double o;
                f >> o;
                b.occupation.push_back(o);
            } else if (key != "Sym=" && key != "Spin=") {
                double c;
                f >> c;
                b.coef.push_back(c);
            }
        }
    }
    b.n = b.energy.size();
    return b;
}

// Sections of a formatted checkpoint by label: scalars and arrays alike as lists of numbers.
std::map<std::string, std::vector<double>> fchk_sections(const std::string& text) {
    std::map<std::string, std::vector<double>> s;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    while (std::getline(in, line)) {
        EXPECT_GE(line.size(), 50u) << line;
        std::string label = line.substr(0, 40);
        label.erase(label.find_last_not_of(' ') + 1);
        std::vector<double>& v = s[label];
        if (line.substr(47, 2) != "N=") {
            v.push_back(std::stod(line.substr(49)));
            continue;
        }
        const std::size_t count = std::stoul(line.substr(49));
        while (v.size() < count && std::getline(in, line)) {
            std::istringstream f(line);
            double x;
            while (f >> x) v.push_back(x);
        }
    }
    return s;
}

ReadBack read_fchk(const std::string& text) {
    auto s = fchk_sections(text);
    ReadBack b;
    auto ints = [](const std::vector<double>& v) { return std::vector<std::int32_t>(v.begin(), v.end()); };
    b.atomic_number = ints(s["Atomic numbers"]);
    b.r = s["Current cartesian coordinates"];
    b.shell_type = ints(s["Shell types"]);
    b.shell_atom = ints(s["Shell to atom map"]);
    b.exponents = s["Primitive exponents"];
    b.coefficients = s["Contraction coefficients"];
    b.energy = s["Alpha Orbital Energies"];
    b.coef = s["Alpha MO coefficients"];
    b.n = b.energy.size();
    const double alpha = s["Number of alpha electrons"].at(0);
    for (std::size_t k = 0; k < b.n; ++k) b.occupation.push_back(k < alpha ? 2.0 : 0.0);
    return b;
}

// c^T S c = I and H c = e S c, H converted to hartree with zephor's factor.
void expect_orbitals_solve_the_program_s_problem(const ReadBack& b) {
    const Basis basis = build_basis(b.atomic_number, b.r, b.shell_type, b.shell_atom, b.exponents, b.coefficients);
    const std::size_t n = b.n;
    ASSERT_EQ(static_cast<std::size_t>(basis.basis_count), n);
    ASSERT_EQ(b.coef.size(), n * n);
    double worst_overlap = 0.0, worst_residual = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double* ck = &b.coef[k * n];
        std::vector<double> sc(n, 0.0), hc(n, 0.0);
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t i = 0; i < n; ++i) {
                sc[i] += basis.s[j * n + i] * ck[j];
                hc[i] += basis.ham[j * n + i] * zephor::hartree_per_ev * ck[j];
            }
        for (std::size_t l = 0; l < n; ++l) {
            double q = 0.0;
            for (std::size_t i = 0; i < n; ++i) q += b.coef[l * n + i] * sc[i];
            worst_overlap = std::max(worst_overlap, std::fabs(q - (k == l ? 1.0 : 0.0)));
        }
        for (std::size_t i = 0; i < n; ++i)
            worst_residual = std::max(worst_residual, std::fabs(hc[i] - b.energy[k] * sc[i]));
    }
    EXPECT_LE(worst_overlap, 1e-7);
    EXPECT_LE(worst_residual, 1e-7);
}

const char* const molecules[] = {"water", "ammonia", "bf3", "benzene"};

TEST(ExportedOrbitals, MoldenOrbitalsAreOrthonormalEigenvectors) {
    for (const char* m : molecules) {
        SCOPED_TRACE(m);
        const Checkpoint c = parse_checkpoint(checkpoint_text(m), m);
        const ReadBack b = read_molden(molden_text(c, export_orbitals(c)));
        EXPECT_EQ(b.atomic_number, c.atomic_number);
        EXPECT_EQ(b.r, c.r);
        EXPECT_EQ(b.energy, c.orbital_energy);
        ASSERT_EQ(b.occupation.size(), b.n);
        for (std::size_t k = 0; k < b.n; ++k)
            EXPECT_EQ(b.occupation[k], k < static_cast<std::size_t>(c.occupied_count) ? 2.0 : 0.0);
        expect_orbitals_solve_the_program_s_problem(b);
    }
}

TEST(ExportedOrbitals, FchkOrbitalsAreOrthonormalEigenvectors) {
    for (const char* m : molecules) {
        SCOPED_TRACE(m);
        const Checkpoint c = parse_checkpoint(checkpoint_text(m), m);
        const ReadBack b = read_fchk(fchk_text(c, export_orbitals(c)));
        EXPECT_EQ(b.atomic_number, c.atomic_number);
        EXPECT_EQ(b.r, c.r);
        EXPECT_EQ(b.energy, c.orbital_energy);
        expect_orbitals_solve_the_program_s_problem(b);
    }
}

// The checkpoint's own unit-length orbitals are not normalised against S: the export must scale.
TEST(ExportedOrbitals, CheckpointOrbitalsNeededRenormalising) {
    const Checkpoint c = parse_checkpoint(checkpoint_text("water"), "water");
    const Orbitals o = export_orbitals(c);
    const std::size_t n = 6;
    double largest_change = 0.0;
    for (std::size_t k = 0; k < n; ++k)
        largest_change = std::max(largest_change, std::fabs(o.coef[k * n] / c.mo_coef[k * n] - 1.0));
    EXPECT_GT(largest_change, 1e-2);
    // Total energy: twice the sum of the four occupied energies, hartree.
    EXPECT_NEAR(o.total_energy, 2 * (-1.22605987 - 0.657996933 - 0.604115171 - 0.582476590), 1e-12);

    // The scaling bit for bit as the plain loops give it, for bases below, at and past the rows
    // the export sums together.
    for (const char* name : zephor_test::golden_names) {
        const Checkpoint g = parse_checkpoint(
            zephor_test::read_file(zephor_test::data_dir() / "golden" / name / "FOR007"), name);
        const Orbitals go = export_orbitals(g);
        const std::size_t m = static_cast<std::size_t>(g.basis_count);
        std::vector<double> plain = g.mo_coef;
        for (std::size_t k = 0; k < m; ++k) {
            double q = 0.0;
            for (std::size_t j = 0; j < m; ++j) {
                double sc = 0.0;
                for (std::size_t i = 0; i < m; ++i) sc += go.basis.s[j * m + i] * plain[k * m + i];
                q += plain[k * m + j] * sc;
            }
            const double scale = 1.0 / std::sqrt(q);
            for (std::size_t i = 0; i < m; ++i) plain[k * m + i] *= scale;
        }
        EXPECT_TRUE(zephor_test::same_bits(plain, go.coef)) << name << ", " << m << " functions";
    }
}

// Rules readers were seen to need (Jmol, cclib, Open Babel); a change here breaks a viewer.
TEST(ExportedOrbitals, FchkHasTheConventionalLayout) {
    const Checkpoint c = parse_checkpoint(checkpoint_text("benzene"), "benzene");
    const std::string text = fchk_text(c, export_orbitals(c));
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    EXPECT_EQ(lines[0], "ZEPHOR extended-Hueckel orbitals");
    EXPECT_EQ(lines[1], "SP        RHF" + std::string(57, ' ') + "STO-6G");
    EXPECT_EQ(lines[2], "Number of atoms                            I               12");
    EXPECT_EQ(lines[10], "Number of point charges in /Mol/           I                0");
    EXPECT_EQ(text.back(), '\n');
    std::vector<std::string> labels;
    for (const std::string& l : lines) {
        EXPECT_FALSE(l.empty());
        if (l.size() > 43 && (l[43] == 'I' || l[43] == 'R') && l[0] != ' ') labels.push_back(l.substr(0, 40));
        if (l.size() > 43 && l.substr(40, 9) == "   I   N=") {
            EXPECT_EQ(l.size(), 61u) << l;
        }
    }
    const char* order[] = {"Number of atoms", "Charge", "Multiplicity", "Number of electrons",
                           "Number of alpha electrons", "Number of beta electrons", "Number of basis functions",
                           "Number of independent functions", "Number of point charges in /Mol/",
                           "Number of translation vectors", "Atomic numbers", "Nuclear charges",
                           "Current cartesian coordinates", "Number of contracted shells",
                           "Number of primitive shells", "Highest angular momentum", "Largest degree of contraction",
                           "Shell types", "Number of primitives per shell", "Shell to atom map",
                           "Primitive exponents", "Contraction coefficients", "Coordinates of each shell",
                           "Total Energy", "Alpha Orbital Energies", "Alpha MO coefficients"};
    ASSERT_EQ(labels.size(), std::size(order));
    for (std::size_t i = 0; i < labels.size(); ++i) {
        std::string want = order[i];
        want.resize(40, ' ');
        EXPECT_EQ(labels[i], want);
    }
    // Six integers to a row (18 shell types: 6 + 6 + 6), five reals (30 energies: six rows).
    const auto types = std::find(lines.begin(), lines.end(), "Shell types                                I   N=          18");
    ASSERT_NE(types, lines.end());
    EXPECT_EQ(types[1].size(), 72u);
    EXPECT_EQ(types[4].substr(0, 6), "Number");
    // The total energy's sign stands after column 50, where Jmol 14 reads from.
    const auto total = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("Total Energy", 0) == 0; });
    ASSERT_NE(total, lines.end());
    EXPECT_EQ(total->size(), 71u);
    EXPECT_EQ(total->substr(49, 2), " -");
}

TEST(ExportedOrbitals, MoldenClosesEveryAtomBlockWithABlankLine) {
    const Checkpoint c = parse_checkpoint(checkpoint_text("ammonia"), "ammonia");
    const std::string text = molden_text(c, export_orbitals(c));
    EXPECT_EQ(text.rfind("[Molden Format]\n", 0), 0u);
    EXPECT_NE(text.find("[Atoms] AU\nN     1   7 "), std::string::npos);
    const std::size_t gto = text.find("[GTO]\n");
    const std::size_t mo = text.find("[MO]\n");
    ASSERT_LT(gto, mo);
    const std::string block = text.substr(gto, mo - gto);
    std::size_t blanks = 0;
    for (std::size_t at = block.find("\n\n"); at != std::string::npos; at = block.find("\n\n", at + 1)) ++blanks;
    EXPECT_EQ(blanks, 4u);  // N and three H
    EXPECT_EQ(block.substr(block.size() - 2), "\n\n");
    EXPECT_NE(text.find(" Ene= -1.0253629400\n Spin= Alpha\n Occup= 2.000000\n"), std::string::npos);
}

// The cube's points are those its header states, its values the orbital's, and the orbital's
// square sums over the grid to about 1 (a 0.25 bohr grid integrates a smooth orbital well).
TEST(ExportedOrbitals, CubeHoldsTheOrbitalAtTheHeadersPoints) {
    const Checkpoint c = parse_checkpoint(checkpoint_text("water"), "water");
    const Orbitals o = export_orbitals(c);
    const std::string text = cube_text(c, o, 4, CubeGrid{});
    std::istringstream in(text);
    std::string title, comment;
    std::getline(in, title);
    std::getline(in, comment);
    EXPECT_EQ(title, "ZEPHOR orbital 4 of 6 (HOMO)");
    EXPECT_EQ(comment, "energy -0.5824765900 hartree, occupation 2, lengths in bohr");
    int atoms;
    double origin[3], axis[3][3];
    long count[3];
    in >> atoms >> origin[0] >> origin[1] >> origin[2];
    for (int u = 0; u < 3; ++u) in >> count[u] >> axis[u][0] >> axis[u][1] >> axis[u][2];
    EXPECT_EQ(atoms, -3);  // Gaussian's orbital cube: the count negated, the orbitals after the atoms
    atoms = -atoms;
    EXPECT_EQ(origin[0], -6.0);
    EXPECT_EQ(origin[1], -7.5);  // -1.43 - 6 bohr, down to a whole number of 0.25 steps
    EXPECT_EQ(axis[0][0], 0.25);
    EXPECT_EQ(count[1], 61);
    for (int a = 0; a < atoms; ++a) {
        double z, q, x, y, w;
        in >> z >> q >> x >> y >> w;
    }
    int orbitals = 0, number = 0;
    in >> orbitals >> number;
    EXPECT_EQ(orbitals, 1);
    EXPECT_EQ(number, 4);
    std::vector<double> values;
    for (double v; in >> v;) values.push_back(v);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(count[0] * count[1] * count[2]));
    double sum = 0.0;
    for (double v : values) sum += v * v;
    EXPECT_NEAR(sum * 0.25 * 0.25 * 0.25, 1.0, 2e-3);
    for (long i : {0L, 20L, 24L, 30L}) {
        const long j = 30, l = 20;
        const double p[3] = {origin[0] + i * 0.25, origin[1] + j * 0.25, origin[2] + l * 0.25};
        EXPECT_NEAR(values[static_cast<std::size_t>((i * count[1] + j) * count[2] + l)], orbital_value(c, o, 4, p),
                    1e-5 * std::fabs(orbital_value(c, o, 4, p)) + 1e-20);
    }
}

TEST(ExportedOrbitals, CubeRefusesWhatItCannotWrite) {
    const Checkpoint c = parse_checkpoint(checkpoint_text("water"), "water");
    const Orbitals o = export_orbitals(c);
    EXPECT_THROW(cube_text(c, o, 0, CubeGrid{}), RequestError);
    EXPECT_THROW(cube_text(c, o, 7, CubeGrid{}), RequestError);
    EXPECT_THROW(cube_text(c, o, 1, CubeGrid{0.1234567, 6.0}), RequestError);
    EXPECT_THROW(cube_text(c, o, 1, CubeGrid{0.001, 50.0}), RequestError);  // far too many points
    EXPECT_NO_THROW(cube_text(c, o, 6, CubeGrid{0.5, 2.0}));
}

}  // namespace
