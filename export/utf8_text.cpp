// Decoding after the table of well-formed byte sequences of the Unicode standard (section 3.9).
#include "export/utf8_text.hpp"

namespace zephor::exporter {

std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = byte(i);
        std::size_t length = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
        if (b < 0x80) length = 1;
        else if (b >= 0xC2 && b <= 0xDF) length = 2;
        else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) lo = 0xA0;  // no overlong forms
            if (b == 0xED) hi = 0x9F;  // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;  // nothing beyond U+10FFFF
        }
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        std::size_t good = 1;
        while (good < length && i + good < text.size()) {
            const unsigned char c = byte(i + good);
            if (good == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF)) break;
            ++good;
        }
        if (good == length) out.append(text.substr(i, length));
        else out += "\xEF\xBF\xBD";
        i += good;
    }
    return out;
}

}  // namespace zephor::exporter
