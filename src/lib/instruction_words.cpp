#include "vorl_exchange/instruction_words.hpp"

#include <cstdio>

namespace vorl_exchange {

std::string_view mnemonic(WordFamily family) noexcept {
    const WordFormat* format = format_of(family);
    return format != nullptr ? format->mnemonic : "unknown";
}

std::string describe(const WordFormat& format, std::uint32_t word) {
    std::string line{format.mnemonic};
    for (const TextField& field : format.fields()) {
        line.append(" ").append(field.name).append("=").append(std::to_string(field.read(word)));
    }
    return line;
}

std::string describe(const DecodedWord& decoded) {
    const WordFormat* format = format_of(decoded.family);
    if (format != nullptr) {
        return describe(*format, decoded.word);
    }
    // A word of no family has no fields to name: its hex is all there is.
    char line[32];
    std::snprintf(line, sizeof line, "unknown 0x%08x", decoded.word);
    return line;
}

}  // namespace vorl_exchange
