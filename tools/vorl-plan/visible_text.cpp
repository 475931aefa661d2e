#include "visible_text.hpp"

#include <cstdint>
#include <cstdio>

namespace vorl_plan {

namespace {

// Code points a terminal shows as nothing, or that change how the rest of the
// line is drawn.
bool invisible(std::uint32_t code_point) {
    return (code_point >= 0x80 && code_point <= 0xa0) || code_point == 0xad || code_point == 0x034f ||
           code_point == 0x061c || code_point == 0x115f || code_point == 0x1160 || code_point == 0x180e ||
           (code_point >= 0x2000 && code_point <= 0x200f) || (code_point >= 0x2028 && code_point <= 0x202f) ||
           (code_point >= 0x205f && code_point <= 0x206f) || code_point == 0x3000 || code_point == 0x3164 ||
           (code_point >= 0xfe00 && code_point <= 0xfe0f) || code_point == 0xfeff ||
           (code_point >= 0xfff0 && code_point <= 0xfffb) || (code_point >= 0xe0000 && code_point <= 0xe0fff);
}

// The length of the UTF-8 sequence at the front of `text` and its code point;
// length 0 if the bytes are not well-formed UTF-8.
std::size_t decode(std::string_view text, std::uint32_t& code_point) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, least = 0x80, code_point = lead & 0x1fu;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, least = 0x800, code_point = lead & 0x0fu;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, least = 0x10000, code_point = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t at = 1; at < length; ++at) {
        if ((byte(at) & 0xc0u) != 0x80) {
            return 0;
        }
        code_point = (code_point << 6) | (byte(at) & 0x3fu);
    }
    const bool surrogate = code_point >= 0xd800 && code_point <= 0xdfff;
    return code_point < least || code_point > 0x10ffff || surrogate ? 0 : length;
}

}  // namespace

std::string visible(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escaped[16];
    while (!text.empty()) {
        const auto lead = static_cast<unsigned char>(text.front());
        if (lead >= 0x20 && lead < 0x7f) {
            out += text.front();
            text.remove_prefix(1);
            continue;
        }
        std::uint32_t code_point = 0;
        const std::size_t length = lead < 0x80 ? 0 : decode(text, code_point);
        if (length == 0) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", lead);
            out += escaped;
            text.remove_prefix(1);
        } else if (invisible(code_point)) {
            std::snprintf(escaped, sizeof escaped, "\\u{%04x}", static_cast<unsigned>(code_point));
            out += escaped;
            text.remove_prefix(length);
        } else {
            out += text.substr(0, length);
            text.remove_prefix(length);
        }
    }
    return out;
}

}  // namespace vorl_plan
