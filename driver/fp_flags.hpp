// The floating-point note of a plain stop: which of the processor's exception flags are raised.
#pragma once

#include <string>

namespace zephor {

// "Note: The following floating-point exceptions are signalling:" with " IEEE_INVALID_FLAG",
// " IEEE_DIVIDE_BY_ZERO", " IEEE_OVERFLOW_FLAG", " IEEE_UNDERFLOW_FLAG", " IEEE_DENORMAL" for the
// raised flags, in that order; empty when none is raised. Inexact is never reported.
std::string fp_note();

}  // namespace zephor
