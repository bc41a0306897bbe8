// The library's large matrix products, triangular solves and rank-2k updates, split over threads.
//
// Inside dsygv the library calls dgemm (building the eigenvector matrix from its reflectors),
// dtrsm (the reduction to standard form and the back-transformation of the eigenvectors) and
// dsyr2k (the reductions to standard and to tridiagonal form) through its PLT, like dlasr. The
// program exports all three: a large call is cut into blocks of whole columns (or whole rows) of
// the result, and each block is handed to the library's own one-thread routines on a thread of
// the solver's team (its products to pinned_gemm, the library's bits at full vector width).
// Every element of a product (every column of a triangular solve with the matrix on the left,
// every row with it on the right) is computed from the same inputs whichever block holds
// it: the library chunks the inner dimension by its own size only, and its kernels treat a row
// or column by its place within groups of a few (at most 16), so blocks that start at multiples
// of 32 leave every element in the same place within its group, and the last block keeps the
// same remainder. Hence the same bits on any thread count. (How dsyr2k is cut: beside it.) The
// library's own threads are different: they chunk the inner dimension otherwise, and the bits
// change with them.
#pragma once

#include <cstdint>

namespace zephor {

// Finds the library's own dgemm_ and dtrsm_ in the library opened as `library` (a dlopen
// handle); the exported ones hand every call they do not split to them.
void install_level3_split(void* library);

// Whether large calls are split and products computed at full width (solver/pinned_gemm.hpp),
// on by default; off, every call goes to the library's own routine whole. For tests and the
// benchmark, which compare both.
void set_level3_split(bool on);

// How many blocks may run at once (1: none split). Each thread that runs a block takes a work
// buffer of its own from the library, which retries forever when the system refuses one, so the
// solver allows only as many as it has made sure there is room for.
void allow_level3_split(int concurrent_blocks);

// The most blocks run at once, whatever the thread count: the room for the library's buffers
// asked for in advance stays bounded.
inline constexpr int level3_max_concurrent = 8;

// Blocks of at least this many rows or columns, starting at multiples of it.
inline constexpr int level3_block_multiple = 32;

// For tests: split every call with at least two blocks into `blocks` blocks (0: the size rule).
void set_level3_forced_blocks(int blocks);

// How many calls the library made to the exported routines, and how many of them were split.
struct Level3Counts {
    std::uint64_t calls = 0;
    std::uint64_t split_calls = 0;
};
Level3Counts level3_counts();

}  // namespace zephor
