// The run's n x n arrays: their room reserved, and its pages faulted in by all threads at once.
#pragma once

#include <cstddef>
#include <vector>

namespace zephor {

// Reserves `count` doubles in `v` (empty) as reserve_large does and, when `threaded` (the run's
// worker threads are started), has the kernel fault in the room's pages on every thread at once.
// On this kind of machine the first touch of 32 MB took 9 to 55 ms on the one thread that
// value-initialises the array next; the values written afterwards are the same either way.
void reserve_large_on_threads(std::vector<double>& v, std::size_t count, bool threaded);

}  // namespace zephor
