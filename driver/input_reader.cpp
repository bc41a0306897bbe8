// The counting, sizing and reading passes over FOR005.
#include "driver/input_reader.hpp"

#include <cmath>
#include <stdexcept>

#include "common/constants.hpp"
#include "common/errors.hpp"
#include "common/run_files.hpp"
#include "common/text_forms.hpp"

namespace zephor {

std::int32_t count_atom_lines(std::string_view data) {
    std::int32_t count = 0;
    std::size_t start = 0;
    while (start < data.size()) {
        if (element_letters.find(data[start]) != std::string_view::npos) ++count;
        const std::size_t line_end = data.find('\n', start);
        if (line_end == std::string_view::npos) break;
        start = line_end + 1;
    }
    return count;
}

namespace {

const std::string input_file = input_file_name;

std::string without_trailing_blanks(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}


ReportError unknown_symbol(const ListReader& in, const std::string& field, std::int32_t atom) {
    return read_error(in.line(), in.unit(), in.file(),
                      "Unknown element symbol '" + shown(without_trailing_blanks(field)) + "' for atom " +
                          std::to_string(atom));
}

// Title and charge open passes 2 and 3 alike; fields start blank and 0 so that a null value
// leaves a defined result.
void read_title_and_charge(ListReader& in, std::string& title, std::int32_t& charge) {
    title.assign(100, ' ');
    charge = 0;
    const ListItem title_item[] = {ListItem::of_text(title, 100)};
    in.read(title_item);
    const ListItem charge_item[] = {ListItem::of_integer(charge)};
    in.read(charge_item);
}

}  // namespace

SizingInput read_sizing_pass(std::string_view data, std::int32_t atom_count) {
    ListReader in(data, sizing_unit, input_file);
    SizingInput result;
    read_title_and_charge(in, result.title, result.charge);
    result.charge_line = in.line();
    for (std::int32_t i = 1; i <= atom_count; ++i) {
        // A fresh blank field per atom: a null symbol is refused here rather than inheriting the
        // previous atom's letter.
        std::string letter(1, ' ');
        const ListItem item[] = {ListItem::of_text(letter, 1)};
        in.read(item);
        if (element_letters.find(letter[0]) == std::string_view::npos) throw unknown_symbol(in, letter, i);
        result.letters.push_back(letter[0]);
    }
    return result;
}

void read_atom_pass(std::string_view data, std::int32_t atom_count, std::string& title,
                    std::int32_t& charge, std::vector<std::string>& symbol, std::vector<double>& r) {
    const std::size_t atoms = atom_count > 0 ? static_cast<std::size_t>(atom_count) : 0;
    if (symbol.size() != atoms || r.size() != 3 * atoms) {
        throw std::invalid_argument("read_atom_pass: symbol and r not sized to the atom count");
    }
    for (std::string& s : symbol) s.assign(4, ' ');
    for (double& x : r) x = 0.0;

    ListReader in(data, reading_unit, input_file);
    read_title_and_charge(in, title, charge);
    // x, y, z are the read's fields for every atom, so a null coordinate keeps the value of the
    // previous atom (0 for the first).
    double xyz[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < atoms; ++i) {
        const ListItem items[] = {ListItem::of_text(symbol[i], 4), ListItem::of_real(xyz[0]),
                                  ListItem::of_real(xyz[1]), ListItem::of_real(xyz[2])};
        in.read(items);
        const bool known = symbol[i][1] == ' ' && symbol[i][2] == ' ' && symbol[i][3] == ' ' &&
                           element_letters.find(symbol[i][0]) != std::string_view::npos;
        if (!known) throw unknown_symbol(in, symbol[i], static_cast<std::int32_t>(i + 1));
        for (std::size_t c = 0; c < 3; ++c) {
            r[3 * i + c] = xyz[c] / bohr_in_angstrom;
            // Above about 9.5e307 Angstrom the bohr value is infinite, and every result after it
            // would be NaN: such a coordinate is refused like one that overflows when read.
            if (!std::isfinite(r[3 * i + c])) throw read_error(in.item_line(c + 1), in.unit(), in.file(), bad_real(c + 2));
        }
    }
}

}  // namespace zephor
