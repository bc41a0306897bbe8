// The golden outputs were made with one linear-algebra library; zephor built against another
// computes other last bits (and even other eigenvector signs). Tests that compare with them skip,
// saying so, where the library differs, rather than fail on a difference that is not a fault.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "solver/lapack_library.hpp"

namespace zephor_test {

// The library and version the golden outputs were made with (Debian 12's OpenBLAS).
inline constexpr const char* golden_library_version = "0.3.21";

// Why the golden outputs do not apply to this build, or nothing when they do.
inline std::optional<std::string> golden_library_mismatch() {
    const zephor::LapackLibrary l = zephor::lapack_library();
    if (l.version == golden_library_version) return std::nullopt;
    return "the golden outputs were made with OpenBLAS " + std::string(golden_library_version) + "; this build loads " +
           l.path + " (" + (l.config.empty() ? "not OpenBLAS" : l.config) + ")";
}

}  // namespace zephor_test

#define ZEPHOR_SKIP_UNLESS_GOLDEN_LIBRARY()                                   \
    do {                                                                      \
        if (const auto why = ::zephor_test::golden_library_mismatch()) GTEST_SKIP() << *why; \
    } while (0)
