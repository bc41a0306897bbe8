// Solves on several Python threads at once. A private namespace holds one solve at a time (its
// library is pinned to one thread and the routines keep the state of the solve they are in), so
// the module keeps several, made as threads ask for them, up to a limit or until the system
// refuses another (the dynamic linker has room for few namespaces): a thread takes a free one
// and waits when every one is taken. Every namespace holds the same library with the same pins,
// so which one a run takes changes no bit.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "solver/private_library.hpp"

namespace zephor {

class SolverPool {
public:
    SolverPool(std::string environment_module, std::string solve_module, std::size_t most);

    // A namespace held until the lease ends.
    class Lease {
    public:
        Lease(SolverPool& pool, const PrivateSolver& solver) : pool_(&pool), solver_(&solver) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease() { pool_->give_back(solver_); }
        const PrivateSolver& operator*() const { return *solver_; }
        const PrivateSolver* operator->() const { return solver_; }

    private:
        SolverPool* pool_;
        const PrivateSolver* solver_;
    };

    // A free namespace, a new one, or (all taken, no more possible) the next one given back.
    // The first namespace's failure to load is thrown, and tried again at the next call.
    Lease take();
    // The counters of every namespace, summed, and the first one's descriptions.
    PrivateSolveCounts counts();
    const PrivateSolver& first();

private:
    void give_back(const PrivateSolver* s);

    std::string environment_module_, solve_module_;
    std::size_t most_;
    std::mutex lock_;
    std::condition_variable given_back_;
    std::vector<std::unique_ptr<PrivateSolver>> all_;
    std::vector<const PrivateSolver*> idle_;
    bool full_ = false;  // the system refused another namespace
};

}  // namespace zephor
