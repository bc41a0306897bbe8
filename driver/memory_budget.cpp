// Memory budget from the system's own totals.
#include "driver/memory_budget.hpp"

#include <sys/sysinfo.h>

namespace zephor {

std::uint64_t peak_matrix_bytes(std::int64_t basis_count) {
    const std::uint64_t n = static_cast<std::uint64_t>(basis_count);
    return 2 * n * n * sizeof(double);
}

std::uint64_t machine_memory_bytes() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return 0;
    return (static_cast<std::uint64_t>(info.totalram) + info.totalswap) * info.mem_unit;
}

bool fits_in_memory(std::int64_t basis_count, std::uint64_t memory_bytes) {
    return memory_bytes == 0 || peak_matrix_bytes(basis_count) <= memory_bytes;
}

}  // namespace zephor
