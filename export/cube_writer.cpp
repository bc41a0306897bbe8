// The grid's origin and step are chosen so that their six-decimal text in the header is exact,
// and the values are evaluated at the points a reader computes from that text.
#include "export/cube_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <numbers>
#include <vector>

#include "export/checkpoint_reader.hpp"
#include "export/errors.hpp"
#include "export/number_text.hpp"
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
void put_value(std::string& out, double v) {
    if (std::fabs(v) < 1e-99) v = 0.0;
    std::string s;
    put_scientific(s, v, 5);
    put_right(out, s, 13);
}

}  // namespace

namespace {

// Per primitive: the written coefficient (contraction norm folded in) times the primitive's
// normalisation, (2a/pi)^(3/4) for s and (128 a^5/pi^3)^(1/4) for p.
std::vector<double> primitive_factors(const Checkpoint& c, const Orbitals& o) {
    std::vector<double> f(c.exponents.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        const double alpha = c.exponents[i];
        const double norm = c.shell_type[i / 6] == 1
                                ? std::pow(128.0 * std::pow(alpha, 5.0) / std::pow(std::numbers::pi, 3.0), 0.25)
                                : std::pow(2.0 * alpha / std::numbers::pi, 0.75);
        f[i] = o.shell_coef[i] * norm;
    }
    return f;
}

double value_at(const Checkpoint& c, const double* coef, const std::vector<double>& factor, const double* p) {
    double value = 0.0;
    std::size_t function = 0;
    for (std::size_t s = 0; s < c.shell_type.size(); ++s) {
        const double* a = &c.r[3 * static_cast<std::size_t>(c.shell_atom[s] - 1)];
        const double d[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
        const double r2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        double radial = 0.0;
        for (std::size_t k = 0; k < 6; ++k) radial += factor[6 * s + k] * std::exp(-c.exponents[6 * s + k] * r2);
        if (c.shell_type[s] == 1) {
            for (std::size_t u = 0; u < 3; ++u) value += coef[function + u] * d[u] * radial;
            function += 3;
        } else {
            value += coef[function] * radial;
            function += 1;
        }
    }
    return value;
}

}  // namespace

double orbital_value(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const double* p) {
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    return value_at(c, &o.coef[static_cast<std::size_t>(orbital - 1) * n], primitive_factors(c, o), p);
}

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

std::string cube_text(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const CubeGrid& grid) {
    check_cube(c, orbital, grid);
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    const double step = grid.spacing;
    const Box box = cube_box(c, grid);
    const double (&origin)[3] = box.origin;
    std::int64_t count[3];
    for (std::size_t u = 0; u < 3; ++u) count[u] = static_cast<std::int64_t>(box.count[u]);

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
    for (double x : origin) put_f12_6(out, x);
    out += '\n';
    for (std::size_t u = 0; u < 3; ++u) {
        put_i5(out, count[u]);
        for (std::size_t v = 0; v < 3; ++v) put_f12_6(out, u == v ? step : 0.0);
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

    const std::vector<double> factor = primitive_factors(c, o);
    const double* coef = &o.coef[k * static_cast<std::size_t>(c.basis_count)];
    out.reserve(out.size() + static_cast<std::size_t>(count[0] * count[1] * (count[2] * 13 + count[2] / 6 + 1)));
    for (std::int64_t i = 0; i < count[0]; ++i) {
        for (std::int64_t j = 0; j < count[1]; ++j) {
            for (std::int64_t l = 0; l < count[2]; ++l) {
                const double p[3] = {origin[0] + static_cast<double>(i) * step,
                                     origin[1] + static_cast<double>(j) * step,
                                     origin[2] + static_cast<double>(l) * step};
                put_value(out, value_at(c, coef, factor, p));
                if (l % 6 == 5 || l + 1 == count[2]) out += '\n';
            }
        }
    }
    return out;
}

}  // namespace zephor::exporter
