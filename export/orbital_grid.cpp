// Tables, screening radii and the plane-by-plane sums of the factorised grid evaluation.
#include "export/orbital_grid.hpp"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "export/checkpoint_reader.hpp"
#include "export/errors.hpp"
#include "export/orbital_value.hpp"
#include "export/orbitals.hpp"

namespace zephor::exporter {

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

// The points [lo, hi) of an axis within `half` (bohr) of `centre`, a hair wider so that rounding
// (in the division, or the multiplication by the inverse step) never drops a point inside.
[[gnu::always_inline]] inline void axis_range(const GridAxes& g, std::size_t u, double inverse_step, double centre,
                                              double half, std::int64_t& lo, std::int64_t& hi) {
    const double n = static_cast<double>(g.count[u]);
    const double h = half * (1.0 + 1e-12) + 1e-12 * g.spacing;
    const double first = std::clamp(std::ceil((centre - h - g.origin[u]) * inverse_step), 0.0, n);
    const double last = std::clamp(std::floor((centre + h - g.origin[u]) * inverse_step) + 1.0, 0.0, n);
    lo = static_cast<std::int64_t>(first);
    hi = std::max(lo, static_cast<std::int64_t>(last));
}

// The squared distance (bohr^2) beyond which amplitude * r^power * exp(-alpha r^2) stays below
// 1 (power 0 for s, 1 for p, where |c . d| <= |c| r); -1 where it is below 1 everywhere. For p
// the root is taken on the falling side of the peak at r = (2 alpha)^-1/2, from above.
double screening_radius2(double amplitude, int power, double alpha) {
    if (!(amplitude > 0.0)) return -1.0;
    if (std::isinf(amplitude)) return infinity;
    const double lg = std::log(amplitude);
    if (power == 0) return lg > 0.0 ? lg / alpha * (1.0 + 1e-12) : -1.0;
    const double peak = std::sqrt(0.5 / alpha);
    if (lg + std::log(peak) - 0.5 <= 0.0) return -1.0;
    double r = 2.0 * peak;
    while (alpha * r * r < lg + std::log(r)) r *= 2.0;
    for (int it = 0; it < 200; ++it) {
        const double next = std::sqrt((lg + std::log(r)) / alpha);
        if (!(next < r)) break;
        r = next;
    }
    return r * r * (1.0 + 1e-12);
}

// The largest |value| of each orbital at the grid points nearest each atom and about a bohr
// away along each axis (where p functions peak): a lower bound of its largest |value| on the
// grid, found before the grid is evaluated.
std::vector<double> probe_maxima(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals,
                                 const GridAxes& g) {
    const std::vector<double> factor = primitive_factors(c, o);
    const std::size_t n = static_cast<std::size_t>(c.basis_count);
    const std::int64_t step = std::max<std::int64_t>(1, std::llround(std::min(1.0 / g.spacing, 1e6)));
    std::vector<double> largest(orbitals.size(), 0.0);
    for (std::size_t a = 0; a < static_cast<std::size_t>(c.atom_count); ++a) {
        std::int64_t near[3];
        for (std::size_t u = 0; u < 3; ++u) {
            const double t = std::round((c.r[3 * a + u] - g.origin[u]) / g.spacing);
            near[u] = static_cast<std::int64_t>(std::clamp(t, 0.0, static_cast<double>(g.count[u] - 1)));
        }
        for (int probe = 0; probe < 7; ++probe) {
            std::int64_t at[3] = {near[0], near[1], near[2]};
            if (probe > 0) {
                const std::size_t u = static_cast<std::size_t>((probe - 1) / 2);
                at[u] = std::clamp(at[u] + (probe % 2 == 1 ? step : -step), std::int64_t{0}, g.count[u] - 1);
            }
            const double p[3] = {grid_coordinate(g, 0, at[0]), grid_coordinate(g, 1, at[1]), grid_coordinate(g, 2, at[2])};
            for (std::size_t m = 0; m < orbitals.size(); ++m) {
                const double v = orbital_value_at(c, &o.coef[static_cast<std::size_t>(orbitals[m] - 1) * n], factor, p);
                largest[m] = std::max(largest[m], std::fabs(v));
            }
        }
    }
    return largest;
}

// What becomes of a point's radial sum r: stored for the orbitals to take (several orbitals), or
// taken at once into the one orbital's row, times the s coefficient, or times c . d for p.
struct RadialUse {
    enum Kind { store, s, p } kind;
    double* out;      // rad, or the orbital's row, at the segment's first point
    double cs;        // s: the coefficient
    double a, cz, az; // p: cx dx + cy dy, cz, the centre's z
    const double* z;  // p: the grid's z at the segment's first point
};

// For l < n: r = sum over k of w[k] tz[k][l], the terms added in order to 0, then used; the
// operations on each point are those of storing r and taking it afterwards.
template <int K, RadialUse::Kind U>
[[gnu::always_inline]] inline void radial_terms(const double* w, const double* const* tz, std::int64_t n,
                                                const RadialUse& use) {
    double* out = use.out;
    for (std::int64_t l = 0; l < n; ++l) {
        double r = 0.0;
        for (int k = 0; k < K; ++k) r += w[k] * tz[k][l];
        if constexpr (U == RadialUse::store) out[l] = r;
        if constexpr (U == RadialUse::s) out[l] += use.cs * r;
        if constexpr (U == RadialUse::p) out[l] += (use.a + use.cz * (use.z[l] - use.az)) * r;
    }
}

template <RadialUse::Kind U>
[[gnu::always_inline]] inline void radial_sum(int reaching, const double* w, const double* const* tz, std::int64_t n,
                                              const RadialUse& use) {
    switch (reaching) {
        case 0: radial_terms<0, U>(w, tz, n, use); break;
        case 1: radial_terms<1, U>(w, tz, n, use); break;
        case 2: radial_terms<2, U>(w, tz, n, use); break;
        case 3: radial_terms<3, U>(w, tz, n, use); break;
        case 4: radial_terms<4, U>(w, tz, n, use); break;
        case 5: radial_terms<5, U>(w, tz, n, use); break;
        default: radial_terms<6, U>(w, tz, n, use); break;
    }
}

}  // namespace

