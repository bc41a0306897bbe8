// Room for the large n x n arrays and buffers. On this kind of machine (a paravirtualised guest) the first
// touch of each 4 KiB page costs several microseconds, more than filling it; transparent huge
// pages bring that to one fault per 2 MiB. Only where the memory lies changes, never a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace zephor {

// Reserves `count` elements in `v` (empty or smaller) and asks for huge pages on the whole 2 MiB
// pages inside it, before anything is written there. Small arrays are left alone.
template <typename T>
void reserve_large(std::vector<T>& v, std::size_t count) {
    v.reserve(count);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const std::size_t bytes = count * sizeof(T);
    if (bytes < (std::size_t(8) << 20)) return;
    const std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(v.data());
    const std::uintptr_t begin = (start + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (start + bytes) & ~(huge - 1);
    // Advice only: where the kernel declines, the array simply stays on small pages.
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace zephor
