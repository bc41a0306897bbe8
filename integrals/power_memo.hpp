// std::pow's results kept by the bits of their arguments. Planning one molecule's tables asks for
// the same few thousand powers over and over (every pair of function types of two exponent sets
// repeats them); a kept result is the value std::pow returned for exactly these arguments, so only
// the number of calls changes, and the flags they raise are the same set.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zephor {

class PowerMemo {
public:
    // Room for about `expected` different argument pairs; past that the calls are simply made.
    explicit PowerMemo(std::size_t expected) {
        std::size_t size = 64;
        while (size < 2 * expected) size *= 2;
        slots_.resize(size);
        limit_ = size / 4 * 3;
    }

    double operator()(double x, double y) {
        const std::uint64_t xb = std::bit_cast<std::uint64_t>(x);
        const std::uint64_t yb = std::bit_cast<std::uint64_t>(y);
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = static_cast<std::size_t>((xb * 0x9E3779B97F4A7C15ull ^ yb * 0xC2B2AE3D27D4EB4Full) >> 40) & mask;
        for (;; at = (at + 1) & mask) {
            Slot& s = slots_[at];
            if (!s.used) {
                const double v = std::pow(x, y);
                if (used_ < limit_) {
                    s = Slot{xb, yb, v, true};
                    ++used_;
                }
                return v;
            }
            if (s.x == xb && s.y == yb) return s.value;
        }
    }

private:
    struct Slot {
        std::uint64_t x = 0, y = 0;
        double value = 0.0;
        bool used = false;
    };
    std::vector<Slot> slots_;
    std::size_t limit_ = 0;
    std::size_t used_ = 0;
};

}  // namespace zephor
