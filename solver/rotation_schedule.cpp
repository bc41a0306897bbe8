// The wavefront of the rotation kernel.
#include "solver/rotation_schedule.hpp"

#include <algorithm>

namespace zephor {

namespace {

// Rotations a sweep may advance at one turn of the wavefront: small, so that the sweeps follow
// one another closely and the band of columns they work on stays in the first-level cache.
constexpr int step_rotations = 8;

}  // namespace

// The order in which a block of rows runs the rotations of `sweeps`: a wavefront. A rotation of
// sweep k may run once every earlier sweep is finished with both its columns, so each element
// still sees every operation of the sequential order, in that order; the sweeps take turns, each
// advancing at most step_rotations, and so work on a narrow band of columns together. The order
// depends on the sweeps only and serves every block of rows.
void schedule_sweeps(const Sweep* sweeps, std::size_t count, std::vector<Step>& steps, std::vector<int>& done) {
    steps.clear();
    done.assign(count, 0);
    // Columns of sweep k that it has still to touch: [lo, hi], empty when lo > hi.
    auto unfinished = [&](std::size_t k, int& lo, int& hi) {
        const Sweep& w = sweeps[k];
        const int rotations = w.count - 1;
        if (done[k] >= rotations) {
            lo = 1;
            hi = 0;
        } else if (w.forward) {
            lo = w.first + done[k];
            hi = w.first + rotations;
        } else {
            lo = w.first;
            hi = w.first + rotations - done[k];
        }
    };
    std::size_t finished = 0;
    for (std::size_t k = 0; k < count; ++k)
        if (sweeps[k].count <= 1) ++finished;
    while (finished < count) {
        for (std::size_t k = 0; k < count; ++k) {
            const Sweep& w = sweeps[k];
            const int rotations = w.count - 1;
            if (done[k] >= rotations) continue;
            // How far the earlier sweeps let this one go: a forward sweep moves right from its
            // column in progress p (next rotation on p, p + 1), a backward one left from p (next
            // rotation on p - 1, p).
            int allowed = 0;
            if (w.forward) {
                const int p = w.first + done[k];
                int bound = w.first + rotations + 1;  // first column it may not touch
                for (std::size_t e = 0; e < k; ++e) {
                    int lo, hi;
                    unfinished(e, lo, hi);
                    if (lo <= hi && hi >= p) bound = std::min(bound, std::max(lo, p));
                }
                allowed = bound - 1 - p;
            } else {
                const int p = w.first + rotations - done[k];
                int bound = w.first - 1;  // last column it may not touch
                for (std::size_t e = 0; e < k; ++e) {
                    int lo, hi;
                    unfinished(e, lo, hi);
                    if (lo <= hi && lo <= p) bound = std::max(bound, std::min(hi, p));
                }
                allowed = p - 1 - bound;
            }
            allowed = std::min({allowed, step_rotations, rotations - done[k]});
            if (allowed <= 0) continue;
            steps.push_back({static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(done[k]),
                             static_cast<std::uint32_t>(done[k] + allowed)});
            done[k] += allowed;
            if (done[k] == rotations) ++finished;
        }
    }
}

}  // namespace zephor
