// Report layout. Labels are built from integer text with nothing aligned across lines; numbers go
// in F8.4 (F15.4 for the total energy) directly after their label.
#include "output/report.hpp"

#include <string_view>

#include "output/fields.hpp"

namespace zephor {

namespace {

// The symbol field with its trailing blanks moved to the front ("H   " gives "   H").
void put_right_adjusted(std::string& out, const std::string& field) {
    const std::size_t len = field.find_last_not_of(' ') + 1;
    out.append(field.size() - len, ' ');
    out.append(field, 0, len);
}

void put_trimmed(std::string& out, const std::string& field) {
    out.append(field, 0, field.find_last_not_of(' ') + 1);
}

}  // namespace

void write_banner(OutputFile& f) {
    const std::string dashes(56, '-');
    f.write_line("Thank you for using ZEPHOR");
    f.write_line(dashes);
    f.write_line("ZEPHOR  written by the ZEPHOR developers");
    f.write_line(" ");
    f.write_line("Modified version for Android (x86_64, pie) compiled with help");
    f.write_line("of high-performance BLAS and LAPACK libraries");
    f.write_line("by the ZEPHOR developers, 2026-12-08");
    f.write_line(dashes);
    f.write_line("");
}

void write_report(OutputFile& f, const std::vector<double>& orbital_energy,
                  std::int32_t occupied_count, double total_energy,
                  const std::vector<double>& atom_pop, const std::vector<double>& valence,
                  const std::vector<std::string>& symbol, std::int32_t atom_count) {
    write_banner(f);
    const std::string stars62(62, '*');
    const std::string stars66(66, '*');
    const std::size_t m = static_cast<std::size_t>(atom_count);

    f.write_line(stars62);
    f.write_line("Energy levels (occupied orbitals)");
    for (std::int32_t k = 1; k <= occupied_count; ++k) {
        std::string& line = f.line();
        line.append("Estate");
        put_integer_text(line, k);
        line.push_back(':');
        put_f4(line, orbital_energy[static_cast<std::size_t>(k - 1)], 8);
        line.append("eV");
        f.end_line();
    }
    {
        std::string& line = f.line();
        line.append("Total energy:");
        put_f4(line, total_energy, 15);
        line.append("eV");
        f.end_line();
    }

    f.write_line(stars66);
    f.write_line("Mulliken population analysis:");
    double total_charge = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        const double charge = valence[a] - atom_pop[a * (m + 1)];
        total_charge += charge;
        std::string& line = f.line();
        put_right_adjusted(line, symbol[a]);
        line.push_back('(');
        put_integer_text(line, static_cast<std::int32_t>(a + 1));
        line.append("):");
        put_f4(line, charge, 8);
        f.end_line();
    }
    f.write_line(stars66);
    {
        std::string& line = f.line();
        line.append("Total charge:");
        put_f4(line, total_charge, 8);
        f.end_line();
    }

    f.write_line(stars66);
    f.write_line("Wiberg bond orders:");
    for (std::size_t a = 0; a + 1 < m; ++a)
        for (std::size_t b = a + 1; b < m; ++b) {
            std::string& line = f.line();
            put_right_adjusted(line, symbol[a]);
            line.push_back('(');
            put_integer_text(line, static_cast<std::int32_t>(a + 1));
            line.append(")-");
            put_trimmed(line, symbol[b]);
            line.push_back('(');
            put_integer_text(line, static_cast<std::int32_t>(b + 1));
            line.append("):");
            put_f4(line, atom_pop[a + b * m], 8);
            f.end_line();
        }
}

}  // namespace zephor
