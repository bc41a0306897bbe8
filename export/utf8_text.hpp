// Text that must be UTF-8 where it goes (JSON, the page's HTML, cairo's pictures) but comes from
// files and the command line as bytes.
#pragma once

#include <string>
#include <string_view>

namespace zephor::exporter {

// `text` with every byte that does not begin or continue a well-formed UTF-8 sequence (a stray
// continuation byte, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF) replaced by
// U+FFFD, one replacement per maximal ill-formed subpart, as nlohmann::json's replace handler does.
std::string valid_utf8(std::string_view text);

}  // namespace zephor::exporter
