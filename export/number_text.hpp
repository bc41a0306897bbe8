// Number renderings the export formats need beyond zephor's own fields: fixed point and
// scientific with a chosen precision, upper-case "E", always at least two exponent digits,
// independent of the locale.
#pragma once

#include <string>

namespace zephor::exporter {

// x with `decimals` digits after the point ("-0.648787949000").
void put_fixed(std::string& out, double x, int decimals);

// The shortest fixed-point text that reads back as exactly x ("1.43052274").
void put_shortest_fixed(std::string& out, double x);

// x as d.ddd...E+XX with `decimals` digits after the point.
void put_scientific(std::string& out, double x, int decimals);

// The text right-justified in `width` characters (never cut).
void put_right(std::string& out, const std::string& text, std::size_t width);

}  // namespace zephor::exporter
