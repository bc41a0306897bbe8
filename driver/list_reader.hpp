// The free-form (list-directed) value reads of FOR005: values separated by blanks, one comma or
// one semicolon, null values, repeat counts, quoted text, slash to end a read. Each read()
// statement is split into tokens (the values as written) and their conversion into the fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zephor {

// One value of a read statement: a text field of fixed width, a 32-bit integer or a double.
// A field that receives no value (a null value, or a slash ending the read) keeps its contents.
struct ListItem {
    enum class Kind { text, integer, real };
    Kind kind;
    std::string* text = nullptr;   // Kind::text; padded with blanks or cut to `width`
    std::size_t width = 0;
    std::int32_t* integer = nullptr;  // Kind::integer
    double* real = nullptr;           // Kind::real

    static ListItem of_text(std::string& s, std::size_t w) { return {Kind::text, &s, w, nullptr, nullptr}; }
    static ListItem of_integer(std::int32_t& i) { return {Kind::integer, nullptr, 0, &i, nullptr}; }
    static ListItem of_real(double& x) { return {Kind::real, nullptr, 0, nullptr, &x}; }
};

// The message of a value that is not a real number (or one that overflows), item from 1.
std::string bad_real(std::size_t item);

// Sequential list-directed reader over the whole content of one opening of the file. Each read()
// is one read statement: it starts at the line after the last line used by the previous read,
// and whatever follows its last value on that line is skipped. Failures throw ReportError with
// the first line "At line L of input (unit = U, file = 'F')".
class ListReader {
public:
    ListReader(std::string_view data, int unit, std::string file);

    void read(std::span<const ListItem> items);

    // 1-based number of the line on which the last read took its first value (0 before any read).
    int line() const { return first_line_; }
    // Line from which item k (from 0) of the last read took its value.
    int item_line(std::size_t k) const { return k < item_lines_.size() ? item_lines_[k] : first_line_; }
    int unit() const { return unit_; }
    const std::string& file() const { return file_; }

private:
    std::string_view data_;
    int unit_;
    std::string file_;
    std::size_t pos_ = 0;   // start of the next unread line
    int next_line_ = 1;     // its 1-based number
    int first_line_ = 0;
    std::vector<int> item_lines_;
};

}  // namespace zephor
