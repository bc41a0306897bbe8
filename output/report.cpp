// Report layout (output/report_layout.hpp). Labels are built from integer text with nothing
// aligned across lines; numbers go in F8.4 (F15.4 for the total energy) directly after their
// label.
#include "output/report.hpp"

#include <string_view>

#include "output/fields.hpp"
#include "output/report_layout.hpp"

namespace zephor {

namespace {

// The symbol field with its trailing blanks moved to the front ("H   " gives "   H").
void put_right_adjusted(std::string& out, const std::string& field) {
    const std::size_t len = field.find_last_not_of(' ') + 1;
    out.append(field.size() - len, ' ');
    out.append(field, 0, len);
}

[[gnu::always_inline]] inline void put_trimmed(std::string& out, const std::string& field) {
    out.append(field, 0, field.find_last_not_of(' ') + 1);
}

// The number in the value's field, then its unit; ends the line. The layout is a template
// argument so that no line pays for a unit it does not have.
template <const ReportValue& v>
void end_value(OutputFile& f, double x) {
    put_f4(f.line(), x, v.width);
    if constexpr (!v.unit.empty()) f.line().append(v.unit);
    f.end_line();
}

// The labels, built in place in the writer's loops (always inlined: a call per line would be
// measurable on the n^2/2 bond lines of a large molecule) and by the public builders below.
[[gnu::always_inline]] inline void orbital_label(std::string& out, std::int32_t k) {
    out.append(report::orbital_energy.label);
    put_integer_text(out, k);
    out.push_back(':');
}

[[gnu::always_inline]] inline void atom_label(std::string& out, const std::string& symbol_field, std::int32_t a) {
    put_right_adjusted(out, symbol_field);
    out.push_back('(');
    put_integer_text(out, a);
    out.append("):");
}

[[gnu::always_inline]] inline void bond_label(std::string& out, const std::string& symbol_a, std::int32_t a,
                                              const std::string& symbol_b, std::int32_t b) {
    put_right_adjusted(out, symbol_a);
    out.push_back('(');
    put_integer_text(out, a);
    out.append(")-");
    put_trimmed(out, symbol_b);
    out.push_back('(');
    put_integer_text(out, b);
    out.append("):");
}

}  // namespace

void put_orbital_label(std::string& out, std::int32_t k) { orbital_label(out, k); }

void put_atom_label(std::string& out, const std::string& symbol_field, std::int32_t a) {
    atom_label(out, symbol_field, a);
}

void put_bond_label(std::string& out, const std::string& symbol_a, std::int32_t a, const std::string& symbol_b,
                    std::int32_t b) {
    bond_label(out, symbol_a, a, symbol_b, b);
}

void write_banner(OutputFile& f) {
    for (const std::string_view line : banner_lines) f.write_line(line);
}

void write_report(OutputFile& f, const std::vector<double>& orbital_energy,
                  std::int32_t occupied_count, double total_energy,
                  const std::vector<double>& atom_pop, const std::vector<double>& valence,
                  const std::vector<std::string>& symbol, std::int32_t atom_count) {
    write_banner(f);
    const std::size_t m = static_cast<std::size_t>(atom_count);

    f.write_line(report::levels_rule);
    f.write_line(report::levels_heading);
    for (std::int32_t k = 1; k <= occupied_count; ++k) {
        orbital_label(f.line(), k);
        end_value<report::orbital_energy>(f, orbital_energy[static_cast<std::size_t>(k - 1)]);
    }
    f.line().append(report::total_energy.label);
    end_value<report::total_energy>(f, total_energy);

    f.write_line(report::rule);
    f.write_line(report::charges_heading);
    double total_charge = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        const double charge = valence[a] - atom_pop[a * (m + 1)];
        total_charge += charge;
        atom_label(f.line(), symbol[a], static_cast<std::int32_t>(a + 1));
        end_value<report::charge>(f, charge);
    }
    f.write_line(report::rule);
    f.line().append(report::total_charge.label);
    end_value<report::total_charge>(f, total_charge);

    f.write_line(report::rule);
    f.write_line(report::bonds_heading);
    for (std::size_t a = 0; a + 1 < m; ++a)
        for (std::size_t b = a + 1; b < m; ++b) {
            bond_label(f.line(), symbol[a], static_cast<std::int32_t>(a + 1), symbol[b],
                           static_cast<std::int32_t>(b + 1));
            end_value<report::bond_order>(f, atom_pop[a + b * m]);
        }
}

}  // namespace zephor
