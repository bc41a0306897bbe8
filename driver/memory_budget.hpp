// Whether the machine can hold a run's matrices at all, judged before the first allocation.
#pragma once

#include <cstdint>

namespace zephor {

// Bytes of the run's peak: two n x n arrays of doubles (the overlap and the Hamiltonian, which
// the solve and the density then reuse).
std::uint64_t peak_matrix_bytes(std::int64_t basis_count);

// The machine's memory and swap together, in bytes (0 when the system does not say).
std::uint64_t machine_memory_bytes();

// False when the peak exceeds `memory_bytes`: such a run could never finish, and with the
// system's lazy allocation it would not be refused either, only killed part-way.
bool fits_in_memory(std::int64_t basis_count, std::uint64_t memory_bytes);

}  // namespace zephor