OrbitalGrid::OrbitalGrid(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals,
                         const GridAxes& axes, ScreeningBound bound)
    : axes_(axes), function_count_(static_cast<std::size_t>(c.basis_count)), orbital_count_(orbitals.size()) {
    // A caller from outside (a script) may ask for anything: refused here, in the cube's words.
    for (const std::int32_t k : orbitals)
        if (k < 1 || k > c.basis_count)
            throw RequestError("orbital " + std::to_string(k) + " does not exist: the checkpoint has orbitals 1 to " +
                               std::to_string(c.basis_count));
    if (!(axes.spacing > 0.0) || axes.count[0] < 1 || axes.count[1] < 1 || axes.count[2] < 1)
        throw RequestError("a grid needs a positive spacing and at least one point along each axis");
    const std::size_t n = function_count_;
    for (const std::int32_t k : orbitals)
        coef_.insert(coef_.end(), o.coef.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(k - 1) * n),
                     o.coef.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(k) * n));
    z_.resize(static_cast<std::size_t>(axes.count[2]));
    for (std::int64_t l = 0; l < axes.count[2]; ++l) z_[static_cast<std::size_t>(l)] = grid_coordinate(axes, 2, l);

    const std::vector<double> factor = primitive_factors(c, o);
    primitive_count_ = factor.size();
    // Every point sums at most primitive_count_ terms; each is left out only below its orbital's
    // share tau of the bound.
    const std::vector<double> largest =
        bound.relative > 0.0 ? probe_maxima(c, o, orbitals, axes) : std::vector<double>(orbitals.size(), 0.0);
    std::vector<double> tau(orbitals.size());
    for (std::size_t m = 0; m < orbitals.size(); ++m)
        tau[m] = std::max(bound.relative * largest[m], bound.absolute) / static_cast<double>(primitive_count_);

    std::size_t function = 0;
    for (std::size_t s = 0; s < c.shell_type.size(); ++s) {
        Shell sh{};
        const double* a = &c.r[3 * static_cast<std::size_t>(c.shell_atom[s] - 1)];
        std::copy(a, a + 3, sh.centre);
        sh.p = c.shell_type[s] == 1;
        sh.function = function;
        function += sh.p ? 3 : 1;
        sh.first = primitives_.size();
        sh.radius2 = -1.0;
        for (std::size_t u = 0; u < 3; ++u) {
            sh.lo[u] = axes.count[u];
            sh.hi[u] = 0;
        }
        // The orbitals' coefficient of the shell (|c| of its three for p) over their tau: the
        // largest weight the shell has in any of them.
        double weight = 0.0;
        for (std::size_t m = 0; m < orbitals.size(); ++m) {
            const double* cm = &coef_[m * n + sh.function];
            const double size = sh.p ? std::sqrt(cm[0] * cm[0] + cm[1] * cm[1] + cm[2] * cm[2]) : std::fabs(cm[0]);
            if (size > 0.0) weight = std::max(weight, tau[m] > 0.0 ? size / tau[m] : infinity);
        }
        for (std::size_t k = 0; k < 6; ++k) {
            const double alpha = c.exponents[6 * s + k];
            const double f = factor[6 * s + k];
            Primitive pr{};
            pr.radius2 = screening_radius2(std::fabs(f) * weight, sh.p ? 1 : 0, alpha);
            if (pr.radius2 < 0.0) continue;
            bool reaches = true;
            for (std::size_t u = 0; u < 3; ++u) {
                axis_range(axes, u, 1.0 / axes.spacing, sh.centre[u], std::sqrt(pr.radius2), pr.lo[u], pr.hi[u]);
                reaches = reaches && pr.lo[u] < pr.hi[u];
            }
            if (!reaches) continue;
            for (std::size_t u = 0; u < 3; ++u) {
                pr.table[u] = tables_.size();
                for (std::int64_t i = pr.lo[u]; i < pr.hi[u]; ++i) {
                    const double d = grid_coordinate(axes, u, i) - sh.centre[u];
                    const double e = std::exp(-alpha * (d * d));
                    tables_.push_back(u == 0 ? f * e : e);  // the factor rides on the x table
                }
                sh.lo[u] = std::min(sh.lo[u], pr.lo[u]);
                sh.hi[u] = std::max(sh.hi[u], pr.hi[u]);
            }
            sh.radius2 = std::max(sh.radius2, pr.radius2);
            primitives_.push_back(pr);
        }
        sh.count = primitives_.size() - sh.first;
        if (sh.count > 0) shells_.push_back(sh);
    }
}

