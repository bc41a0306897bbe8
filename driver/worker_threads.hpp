// The OpenMP worker threads of a large run, started while the run still holds little memory.
#pragma once

namespace zephor {

// Starts the worker threads of the parallel phases now. Where the system refuses a thread (a
// process limit, an address-space limit that leaves no room for its stack) the run goes on the
// calling thread alone, with the same bytes: the OpenMP runtime would otherwise end the process
// with a message of its own at the first parallel phase.
void start_worker_threads();

}  // namespace zephor
