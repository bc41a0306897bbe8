// The grid's origin and step are chosen so that their six-decimal text in the header is exact,
// and the values are evaluated at the points a reader computes from that text.
#include "export/cube_writer.hpp"

#include <omp.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "export/checkpoint_reader.hpp"
#include "export/errors.hpp"
#include "export/number_text.hpp"
#include "export/orbital_grid.hpp"
#include "export/orbitals.hpp"
#include "output/fields.hpp"

namespace zephor::exporter {

namespace {

std::string six_decimals(double x) {
    std::string s;
    put_fixed(s, x, 6);
    return s;
}

double parsed(const std::string& s) {
    double v = 0.0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

void put_f12_6(std::string& out, double x) { put_right(out, six_decimals(x), 12); }

void put_i5(std::string& out, std::int64_t k) { put_right(out, std::to_string(k), 5); }

// Cube values are E13.5; anything below 1e-99 in magnitude would need a three-digit exponent.
// The text is put_scientific's, right-justified, without a string of its own per value.
void put_value(std::string& out, double v) {
    if (std::fabs(v) < 1e-99) v = 0.0;
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 5);
    std::replace(buf, res.ptr, 'e', 'E');
    const std::size_t len = static_cast<std::size_t>(res.ptr - buf);
    if (len < 13) out.append(13 - len, ' ');
    out.append(buf, len);
}

// The values of rows of count[2] points, six to a line and every row ending its line.
void put_rows(std::string& out, const double* values, std::int64_t rows, std::int64_t count) {
    for (std::int64_t r = 0; r < rows; ++r, values += count)
        for (std::int64_t l = 0; l < count; ++l) {
            put_value(out, values[l]);
            if (l % 6 == 5 || l + 1 == count) out += '\n';
        }
}

// The size of the text of that many rows.
std::size_t rows_size(std::int64_t rows, std::int64_t count) {
    return static_cast<std::size_t>(rows * (count * 13 + (count + 5) / 6));
}

}  // namespace

namespace {

// The grid's origin (bohr, exact in six decimals) and its number of points along each axis, the
// counts in floating point.
struct Box {
    double origin[3];
    double count[3];
};

Box cube_box(const Checkpoint& c, const CubeGrid& grid) {
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const double step = grid.spacing;
    Box b{};
    for (std::size_t u = 0; u < 3; ++u) {
        double lo = c.r[u], hi = c.r[u];
        for (std::size_t a = 1; a < atoms; ++a) {
            lo = std::min(lo, c.r[3 * a + u]);
            hi = std::max(hi, c.r[3 * a + u]);
        }
        // A whole number of steps from 0, so that for a step like 0.25 bohr every point is exact.
        b.origin[u] = parsed(six_decimals(std::floor((lo - grid.margin) / step) * step));
        b.count[u] = std::ceil((hi + grid.margin - b.origin[u]) / step) + 1.0;
    }
    return b;
}

double points_of(const Box& b) { return b.count[0] * b.count[1] * b.count[2]; }

}  // namespace

std::string point_count_text(double points) {
    if (points < 1e15) return std::to_string(static_cast<std::int64_t>(points));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", points);
    return buf;
}

double cube_point_count(const Checkpoint& c, const CubeGrid& grid) { return points_of(cube_box(c, grid)); }

void check_cube(const Checkpoint& c, std::int32_t orbital, const CubeGrid& grid) {
    if (orbital < 1 || orbital > c.basis_count)
        throw RequestError("orbital " + std::to_string(orbital) + " does not exist: the checkpoint has orbitals 1 to " +
                           std::to_string(c.basis_count));
    if (!(grid.spacing >= 0.001 && grid.spacing <= 10.0) || parsed(six_decimals(grid.spacing)) != grid.spacing)
        throw RequestError("the grid spacing must be 0.001 to 10 bohr with at most six decimals");
    if (!(grid.margin >= 0.0 && grid.margin <= 100.0))
        throw RequestError("the grid margin must be 0 to 100 bohr");
    // Compared in floating point before any count becomes an integer (NaN counts as too many).
    const double points = cube_point_count(c, grid);
    if (!(points <= static_cast<double>(max_cube_points)))
        throw RequestError("the grid would have " + point_count_text(points) + " points (at most " +
                           std::to_string(max_cube_points) + "); use a larger --spacing or a smaller --margin");
}

GridAxes cube_axes(const Checkpoint& c, const CubeGrid& grid) {
    const Box box = cube_box(c, grid);
    GridAxes g;
    for (std::size_t u = 0; u < 3; ++u) {
        g.origin[u] = box.origin[u];
        g.count[u] = static_cast<std::int64_t>(box.count[u]);
    }
    g.spacing = grid.spacing;
    return g;
}

namespace {

// Everything before the values.
std::string cube_header(const Checkpoint& c, std::int32_t orbital, const CubeGrid& grid, const GridAxes& g) {
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const std::size_t k = static_cast<std::size_t>(orbital - 1);
    std::string out;
    if (!c.title.empty()) out += c.title + ": ";
    out += "ZEPHOR orbital " + std::to_string(orbital) + " of " + std::to_string(c.basis_count);
    if (orbital == c.occupied_count) out += " (HOMO)";
    if (orbital == c.occupied_count + 1) out += " (LUMO)";
    out += "\nenergy ";
    put_fixed(out, c.orbital_energy[k], 10);
    out += " hartree, occupation " + std::string(orbital <= c.occupied_count ? "2" : "0") +
           ", lengths in bohr\n";
    // Gaussian's orbital-cube convention: a negative atom count, and after the atoms a line with
    // the number of orbitals (1) and the orbital's number, so that readers (gabedit among them)
    // take the values as an orbital; or the plain header.
    put_i5(out, grid.orbital_header ? -static_cast<std::int64_t>(c.atom_count) : c.atom_count);
    for (double x : g.origin) put_f12_6(out, x);
    out += '\n';
    for (std::size_t u = 0; u < 3; ++u) {
        put_i5(out, g.count[u]);
        for (std::size_t v = 0; v < 3; ++v) put_f12_6(out, u == v ? g.spacing : 0.0);
        out += '\n';
    }
    for (std::size_t a = 0; a < atoms; ++a) {
        put_i5(out, c.atomic_number[a]);
        put_f12_6(out, c.atomic_number[a]);
        for (std::size_t u = 0; u < 3; ++u) put_f12_6(out, c.r[3 * a + u]);
        out += '\n';
    }
    if (grid.orbital_header) {
        put_i5(out, 1);
        put_i5(out, orbital);
        out += '\n';
    }
    return out;
}

// About this many values are held per slab (2 MB, reused from slab to slab), whatever the number
// of orbitals; but at least a few planes for each thread.
constexpr std::int64_t slab_values = std::int64_t{1} << 18;

}  // namespace

void write_cubes(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals, const CubeGrid& grid,
                 const std::function<void(std::size_t, std::string_view)>& sink) {
    for (const std::int32_t k : orbitals) check_cube(c, k, grid);
    if (orbitals.empty()) return;
    const GridAxes g = cube_axes(c, grid);
    for (std::size_t m = 0; m < orbitals.size(); ++m) sink(m, cube_header(c, orbitals[m], grid, g));
    const OrbitalGrid values(c, o, orbitals, g, cube_text_bound);
    const std::int64_t plane = g.count[1] * g.count[2];
    const std::int64_t slab = std::min<std::int64_t>(
        std::max<std::int64_t>(slab_values / (plane * static_cast<std::int64_t>(orbitals.size())), 4 * omp_get_max_threads()),
        g.count[0]);
    std::vector<double> buffer(static_cast<std::size_t>(slab * plane) * orbitals.size());
    // The text of each plane, written on the threads: every value is 13 characters (orbital
    // values stay far below 1e100), so the room reserved here is never exceeded there.
    std::vector<std::string> text(static_cast<std::size_t>(slab));
    for (std::string& t : text) t.reserve(rows_size(g.count[1], g.count[2]));
    for (std::int64_t first = 0; first < g.count[0]; first += slab) {
        const std::int64_t planes = std::min(slab, g.count[0] - first);
        values.evaluate(first, planes, buffer.data());
        for (std::size_t m = 0; m < orbitals.size(); ++m) {
            const double* v = &buffer[m * static_cast<std::size_t>(planes * plane)];
#pragma omp parallel for schedule(dynamic)
            for (std::int64_t p = 0; p < planes; ++p) {
                std::string& t = text[static_cast<std::size_t>(p)];
                t.clear();
                put_rows(t, v + p * plane, g.count[1], g.count[2]);
            }
            for (std::int64_t p = 0; p < planes; ++p) sink(m, text[static_cast<std::size_t>(p)]);
        }
    }
}

std::string cube_text(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const CubeGrid& grid) {
    std::string out;
    write_cubes(c, o, {orbital}, grid, [&out, &c, &grid](std::size_t, std::string_view piece) {
        // The header comes first: room for the whole cube then.
        if (out.empty()) {
            const GridAxes g = cube_axes(c, grid);
            out.reserve(piece.size() + rows_size(g.count[0] * g.count[1], g.count[2]));
        }
        out += piece;
    });
    return out;
}

std::string cube_text(const Checkpoint& c, std::int32_t orbital, const CubeGrid& grid, const std::vector<double>& values) {
    check_cube(c, orbital, grid);
    const GridAxes g = cube_axes(c, grid);
    if (values.size() < static_cast<std::size_t>(grid_point_count(g))) throw std::invalid_argument("cube_text: too few values");
    std::string out = cube_header(c, orbital, grid, g);
    out.reserve(out.size() + rows_size(g.count[0] * g.count[1], g.count[2]));
    put_rows(out, values.data(), g.count[0] * g.count[1], g.count[2]);
    return out;
}

}  // namespace zephor::exporter
