// Reads the flags of this thread's floating-point environment: the standard four through
// fetestexcept, the x86 denormal-operand bit from both MXCSR (SSE) and the x87 status word.
#include "driver/fp_flags.hpp"

#include <cfenv>
#include <cstdint>

namespace zephor {

namespace {

bool denormal_raised() {
#if defined(__x86_64__) || defined(__i386__)
    std::uint32_t mxcsr = 0;
    std::uint16_t x87 = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    __asm__ volatile("fnstsw %0" : "=m"(x87));
    return ((mxcsr | x87) & 0x2u) != 0;  // DE is bit 1 in both
#else
    return false;
#endif
}

}  // namespace

std::string fp_note() {
    std::string flags;
    if (std::fetestexcept(FE_INVALID)) flags += " IEEE_INVALID_FLAG";
    if (std::fetestexcept(FE_DIVBYZERO)) flags += " IEEE_DIVIDE_BY_ZERO";
    if (std::fetestexcept(FE_OVERFLOW)) flags += " IEEE_OVERFLOW_FLAG";
    if (std::fetestexcept(FE_UNDERFLOW)) flags += " IEEE_UNDERFLOW_FLAG";
    if (denormal_raised()) flags += " IEEE_DENORMAL";
    if (flags.empty()) return {};
    return "Note: The following floating-point exceptions are signalling:" + flags;
}

}  // namespace zephor
