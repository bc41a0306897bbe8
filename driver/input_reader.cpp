// Reading FOR005: the line-counting pass and the free-form value reads of passes 2 and 3.
#include "driver/input_reader.hpp"

#include "common/errors.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace zephor {
namespace {

// A carriage return counts as a blank, so CRLF lines read like LF lines.
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The characters at which an unquoted value stops.
bool ends_value(char c) { return is_blank(c) || c == ',' || c == ';' || c == '/' || c == '\n'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string bad_integer(std::size_t item) {
    return "Bad integer for item " + std::to_string(item) + " in list input";
}
std::string bad_real(std::size_t item) {
    return "Bad real number in item " + std::to_string(item) + " of list input";
}
std::string integer_overflow(std::size_t item) {
    return "Integer overflow while reading item " + std::to_string(item);
}

// Position inside the file; `line` is the 1-based number of the line holding data[p].
struct Cursor {
    std::string_view data;
    std::size_t p;
    int line;

    bool at_end() const { return p >= data.size(); }
    bool at_separator() const { return at_end() || ends_value(data[p]); }

    // Line ends separate values like blanks do, so they are skipped together.
    void skip_blanks() {
        while (!at_end()) {
            const char c = data[p];
            if (c == '\n') {
                ++line;
            } else if (!is_blank(c)) {
                return;
            }
            ++p;
        }
    }

    // At the end of the data: the number of the line just past the file's last line.
    int eof_line() const { return (!data.empty() && data.back() != '\n') ? line + 1 : line; }
};

// One value as written, applied to one or more fields (a repeat count applies it to several).
struct Value {
    bool null = false;
    bool quoted = false;
    std::string text;
    int line = 0;
};

enum class IntegerStatus { ok, bad, overflow };

// Optional sign and at least one digit; the magnitude is capped while summing so that any
// number of digits is safe.
IntegerStatus parse_integer(std::string_view s, std::int32_t& out) {
    std::size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) ++i;
    if (i == s.size()) return IntegerStatus::bad;
    for (std::size_t j = i; j < s.size(); ++j) {
        if (!is_digit(s[j])) return IntegerStatus::bad;
    }
    const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
    std::int64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        magnitude = magnitude * 10 + (s[i] - '0');
        if (magnitude > limit) return IntegerStatus::overflow;
    }
    out = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return IntegerStatus::ok;
}

// Optional sign, digits with or without a decimal point, optional exponent with E or D. The form
// is checked here so that strtod never sees hexadecimal, Inf or NaN texts; strtod then rounds
// correctly. Overflow to infinity is refused, underflow to a tiny or zero value is accepted.
bool parse_real(std::string_view s, double& out) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < s.size() && is_digit(s[i])) ++i;
        return i - from;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    if (i != s.size()) return false;

    std::string text(s);
    for (char& c : text) {
        if (c == 'D' || c == 'd') c = 'E';
    }
    const double x = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(x)) return false;
    out = x;
    return true;
}

}  // namespace

ListReader::ListReader(std::string_view data, int unit, std::string file)
    : data_(data), unit_(unit), file_(std::move(file)) {}

