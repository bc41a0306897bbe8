// Reading the text formats of zephor-import (XYZ, Z-matrix): lines without their ends, tokens,
// and numbers as chemists write them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephor::importer {

// The lines of `text`, without "\n" or "\r\n", and without the UTF-8 byte-order mark some
// editors put before the first.
std::vector<std::string_view> split_lines(std::string_view text);

// The fields of a line, separated by blanks, tabs or commas.
std::vector<std::string_view> split_fields(std::string_view line);

bool is_blank(std::string_view line);

// A real number: optional sign, digits with or without a decimal point, an optional exponent
// with E or D; nothing for anything else (text, "inf", "nan", hexadecimal) or an infinite value.
std::optional<double> parse_number(std::string_view text);

// Whether `text` has the form parse_number() reads: nothing for "1e400" then means out of range.
bool has_number_form(std::string_view text);

// A whole number with an optional sign, at most nine digits.
std::optional<int> parse_count(std::string_view text);

// A plain decimal integer: an optional sign and digits, within the range of int; nothing for
// anything else ("0x10", "1e3", " 5", "").
std::optional<int> parse_integer(std::string_view text);

// The shortest decimal text that reads back as `x` ("1e+308", "0.1"), for messages.
std::string shortest_text(double x);

}  // namespace zephor::importer
