// The threads that share the solver's work inside dsygv: the rotation kernel's row blocks and the
// split products and solves.
//
// The library runs most of dsygv on one thread, and the shared parts come in hundreds of short
// bursts in between. OpenMP's idle threads spin for milliseconds after each burst (busy-waiting,
// whatever other work wants the core), so the solver keeps a team of its own whose workers sleep
// on a condition variable between bursts. A burst's blocks are taken one at a time in ascending
// order by whichever thread is free, the calling thread one of them; since every block computes
// the same bits on any thread, a team that cannot grow (threads refused, a second caller, a
// burst started from inside a burst) only runs more of the blocks on the caller.
#pragma once

#include <cstdint>

namespace zephor {

// Runs part(context, b) for every b in [0, count) on the calling thread and up to threads - 1
// workers, and returns when all have run, with the floating-point flags every block raised
// raised on the calling thread too. `part` must not throw.
void run_on_team(int count, int threads, void (*part)(void* context, int block), void* context);

// The same with any callable.
template <class Part>
void run_on_team(int count, int threads, Part& part) {
    run_on_team(count, threads, [](void* p, int b) { (*static_cast<Part*>(p))(b); }, &part);
}

// Starts workers up to `threads` in all (counting the caller) now, before the solver sizes what
// the library may still allocate; returns how many the team has.
int prepare_team(int threads);

// Bursts run so far and bursts that had at least one worker.
struct TeamCounts {
    std::uint64_t bursts = 0;
    std::uint64_t shared_bursts = 0;
};
TeamCounts team_counts();

}  // namespace zephor
