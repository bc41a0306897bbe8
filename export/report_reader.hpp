// Strict reader of the text report FOR006 that zephor writes: banner, occupied orbital energies
// (eV), total energy (eV), Mulliken charges with their sum, and a Wiberg bond order for every
// pair of atoms, each line checked against the layout zephor's writer produces
// (output/report_layout.hpp); and the check that a report belongs to a checkpoint.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "export/checkpoint_reader.hpp"

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

// Throws ReportMismatch (naming `report_name` and `checkpoint_name`) unless `r` can be the report
// zephor wrote with `c`: the same atoms in the same order, as many occupied orbitals, and each
// occupied energy the F8.4 of an eV value whose hartree value (times hartree_per_ev) the
// checkpoint shows. Neither file carries the title, so it is not compared.
void check_report_of(const Report& r, const std::string& report_name, const Checkpoint& c,
                     const std::string& checkpoint_name);

// read_report, then check_report_of.
Report read_report_of(const std::string& path, const Checkpoint& c, const std::string& checkpoint_name);

}  // namespace zephor::exporter
