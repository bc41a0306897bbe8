// Geometry builders. Coordinates are rounded to six decimals when written, as a user's file would
// have them.
#include "bench/molecules.hpp"

#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

namespace zephor_bench {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double deg = pi / 180.0;

}  // namespace

std::vector<Atom> alkane(int carbons) {
    const double cc = 1.54;
    const double ch = 1.09;
    const double half = 109.47 * deg / 2.0;
    const double dx = cc * std::sin(half);
    const double dy = cc * std::cos(half);
    std::vector<Atom> a;
    for (int i = 0; i < carbons; ++i) a.push_back({'C', i * dx, (i % 2 ? dy / 2 : -dy / 2), 0.0});
    // Two hydrogens per carbon, outward from the chain and above and below its plane.
    for (int i = 0; i < carbons; ++i) {
        const double side = (i % 2) ? 1.0 : -1.0;
        const double y = a[static_cast<std::size_t>(i)].y + side * ch * std::cos(54.75 * deg);
        const double z = ch * std::sin(54.75 * deg);
        a.push_back({'H', a[static_cast<std::size_t>(i)].x, y, z});
        a.push_back({'H', a[static_cast<std::size_t>(i)].x, y, -z});
    }
    if (carbons > 0) {
        a.push_back({'H', a.front().x - ch, a.front().y, 0.0});
        const Atom& last = a[static_cast<std::size_t>(carbons - 1)];
        a.push_back({'H', last.x + ch, last.y, 0.0});
    }
    return a;
}

std::vector<Atom> flake(int shells) {
    const double cc = 1.42;
    const double ch = 1.09;
    // Ring centres on a triangular lattice (axial coordinates within hexagonal distance), ring
    // vertices at 30 + 60 m degrees; shared vertices are merged.
    std::map<std::pair<long long, long long>, std::pair<double, double>> carbon;
    for (int i = -shells + 1; i < shells; ++i)
        for (int j = -shells + 1; j < shells; ++j) {
            if (std::abs(i + j) >= shells) continue;
            const double cx = std::sqrt(3.0) * cc * (i + 0.5 * j);
            const double cy = 1.5 * cc * j;
            for (int m = 0; m < 6; ++m) {
                const double x = cx + cc * std::cos((30.0 + 60.0 * m) * deg);
                const double y = cy + cc * std::sin((30.0 + 60.0 * m) * deg);
                carbon[{std::llround(x * 1e4), std::llround(y * 1e4)}] = {x, y};
            }
        }
    std::vector<Atom> a;
    for (const auto& [key, p] : carbon) a.push_back({'C', p.first, p.second, 0.0});
    // A hydrogen on every carbon with two carbon neighbours, opposite to them.
    const std::size_t nc = a.size();
    for (std::size_t i = 0; i < nc; ++i) {
        double sx = 0.0, sy = 0.0;
        int neighbours = 0;
        for (std::size_t j = 0; j < nc; ++j) {
            const double dx = a[j].x - a[i].x;
            const double dy = a[j].y - a[i].y;
            const double d = std::hypot(dx, dy);
            if (j != i && d < 1.5 * cc / 1.42) {
                sx += dx / d;
                sy += dy / d;
                ++neighbours;
            }
        }
        if (neighbours != 2) continue;
        const double len = std::hypot(sx, sy);
        a.push_back({'H', a[i].x - ch * sx / len, a[i].y - ch * sy / len, 0.0});
    }
    return a;
}

std::vector<Atom> no_chain(int units) {
    const double bond = 1.43;
    const double half = 116.0 * deg / 2.0;
    const double dx = bond * std::sin(half);
    const double dy = bond * std::cos(half);
    const char backbone[4] = {'N', 'C', 'O', 'C'};
    std::vector<Atom> a;
    const int count = 4 * units;
    for (int i = 0; i < count; ++i) a.push_back({backbone[i % 4], i * dx, (i % 2 ? dy / 2 : -dy / 2), 0.0});
    for (int i = 0; i < count; ++i) {
        const Atom b = a[static_cast<std::size_t>(i)];
        const double side = (i % 2) ? 1.0 : -1.0;
        switch (i % 4) {
            case 0: a.push_back({'H', b.x, b.y + side * 1.01, 0.0}); break;
            case 1: a.push_back({'O', b.x, b.y + side * 1.22, 0.0}); break;
            case 3: {
                const double y = b.y + side * 1.09 * std::cos(54.75 * deg);
                const double z = 1.09 * std::sin(54.75 * deg);
                a.push_back({'H', b.x, y, z});
                a.push_back({'H', b.x, y, -z});
                break;
            }
            default: break;
        }
    }
    if (count > 0) {
        a.push_back({'H', a.front().x - 1.01, a.front().y, 0.0});
        const Atom& last = a[static_cast<std::size_t>(count - 1)];
        a.push_back({'H', last.x + 1.09, last.y, 0.0});
    }
    return a;
}

int basis_count(const std::vector<Atom>& atoms) {
    int n = 0;
    for (const Atom& a : atoms) n += (a.symbol == 'H') ? 1 : 4;
    return n;
}

std::string for005(const std::vector<Atom>& atoms) {
    std::string text = "bench\n0\n";
    char line[96];
    for (const Atom& a : atoms) {
        std::snprintf(line, sizeof line, "%c %.6f %.6f %.6f\n", a.symbol, a.x, a.y, a.z);
        text += line;
    }
    return text;
}

}  // namespace zephor_bench
