// The orbital table and the formula.
#include "export/orbital_list.hpp"

#include <cstdio>
#include <map>

#include "export/orbitals.hpp"
#include "export/results_json.hpp"

namespace zephor::exporter {

std::string orbital_list(const Checkpoint& c) {
    std::string out = "orbital   energy (eV)   energy (hartree)   occupation\n";
    char line[128];
    for (std::int32_t k = 1; k <= c.basis_count; ++k) {
        const std::size_t i = static_cast<std::size_t>(k - 1);
        const char* mark = k == c.occupied_count ? "   HOMO" : (k == c.occupied_count + 1 ? "   LUMO" : "");
        std::snprintf(line, sizeof line, "%7d %13.4f %18.9f %12d%s\n", k, orbital_ev(c, i), c.orbital_energy[i],
                      k <= c.occupied_count ? 2 : 0, mark);
        out += line;
    }
    return out;
}

std::string hill_formula(const Checkpoint& c) {
    std::map<std::string, int> count;
    for (const std::int32_t z : c.atomic_number) ++count[std::string(1, element_of(z)->letter)];
    std::string out;
    auto put = [&](const std::string& symbol) {
        const auto it = count.find(symbol);
        if (it == count.end()) return;
        out += symbol;
        if (it->second > 1) out += std::to_string(it->second);
        count.erase(it);
    };
    if (count.count("C") != 0) {
        put("C");
        put("H");
    }
    while (!count.empty()) put(count.begin()->first);
    return out;
}

}  // namespace zephor::exporter
