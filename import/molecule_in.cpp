// Element symbols as chemists write them, the six elements zephor computes, and the distances
// between atoms.
#include "import/molecule_in.hpp"

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "common/elements.hpp"
#include "import/errors.hpp"

namespace zephor::importer {

std::string element_symbol(std::string_view text) {
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        int z = 0;
        for (const char c : text) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || z > 1000) return std::string(text);
            z = 10 * z + (c - '0');
        }
        if (z >= 1 && z < static_cast<int>(periodic_symbols.size())) return std::string(periodic_symbols[z]);
        return std::string(text);
    }
    std::string s(text);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        s[i] = static_cast<char>(i == 0 ? std::toupper(c) : std::tolower(c));
    }
    return s;
}

std::string element_of_label(std::string_view label) {
    const auto letter = [&](std::size_t i) {
        return i < label.size() && std::isalpha(static_cast<unsigned char>(label[i])) != 0;
    };
    if (!letter(0)) return element_symbol(label);
    if (letter(1)) {
        const std::string two = element_symbol(label.substr(0, 2));
        if (atomic_number_of(two) != 0) return two;
    }
    return element_symbol(label.substr(0, 1));
}

void check_elements(const MoleculeIn& m) {
    if (m.atoms.empty()) throw ContentError("the file holds no atom");
    for (std::size_t i = 0; i < m.atoms.size(); ++i) {
        const std::string& s = m.atoms[i].symbol;
        if (s.size() != 1 || supported_element(s[0]) == nullptr)
            throw ContentError("atom " + std::to_string(i + 1) + ": " + shown(s) + " is not one of " +
                               std::string(supported_list));
    }
}

namespace {

// A cell of the grid: floor(coordinate / edge) on each axis, kept as a double, so that no
// coordinate is out of its range. The edge is twice min_separation, so that two atoms closer than
// that lie in the same or neighbouring cells whatever the rounding of the quotients. Where doubles
// are farther apart than an edge, c - 1, c and c + 1 may be the same cell: then atoms close on
// that axis have the very same coordinate.
constexpr double cell_edge = 2 * min_separation;

struct Cell {
    double i, j, k;
    bool operator==(const Cell&) const = default;
};

double cell_index(double x) { return std::floor(x / cell_edge) + 0.0; }  // + 0.0: no -0.0 key

struct CellHash {
    std::size_t operator()(const Cell& c) const {
        const auto u = [](double v) { return std::bit_cast<std::uint64_t>(v); };
        return static_cast<std::size_t>(u(c.i) * 0x9e3779b97f4a7c15ULL ^ u(c.j) * 0xc2b2ae3d27d4eb4fULL ^
                                        u(c.k) * 0x165667b19e3779f9ULL);
    }
};

}  // namespace

void check_separations(const MoleculeIn& m) {
    // Atom numbers (from 0) of each cell, in file order.
    std::unordered_map<Cell, std::vector<std::size_t>, CellHash> grid;
    grid.reserve(m.atoms.size());
    for (std::size_t b = 0; b < m.atoms.size(); ++b) {
        const AtomIn& q = m.atoms[b];
        const Cell c{cell_index(q.x), cell_index(q.y), cell_index(q.z)};
        std::size_t closest = b;
        double closest_d = 0.0;
        for (double di = -1; di <= 1; ++di)
            for (double dj = -1; dj <= 1; ++dj)
                for (double dk = -1; dk <= 1; ++dk) {
                    const auto it = grid.find({c.i + di, c.j + dj, c.k + dk});
                    if (it == grid.end()) continue;
                    for (const std::size_t a : it->second) {
                        if (a >= closest) break;
                        const AtomIn& p = m.atoms[a];
                        const double d = std::hypot(p.x - q.x, p.y - q.y, p.z - q.z);
                        if (d < min_separation) {
                            closest = a;
                            closest_d = d;
                        }
                    }
                }
        if (closest != b) {
            char distance[32];
            std::snprintf(distance, sizeof distance, "%.3f", closest_d);
            throw ContentError("atoms " + std::to_string(closest + 1) + " and " + std::to_string(b + 1) + " are " +
                               distance + " \u00c5 apart (closer than 0.1 \u00c5)");
        }
        grid[c].push_back(b);
    }
}

}  // namespace zephor::importer
