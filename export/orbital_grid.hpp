// Orbitals on a regular grid, fast: every Gaussian primitive factorises on the grid's axes,
// exp(-a|r-A|^2) = exp(-a(x-Ax)^2) exp(-a(y-Ay)^2) exp(-a(z-Az)^2), so each primitive needs its
// exponentials only once per axis point, not once per grid point; each primitive is screened by
// its extent, and several orbitals share the tables. Lengths in bohr, values in bohr^-3/2.
//
// Accuracy, against the point-by-point evaluation (export/orbital_value.hpp): what screening
// leaves out at any point is at most the ScreeningBound below; the different order of the sums
// adds only rounding.
//
// Each point's value is summed by one thread, over the shells in their order and each shell's
// primitives in theirs, so the values do not depend on the number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "export/grid_axes.hpp"

namespace zephor::exporter {

struct Checkpoint;
struct Orbitals;

// What screening may leave out of any point's value, summed over every primitive left out: the
// larger of `relative` times the largest |value| the orbital takes at a few grid points near the
// atoms (known before the grid is evaluated, and never more than its largest |value| on the
// grid) and `absolute` (bohr^-3/2). Each primitive is left out where its term, bounded by its
// coefficients' magnitude (|c| r for p), is below that over the number of primitives.
struct ScreeningBound {
    double relative = 0.0;
    double absolute = 0.0;  // bohr^-3/2
};

// For surfaces and integrals: 1e-11 of the orbital's largest value, ten times inside the 1e-10
// the grids are tested to.
inline constexpr ScreeningBound surface_bound{1e-11, 0.0};

// For a cube's E13.5 text, which shows six digits of every value from 1e-99 up: far below the
// last digit of the smallest value written, so the text is the plain evaluation's but for
// rounding in the last digit.
inline constexpr ScreeningBound cube_text_bound{0.0, 1e-106};

// Which code evaluates the rows: the fastest the processor runs, or the baseline x86-64 code
// alone; the two give the same bits.
enum class GridKernel { best, baseline };

// The tables of a set of orbitals on one grid, built once, evaluated plane by plane (x index).
class OrbitalGrid {
public:
    // `orbitals` counts from 1. Throws RequestError for an orbital that does not exist, or a
    // grid without a positive spacing and a point along each axis.
    OrbitalGrid(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals, const GridAxes& axes,
                ScreeningBound bound = surface_bound);

    const GridAxes& axes() const { return axes_; }
    std::size_t orbital_count() const { return orbital_count_; }

    // The values of planes first .. first + planes - 1, one orbital after the other: orbital m's
    // value at (i, j, l) is out[((m * planes + i - first) * ny + j) * nz + l]. `threads` 0 takes
    // the OpenMP default.
    void evaluate(std::int64_t first, std::int64_t planes, double* out, int threads = 0,
                  GridKernel kernel = GridKernel::best) const;

    // The share of (primitive, point) pairs inside the primitives' boxes of reach: 1 when every
    // primitive reaches the whole grid, less the more screening leaves out.
    double reach() const;

private:
    // One primitive of a shell that reaches the grid: its exponentials (times its factor) on the
    // axis points it reaches, and its screening radius.
    struct Primitive {
        std::int64_t lo[3], hi[3];  // axis points [lo, hi) within the radius
        std::size_t table[3];       // where its values at lo .. hi - 1 start in tables_
        double radius2;             // bohr^2; beyond it the primitive is left out
    };
    struct Shell {
        double centre[3];
        bool p;
        std::size_t function;                 // its first basis function
        std::size_t first, count;             // its primitives in primitives_
        std::int64_t lo[3], hi[3];            // the union of its primitives' ranges
        double radius2;                       // the largest of its primitives'
    };

    void evaluate_row(std::int64_t i, std::int64_t j, const std::vector<std::size_t>& shells, double* rad,
                      double* const* rows) const;
    void evaluate_row_baseline(std::int64_t i, std::int64_t j, const std::vector<std::size_t>& shells, double* rad,
                               double* const* rows) const;
    void evaluate_row_avx2(std::int64_t i, std::int64_t j, const std::vector<std::size_t>& shells, double* rad,
                           double* const* rows) const;

    GridAxes axes_;
    std::size_t function_count_ = 0;
    std::size_t orbital_count_ = 0;
    std::vector<double> coef_;  // function_count_ per orbital
    std::vector<Shell> shells_;
    std::vector<Primitive> primitives_;
    std::vector<double> tables_;
    std::vector<double> z_;  // the grid's z coordinates
    std::size_t primitive_count_ = 0;  // of the basis, reaching the grid or not
};

// All values of `orbitals` (from 1) on the grid: orbitals.size() x points, in the grid's order.
std::vector<double> orbital_grid_values(const Checkpoint& c, const Orbitals& o, const std::vector<std::int32_t>& orbitals,
                                        const GridAxes& axes, int threads = 0, ScreeningBound bound = surface_bound);

}  // namespace zephor::exporter
