// The layout of the text report FOR006, in file order: the fixed lines, the lines that end in one
// Fw.4 number (label, field width, unit), and the labels of the numbered lines. The writer
// (output/report.cpp) and the strict reader of zephor-export (export/report_reader.cpp) both take
// it from here, so they cannot drift apart. The banner opens the checkpoint FOR007 too.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zephor {

inline constexpr std::array<std::string_view, 9> banner_lines{
    "Thank you for using ZEPHOR",
    "--------------------------------------------------------",
    "ZEPHOR  written by the ZEPHOR developers",
    " ",
    "Modified version for Android (x86_64, pie) compiled with help",
    "of high-performance BLAS and LAPACK libraries",
    "by the ZEPHOR developers, 2026-12-08",
    "--------------------------------------------------------",
    "",
};
static_assert(banner_lines[1].size() == 56 && banner_lines[7] == banner_lines[1]);

// A line that ends in one number: the label (for a numbered line, the text its number follows),
// the width w of the Fw.4 field right after it, and the unit after the field.
struct ReportValue {
    std::string_view label;
    int width;
    std::string_view unit;
};

namespace report {
inline constexpr std::string_view levels_rule = "**************************************************************";
inline constexpr std::string_view levels_heading = "Energy levels (occupied orbitals)";
inline constexpr ReportValue orbital_energy{"Estate", 8, "eV"};  // "Estate<k>:", k from 1
inline constexpr ReportValue total_energy{"Total energy:", 15, "eV"};
inline constexpr std::string_view rule = "******************************************************************";
inline constexpr std::string_view charges_heading = "Mulliken population analysis:";
inline constexpr ReportValue charge{"", 8, ""};  // put_atom_label
inline constexpr ReportValue total_charge{"Total charge:", 8, ""};
inline constexpr std::string_view bonds_heading = "Wiberg bond orders:";
inline constexpr ReportValue bond_order{"", 8, ""};  // put_bond_label
inline constexpr std::size_t symbol_width = 4;       // the symbol fields are blank-padded to 4
static_assert(levels_rule.size() == 62 && rule.size() == 66);
}  // namespace report

// "Estate<k>:".
void put_orbital_label(std::string& out, std::int32_t k);
// The symbol field right-adjusted ("H   " gives "   H"), then "(<a>):".
void put_atom_label(std::string& out, const std::string& symbol_field, std::int32_t a);
// Atom a's symbol right-adjusted, "(<a>)-", atom b's symbol without its blanks, "(<b>):".
void put_bond_label(std::string& out, const std::string& symbol_a, std::int32_t a, const std::string& symbol_b,
                    std::int32_t b);

}  // namespace zephor
