// Worker threads are tried with the system's default stack, as the OpenMP runtime creates them.
#include "driver/worker_threads.hpp"

#include <omp.h>
#include <pthread.h>

#include <vector>

namespace zephor {

namespace {
void* do_nothing(void*) { return nullptr; }
}  // namespace

void start_worker_threads() {
    const int workers = omp_get_max_threads() - 1;
    if (workers <= 0) return;
    std::vector<pthread_t> tried;
    tried.reserve(static_cast<std::size_t>(workers));
    bool refused = false;
    for (int i = 0; i < workers; ++i) {
        pthread_t t;
        if (pthread_create(&t, nullptr, do_nothing, nullptr) != 0) {
            refused = true;
            break;
        }
        tried.push_back(t);
    }
    for (const pthread_t t : tried) pthread_join(t, nullptr);
    if (refused) {
        omp_set_num_threads(1);
        return;
    }
    // The runtime keeps the team it starts here for every later parallel phase; nothing was
    // allocated since the trial, so the room the trial found is still there.
#pragma omp parallel
    {
    }
}

}  // namespace zephor
