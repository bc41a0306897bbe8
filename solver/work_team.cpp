// The solver's sleeping team: workers started on demand and kept for the life of the process,
// one burst at a time, blocks handed out by an atomic counter.
#include "solver/work_team.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "common/thread_fp_flags.hpp"

namespace zephor {

namespace {

// More workers than this are never started, whatever the thread count asks.
constexpr int max_workers = 63;

thread_local bool inside_burst = false;

class Team {
public:
    ~Team() {
        {
            const std::lock_guard<std::mutex> lock(mu_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

    int grow(int wanted_workers) {
        const std::lock_guard<std::mutex> lock(mu_);
        wanted_workers = std::min(wanted_workers, max_workers);
        while (static_cast<int>(workers_.size()) < wanted_workers) {
            try {
                const int index = static_cast<int>(workers_.size());
                workers_.emplace_back([this, index] { work(index); });
            } catch (const std::system_error&) {
                break;  // refused: the team stays as it is
            } catch (const std::bad_alloc&) {
                break;
            }
        }
        return static_cast<int>(workers_.size());
    }

    // One burst; false when the team is busy with another caller's (the caller then runs it).
    bool run(int count, int workers, void (*part)(void*, int), void* context) {
        bool idle = false;
        if (!busy_.compare_exchange_strong(idle, true)) return false;
        bursts_.fetch_add(1);
        workers = std::min(grow(workers), workers);
        FpFlagsCollector flags;
        {
            const std::lock_guard<std::mutex> lock(mu_);
            part_ = part;
            context_ = context;
            count_ = count;
            next_.store(0);
            invited_ = workers;
            finished_ = 0;
            flags_ = &flags;
            ++generation_;
        }
        if (workers > 0) {
            shared_bursts_.fetch_add(1);
            wake_.notify_all();
        }
        inside_burst = true;
        take_blocks();
        inside_burst = false;
        {
            std::unique_lock<std::mutex> lock(mu_);
            done_.wait(lock, [this] { return finished_ == invited_; });
            flags_ = nullptr;
        }
        busy_.store(false);
        return true;  // the collector raises every worker's flags here
    }

    TeamCounts counts() const { return {bursts_.load(), shared_bursts_.load()}; }

private:
    void take_blocks() {
        for (int b = next_.fetch_add(1); b < count_; b = next_.fetch_add(1)) part_(context_, b);
    }

    void work(int index) {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mu_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || (generation_ != seen && index < invited_); });
            if (stop_) return;
            seen = generation_;
            FpFlagsCollector* const flags = flags_;
            lock.unlock();
            inside_burst = true;
            flags->enter();
            take_blocks();
            flags->leave();
            inside_burst = false;
            lock.lock();
            if (++finished_ == invited_) done_.notify_one();
        }
    }

    std::mutex mu_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> workers_;
    std::atomic<bool> busy_{false};
    bool stop_ = false;
    std::uint64_t generation_ = 0;
    void (*part_)(void*, int) = nullptr;
    void* context_ = nullptr;
    int count_ = 0;
    std::atomic<int> next_{0};
    int invited_ = 0;
    int finished_ = 0;
    FpFlagsCollector* flags_ = nullptr;
    std::atomic<std::uint64_t> bursts_{0}, shared_bursts_{0};
};

Team& team() {
    static Team t;
    return t;
}

}  // namespace

void run_on_team(int count, int threads, void (*part)(void* context, int block), void* context) {
    if (count <= 0) return;
    const int workers = std::min(threads, count) - 1;
    if (workers > 0 && !inside_burst && team().run(count, workers, part, context)) return;
    for (int b = 0; b < count; ++b) part(context, b);
}

int prepare_team(int threads) { return 1 + team().grow(threads - 1); }

TeamCounts team_counts() { return team().counts(); }

}  // namespace zephor
