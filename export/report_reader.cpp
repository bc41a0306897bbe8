// FOR006 read line by line: every label is compared with the text the report writer's own label
// functions produce (output/report_layout.hpp) and every number must be the very Fw.4 field
// put_f4 makes of the value read.
#include "export/report_reader.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "common/constants.hpp"
#include "common/text_forms.hpp"
#include "export/errors.hpp"
#include "export/orbitals.hpp"
#include "output/fields.hpp"
#include "output/report_layout.hpp"

namespace zephor::exporter {

namespace {

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

std::string quoted(std::string_view s) { return "'" + shown(s) + "'"; }

class Lines {
public:
    Lines(std::string_view text, std::string name) : name_(std::move(name)), lines_(file_lines(text)) {}
    // Errors name the line taken last (from 1).
    [[noreturn]] void fail(const std::string& message) const { throw MalformedCheckpoint(name_, next_, message); }
    bool at_end() const { return next_ >= lines_.size(); }
    std::string_view peek() const { return at_end() ? std::string_view() : lines_[next_]; }
    std::string_view take(const std::string& what) {
        ++next_;
        if (next_ > lines_.size()) fail("the file ends where " + what + " should be");
        return lines_[next_ - 1];
    }
    void expect(std::string_view line) {
        const std::string_view got = take(quoted(line));
        if (got != line) fail("expected " + quoted(line) + ", found " + quoted(got.substr(0, 70)));
    }
    // `line` as `label`, v's number field, then v's unit; `expected` says what should stand there,
    // `what` names the value.
    double value(std::string_view line, std::string_view label, const ReportValue& v, const std::string& expected,
                 const std::string& what) {
        const std::size_t width = static_cast<std::size_t>(v.width);
        if (!starts_with(line, label) || line.size() != label.size() + width + v.unit.size() ||
            line.substr(label.size() + width) != v.unit)
            fail("expected " + expected);
        return field(line.substr(label.size(), width), v.width, what);
    }

private:
    // A number field of `width` characters exactly as put_f4 writes the value it holds
    // ("********" stands for a value too wide for it).
    double field(std::string_view f, int width, const std::string& what) {
        if (f.find_first_not_of('*') == std::string_view::npos) return std::numeric_limits<double>::quiet_NaN();
        const std::size_t start = f.find_first_not_of(' ');
        const std::optional<double> v = start == std::string_view::npos ? std::nullopt : parse_real_text(f.substr(start));
        std::string back;
        if (v) put_f4(back, *v, width);
        if (!v || f != back) fail(what + ": " + quoted(f) + " is not an F" + std::to_string(width) + ".4 field");
        return *v;
    }

