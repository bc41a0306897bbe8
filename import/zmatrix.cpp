// Z-matrix reading and conversion: the atom lines are parsed first (references resolved, values
// kept as numbers or variable names), the variables next, and only then are the atoms placed, one
// after another, each from atoms placed before it.
#include "import/zmatrix.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "import/errors.hpp"
#include "import/for005_writer.hpp"
#include "import/text_lines.hpp"

namespace zephor::importer {

namespace {

constexpr double pi = 3.14159265358979323846;

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec operator*(double k, Vec a) { return {k * a.x, k * a.y, k * a.z}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double norm(Vec a) { return std::sqrt(dot(a, a)); }

// A value of an atom line: a number, or a variable (negated when written "-name").
struct Value {
    double number = 0.0;
    std::string variable;
    bool negated = false;
};

struct Line {
    std::size_t line = 0;  // in the file, from 1
    std::string label;
    std::string symbol;    // element, or "X" for a dummy atom
    int ref[3] = {-1, -1, -1};  // bond, angle, dihedral reference (atom index from 0)
    Value value[3];             // length (Angstrom), angle, dihedral (degrees)
};

class Parser {
public:
    explicit Parser(const std::string& name) : name_(name) {}

    void atom_line(std::string_view text, std::size_t line_number) {
        const std::vector<std::string_view> f = split_fields(text);
        const std::size_t k = lines_.size();  // atoms before this one
        const std::size_t wanted = 1 + 2 * std::min<std::size_t>(k, 3);
        Line l;
        l.line = line_number;
        l.label = std::string(f[0]);
        l.symbol = element_of_label(f[0]);
        // Gaussian's trailing 0 ("dihedral, not a second angle") is allowed after a full line.
        const bool trailing_zero = k >= 3 && f.size() == wanted + 1 && f.back() == "0";
        if (f.size() != wanted && !trailing_zero) {
            static const char* const layouts[] = {"a label alone", "label, reference and bond length",
                                                  "label, two references with length and angle",
                                                  "label and three references with length, angle and dihedral"};
            throw error(line_number, "atom " + std::to_string(k + 1) + ": expected " +
                                         layouts[std::min<std::size_t>(k, 3)] + ", found " +
                                         std::to_string(f.size()) + " field" + (f.size() == 1 ? "" : "s"));
        }
        for (std::size_t r = 0; r < std::min<std::size_t>(k, 3); ++r) {
            l.ref[r] = reference(f[1 + 2 * r], k, line_number);
            l.value[r] = value(f[2 + 2 * r], line_number);
        }
        for (int a = 0; a < 3; ++a)
            for (int b = a + 1; b < 3; ++b)
                if (l.ref[a] >= 0 && l.ref[a] == l.ref[b])
                    throw error(line_number, "atom " + std::to_string(k + 1) + " names atom " +
                                                 std::to_string(l.ref[a] + 1) + " twice as a reference");
        lines_.push_back(std::move(l));
    }

    void variable_line(std::string_view text, std::size_t line_number) {
        std::string t(text);
        for (char& c : t)
            if (c == '=') c = ' ';
        const std::vector<std::string_view> f = split_fields(t);
        if (f.size() == 1 && (f[0] == "Variables:" || f[0] == "Constants:")) return;
        std::optional<double> v = f.size() >= 2 ? parse_number(f[1]) : std::nullopt;
        if (f.size() >= 2 && !v && has_number_form(f[1]))
            throw error(line_number, "the value '" + shown(f[1]) + "' is out of range");
        // An optional third field (Gaussian's "F" for a frozen variable) is allowed.
        if (!v || f.size() > 3 || !is_name(f[0]))
            throw error(line_number, "expected a variable as 'name=value' or 'name value', found '" +
                                         shown(text.substr(0, 60)) + "'");
        variables_[std::string(f[0])] = *v;
    }

    bool empty() const { return lines_.empty(); }

    MoleculeIn place() const {
        std::vector<Vec> p;
        MoleculeIn m;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            const Line& l = lines_[i];
            Vec at{0.0, 0.0, 0.0};
            if (i >= 1) {
                const double r = resolve(l.value[0], l.line);
                if (!(r > 0.0)) throw error(l.line, "the bond length of atom " + std::to_string(i + 1) + " must be positive");
                // Longer, the atom could not be written in the checkpoint; shorter, every product
                // of the placement stays far inside the double range.
                if (r > max_coordinate)
                    throw error(l.line, "the bond length of atom " + std::to_string(i + 1) + ", " + shortest_text(r) +
                                            " \u00c5, is longer than " + shortest_text(max_coordinate) + " \u00c5");
                const Vec a = p[static_cast<std::size_t>(l.ref[0])];
                if (i == 1) {
                    at = a + Vec{0.0, 0.0, r};
                } else {
                    const double theta = angle(resolve(l.value[1], l.line), l.line, i);
                    const Vec b = p[static_cast<std::size_t>(l.ref[1])];
                    const Vec ab = b - a;
                    if (norm(ab) < 1e-10) throw coincide(l, 0, 1);
                    const Vec u = (1.0 / norm(ab)) * ab;
                    if (i == 2) {
                        // In the xz-plane, towards +x: atoms 1 and 2 lie on the z axis.
                        at = a + r * std::cos(theta) * u + Vec{r * std::sin(theta), 0.0, 0.0};
                    } else {
                        const double degrees = resolve(l.value[2], l.line);
                        if (!(degrees >= -360.0 && degrees <= 360.0))
                            throw error(l.line, "the dihedral angle of atom " + std::to_string(i + 1) +
                                                    " must be -360 to 360 degrees, not " + shortest_text(degrees));
                        const double phi = degrees * pi / 180.0;
                        const Vec c = p[static_cast<std::size_t>(l.ref[2])];
                        const Vec bc = (-1.0) * u;  // from b towards a
                        Vec n = cross(b - c, bc);
                        if (norm(n) < 1e-8 * std::max(1.0, norm(b - c)))
                            throw error(l.line, "atoms " + std::to_string(l.ref[0] + 1) + ", " +
                                                    std::to_string(l.ref[1] + 1) + " and " +
                                                    std::to_string(l.ref[2] + 1) +
                                                    " lie on a line, so the dihedral angle of atom " +
                                                    std::to_string(i + 1) + " is undefined");
                        n = (1.0 / norm(n)) * n;
                        const Vec m2 = cross(n, bc);
                        at = a + (-r * std::cos(theta)) * bc + (r * std::sin(theta) * std::cos(phi)) * m2 +
                             (r * std::sin(theta) * std::sin(phi)) * n;
                    }
                }
            }
            p.push_back(at);
            if (l.symbol != "X") m.atoms.push_back({l.symbol, at.x, at.y, at.z});
        }
        return m;
    }

    ContentError error(std::size_t line, const std::string& message) const { return content_error(name_, line, message); }

private:
    static bool is_name(std::string_view s) {
        if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
        for (const char c : s)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
        return true;
    }

    int reference(std::string_view text, std::size_t k, std::size_t line_number) const {
        if (const std::optional<int> n = parse_count(text)) {
            if (*n < 1 || static_cast<std::size_t>(*n) > k)
                throw error(line_number, "atom " + std::to_string(k + 1) + " refers to atom " + std::to_string(*n) +
                                             ", which is not defined before it");
            return *n - 1;
        }
        for (std::size_t j = 0; j < k; ++j)
            if (lines_[j].label == text) return static_cast<int>(j);
        throw error(line_number, "atom " + std::to_string(k + 1) + " refers to '" + shown(text) +
                                     "', which is not an atom defined before it");
    }

    Value value(std::string_view text, std::size_t line_number) const {
        Value v;
        if (const std::optional<double> x = parse_number(text)) {
            v.number = *x;
            return v;
        }
        v.negated = !text.empty() && text[0] == '-';
        const std::string_view name = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? text.substr(1) : text;
        if (has_number_form(text)) throw error(line_number, "the value '" + shown(text) + "' is out of range");
        if (!is_name(name)) throw error(line_number, "'" + shown(text) + "' is neither a number nor a variable");
        v.variable = std::string(name);
        return v;
    }

    double resolve(const Value& v, std::size_t line_number) const {
        if (v.variable.empty()) return v.number;
        const auto it = variables_.find(v.variable);
        if (it == variables_.end()) throw error(line_number, "undefined variable '" + v.variable + "'");
        return v.negated ? -it->second : it->second;
    }

    double angle(double degrees, std::size_t line_number, std::size_t i) const {
        if (!(degrees >= 0.0 && degrees <= 180.0))
            throw error(line_number, "the bond angle of atom " + std::to_string(i + 1) + " must be 0 to 180 degrees");
        return degrees * pi / 180.0;
    }

    ContentError coincide(const Line& l, int r1, int r2) const {
        return error(l.line, "atoms " + std::to_string(l.ref[r1] + 1) + " and " + std::to_string(l.ref[r2] + 1) +
                                 " coincide, so atom " + std::to_string(&l - lines_.data() + 1) + " cannot be placed");
    }

    const std::string& name_;
    std::vector<Line> lines_;
    std::map<std::string, double> variables_;
};

// The Z-matrix proper from `from` on: atom lines up to a blank line (or the end), then variables.
MoleculeIn read_body(const std::vector<std::string_view>& lines, std::size_t from, const std::string& name) {
    Parser parser(name);
    std::size_t at = from;
    while (at < lines.size() && is_blank(lines[at])) ++at;
    for (; at < lines.size() && !is_blank(lines[at]); ++at) parser.atom_line(lines[at], at + 1);
    if (parser.empty()) throw ContentError(name + ": the file holds no atom");
    for (; at < lines.size(); ++at)
        if (!is_blank(lines[at])) parser.variable_line(lines[at], at + 1);
    return parser.place();
}

}  // namespace

MoleculeIn read_zmatrix(std::string_view text, const std::string& name) {
    const std::vector<std::string_view> lines = split_lines(text);
    std::size_t at = 0;
    while (at < lines.size() && (is_blank(lines[at]) || lines[at].find_first_not_of(" \t") == std::string_view::npos ||
                                 lines[at][lines[at].find_first_not_of(" \t")] == '#' ||
                                 lines[at][lines[at].find_first_not_of(" \t")] == '!'))
        ++at;
    return read_body(lines, at, name);
}

MoleculeIn read_gaussian_zmatrix(std::string_view text, const std::string& name) {
    const std::vector<std::string_view> lines = split_lines(text);
    std::size_t at = 0;
    auto skip_blank = [&] {
        while (at < lines.size() && is_blank(lines[at])) ++at;
    };
    skip_blank();
    while (at < lines.size() && !lines[at].empty() && lines[at][0] == '%') ++at;  // link 0
    if (at >= lines.size() || lines[at].empty() || lines[at][0] != '#')
        throw content_error(name, at + 1, "expected the route line starting with '#'");
    while (at < lines.size() && !is_blank(lines[at])) ++at;  // route section
    skip_blank();
    std::string title;
    for (; at < lines.size() && !is_blank(lines[at]); ++at) title += (title.empty() ? "" : " ") + std::string(lines[at]);
    skip_blank();
    if (at >= lines.size()) throw content_error(name, at + 1, "the file ends where 'charge multiplicity' should be");
    const std::vector<std::string_view> cm = split_fields(lines[at]);
    const std::optional<int> charge = cm.size() == 2 ? parse_count(cm[0]) : std::nullopt;
    if (!charge || !parse_count(cm[1]))
        throw content_error(name, at + 1, "expected 'charge multiplicity', found '" + shown(lines[at].substr(0, 60)) + "'");
    MoleculeIn m = read_body(lines, at + 1, name);
    m.title = title;
    m.charge = *charge;
    return m;
}

}  // namespace zephor::importer
