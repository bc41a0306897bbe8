// Strict reader of the text report FOR006 that zephor writes: banner, occupied orbital energies
// (eV), total energy (eV), Mulliken charges with their sum, and a Wiberg bond order for every
// pair of atoms, each line checked against the layout zephor's writer produces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zephor::exporter {

struct BondOrder {
    std::int32_t a, b;  // atoms from 1, a < b
    double order;
};

struct Report {
    std::vector<double> occupied_ev;    // as printed (F8.4); NaN where the field holds asterisks
    double total_energy_ev = 0.0;       // F15.4
    std::vector<std::string> symbol;    // per atom, "C", "H" ...
    std::vector<double> charge;         // per atom (F8.4)
    double total_charge = 0.0;
    std::vector<BondOrder> bond_orders;  // every pair, a ascending then b ascending
};

// `name` is used in messages only. Throws MalformedCheckpoint ("name:line: ...").
Report parse_report(std::string_view text, const std::string& name);
Report read_report(const std::string& path);

}  // namespace zephor::exporter