    std::string name_;
    std::vector<std::string_view> lines_;
    std::size_t next_ = 0;  // lines taken so far
};

// A symbol as its blank-padded field of the writer ("H" gives "H   ").
std::string symbol_field(const std::string& symbol) {
    std::string f = symbol;
    if (f.size() < report::symbol_width) f.resize(report::symbol_width, ' ');
    return f;
}

}  // namespace

Report parse_report(std::string_view text, const std::string& name) {
    Lines in(text, name);
    Report r;
    // The banner's middle lines carry the build and are not compared.
    in.expect(banner_lines.front());
    for (std::size_t i = 2; i < banner_lines.size(); ++i) in.take("line " + std::to_string(i) + " of the banner");
    in.expect(banner_lines.back());
    in.expect(report::levels_rule);
    in.expect(report::levels_heading);
    std::string label;
    for (std::int32_t k = 1; starts_with(in.peek(), report::orbital_energy.label); ++k) {
        label.clear();
        put_orbital_label(label, k);
        const std::string_view line = in.take("orbital " + std::to_string(k));
        r.occupied_ev.push_back(
            in.value(line, label, report::orbital_energy, quoted(label) + " with an F8.4 energy and 'eV'", label));
    }
    r.total_energy_ev = in.value(in.take("the total energy"), report::total_energy.label, report::total_energy,
                                 "'Total energy:' with an F15.4 energy and 'eV'", "Total energy");
    in.expect(report::rule);
    in.expect(report::charges_heading);
    for (std::int32_t a = 1; in.peek() != report::rule; ++a) {
        const std::string_view line = in.take("the charge of atom " + std::to_string(a));
        // The symbol is what stands before "(a):", its blanks in front.
        const std::string tail = "(" + std::to_string(a) + "):";
        const std::size_t at = line.find(tail);
        const std::string_view before = line.substr(0, at == std::string_view::npos ? 0 : at);
        const std::size_t from = before.find_first_not_of(' ');
        const std::string expected = "the label of atom " + std::to_string(a) + " and its F8.4 charge";
        if (from == std::string_view::npos || before.substr(from).find(' ') != std::string_view::npos)
            in.fail("expected " + expected);
        r.symbol.emplace_back(before.substr(from));
        label.clear();
        put_atom_label(label, symbol_field(r.symbol.back()), a);
        r.charge.push_back(in.value(line, label, report::charge, expected, "charge of atom " + std::to_string(a)));
    }
    in.expect(report::rule);
    r.total_charge = in.value(in.take("the total charge"), report::total_charge.label, report::total_charge,
                              "'Total charge:' and an F8.4 value", "Total charge");
    in.expect(report::rule);
    in.expect(report::bonds_heading);
    const std::int32_t atoms = static_cast<std::int32_t>(r.symbol.size());
    for (std::int32_t a = 1; a < atoms; ++a)
        for (std::int32_t b = a + 1; b <= atoms; ++b) {
            const std::string pair = "atoms " + std::to_string(a) + " and " + std::to_string(b);
            const std::string_view line = in.take("the bond order of " + pair);
            label.clear();
            put_bond_label(label, symbol_field(r.symbol[a - 1]), a, symbol_field(r.symbol[b - 1]), b);
            r.bond_orders.push_back({a, b, in.value(line, label, report::bond_order, "the bond order of " + pair, "bond order")});
        }
    if (!in.at_end()) {
        in.take("");
        in.fail("unexpected line after the bond orders");
    }
    if (std::isnan(r.total_energy_ev)) in.fail("the total energy holds asterisks");
    return r;
}

Report read_report(const std::string& path) {
    return parse_report(read_input_file(path, "a report", " (the report FOR006; --report names another)"), path);
}

namespace {

// The F8.4 text of an energy in eV, as the report shows it.
std::string f8(double ev) {
    std::string t;
    put_f4(t, ev, report::orbital_energy.width);
    return t;
}

std::string trimmed(const std::string& s) { return s.substr(std::min(s.size(), s.find_first_not_of(' '))); }

// What put_f4 makes of `ev`, read back; a field of asterisks stands past the end of its side.
double f8_value(double ev) {
    const std::optional<double> v = parse_real_text(trimmed(f8(ev)));
    return v ? *v : std::copysign(std::numeric_limits<double>::infinity(), ev);
}

// Whether `shown_ev` (F8.4, NaN for asterisks) is what the report writer makes of some eV value
// whose hartree value the checkpoint shows as `hartree` (ES16.8E2, nine significant digits).
// The values behind that text lie within half a unit of its last digit; taking 0.6 of it covers
// the roundings of hartree = eV * hartree_per_ev and of the bounds themselves, and put_f4 is
// monotonic, so the report of the same run always passes, whichever side of a rounding boundary
// its value fell.
bool same_energy(double shown_ev, double hartree) {
    if (!std::isfinite(hartree)) return false;
    std::string text;
    put_es16(text, hartree);
    const std::size_t e = text.find('E');
    int exponent = 0;
    if (e == std::string::npos ||
        std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent).ec !=
            std::errc())
        return false;
    const double half_step = 0.6 * std::pow(10.0, exponent - 8);
    const double lo = f8_value((hartree - half_step) / hartree_per_ev);
    const double hi = f8_value((hartree + half_step) / hartree_per_ev);
    if (std::isnan(shown_ev)) return std::isinf(lo) || std::isinf(hi);
    return lo <= shown_ev && shown_ev <= hi;
}

}  // namespace

void check_report_of(const Report& r, const std::string& report_name, const Checkpoint& c,
                     const std::string& checkpoint_name) {
    auto differ = [&](const std::string& what) { throw ReportMismatch(report_name, checkpoint_name, what); };
    const std::size_t atoms = static_cast<std::size_t>(c.atom_count);
    if (r.symbol.size() != atoms || c.atomic_number.size() != atoms)
        differ(std::to_string(r.symbol.size()) + " atoms in the report, " + std::to_string(c.atom_count) +
               " in the checkpoint");
    for (std::size_t a = 0; a < atoms; ++a) {
        const ElementData* e = element_of(c.atomic_number[a]);
        const std::string letter = e ? std::string(1, e->letter) : "Z=" + std::to_string(c.atomic_number[a]);
        if (r.symbol[a] != letter)
            differ("atom " + std::to_string(a + 1) + ": " + shown(r.symbol[a]) + " in the report, " + letter +
                   " in the checkpoint");
    }
    const std::size_t occupied = static_cast<std::size_t>(c.occupied_count);
    if (r.occupied_ev.size() != occupied || c.orbital_energy.size() < occupied)
        differ(std::to_string(r.occupied_ev.size()) + " occupied orbitals in the report, " +
               std::to_string(c.occupied_count) + " in the checkpoint");
    for (std::size_t k = 0; k < occupied; ++k)
        if (!same_energy(r.occupied_ev[k], c.orbital_energy[k]))
            differ("orbital " + std::to_string(k + 1) + ": " +
                   (std::isnan(r.occupied_ev[k]) ? std::string(8, '*') : trimmed(f8(r.occupied_ev[k]))) +
                   " eV in the report, " + trimmed(f8(c.orbital_energy[k] / hartree_per_ev)) +
                   " eV in the checkpoint");
}

Report read_report_of(const std::string& path, const Checkpoint& c, const std::string& checkpoint_name) {
    Report r = read_report(path);
    check_report_of(r, path, c, checkpoint_name);
    return r;
}

}  // namespace zephor::exporter
