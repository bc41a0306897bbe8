// Lines, fields and numbers of the text formats.
#include "import/text_lines.hpp"

#include <charconv>
#include <limits>

#include "common/text_forms.hpp"

namespace zephor::importer {

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    constexpr std::string_view byte_order_mark = "\xef\xbb\xbf";
    std::size_t start = text.substr(0, 3) == byte_order_mark ? 3 : 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    auto separator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r'; };
    while (i < line.size()) {
        while (i < line.size() && separator(line[i])) ++i;
        const std::size_t from = i;
        while (i < line.size() && !separator(line[i])) ++i;
        if (i > from) fields.push_back(line.substr(from, i - from));
    }
    return fields;
}

bool is_blank(std::string_view line) { return split_fields(line).empty(); }

std::optional<double> parse_number(std::string_view s) { return parse_real_text(s); }

bool has_number_form(std::string_view s) { return has_real_form(s); }

std::optional<int> parse_count(std::string_view s) {
    std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    if (i == s.size() || s.size() - i > 9) return std::nullopt;
    int v = 0;
    for (std::size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
        v = 10 * v + (s[k] - '0');
    }
    return s[0] == '-' ? -v : v;
}

std::optional<int> parse_integer(std::string_view s) {
    const std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    if (i == s.size()) return std::nullopt;
    long long v = 0;
    for (std::size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9') return std::nullopt;
        v = 10 * v + (s[k] - '0');
        if (v > 1LL + std::numeric_limits<int>::max()) return std::nullopt;
    }
    if (s[0] == '-') v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(v);
}

std::string shortest_text(double x) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

}  // namespace zephor::importer
