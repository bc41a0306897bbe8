// Floating-point exception flags across OpenMP teams. Each thread has its own flags, and a plain
// stop reports those of the main thread; work split over threads must therefore hand the flags
// its workers raised back to the main thread, so that the report matches a one-thread run.
#pragma once

#include <cfenv>
#include <cstdint>

namespace zephor {

// Below this many basis functions a phase takes well under a millisecond, less than waking a
// second thread costs; such molecules (water and the like) run every phase on the calling thread.
inline constexpr long long threads_from_basis_count = 160;

// The standard exception flags (fetestexcept bits) and the x86 denormal-operand flag, which
// fetestexcept does not cover but the floating-point note reports.
struct FpFlags {
    int except = 0;
    bool denormal = false;

    FpFlags& operator|=(const FpFlags& o) {
        except |= o.except;
        denormal = denormal || o.denormal;
        return *this;
    }
};

// Reads this thread's flags and clears them.
inline FpFlags take_thread_fp_flags() {
    FpFlags f;
    f.except = std::fetestexcept(FE_ALL_EXCEPT);
    std::feclearexcept(FE_ALL_EXCEPT);
#if defined(__x86_64__) || defined(__i386__)
    std::uint32_t mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    f.denormal = (mxcsr & 0x2u) != 0;  // DE, bit 1
    mxcsr &= ~0x2u;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
    return f;
}

// Raises `f` in this thread (in addition to what is raised already).
inline void raise_thread_fp_flags(const FpFlags& f) {
    if (f.except != 0) std::feraiseexcept(f.except);
#if defined(__x86_64__) || defined(__i386__)
    if (f.denormal) {
        std::uint32_t mxcsr = 0;
        __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
        mxcsr |= 0x2u;
        __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    }
#endif
}

// Collects the flags of a parallel region. Construct on the main thread before the region: it
// sets the main thread's flags aside. Every thread calls enter() first and leave() last inside
// the region; the destructor, back on the main thread, raises the union of everything.
class FpFlagsCollector {
public:
    FpFlagsCollector() : saved_(take_thread_fp_flags()) {}
    ~FpFlagsCollector() {
        raise_thread_fp_flags(saved_);
        raise_thread_fp_flags(raised_);
    }
    FpFlagsCollector(const FpFlagsCollector&) = delete;
    FpFlagsCollector& operator=(const FpFlagsCollector&) = delete;

    // A pooled worker thread may still hold flags of earlier work: start clean.
    void enter() { take_thread_fp_flags(); }
    void leave() {
        const FpFlags mine = take_thread_fp_flags();
#pragma omp critical(zephor_fp_flags)
        raised_ |= mine;
    }
    // Flags known to be raised by work that was skipped (for instance an exponential known to
    // underflow to zero); merged like a worker's.
    void add(const FpFlags& f) {
#pragma omp critical(zephor_fp_flags)
        raised_ |= f;
    }

private:
    FpFlags saved_;
    FpFlags raised_;
};

}  // namespace zephor
