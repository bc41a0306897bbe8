// LAPACK's one-letter options (side, direction, transposition ...), which callers may pass in
// either case.
#pragma once

namespace zephor {

// Whether the option `p` points at is `upper_letter` (given in upper case) in either case.
inline bool lapack_option_is(const char* p, char upper_letter) {
    return *p == upper_letter || *p == upper_letter + ('a' - 'A');
}

}  // namespace zephor
