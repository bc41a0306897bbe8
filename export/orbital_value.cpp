// One exponential per primitive and point, r^2 from the point's own offsets: slow, and the
// simplest statement of what an orbital's value is.
#include "export/orbital_value.hpp"

#include <cmath>
#include <numbers>

#include "export/checkpoint_reader.hpp"
#include "export/orbitals.hpp"

namespace zephor::exporter {

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

double orbital_value_at(const Checkpoint& c, const double* coef, const std::vector<double>& factor, const double* p) {
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

double orbital_value(const Checkpoint& c, const Orbitals& o, std::int32_t orbital, const double* p) {
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    return orbital_value_at(c, &o.coef[static_cast<std::size_t>(orbital - 1) * n], primitive_factors(c, o), p);
}

std::vector<double> plain_grid_values(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals,
                                      const GridAxes& axes) {
    const std::vector<double> factor = primitive_factors(c, o);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    std::vector<double> values;
    values.reserve(orbitals.size() * static_cast<std::size_t>(grid_point_count(axes)));
    for (const std::int32_t k : orbitals) {
        const double* coef = &o.coef[static_cast<std::size_t>(k - 1) * n];
        for (std::int64_t i = 0; i < axes.count[0]; ++i)
            for (std::int64_t j = 0; j < axes.count[1]; ++j)
                for (std::int64_t l = 0; l < axes.count[2]; ++l) {
                    const double p[3] = {grid_coordinate(axes, 0, i), grid_coordinate(axes, 1, j),
                                         grid_coordinate(axes, 2, l)};
                    values.push_back(orbital_value_at(c, coef, factor, p));
                }
    }
    return values;
}

}  // namespace zephor::exporter
