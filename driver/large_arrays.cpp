// Faulting pages in is advice to the kernel (MADV_POPULATE_WRITE, Linux 5.14 on): where it is
// refused or unknown, the pages are simply faulted in later by their first write, as before.
#include "driver/large_arrays.hpp"

#include <omp.h>
#include <sys/mman.h>

#include <cstdint>

#include "common/large_array.hpp"

namespace zephor {

void reserve_large_on_threads(std::vector<double>& v, std::size_t count, bool threaded) {
    reserve_large(v, count);
#if defined(MADV_POPULATE_WRITE)
    const std::size_t bytes = count * sizeof(double);
    const int threads = threaded ? omp_get_max_threads() : 1;
    if (threads < 2 || bytes < (std::size_t(8) << 20)) return;
    // Whole huge pages to each thread, so that none is faulted in by two.
    const std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(v.data());
    const std::uintptr_t begin = (start + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (start + bytes) & ~(huge - 1);
    if (end <= begin) return;
    const std::uintptr_t pages = (end - begin) / huge;
#pragma omp parallel num_threads(threads)
    {
        const std::uintptr_t t = static_cast<std::uintptr_t>(omp_get_thread_num());
        const std::uintptr_t n = static_cast<std::uintptr_t>(omp_get_num_threads());
        const std::uintptr_t first = begin + pages * t / n * huge;
        const std::uintptr_t last = begin + pages * (t + 1) / n * huge;
        if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
    }
#else
    (void)threaded;
#endif
}

}  // namespace zephor
