// The checkpoint is read line by line against the layout zephor's own writers produce: label
// fields are compared with put_label_field's text and every number must read back to the very
// field it came from (put_i12, put_es16), so a shifted column or a cut value cannot pass.
#include "export/checkpoint_reader.hpp"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "export/errors.hpp"
#include "export/orbitals.hpp"
#include "integrals/element_table.hpp"
#include "common/run_files.hpp"
#include "common/text_forms.hpp"
#include "output/checkpoint_sections.hpp"
#include "output/fields.hpp"

namespace zephor::exporter {

namespace {

constexpr std::string_view banner_first_line = "Thank you for using ZEPHOR";
constexpr std::size_t banner_lines = 9;
constexpr std::size_t int_width = 12;
constexpr std::size_t real_width = 16;
constexpr std::size_t per_row = 5;

// The file's bytes in a message: control bytes written as \xhh (common/text_forms.hpp).
std::string quoted(std::string_view s) { return "'" + shown(s) + "'"; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

class LineReader {
public:
    LineReader(std::string_view text, std::string name, bool write_back)
        : name_(std::move(name)),
          lines_(file_lines(text)),
          cut_(!text.empty() && text.back() != '\n'),
          write_back_(write_back) {}

    // Line numbers count from 1; the line after the last one is where "the file ends".
    std::size_t next_number() const { return next_ + 1; }
    bool at_end() const { return next_ >= lines_.size(); }

    [[noreturn]] void fail(std::size_t line, const std::string& message) const {
        throw MalformedCheckpoint(name_, line, message);
    }

    std::string_view take(const std::string& what) {
        if (at_end()) fail(next_number(), "the file ends where " + what + " should be");
        return lines_[next_++];
    }

    // A scalar line or array header: the label field exactly as zephor writes it, then the bare
    // integer text.
    std::int32_t labelled(const CheckpointSection& s) {
        const std::string_view label = s.label;
        const bool array = s.array;
        const std::string what = quoted(label) + (array ? " header" : " line");
        const std::size_t n = next_number();
        const std::string_view line = take("the " + what);
        std::string field;
        put_label_field(field, s);
        if (line.substr(0, label.size()) != label || (line.size() > label.size() && line[label.size()] != ' '))
            fail(n, "expected the " + what + ", found " + quoted(trim(line.substr(0, 43))));
        if (line.substr(0, field.size()) != field)
            fail(n, quoted(label) + ": the label field is not in zephor's layout (type " +
                        std::string(1, s.type) + " in column 44" + (array ? ", N= in columns 48-49" : "") +
                        ", value from column " + std::to_string(s.width + 1) + ")");
        const std::string_view text = line.substr(field.size());
        std::int32_t value = 0;
        const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || res.ec != std::errc() || res.ptr != text.data() + text.size() ||
            integer_text(value) != text)
            fail(n, quoted(label) + ": " + quoted(text) + " is not an integer");
        if (array && value < 0) fail(n, quoted(label) + ": negative count " + integer_text(value));
        return value;
    }

    // An array header whose count must be `expected`; `reason` says why ("one per atom").
    void expect_count(const CheckpointSection& s, std::int64_t expected, const char* reason) {
        const std::size_t n = next_number();
        const std::int32_t count = labelled(s);
        if (count != expected)
            fail(n, quoted(s.label) + ": N=" + integer_text(count) + ", expected " + std::to_string(expected) + " (" +
                        reason + ")");
    }

    std::vector<std::int32_t> int_rows(std::string_view label, std::int32_t count) {
        std::vector<std::int32_t> values;
        rows(label, count, int_width, [&](std::string_view field, std::size_t n, std::size_t column) {
            std::int32_t v = 0;
            const std::string_view t = trim(field);
            const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
            std::string back;
            if (res.ec == std::errc() && res.ptr == t.data() + t.size()) put_i12(back, v);
            if (back != field) bad_field(label, field, n, column, "an I12 integer");
            values.push_back(v);
        });
        return values;
    }

    // `unit_bounded`: the values are components of unit-length vectors, so a field of asterisks
    // (ES16.8E2 has no room for an exponent below -99) can only be a magnitude under 1E-99, and is
    // read as 0, which changes no printed digit of anything made from it.
    std::vector<double> real_rows(std::string_view label, std::int32_t count, bool unit_bounded = false) {
        std::vector<double> values;
        // No more than the lines left can hold: the count is the file's word, not yet checked.
        values.reserve(std::min(static_cast<std::size_t>(std::max(count, 0)), (lines_.size() - next_) * per_row));
        rows(label, count, real_width, [&](std::string_view field, std::size_t n, std::size_t column) {
            double v = 0.0;
            if (unit_bounded && field == std::string_view("****************")) {
                values.push_back(0.0);
                return;
            }
            const std::string_view t = trim(field);
            const auto res = std::from_chars(t.data(), t.data() + t.size(), v);
            // The field written again, on the stack: a checkpoint holds n^2 of them.
            char back[real_width];
            const bool read = res.ec == std::errc() && res.ptr == t.data() + t.size();
            if (!read || (write_back_ && (put_es16(back, v) != back + real_width ||
                                          field != std::string_view(back, real_width))))
                bad_field(label, field, n, column, "an ES16.8E2 number");
            values.push_back(v);
        });
        return values;
    }

    // The line of value `index` (from 0) of a row block whose header is on line `header`.
    static std::size_t row_line(std::size_t header, std::size_t index) { return header + 1 + index / per_row; }

private:
    template <class Field>
    void rows(std::string_view label, std::int32_t count, std::size_t width, Field field) {
        const std::size_t total = static_cast<std::size_t>(count);
        for (std::size_t done = 0; done < total;) {
            const std::size_t k = std::min(per_row, total - done);
            const std::size_t n = next_number();
            if (at_end())
                fail(n, "the file ends in " + quoted(label) + " after " + std::to_string(done) + " of " +
                            std::to_string(total) + " values");
            const std::string_view line = lines_[next_++];
            if (at_end() && cut_ && line.size() < k * width)
                fail(n, "the file ends inside this row of " + quoted(label) + " (" + std::to_string(total) +
                            " values expected)");
            if (line.size() != k * width)
                fail(n, quoted(label) + ": a row of " + std::to_string(k) + (k == 1 ? " value" : " values") + " should be " +
                            std::to_string(k * width) + " characters long, this one has " +
                            std::to_string(line.size()));
            for (std::size_t i = 0; i < k; ++i) field(line.substr(i * width, width), n, i * width + 1);
            done += k;
        }
    }

    [[noreturn]] void bad_field(std::string_view label, std::string_view field, std::size_t n,
                                std::size_t column, const char* kind) const {
        fail(n, quoted(label) + ": " + quoted(field) + " in columns " + std::to_string(column) + "-" +
                    std::to_string(column + field.size() - 1) + " is not " + kind);
    }

    std::string name_;
    std::vector<std::string_view> lines_;
    bool cut_;  // the last line has no line feed: the file was cut
    bool write_back_;  // real fields are checked by writing their values again
    std::size_t next_ = 0;
};

// The table value as the checkpoint shows it: rounded to nine significant digits.
double as_written(double table_value) {
    std::string text;
    put_es16(text, table_value);
    const std::string_view t = trim(text);
    double v = 0.0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

}  // namespace

namespace {

Checkpoint parse(std::string_view text, const std::string& name, bool write_back);

}  // namespace

Checkpoint parse_checkpoint(std::string_view text, const std::string& name) { return parse(text, name, true); }

Checkpoint parse_own_checkpoint(std::string_view text, const std::string& name) { return parse(text, name, false); }

namespace {

Checkpoint parse(std::string_view text, const std::string& name, bool write_back) {
    LineReader in(text, name, write_back);
    Checkpoint c;

    for (std::size_t i = 1; i <= banner_lines; ++i) {
        const std::size_t n = in.next_number();
        const std::string_view line = in.take("line " + std::to_string(i) + " of the banner");
        if (i == 1 && line != banner_first_line)
            in.fail(n, "not a zephor checkpoint: line 1 should read " + quoted(banner_first_line));
        if (i == banner_lines && !line.empty()) in.fail(n, "the banner's last line should be empty");
    }

    // Each check names the line its value came from.
    auto require = [&](bool ok, std::size_t line, const std::string& message) {
        if (!ok) in.fail(line, message);
    };
    std::size_t n = in.next_number();
    c.atom_count = in.labelled(section::atom_count);
    require(c.atom_count > 0, n, "'Number of atoms' must be positive");
    c.charge = in.labelled(section::charge);
    n = in.next_number();
    require(in.labelled(section::multiplicity) == 1, n, "'Multiplicity' must be 1 (closed shell)");
    const std::size_t electrons_line = in.next_number();
    const std::int32_t electrons = in.labelled(section::electrons);
    n = in.next_number();
    c.occupied_count = in.labelled(section::alpha_electrons);
    require(c.occupied_count >= 0, n, "'Number of alpha electrons' must not be negative");
    n = in.next_number();
    require(in.labelled(section::beta_electrons) == c.occupied_count, n,
            "'Number of beta electrons' must equal the alpha electrons");
    require(electrons == 2 * static_cast<std::int64_t>(c.occupied_count), electrons_line,
            "'Number of electrons' must be twice the alpha electrons");
    n = in.next_number();
    c.basis_count = in.labelled(section::basis_functions);
    require(c.basis_count > 0 && c.basis_count <= max_basis_count, n,
            "'Number of basis functions' must be 1 to " + std::to_string(max_basis_count));
    require(c.occupied_count <= c.basis_count, n, "more occupied orbitals than basis functions");
    n = in.next_number();
    require(in.labelled(section::independent_functions) == c.basis_count, n,
            "'Number of independent functions' must equal the basis functions");
    n = in.next_number();
    require(in.labelled(section::point_charges) == 0, n,
            "'Number of point charges in /Mol/' must be 0");
    n = in.next_number();
    require(in.labelled(section::translation_vectors) == 0, n,
            "'Number of translation vectors' must be 0");

    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    n = in.next_number();
    in.expect_count(section::atomic_numbers, c.atom_count, "one per atom");
    c.atomic_number = in.int_rows(section::atomic_numbers.label, c.atom_count);
    std::vector<const ElementData*> element(atoms);
    for (std::size_t a = 0; a < atoms; ++a) {
        element[a] = element_of(c.atomic_number[a]);
        require(element[a] != nullptr, LineReader::row_line(n, a),
                "atomic number " + integer_text(c.atomic_number[a]) + " of atom " + std::to_string(a + 1) +
                    " is none of H, B, C, N, O, F");
    }
    in.expect_count(section::coordinates, 3 * c.atom_count, "three per atom");
    c.r = in.real_rows(section::coordinates.label, 3 * c.atom_count);

    n = in.next_number();
    c.shell_count = in.labelled(section::contracted_shells);
    require(c.shell_count > 0 && c.shell_count <= c.basis_count, n,
            "'Number of contracted shells' must be 1 to the number of basis functions");
    const std::size_t shells = static_cast<std::size_t>(c.shell_count);
    n = in.next_number();
    require(in.labelled(section::primitive_shells) == 6 * c.shell_count, n,
            "'Number of primitive shells' must be six per contracted shell");

    const std::size_t types_line = in.next_number();
    in.expect_count(section::shell_types, c.shell_count, "one per shell");
    c.shell_type = in.int_rows(section::shell_types.label, c.shell_count);
    n = in.next_number();
    in.expect_count(section::primitives_per_shell, c.shell_count, "one per shell");
    const std::vector<std::int32_t> primitives = in.int_rows(section::primitives_per_shell.label, c.shell_count);
    for (std::size_t s = 0; s < shells; ++s)
        require(primitives[s] == 6, LineReader::row_line(n, s),
                "shell " + std::to_string(s + 1) + " must have 6 primitives");
    const std::size_t map_line = in.next_number();
    in.expect_count(section::shell_to_atom, c.shell_count, "one per shell");
    c.shell_atom = in.int_rows(section::shell_to_atom.label, c.shell_count);

    std::int64_t functions = 0;
    for (std::size_t s = 0; s < shells; ++s) {
        const std::string shell = "shell " + std::to_string(s + 1);
        require(c.shell_type[s] == 0 || c.shell_type[s] == 1, LineReader::row_line(types_line, s),
                shell + ": type " + integer_text(c.shell_type[s]) + " is neither 0 (s) nor 1 (p)");
        require(c.shell_atom[s] >= 1 && c.shell_atom[s] <= c.atom_count, LineReader::row_line(map_line, s),
                shell + ": atom " + integer_text(c.shell_atom[s]) + " does not exist");
        const ElementData* e = element[static_cast<std::size_t>(c.shell_atom[s] - 1)];
        require(c.shell_type[s] == 0 || e->functions == 4, LineReader::row_line(types_line, s),
                shell + ": hydrogen has no p shell");
        require(s == 0 || c.shell_atom[s] >= c.shell_atom[s - 1], LineReader::row_line(map_line, s),
                shell + ": shells must be listed atom by atom");
        functions += c.shell_type[s] == 0 ? 1 : 3;
    }
    for (std::size_t a = 0, s = 0; a < atoms; ++a) {
        require(s < shells && static_cast<std::size_t>(c.shell_atom[s]) == a + 1, map_line,
                "atom " + std::to_string(a + 1) + " has no shell");
        while (s < shells && static_cast<std::size_t>(c.shell_atom[s]) == a + 1) ++s;
    }
    require(functions == c.basis_count, map_line,
            "the shells make " + std::to_string(functions) + " basis functions, the file says " +
                integer_text(c.basis_count));

    // Exponents and coefficients must be the element table's; the file rounds them to nine
    // digits, and the table's exact doubles are what the overlaps are built from.
    const std::int32_t primitive_count = 6 * c.shell_count;
    const std::size_t exp_line = in.next_number();
    in.expect_count(section::exponents, primitive_count, "six per shell");
    const std::vector<double> exps = in.real_rows(section::exponents.label, primitive_count);
    const std::size_t coef_line = in.next_number();
    in.expect_count(section::coefficients, primitive_count, "six per shell");
    const std::vector<double> coefs = in.real_rows(section::coefficients.label, primitive_count);
    c.exponents.resize(6 * shells);
    c.coefficients.resize(6 * shells);
    for (std::size_t s = 0; s < shells; ++s) {
        const ElementData* e = element[static_cast<std::size_t>(c.shell_atom[s] - 1)];
        const std::array<double, 6>& table_coef =
            e->functions == 1 ? coef_1s : (c.shell_type[s] == 0 ? coef_2s : coef_2p);
        const std::string shell = "shell " + std::to_string(s + 1) + " (" + std::string(1, e->letter) +
                                  (c.shell_type[s] == 0 ? " s" : " p") + ")";
        for (std::size_t k = 0; k < 6; ++k) {
            const std::size_t i = 6 * s + k;
            require(exps[i] == as_written(e->exponents[k]), LineReader::row_line(exp_line, i),
                    shell + ": exponent " + std::to_string(k + 1) + " is not the element table's");
            require(coefs[i] == as_written(table_coef[k]), LineReader::row_line(coef_line, i),
                    shell + ": coefficient " + std::to_string(k + 1) + " is not the element table's");
            c.exponents[i] = e->exponents[k];
            c.coefficients[i] = table_coef[k];
        }
    }

    const std::size_t energy_line = in.next_number();
    in.expect_count(section::orbital_energies, c.basis_count, "one per basis function");
    c.orbital_energy = in.real_rows(section::orbital_energies.label, c.basis_count);
    for (std::size_t k = 1; k < c.orbital_energy.size(); ++k)
        require(c.orbital_energy[k - 1] <= c.orbital_energy[k], LineReader::row_line(energy_line, k),
                "orbital energies must ascend (orbital " + std::to_string(k + 1) + ")");
    const std::size_t coef_header = in.next_number();
    const std::int32_t squared = c.basis_count * c.basis_count;
    in.expect_count(section::mo_coefficients, squared, "the basis functions squared");
    c.mo_coef = in.real_rows(section::mo_coefficients.label, squared, true);
    const std::size_t nb = static_cast<std::size_t>(c.basis_count);
    for (std::size_t k = 0; k < nb; ++k) {
        bool any = false;
        for (std::size_t i = 0; i < nb; ++i) any = any || c.mo_coef[k * nb + i] != 0.0;
        require(any, LineReader::row_line(coef_header, k * nb), "orbital " + std::to_string(k + 1) + " is zero");
    }
    if (!in.at_end()) in.fail(in.next_number(), "unexpected line after the orbital coefficients");
    return c;
}

}  // namespace

std::vector<std::string_view> file_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string read_input_file(const std::string& path, const std::string& what, const std::string& hint) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw FileError(path + " is a directory, not " + what);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError("cannot open " + path + " for reading" + hint);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw FileError("cannot read " + path);
    return text.str();
}

Checkpoint read_checkpoint(const std::string& path) {
    return parse_checkpoint(read_input_file(path, "a checkpoint"), path);
}

}  // namespace zephor::exporter
