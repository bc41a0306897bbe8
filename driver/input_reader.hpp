// Reading the molecule file FOR005: the atom-counting pass and the free-form (list-directed)
// value reads of the sizing and reading passes. Coordinates come in as Angstrom and leave as bohr.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zephor {

// The six element letters, in the order the counting pass knows them.
inline constexpr std::string_view element_letters = "FBONHC";

// Bohr radius in Angstrom as the single-precision constant widened to double
// (0.529177188873291015625 exactly): Angstrom / bohr_in_angstrom = bohr.
inline constexpr double bohr_in_angstrom = double(0.5291772f);

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

// Pass 1: the number of lines whose first character is one of the six element letters.
std::int32_t count_atom_lines(std::string_view data);

// What pass 2 yields: title, charge and the symbol letter of each atom.
struct SizingInput {
    std::string title;        // 100 characters
    std::int32_t charge = 0;
    int charge_line = 0;      // input line of the charge, for reports about it
    std::vector<char> letters;
};

// Pass 2 over handle 13. A letter that is none of the six fails the read with
// "Unknown element symbol 'X' for atom N".
SizingInput read_sizing_pass(std::string_view data, std::int32_t atom_count);

// Pass 3 over handle 10: symbols and coordinates into `symbol` and `r` (already sized by the
// caller to atom_count and 3 * atom_count). A symbol that is not exactly one of the six letters
// fails the read with "Unknown element symbol 'Cl' for atom N"; a coordinate whose bohr value
// overflows fails like any real that overflows.
void read_atom_pass(std::string_view data, std::int32_t atom_count, std::string& title,
                    std::int32_t& charge, std::vector<std::string>& symbol, std::vector<double>& r);

}  // namespace zephor
