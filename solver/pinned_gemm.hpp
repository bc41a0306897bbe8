// The pinned kernel's matrix product at full vector width.
//
// The library's one-thread dgemm on the pinned SSE3 kernel gives every element of C its bits by
// the order of the operations on it, not by the width of the registers that carry them:
//  - C is first scaled by beta when beta is not 1 (beta = 0 stores zeros, whatever C held);
//  - nothing more when k = 0 or alpha = 0;
//  - the inner dimension is cut into chunks by its length only: 128 while at least 256 remain,
//    else half of what remains rounded up to a multiple of 4 when more than 128 remain, else
//    all that remains;
//  - per chunk, an element whose row and column both lie in a full group of four (rows and
//    columns below m and n rounded down to multiples of 4) gets one sum, started at +0 and added
//    to in ascending order of the inner index, each product a separate multiply and add; then
//    C = alpha * sum + C.
// The elements past the last full group (the last m mod 4 rows, the last n mod 4 columns) are
// summed in other orders (several partial sums); those strips are handed to the library's own
// routine, whose groups then hold the same elements in the same places. The rest is computed
// here with AVX-512 or AVX2 registers over 8 or 4 rows at once, without fused multiply-adds:
// the same operations on every element, so the same bits and the same floating-point flags.
#pragma once

#include <cstddef>

namespace zephor {

// The library's dgemm_ (BLAS interface, hidden lengths of the two option strings).
using gemm_routine = void(const char* transa, const char* transb, const int* m, const int* n, const int* k,
                          const double* alpha, const double* a, const int* lda, const double* b, const int* ldb,
                          const double* beta, double* c, const int* ldc, std::size_t, std::size_t);

// C = alpha op(A) op(B) + beta C with transa, transb one of N, T, C: bit for bit what
// library(...) gives. Calls the library with the whole product when the processor has neither
// AVX2 nor AVX-512, when the call is one it would reject or that has no full 4 x 4 group, or
// when the work buffers (a few hundred KiB) cannot be had; never throws.
void pinned_gemm(gemm_routine* library, char transa, char transb, int m, int n, int k, double alpha,
                 const double* a, int lda, const double* b, int ldb, double beta, double* c, int ldc);

// The widest registers pinned_gemm may use, in doubles: 8 (AVX-512, the default), 4 (AVX2) or
// 0 (every call to the library whole); never wider than the processor has. For tests and the
// benchmark, which compare them.
void set_pinned_gemm_width(int doubles);

// The width pinned_gemm uses now (0: the library's own routine).
int pinned_gemm_width();

// The length of the chunk of the inner dimension that starts with `remaining` indices left, as
// the library's driver cuts it.
inline int pinned_gemm_chunk(int remaining) {
    if (remaining >= 256) return 128;
    if (remaining > 128) return (remaining / 2 + 3) / 4 * 4;
    return remaining;
}

}  // namespace zephor