// One row (i, j) of every orbital: per shell, its radial sum over the primitives that reach the
// row, then each orbital's coefficients (and for p the offsets) on it. The radial sum comes first,
// as in the plain evaluation, so that mirror-image atoms with opposite coefficients cancel exactly
// there as they do in it: a node on a plane of symmetry stays 0, not rounding noise.
[[gnu::always_inline]] inline void OrbitalGrid::evaluate_row(std::int64_t i, std::int64_t j,
                                                             const std::vector<std::size_t>& shells, double* rad,
                                                             double* const* rows) const {
    const double x = grid_coordinate(axes_, 0, i), y = grid_coordinate(axes_, 1, j);
    const double inverse_step = 1.0 / axes_.spacing;
    const std::size_t orbitals = orbital_count();
    for (const std::size_t s : shells) {
        const Shell& sh = shells_[s];
        if (j < sh.lo[1] || j >= sh.hi[1]) continue;
        const double dx = x - sh.centre[0], dy = y - sh.centre[1];
        const double rho2 = dx * dx + dy * dy;
        if (rho2 > sh.radius2) continue;
        std::int64_t first[6], last[6];
        std::int64_t lo = axes_.count[2], hi = 0;
        for (std::size_t k = 0; k < sh.count; ++k) {
            const Primitive& pr = primitives_[sh.first + k];
            first[k] = last[k] = 0;
            if (i < pr.lo[0] || i >= pr.hi[0] || j < pr.lo[1] || j >= pr.hi[1] || rho2 > pr.radius2) continue;
            axis_range(axes_, 2, inverse_step, sh.centre[2], std::sqrt(pr.radius2 - rho2), first[k], last[k]);
            first[k] = std::max(first[k], pr.lo[2]);
            last[k] = std::max(first[k], std::min(last[k], pr.hi[2]));
            if (first[k] < last[k]) {
                lo = std::min(lo, first[k]);
                hi = std::max(hi, last[k]);
            }
        }
        if (lo >= hi) continue;
        // The primitives' ranges nest around the shell's centre; between consecutive range ends
        // the same primitives reach, and each point's radial sum is taken over them in one go,
        // in the primitives' order.
        double w[6];
        for (std::size_t k = 0; k < sh.count; ++k) {
            const Primitive& pr = primitives_[sh.first + k];
            w[k] = first[k] < last[k] ? tables_[pr.table[0] + static_cast<std::size_t>(i - pr.lo[0])] *
                                            tables_[pr.table[1] + static_cast<std::size_t>(j - pr.lo[1])]
                                      : 0.0;
        }
        std::int64_t ends[12];
        std::size_t n_ends = 0;
        for (std::size_t k = 0; k < sh.count; ++k)
            if (first[k] < last[k]) {
                ends[n_ends++] = first[k];
                ends[n_ends++] = last[k];
            }
        // At most twelve: sorted by insertion (std::sort trips g++ 12's bounds warning here).
        for (std::size_t e = 1; e < n_ends; ++e)
            for (std::size_t f = e; f > 0 && ends[f - 1] > ends[f]; --f) std::swap(ends[f - 1], ends[f]);
        n_ends = static_cast<std::size_t>(std::unique(ends, ends + n_ends) - ends);
        for (std::size_t e = 0; e + 1 < n_ends; ++e) {
            const std::int64_t a = ends[e], b = ends[e + 1];
            double ws[6];
            const double* tz[6];
            int reaching = 0;
            for (std::size_t k = 0; k < sh.count; ++k)
                if (first[k] <= a && last[k] >= b) {
                    const Primitive& pr = primitives_[sh.first + k];
                    ws[reaching] = w[k];
                    tz[reaching] = &tables_[pr.table[2] + static_cast<std::size_t>(a - pr.lo[2])];
                    ++reaching;
                }
            if (orbitals == 1) {
                const double* cm = &coef_[sh.function];
                const RadialUse use = sh.p ? RadialUse{RadialUse::p, rows[0] + a, 0.0, cm[0] * dx + cm[1] * dy, cm[2],
                                                       sh.centre[2], &z_[static_cast<std::size_t>(a)]}
                                           : RadialUse{RadialUse::s, rows[0] + a, cm[0], 0.0, 0.0, 0.0, nullptr};
                if (sh.p) radial_sum<RadialUse::p>(reaching, ws, tz, b - a, use);
                else radial_sum<RadialUse::s>(reaching, ws, tz, b - a, use);
            } else {
                radial_sum<RadialUse::store>(reaching, ws, tz, b - a,
                                             RadialUse{RadialUse::store, rad + a, 0.0, 0.0, 0.0, 0.0, nullptr});
            }
        }
        if (orbitals == 1) continue;
        for (std::size_t m = 0; m < orbitals; ++m) {
            const double* cm = &coef_[m * function_count_ + sh.function];
            double* row = rows[m];
            if (sh.p) {
                const double a = cm[0] * dx + cm[1] * dy, cz = cm[2], az = sh.centre[2];
                for (std::int64_t l = lo; l < hi; ++l) row[l] += (a + cz * (z_[static_cast<std::size_t>(l)] - az)) * rad[l];
            } else {
                const double cs = cm[0];
                for (std::int64_t l = lo; l < hi; ++l) row[l] += cs * rad[l];
            }
        }
    }
}

