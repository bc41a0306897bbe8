// Reading the text formats of zephor-import (XYZ, Z-matrix): lines without their ends, tokens,
// and numbers as chemists write them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zephor::importer {

// The lines of `text`, without "\n" or "\r\n".
std::vector<std::string_view> split_lines(std::string_view text);

// The fields of a line, separated by blanks, tabs or commas.
std::vector<std::string_view> split_fields(std::string_view line);

bool is_blank(std::string_view line);

// A real number: optional sign, digits with or without a decimal point, an optional exponent
// with E or D; nothing for anything else (text, "inf", "nan", hexadecimal) or an infinite value.
std::optional<double> parse_number(std::string_view text);

// A whole number with an optional sign, at most nine digits.
std::optional<int> parse_count(std::string_view text);

}  // namespace zephor::importer
