// Reading list-directed values: tokens first (Tokens), then their conversion (store).
#include "driver/list_reader.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/errors.hpp"
#include "common/text_forms.hpp"

namespace zephor {

std::string bad_real(std::size_t item) {
    return "Bad real number in item " + std::to_string(item) + " of list input";
}
namespace {

// A carriage return counts as a blank, so CRLF lines read like LF lines.
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The characters at which an unquoted value stops.
bool ends_value(char c) { return is_blank(c) || c == ',' || c == ';' || c == '/' || c == '\n'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string bad_integer(std::size_t item) {
    return "Bad integer for item " + std::to_string(item) + " in list input";
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

bool parse_real(std::string_view s, double& out) {
    const std::optional<double> x = parse_real_text(s);
    if (!x) return false;
    out = *x;
    return true;
}

}  // namespace

ListReader::ListReader(std::string_view data, int unit, std::string file)
    : data_(data), unit_(unit), file_(std::move(file)) {}

namespace {

// The values of one read statement as written, one at a time: separators, null values, repeat
// counts and quoted text. `item` is only consulted for its kind, which a quoted value must suit.
class Tokens {
public:
    Tokens(Cursor in, int unit, const std::string& file) : in_(in), unit_(unit), file_(file) {}

    // The value for item `number` (from 1), or false when a slash ends the read. A repeat count
    // hands the same value to several items.
    bool next(const ListItem& item, std::size_t number, Value& value) {
        if (repeat_left_ == 0 && !take(item, number)) return false;
        --repeat_left_;
        value = value_;
        return true;
    }

    // Line of the read's first value (only once one was taken, or at the end of the file).
    int first_line() const { return first_line_; }
    const Cursor& cursor() const { return in_; }

private:
    ReportError fail(int line, const std::string& message) const { return read_error(line, unit_, file_, message); }

    bool take(const ListItem& item, std::size_t number) {
        in_.skip_blanks();
        while (!in_.at_end() && after_ == After::value && (in_.data[in_.p] == ',' || in_.data[in_.p] == ';')) {
            ++in_.p;
            after_ = After::comma;
            in_.skip_blanks();
        }
        if (in_.at_end()) {
            if (first_) first_line_ = in_.eof_line();
            throw fail(in_.eof_line(), "End of file");
        }
        if (first_) {
            first_line_ = in_.line;
            first_ = false;
        }
        value_ = Value{};
        value_.line = in_.line;
        const char c = in_.data[in_.p];
        if (c == '/') {
            ++in_.p;
            return false;
        }
        repeat_left_ = 1;
        if (c == ',' || c == ';') {
            ++in_.p;
            after_ = After::comma;
            value_.null = true;
            return true;
        }
        after_ = After::value;
        // A run of digits directly followed by '*' is a repeat count.
        std::size_t q = in_.p;
        while (q < in_.data.size() && is_digit(in_.data[q])) ++q;
        if (q > in_.p && q < in_.data.size() && in_.data[q] == '*') {
            std::int32_t count = 0;
            if (parse_integer(in_.data.substr(in_.p, q - in_.p), count) != IntegerStatus::ok)
                throw fail(in_.line, integer_overflow(number));
            if (count == 0)
                throw fail(in_.line, "Zero repeat count in item " + std::to_string(number) + " of list input");
            repeat_left_ = count;
            in_.p = q + 1;
            value_.null = in_.at_separator();  // "r*" alone: r null values
        }
        if (value_.null) return true;
        const char mark = in_.data[in_.p];
        if (mark == '\'' || mark == '"') {
            if (item.kind == ListItem::Kind::integer) throw fail(in_.line, bad_integer(number));
            if (item.kind == ListItem::Kind::real) throw fail(in_.line, bad_real(number));
            take_quoted(mark, number);
        } else {
            const std::size_t from = in_.p;
            while (!in_.at_separator()) ++in_.p;
            value_.text = std::string(in_.data.substr(from, in_.p - from));
        }
        return true;
    }

    // Text up to the closing mark, which written twice stands for one; it may span lines.
    void take_quoted(char mark, std::size_t number) {
        value_.quoted = true;
        ++in_.p;
        for (;;) {
            if (in_.at_end()) throw fail(in_.eof_line(), "End of file");
            const char d = in_.data[in_.p];
            if (d == '\n') {
                // The line end is no part of the text, nor a CR belonging to it.
                if (in_.data[in_.p - 1] == '\r') value_.text.pop_back();
                ++in_.line;
            } else if (d == mark) {
                if (in_.p + 1 < in_.data.size() && in_.data[in_.p + 1] == mark) {
                    value_.text += mark;
                    ++in_.p;
                } else {
                    ++in_.p;
                    break;
                }
            } else {
                value_.text += d;
            }
            ++in_.p;
        }
        if (!in_.at_separator()) throw fail(in_.line, "Invalid string input in item " + std::to_string(number));
    }

    Cursor in_;
    int unit_;
    const std::string& file_;
    // What came last decides whether a comma is a plain separator or marks a null value.
    enum class After { start, value, comma } after_ = After::start;
    bool first_ = true;
    int first_line_ = 0;
    Value value_;
    std::int64_t repeat_left_ = 0;
};

// Converts one value into its field; a null value leaves the field as it was.
void store(const ListItem& item, const Value& value, std::size_t number, int unit, const std::string& file) {
    if (value.null) return;
    const auto fail = [&](const std::string& message) { return read_error(value.line, unit, file, message); };
    switch (item.kind) {
    case ListItem::Kind::text: {
        std::string s = value.text.substr(0, item.width);
        s.resize(item.width, ' ');
        *item.text = std::move(s);
        break;
    }
    case ListItem::Kind::integer: {
        if (value.quoted) throw fail(bad_integer(number));
        std::int32_t n = 0;
        switch (parse_integer(value.text, n)) {
        case IntegerStatus::bad: throw fail(bad_integer(number));
        case IntegerStatus::overflow: throw fail(integer_overflow(number));
        case IntegerStatus::ok: *item.integer = n; break;
        }
        break;
    }
    case ListItem::Kind::real: {
        double x = 0.0;
        if (value.quoted || !parse_real(value.text, x)) throw fail(bad_real(number));
        *item.real = x;
        break;
    }
    }
}

}  // namespace

void ListReader::read(std::span<const ListItem> items) {
    Tokens tokens(Cursor{data_, pos_, next_line_}, unit_, file_);
    item_lines_.clear();
    try {
        Value value;
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (!tokens.next(items[k], k + 1, value)) break;
            item_lines_.push_back(value.line);
            store(items[k], value, k + 1, unit_, file_);
        }
    } catch (...) {
        if (tokens.first_line() != 0) first_line_ = tokens.first_line();
        throw;
    }
    if (tokens.first_line() != 0) first_line_ = tokens.first_line();

    // The next read starts on the line after the last one used; the rest of this one is skipped.
    // Past a last line without LF the cursor keeps that line's number; eof_line() adds the one.
    const Cursor& in = tokens.cursor();
    const std::size_t line_end = data_.find('\n', in.p);
    if (line_end == std::string_view::npos) {
        pos_ = data_.size();
        next_line_ = in.line;
    } else {
        pos_ = line_end + 1;
        next_line_ = in.line + 1;
    }
}

}  // namespace zephor
