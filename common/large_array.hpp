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

inline constexpr std::uintptr_t huge_page_bytes = std::uintptr_t(2) << 20;

// The whole 2 MiB pages inside `bytes` from `data` ([begin, end), empty when there are none), and
// none for an array below 8 MiB, which is left alone.
struct HugePages {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
};
inline HugePages huge_pages_in(const void* data, std::size_t bytes) {
    if (bytes < (std::size_t(8) << 20)) return {};
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + huge_page_bytes - 1) & ~(huge_page_bytes - 1);
    const std::uintptr_t end = (start + bytes) & ~(huge_page_bytes - 1);
    return end > begin ? HugePages{begin, end} : HugePages{};
}

// Reserves `count` elements in `v` (empty or smaller) and asks for huge pages on the whole 2 MiB
// pages inside it, before anything is written there. Small arrays are left alone.
template <typename T>
void reserve_large(std::vector<T>& v, std::size_t count) {
    v.reserve(count);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const HugePages h = huge_pages_in(v.data(), count * sizeof(T));
    // Advice only: where the kernel declines, the array simply stays on small pages.
    if (h.end > h.begin) madvise(reinterpret_cast<void*>(h.begin), h.end - h.begin, MADV_HUGEPAGE);
#endif
}

}  // namespace zephor
