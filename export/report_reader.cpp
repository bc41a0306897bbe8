// FOR006 read line by line: every label is compared with the text the report writer produces and
// every number must be a complete F8.4 or F15.4 field.
#include "export/report_reader.hpp"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/text_forms.hpp"
#include "export/errors.hpp"

namespace zephor::exporter {

namespace {

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
        const std::string_view got = take("'" + std::string(line) + "'");
        if (got != line) fail("expected '" + std::string(line) + "', found '" + shown(got.substr(0, 70)) + "'");
    }
    // A number field of `width` characters ("********" stands for a value too wide for it).
    double field(std::string_view f, std::size_t width, const std::string& what) {
        if (f.size() != width) fail(what + ": expected a field of " + std::to_string(width) + " characters");
        if (f.find_first_not_of('*') == std::string_view::npos) return std::numeric_limits<double>::quiet_NaN();
        const std::size_t start = f.find_first_not_of(' ');
        const std::optional<double> v = start == std::string_view::npos ? std::nullopt : parse_real_text(f.substr(start));
        // Strict: the field must be exactly what the writer makes of the value (four decimals,
        // right-justified).
        char back[64];
        if (v) std::snprintf(back, sizeof back, "%*.4f", static_cast<int>(width), *v);
        if (!v || f != back) fail(what + ": '" + shown(f) + "' is not an F" + std::to_string(width) + ".4 field");
        return *v;
    }

private:
    std::string name_;
    std::vector<std::string_view> lines_;
    std::size_t next_ = 0;  // lines taken so far
};

bool starts_with(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace

Report parse_report(std::string_view text, const std::string& name) {
    Lines in(text, name);
    Report r;
    in.expect("Thank you for using ZEPHOR");
    for (int i = 2; i <= 9; ++i) in.take("line " + std::to_string(i) + " of the banner");
    in.expect(std::string(62, '*'));
    in.expect("Energy levels (occupied orbitals)");
    for (std::size_t k = 1; starts_with(in.peek(), "Estate"); ++k) {
        const std::string label = "Estate" + std::to_string(k) + ":";
        const std::string_view line = in.take("orbital " + std::to_string(k));
        if (!starts_with(line, label) || line.size() != label.size() + 10 || line.substr(line.size() - 2) != "eV")
            in.fail("expected '" + label + "' with an F8.4 energy and 'eV'");
        r.occupied_ev.push_back(in.field(line.substr(label.size(), 8), 8, label));
    }
    {
        const std::string_view line = in.take("the total energy");
        if (!starts_with(line, "Total energy:") || line.size() != 13 + 15 + 2 || line.substr(28) != "eV")
            in.fail("expected 'Total energy:' with an F15.4 energy and 'eV'");
        r.total_energy_ev = in.field(line.substr(13, 15), 15, "Total energy");
    }
    in.expect(std::string(66, '*'));
    in.expect("Mulliken population analysis:");
    for (std::size_t a = 1; in.peek() != std::string(66, '*'); ++a) {
        const std::string_view line = in.take("the charge of atom " + std::to_string(a));
        const std::string tail = "(" + std::to_string(a) + "):";
        const std::size_t at = line.find(tail);
        if (line.size() < 4 || at == std::string_view::npos || at < 4 || line.size() != at + tail.size() + 8)
            in.fail("expected the label of atom " + std::to_string(a) + " and its F8.4 charge");
        const std::string_view symbol = line.substr(0, at);
        r.symbol.push_back(std::string(symbol.substr(symbol.find_first_not_of(' '))));
        r.charge.push_back(in.field(line.substr(at + tail.size(), 8), 8, "charge of atom " + std::to_string(a)));
    }
    in.expect(std::string(66, '*'));
    {
        const std::string_view line = in.take("the total charge");
        if (!starts_with(line, "Total charge:") || line.size() != 13 + 8) in.fail("expected 'Total charge:' and an F8.4 value");
        r.total_charge = in.field(line.substr(13, 8), 8, "Total charge");
    }
    in.expect(std::string(66, '*'));
    in.expect("Wiberg bond orders:");
    const std::size_t atoms = r.symbol.size();
    for (std::size_t a = 1; a < atoms; ++a)
        for (std::size_t b = a + 1; b <= atoms; ++b) {
            const std::string label = "(" + std::to_string(a) + ")-" + r.symbol[b - 1] + "(" + std::to_string(b) + "):";
            const std::string_view line = in.take("the bond order of atoms " + std::to_string(a) + " and " + std::to_string(b));
            const std::size_t at = line.find(label);
            if (at == std::string_view::npos || line.size() != at + label.size() + 8)
                in.fail("expected the bond order of atoms " + std::to_string(a) + " and " + std::to_string(b));
            r.bond_orders.push_back({static_cast<std::int32_t>(a), static_cast<std::int32_t>(b),
                                     in.field(line.substr(at + label.size(), 8), 8, "bond order")});
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

}  // namespace zephor::exporter
