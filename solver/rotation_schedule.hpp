// The order in which the rotation kernel runs the rotations of pending sweeps: a wavefront over
// the sweeps, worked out once and replayed by every block of rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "solver/deferred_rotations.hpp"

namespace zephor {

// A stretch of one sweep in the order the kernel runs them: rotations r0 .. r1 - 1 in the sweep's
// own order (ascending j for a forward sweep, descending for a backward one).
struct Step {
    std::uint32_t sweep;
    std::uint32_t r0, r1;
};

// A rotation of sweep k may run once every earlier sweep is finished with both its columns, so
// each element still sees every operation of the sequential order, in that order; the sweeps take
// turns, each advancing a few rotations, and so work on a narrow band of columns together.
// `steps` is cleared and must hold one entry per rotation without growing (the kernel runs inside
// the library's frames); `done` is work space, one per sweep.
void schedule_sweeps(const Sweep* sweeps, std::size_t count, std::vector<Step>& steps, std::vector<int>& done);

}  // namespace zephor