void ListReader::read(std::span<const ListItem> items) {
    Cursor in{data_, pos_, next_line_};
    // What came last decides whether a comma is a plain separator or marks a null value.
    enum class After { start, value, comma } after = After::start;
    bool first = true;
    item_lines_.clear();
    Value value;
    std::int64_t repeat_left = 0;
    const auto fail = [&](int line, const std::string& message) {
        return read_error(line, unit_, file_, message);
    };

    for (std::size_t k = 0; k < items.size(); ++k) {
        const ListItem& item = items[k];
        const std::size_t number = k + 1;
        if (repeat_left == 0) {
            in.skip_blanks();
            while (!in.at_end() && after == After::value &&
                   (in.data[in.p] == ',' || in.data[in.p] == ';')) {
                ++in.p;
                after = After::comma;
                in.skip_blanks();
            }
            if (in.at_end()) {
                if (first) first_line_ = in.eof_line();
                throw fail(in.eof_line(), "End of file");
            }
            if (first) {
                first_line_ = in.line;
                first = false;
            }
            value = Value{};
            value.line = in.line;
            const char c = in.data[in.p];
            if (c == '/') {
                ++in.p;
                break;
            }
            if (c == ',' || c == ';') {
                ++in.p;
                after = After::comma;
                value.null = true;
                repeat_left = 1;
            } else {
                after = After::value;
                repeat_left = 1;
                // A run of digits directly followed by '*' is a repeat count.
                std::size_t q = in.p;
                while (q < in.data.size() && is_digit(in.data[q])) ++q;
                if (q > in.p && q < in.data.size() && in.data[q] == '*') {
                    std::int32_t count = 0;
                    if (parse_integer(in.data.substr(in.p, q - in.p), count) != IntegerStatus::ok) {
                        throw fail(in.line, integer_overflow(number));
                    }
                    if (count == 0) {
                        throw fail(in.line, "Zero repeat count in item " + std::to_string(number) +
                                                " of list input");
                    }
                    repeat_left = count;
                    in.p = q + 1;
                    value.null = in.at_separator();  // "r*" alone: r null values
                }
                if (!value.null) {
                    const char mark = in.data[in.p];
                    if (mark == '\'' || mark == '"') {
                        if (item.kind == ListItem::Kind::integer) throw fail(in.line, bad_integer(number));
                        if (item.kind == ListItem::Kind::real) throw fail(in.line, bad_real(number));
                        value.quoted = true;
                        ++in.p;
                        for (;;) {
                            if (in.at_end()) throw fail(in.eof_line(), "End of file");
                            const char d = in.data[in.p];
                            if (d == '\n') {
                                // The line end is no part of the text, nor a CR belonging to it.
                                if (in.data[in.p - 1] == '\r') value.text.pop_back();
                                ++in.line;
                            } else if (d == mark) {
                                if (in.p + 1 < in.data.size() && in.data[in.p + 1] == mark) {
                                    value.text += mark;
                                    ++in.p;
                                } else {
                                    ++in.p;
                                    break;
                                }
                            } else {
                                value.text += d;
                            }
                            ++in.p;
                        }
                        if (!in.at_separator()) {
                            throw fail(in.line, "Invalid string input in item " + std::to_string(number));
                        }
                    } else {
                        const std::size_t from = in.p;
                        while (!in.at_separator()) ++in.p;
                        value.text = std::string(in.data.substr(from, in.p - from));
                    }
                }
            }
        }
        --repeat_left;
        item_lines_.push_back(value.line);
        if (value.null) continue;  // the field keeps its contents

        switch (item.kind) {
        case ListItem::Kind::text: {
            std::string s = value.text.substr(0, item.width);
            s.resize(item.width, ' ');
            *item.text = std::move(s);
            break;
        }
        case ListItem::Kind::integer: {
            if (value.quoted) throw fail(value.line, bad_integer(number));
            std::int32_t n = 0;
            switch (parse_integer(value.text, n)) {
            case IntegerStatus::bad: throw fail(value.line, bad_integer(number));
            case IntegerStatus::overflow: throw fail(value.line, integer_overflow(number));
            case IntegerStatus::ok: *item.integer = n; break;
            }
            break;
        }
        case ListItem::Kind::real: {
            double x = 0.0;
            if (value.quoted || !parse_real(value.text, x)) throw fail(value.line, bad_real(number));
            *item.real = x;
            break;
        }
        }
    }

    // The next read starts on the line after the last one used; the rest of this one is skipped.
    // Past a last line without LF the cursor keeps that line's number; eof_line() adds the one.
    const std::size_t line_end = data_.find('\n', in.p);
    if (line_end == std::string_view::npos) {
        pos_ = data_.size();
        next_line_ = in.line;
    } else {
        pos_ = line_end + 1;
        next_line_ = in.line + 1;
    }
}

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

const std::string input_file = "FOR005";

std::string without_trailing_blanks(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// The symbol as the report shows it: control bytes (a NUL would end the message early, an ESC
// would reach the terminal) written as \xhh; printable bytes and UTF-8 text as they are.
std::string shown(const std::string& s) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xf];
        } else {
            out += c;
        }
    }
    return out;
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
    ListReader in(data, 13, input_file);
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

    ListReader in(data, 10, input_file);
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
