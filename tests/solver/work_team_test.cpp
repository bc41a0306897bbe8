// The solver's team: every block exactly once whatever the thread count, the blocks' flags on the
// caller, and the cases where the team cannot help (a burst inside a burst, two callers at once)
// still running every block.
#include "solver/work_team.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <chrono>
#include <thread>
#include <vector>

#include "common/thread_fp_flags.hpp"

using namespace zephor;

namespace {

// Runs a burst of `count` blocks on `threads` threads and returns how often each block ran.
std::vector<int> runs_per_block(int count, int threads) {
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
    auto part = [&](int b) { runs[static_cast<std::size_t>(b)].fetch_add(1); };
    run_on_team(count, threads, part);
    std::vector<int> out;
    for (const auto& r : runs) out.push_back(r.load());
    return out;
}

}  // namespace

TEST(WorkTeam, EveryBlockRunsOnceOnAnyThreadCount) {
    const TeamCounts before = team_counts();
    for (int threads : {1, 2, 3, 5})
        for (int count : {0, 1, 2, 7, 100}) {
            const std::vector<int> runs = runs_per_block(count, threads);
            EXPECT_EQ(runs, std::vector<int>(static_cast<std::size_t>(count), 1))
                << count << " blocks, " << threads << " threads";
        }
    // Workers took part (unless the system refused every thread).
    if (prepare_team(2) >= 2) {
        EXPECT_GT(team_counts().shared_bursts, before.shared_bursts);
    }
}

TEST(WorkTeam, FlagsOfEveryBlockReachTheCaller) {
    if (prepare_team(3) < 2) GTEST_SKIP() << "no worker thread could be started";
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_INEXACT);  // the caller's own, kept
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> on_worker{false};
    volatile double one = 1.0, zero = 0.0;
    // Blocks on a worker divide by zero; block 0 waits (at most 10 s) until a worker has one.
    auto part = [&](int b) {
        if (std::this_thread::get_id() != caller) {
            volatile double r = one / zero;
            (void)r;
            on_worker.store(true);
        }
        for (int wait = 0; b == 0 && !on_worker.load() && wait < 10000; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    run_on_team(24, 3, part);
    const int raised = std::fetestexcept(FE_ALL_EXCEPT);
    EXPECT_TRUE(on_worker.load());
    EXPECT_TRUE(raised & FE_DIVBYZERO);
    EXPECT_TRUE(raised & FE_INEXACT);
    EXPECT_FALSE(raised & FE_INVALID);
    std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(WorkTeam, ABurstInsideABurstAndTwoCallersAtOnceRunEveryBlock) {
    prepare_team(2);
    std::atomic<int> inner{0}, outer{0};
    auto part = [&](int) {
        outer.fetch_add(1);
        auto nested = [&](int) { inner.fetch_add(1); };
        run_on_team(10, 2, nested);
    };
    run_on_team(4, 2, part);
    EXPECT_EQ(outer.load(), 4);
    EXPECT_EQ(inner.load(), 40);

    std::atomic<int> total{0};
    auto caller = [&] {
        for (int r = 0; r < 200; ++r) {
            auto count = [&](int) { total.fetch_add(1); };
            run_on_team(9, 2, count);
        }
    };
    std::thread other(caller);
    caller();
    other.join();
    EXPECT_EQ(total.load(), 2 * 200 * 9);
}
