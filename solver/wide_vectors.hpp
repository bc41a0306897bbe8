// The vector types of the wide kernels (the pinned products, the rotations), and the loads,
// stores and broadcasts written so that g++ 12 compiles each to one instruction: a memcpy into
// a vector array became two half-width stores read back by one full-width load (a stall on
// every use), and an eight-lane {x, x, ...} or a lane-by-lane fill became eight masked
// broadcasts chained through one register. None of them computes: the bits are the operands'.
#pragma once

#include <cstddef>

namespace zephor::wide {

using v4d = double __attribute__((vector_size(32)));
using v8d = double __attribute__((vector_size(64)));

// A vector at any double's address, which may alias the doubles it is read from (a packed
// struct: both compilers take its alignment as one byte).
template <class V>
struct [[gnu::packed, gnu::may_alias]] Unaligned {
    V v;
};

template <class V>
[[gnu::always_inline]] inline void load(V& out, const double* p) {
    out = reinterpret_cast<const Unaligned<V>*>(p)->v;
}

template <class V>
[[gnu::always_inline]] inline void store(double* p, const V& v) {
    reinterpret_cast<Unaligned<V>*>(p)->v = v;
}

// Every lane x: lane 0 spread by a shuffle. (Written to a reference: a vector returned by value
// warns of an ABI this inline function never has.)
template <class V>
[[gnu::always_inline]] inline void splat(V& out, double x) {
    V one{};
    one[0] = x;
    if constexpr (sizeof(V) == sizeof(v8d))
        out = __builtin_shufflevector(one, one, 0, 0, 0, 0, 0, 0, 0, 0);
    else
        out = __builtin_shufflevector(one, one, 0, 0, 0, 0);
}

// Every lane *p, read by one broadcast from memory. For eight lanes the broadcast is written
// out, since g++ 12 otherwise made it a lane-0 load and a shuffle (a second instruction, on the
// port the second multiplier shares), or merged neighbouring broadcasts into one load and
// permutes; four lanes compile to the one instruction as they stand.
template <class V>
[[gnu::always_inline]] inline void broadcast(V& out, const double* p) {
    if constexpr (sizeof(V) == sizeof(v8d))
        asm("vbroadcastsd %1, %0" : "=v"(out) : "m"(*p));
    else
        out = V{*p, *p, *p, *p};
}

}  // namespace zephor::wide
