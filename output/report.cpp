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
void put_right_adjusted(std::string& out, std::string_view field) {
    const std::size_t len = field.find_last_not_of(' ') + 1;
    out.append(field.size() - len, ' ');
    out.append(field.substr(0, len));
}

void put_trimmed(std::string& out, std::string_view field) { out.append(field.substr(0, field.find_last_not_of(' ') + 1)); }

// The number in the value's field, then its unit; ends the line.
void end_value(OutputFile& f, const ReportValue& v, double x) {
    put_f4(f.line(), x, v.width);
    f.line().append(v.unit);
    f.end_line();
}

}  // namespace

void put_orbital_label(std::string& out, std::int32_t k) {
    out.append(report::orbital_energy.label);
    put_integer_text(out, k);
    out.push_back(':');
}

void put_atom_label(std::string& out, std::string_view symbol_field, std::int32_t a) {
    put_right_adjusted(out, symbol_field);
    out.push_back('(');
    put_integer_text(out, a);
    out.append("):");
}

void put_bond_label(std::string& out, std::string_view symbol_a, std::int32_t a, std::string_view symbol_b,
                    std::int32_t b) {
    put_right_adjusted(out, symbol_a);
    out.push_back('(');
    put_integer_text(out, a);
    out.append(")-");
    put_trimmed(out, symbol_b);
    out.push_back('(');
    put_integer_text(out, b);
    out.append("):");
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
        put_orbital_label(f.line(), k);
        end_value(f, report::orbital_energy, orbital_energy[static_cast<std::size_t>(k - 1)]);
    }
    f.line().append(report::total_energy.label);
    end_value(f, report::total_energy, total_energy);

    f.write_line(report::rule);
    f.write_line(report::charges_heading);
    double total_charge = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        const double charge = valence[a] - atom_pop[a * (m + 1)];
        total_charge += charge;
        put_atom_label(f.line(), symbol[a], static_cast<std::int32_t>(a + 1));
        end_value(f, report::charge, charge);
    }
    f.write_line(report::rule);
    f.line().append(report::total_charge.label);
    end_value(f, report::total_charge, total_charge);

    f.write_line(report::rule);
    f.write_line(report::bonds_heading);
    for (std::size_t a = 0; a + 1 < m; ++a)
        for (std::size_t b = a + 1; b < m; ++b) {
            put_bond_label(f.line(), symbol[a], static_cast<std::int32_t>(a + 1), symbol[b],
                           static_cast<std::int32_t>(b + 1));
            end_value(f, report::bond_order, atom_pop[a + b * m]);
        }
}

}  // namespace zephor
