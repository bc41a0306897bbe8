#include "python/solver_pool.hpp"

#include <utility>

#include "common/errors.hpp"

namespace zephor {

SolverPool::SolverPool(std::string environment_module, std::string solve_module, std::size_t most)
    : environment_module_(std::move(environment_module)), solve_module_(std::move(solve_module)),
      most_(most < 1 ? 1 : most) {}

SolverPool::Lease SolverPool::take() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        if (!idle_.empty()) {
            const PrivateSolver* s = idle_.back();
            idle_.pop_back();
            return Lease(*this, *s);
        }
        if (!full_ && all_.size() < most_) {
            try {
                all_.push_back(std::make_unique<PrivateSolver>(environment_module_, solve_module_));
                return Lease(*this, *all_.back());
            } catch (const ReportError&) {
                if (all_.empty()) throw;
                full_ = true;
            } catch (const MemoryRefused&) {
                if (all_.empty()) throw;
                full_ = true;
            }
        }
        given_back_.wait(hold);
    }
}

void SolverPool::give_back(const PrivateSolver* s) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        idle_.push_back(s);
    }
    given_back_.notify_one();
}

PrivateSolveCounts SolverPool::counts() {
    std::vector<const PrivateSolver*> every;
    {
        std::lock_guard<std::mutex> hold(lock_);
        for (const auto& s : all_) every.push_back(s.get());
    }
    PrivateSolveCounts sum;
    for (const PrivateSolver* s : every) {
        const PrivateSolveCounts c = s->counts();
        sum.dsteqr_calls += c.dsteqr_calls;
        sum.deferred_sweeps += c.deferred_sweeps;
        sum.level3_calls += c.level3_calls;
        sum.level3_split_calls += c.level3_split_calls;
    }
    return sum;
}

const PrivateSolver& SolverPool::first() {
    { 
        std::lock_guard<std::mutex> hold(lock_);
        if (!all_.empty()) return *all_.front();
    }
    Lease l = take();
    return *l;
}

}  // namespace zephor
