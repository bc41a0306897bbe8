// The eigenvector rotations of the tridiagonal QL/QR iteration, deferred and fused.
//
// Inside dsygv, the library's dsteqr applies each sweep of plane rotations to the n x n
// eigenvector matrix Z with dlasr ('R', 'V', 'F' or 'B'), one rotation at a time, streaming all of
// Z through memory once per sweep. Between two such calls dsteqr never reads Z; it reads it again
// only through dswap (sorting at the end) and after it returns. So the program exports dlasr_,
// dswap_ and a dsteqr_ wrapper, which the library reaches through its PLT, records the sweeps
// (cosines, sines, window, direction) and applies up to 64 of them at a time, block of rows by
// block of rows, in a wavefront that keeps the columns they share in cache and the rows being
// rotated in registers, on the solver's threads over row blocks. Every element of Z still sees exactly the
// same multiplications and additions in the same order, so the result is the same to the bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zephor {

// The library's own dlasr: applies a sequence of plane rotations (LAPACK's interface).
using dlasr_fn = void(const char* side, const char* pivot, const char* direct, const int* m, const int* n,
                      const double* c, const double* s, double* a, const int* lda, std::size_t, std::size_t,
                      std::size_t);

// Finds the library's own dlasr_, dswap_ and dsteqr_ in the library opened as `library` (a
// dlopen handle), to which the exported ones hand every call they do not defer.
void install_rotation_kernel(void* library);

// Whether dsteqr defers its rotations (on by default); off, every call goes to the library's own
// routines through the exported ones. For tests that compare both.
void set_rotation_deferral(bool on);

// Whether the kernel keeps to SSE2 even where the processor has AVX2 or AVX-512, and whether it
// keeps to AVX2 where it has AVX-512 (both off by default). For tests that compare the builds
// of it.
void set_rotation_sse2_only(bool on);
void set_rotation_avx2_only(bool on);

// How many times the library called the exported dsteqr_ and how many sweeps were deferred since
// the start. A library that binds its calls internally never calls them: its solves are then its
// own, the same bytes, only slower.
struct RotationCounts {
    std::uint64_t dsteqr_calls = 0;
    std::uint64_t deferred_sweeps = 0;
};
RotationCounts rotation_counts();

// One sweep of rotations from the right on columns [first, first + count) of the m x ? matrix a
// (column-major, leading dimension lda): rotation j (from 0) acts on columns first + j and
// first + j + 1 with cosine c[j] and sine s[j], in ascending j (forward) or descending j
// (backward); an identity rotation (c = 1, s = 0) is skipped, as the library does.
struct Sweep {
    bool forward;
    int first;
    int count;
    const double* c;
    const double* s;
};

// Applies `sweeps` in order to rows [0, m) of a: the fused kernel, on the solver's threads over row
// blocks. Bit for bit what calling dlasr('R', 'V', F or B, m, count, c, s, &a[first * lda], lda)
// once per sweep gives, and the same floating-point flags.
void apply_sweeps(const Sweep* sweeps, std::size_t sweep_count, double* a, int m, int lda);

}  // namespace zephor
