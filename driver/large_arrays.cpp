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
    const int threads = threaded ? omp_get_max_threads() : 1;
    // Whole huge pages to each thread, so that none is faulted in by two.
    const HugePages h = huge_pages_in(v.data(), count * sizeof(double));
    if (threads < 2 || h.end <= h.begin) return;
    const std::uintptr_t huge = huge_page_bytes;
    const std::uintptr_t begin = h.begin;
    const std::uintptr_t pages = (h.end - h.begin) / huge;
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