// The same row compiled twice: for the baseline x86-64 (SSE2) and for AVX2 where the processor
// has it. Both do the same IEEE operations on each point in the same order (the loops run along
// z, each lane a point of its own, and contraction into FMA is off), so they give the same bits.
void OrbitalGrid::evaluate_row_baseline(std::int64_t i, std::int64_t j, const std::vector<std::size_t>& shells,
                                        double* rad, double* const* rows) const {
    evaluate_row(i, j, shells, rad, rows);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void OrbitalGrid::evaluate_row_avx2(std::int64_t i, std::int64_t j,
                                                            const std::vector<std::size_t>& shells, double* rad,
                                                            double* const* rows) const {
    evaluate_row(i, j, shells, rad, rows);
}
#endif

void OrbitalGrid::evaluate(std::int64_t first, std::int64_t planes, double* out, int threads, GridKernel kernel) const {
    auto row = &OrbitalGrid::evaluate_row_baseline;
#if defined(__x86_64__)
    if (kernel == GridKernel::best && __builtin_cpu_supports("avx2")) row = &OrbitalGrid::evaluate_row_avx2;
#endif
    const std::int64_t ny = axes_.count[1], nz = axes_.count[2];
    const std::size_t orbitals = orbital_count();
    const std::size_t plane_size = static_cast<std::size_t>(ny * nz);
    const std::size_t orbital_size = static_cast<std::size_t>(planes) * plane_size;
    std::fill(out, out + orbitals * orbital_size, 0.0);
    const int team = threads > 0 ? threads : omp_get_max_threads();
    // Each thread's scratch is allocated here, where a failure is an exception like any other.
    struct Scratch {
        std::vector<double> rad;
        std::vector<std::size_t> shells;
        std::vector<double*> rows;
    };
    std::vector<Scratch> scratch(static_cast<std::size_t>(team));
    for (Scratch& sc : scratch) {
        sc.rad.resize(static_cast<std::size_t>(nz));
        sc.shells.reserve(shells_.size());
        sc.rows.resize(orbitals);
    }
#pragma omp parallel num_threads(team)
    {
        Scratch& sc = scratch[static_cast<std::size_t>(omp_get_thread_num())];
#pragma omp for schedule(dynamic)
        for (std::int64_t p = 0; p < planes; ++p) {
            const std::int64_t i = first + p;
            const double x = grid_coordinate(axes_, 0, i);
            sc.shells.clear();
            for (std::size_t s = 0; s < shells_.size(); ++s) {
                const Shell& sh = shells_[s];
                const double dx = x - sh.centre[0];
                if (i >= sh.lo[0] && i < sh.hi[0] && dx * dx <= sh.radius2) sc.shells.push_back(s);
            }
            for (std::int64_t j = 0; j < ny; ++j) {
                for (std::size_t m = 0; m < orbitals; ++m)
                    sc.rows[m] = out + m * orbital_size + static_cast<std::size_t>(p) * plane_size +
                                 static_cast<std::size_t>(j * nz);
                (this->*row)(i, j, sc.shells, sc.rad.data(), sc.rows.data());
            }
        }
    }
}

double OrbitalGrid::reach() const {
    double inside = 0.0;
    for (const Primitive& pr : primitives_)
        inside += static_cast<double>(pr.hi[0] - pr.lo[0]) * static_cast<double>(pr.hi[1] - pr.lo[1]) *
                  static_cast<double>(pr.hi[2] - pr.lo[2]);
    return inside / (static_cast<double>(primitive_count_) * static_cast<double>(grid_point_count(axes_)));
}

std::vector<double> orbital_grid_values(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals,
                                        const GridAxes& axes, int threads, ScreeningBound bound) {
    const OrbitalGrid grid(c, o, orbitals, axes, bound);
    std::vector<double> values(orbitals.size() * static_cast<std::size_t>(grid_point_count(axes)));
    grid.evaluate(0, axes.count[0], values.data(), threads);
    return values;
}

}  // namespace zephor::exporter
