// A regular Cartesian grid (lengths in bohr): its first point, its number of points along x, y
// and z, and the step between neighbours. Values on it are stored x slowest, z fastest, the
// order of a cube file's values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zephor::exporter {

struct GridAxes {
    double origin[3] = {0.0, 0.0, 0.0};  // bohr
    std::int64_t count[3] = {0, 0, 0};
    double spacing = 0.25;  // bohr
};

// The coordinate (bohr) of point `index` along axis `u`: every evaluation of a grid, fast or
// plain, places its points here, as a cube reader computes them from the header.
inline double grid_coordinate(const GridAxes& g, std::size_t u, std::int64_t index) {
    return g.origin[u] + static_cast<double>(index) * g.spacing;
}

inline std::int64_t grid_point_count(const GridAxes& g) { return g.count[0] * g.count[1] * g.count[2]; }

}  // namespace zephor::exporter
