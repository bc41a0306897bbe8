// The factorised, screened grid evaluation against the plain point-by-point one: every value
// within 1e-10 of the orbital's largest |value| (the bound the grids promise, with room for
// rounding), for s and p functions, an atom on a grid point, grids that every primitive reaches
// and grids whose corners screening leaves out; one and several threads, a grid evaluated in
// slabs of planes, and the baseline and AVX2 code give the same bits. A cube's text is the plain evaluation's except for a
// handful of values one unit apart in the last digit, counted here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

#include "export/checkpoint_reader.hpp"
#include "export/cube_writer.hpp"
#include "export/errors.hpp"
#include "export/orbital_grid.hpp"
#include "export/orbital_value.hpp"
#include "export/orbitals.hpp"
#include "export_test_support.hpp"

namespace {

using namespace zephor::exporter;
using namespace zephor_export_test;

// The largest |fast - plain| of each orbital over its largest |plain|.
std::vector<double> relative_errors(const std::vector<double>& fast, const std::vector<double>& plain,
                                    std::size_t orbitals) {
    const std::size_t points = plain.size() / orbitals;
    std::vector<double> out;
    for (std::size_t m = 0; m < orbitals; ++m) {
        double err = 0.0, largest = 0.0;
        for (std::size_t p = m * points; p < (m + 1) * points; ++p) {
            err = std::max(err, std::fabs(fast[p] - plain[p]));
            largest = std::max(largest, std::fabs(plain[p]));
        }
        out.push_back(err / largest);
    }
    return out;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

GridAxes cube_grid(const Checkpoint& c, double spacing, double margin) {
    return cube_axes(c, CubeGrid{spacing, margin, true});
}

enum class Reach { any, whole, partial };

TEST(OrbitalGrid, AgreesWithThePlainEvaluationOnEveryKindOfGrid) {
    struct Case {
        const char* what;
        const char* molecule;
        std::vector<std::int32_t> orbitals;
        GridAxes (*axes)(const Checkpoint&);
        Reach reach;
        ScreeningBound bound = surface_bound;
    };
    const Case cases[] = {
        // Water lies in x = 0 with O at the origin, a point of the default grid; orbital 1 is
        // mostly O 2s, the HOMO (4) O 2p_x alone, zero on the plane of the atoms.
        {"water, default cube, O on a grid point", "water", {4, 1}, [](const Checkpoint& c) {
             return cube_grid(c, 0.25, 6.0);
         }, Reach::any},
        // The cube's own bound (1e-106 bohr^-3/2) leaves nothing out so close to the atoms.
        {"water, a small grid around O that every primitive reaches", "water", {1, 4, 6}, [](const Checkpoint&) {
             return GridAxes{{-0.5, -0.5, -0.5}, {11, 11, 11}, 0.1};
         }, Reach::whole, cube_text_bound},
        {"benzene, several orbitals sharing one grid's tables", "benzene", {1, 15, 16, 30}, [](const Checkpoint& c) {
             return cube_grid(c, 0.5, 6.0);
         }, Reach::any},
        {"benzene, a grid far beyond the molecule whose corners no primitive reaches", "benzene", {15, 16},
         [](const Checkpoint& c) { return cube_grid(c, 1.0, 25.0); }, Reach::partial},
        {"ammonia, a grid off to one side that the far atoms' functions do not reach", "ammonia", {5, 2},
         [](const Checkpoint&) { return GridAxes{{2.0, -8.0, -8.0}, {40, 33, 33}, 0.5}; }, Reach::partial},
        {"BF3, B and F s and p functions", "bf3", {12, 13, 1}, [](const Checkpoint& c) {
             return cube_grid(c, 0.5, 4.0);
         }, Reach::any},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        const Checkpoint c = parse_checkpoint(checkpoint_text(k.molecule), k.molecule);
        const Orbitals o = export_orbitals(c);
        const GridAxes axes = k.axes(c);
        const std::vector<double> plain = plain_grid_values(c, o, k.orbitals, axes);
        const std::vector<double> one = orbital_grid_values(c, o, k.orbitals, axes, 1, k.bound);
        for (const double e : relative_errors(one, plain, k.orbitals.size())) EXPECT_LE(e, 1e-10);
        EXPECT_TRUE(same_bits(one, orbital_grid_values(c, o, k.orbitals, axes, 3, k.bound)));
        // In slabs of planes, as the cube writer takes them: the same bits.
        const OrbitalGrid grid(c, o, k.orbitals, axes, k.bound);
        const std::int64_t planes = axes.count[0], plane = axes.count[1] * axes.count[2], cut = planes / 3;
        std::vector<double> head(k.orbitals.size() * static_cast<std::size_t>(cut * plane)),
            tail(k.orbitals.size() * static_cast<std::size_t>((planes - cut) * plane)), joined;
        grid.evaluate(0, cut, head.data(), 2);
        grid.evaluate(cut, planes - cut, tail.data(), 2);
        for (std::size_t m = 0; m < k.orbitals.size(); ++m) {
            joined.insert(joined.end(), head.begin() + static_cast<std::ptrdiff_t>(m * cut * plane),
                          head.begin() + static_cast<std::ptrdiff_t>((m + 1) * cut * plane));
            joined.insert(joined.end(), tail.begin() + static_cast<std::ptrdiff_t>(m * (planes - cut) * plane),
                          tail.begin() + static_cast<std::ptrdiff_t>((m + 1) * (planes - cut) * plane));
        }
        EXPECT_TRUE(same_bits(one, joined));
        // The baseline x86-64 code alone gives the bits of the fastest (AVX2 where there is one).
        std::vector<double> baseline(one.size());
        grid.evaluate(0, planes, baseline.data(), 1, GridKernel::baseline);
        EXPECT_TRUE(same_bits(one, baseline));
        if (k.reach == Reach::whole) {
            EXPECT_EQ(grid.reach(), 1.0);
        }
        if (k.reach == Reach::partial) {
            EXPECT_LT(grid.reach(), 0.5);
            // The comparison sees a cut too close: a bound 1e-4 of the largest value leaves out
            // more than 1e-10 of it.
            const std::vector<double> loose =
                orbital_grid_values(c, o, k.orbitals, axes, 1, ScreeningBound{1e-4, 0.0});
            for (const double e : relative_errors(loose, plain, k.orbitals.size())) EXPECT_GT(e, 1e-10);
        }
        if (std::string(k.molecule) == "water" && axes.spacing == 0.25) {
            // The O atom sits exactly on a grid point.
            const std::int64_t at[3] = {24, 30, 24};
            for (std::size_t u = 0; u < 3; ++u) EXPECT_EQ(grid_coordinate(axes, u, at[u]), 0.0);
        }
    }
}

TEST(OrbitalGrid, RefusesOrbitalsAndGridsThatDoNotExist) {
    const Checkpoint c = parse_checkpoint(checkpoint_text("water"), "water");
    const Orbitals o = export_orbitals(c);
    const GridAxes axes{{0.0, 0.0, 0.0}, {2, 2, 2}, 0.5};
    EXPECT_THROW(OrbitalGrid(c, o, {4, 7}, axes), RequestError);
    EXPECT_THROW(OrbitalGrid(c, o, {0}, axes), RequestError);
    EXPECT_THROW(OrbitalGrid(c, o, {1}, GridAxes{{0.0, 0.0, 0.0}, {2, 0, 2}, 0.5}), RequestError);
    EXPECT_THROW(OrbitalGrid(c, o, {1}, GridAxes{{0.0, 0.0, 0.0}, {2, 2, 2}, 0.0}), RequestError);
    EXPECT_EQ(orbital_grid_values(c, o, {1, 6}, axes).size(), 16u);
}

// The value fields of a cube (after the header lines: two, the counts, atoms, orbital line).
std::vector<std::string> cube_values(const std::string& text, std::int32_t atoms) {
    std::istringstream in(text);
    std::string line;
    for (std::int32_t i = 0; i < 6 + atoms + 1; ++i) std::getline(in, line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Fields one unit apart in the last of their six digits, with the same sign and exponent.
bool last_digit_apart(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a[0] != b[0] || a.substr(a.size() - 4) != b.substr(b.size() - 4)) return false;
    std::string da, db;
    for (std::size_t i = 0; i + 4 < a.size(); ++i)
        if (a[i] != '.' && a[i] != '-') {
            da += a[i];
            db += b[i];
        }
    return std::llabs(std::stoll(da) - std::stoll(db)) == 1;
}

// How many fields differ between two cubes, and whether every difference is in the last digit.
std::pair<std::size_t, bool> differences(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::size_t n = 0;
    bool last_only = a.size() == b.size();
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i]) {
            ++n;
            last_only = last_only && last_digit_apart(a[i], b[i]);
        }
    return {n, last_only};
}

TEST(OrbitalGrid, CubeTextIsThePlainEvaluationsButForAFewLastDigits) {
    struct Case {
        const char* molecule;
        std::int32_t orbital;
        double spacing;
    };
    const Case cases[] = {{"water", 4, 0.25}, {"water", 1, 0.25}, {"water", 5, 0.25},
                          {"ammonia", 5, 0.3}, {"benzene", 15, 0.5}, {"bf3", 13, 0.5}};
    std::size_t total = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.molecule) + " orbital " + std::to_string(k.orbital));
        const Checkpoint c = parse_checkpoint(checkpoint_text(k.molecule), k.molecule);
        const Orbitals o = export_orbitals(c);
        const CubeGrid grid{k.spacing, 6.0, true};
        const GridAxes axes = cube_axes(c, grid);
        const std::string plain = cube_text(c, k.orbital, grid, plain_grid_values(c, o, {k.orbital}, axes));
        const std::string fast = cube_text(c, o, k.orbital, grid);
        ASSERT_EQ(fast.size(), plain.size());
        std::size_t header = 0;
        for (std::int32_t line = 0; line < 6 + c.atom_count + 1; ++line) header = plain.find('\n', header) + 1;
        EXPECT_EQ(fast.substr(0, header), plain.substr(0, header));
        const auto [n, last_only] = differences(cube_values(plain, c.atom_count), cube_values(fast, c.atom_count));
        EXPECT_TRUE(last_only);
        EXPECT_LE(n, 5u);
        total += n;
        // The negative control: the values screened for surfaces (1e-11 of the largest) change
        // the small values' digits, and the comparison sees it.
        const std::string surface =
            cube_text(c, k.orbital, grid, orbital_grid_values(c, o, {k.orbital}, axes, 0, surface_bound));
        EXPECT_GT(differences(cube_values(plain, c.atom_count), cube_values(surface, c.atom_count)).first, 100u);
    }
    EXPECT_LE(total, 10u);
    std::printf("cube values one unit apart in the last digit: %zu in %zu cubes\n", total, std::size(cases));
}

}  // namespace
