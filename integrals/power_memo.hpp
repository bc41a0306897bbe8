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
    // The table is kept small (three flat arrays, each a few ten kilobytes for a molecule of
    // four elements) because it is made afresh for every molecule.
    explicit PowerMemo(std::size_t expected) {
        std::size_t size = 64;
        while (2 * size < 3 * expected) size *= 2;
        x_.resize(size);
        value_.resize(size);
        exponent_.assign(size, 0);
        limit_ = size / 4 * 3;
    }

    double operator()(double x, double y) {
        const std::uint64_t xb = std::bit_cast<std::uint64_t>(x);
        const unsigned char e = exponent_code(y);
        if (e == 0) return std::pow(x, y);
        const std::size_t mask = x_.size() - 1;
        std::size_t at = static_cast<std::size_t>(((xb ^ e) * 0x9E3779B97F4A7C15ull) >> 40) & mask;
        for (;; at = (at + 1) & mask) {
            if (exponent_[at] == 0) {
                const double v = std::pow(x, y);
                if (used_ < limit_) {
                    x_[at] = xb;
                    value_[at] = v;
                    exponent_[at] = e;
                    ++used_;
                }
                return v;
            }
            if (exponent_[at] == e && x_[at] == xb) return value_[at];
        }
    }

private:
    // 1 + the index of y among the exponents met so far (a handful), or 0 when there are too many.
    unsigned char exponent_code(double y) {
        const std::uint64_t yb = std::bit_cast<std::uint64_t>(y);
        for (std::size_t i = 0; i < exponents_.size(); ++i)
            if (exponents_[i] == yb) return static_cast<unsigned char>(i + 1);
        if (exponents_.size() == 255) return 0;
        exponents_.push_back(yb);
        return static_cast<unsigned char>(exponents_.size());
    }

    std::vector<std::uint64_t> exponents_;
    std::vector<std::uint64_t> x_;
    std::vector<double> value_;
    std::vector<unsigned char> exponent_;  // 0: empty
    std::size_t limit_ = 0;
    std::size_t used_ = 0;
};

}  // namespace zephor
