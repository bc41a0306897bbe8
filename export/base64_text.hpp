// Base64 (RFC 4648, with padding): how the results page carries binary arrays in its text,
// about a third of the size of the same numbers written in decimal.
#pragma once

#include <string>
#include <string_view>

namespace zephor::exporter {

std::string base64_text(std::string_view bytes);

}  // namespace zephor::exporter
