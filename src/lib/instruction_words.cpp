#include "vorl_exchange/instruction_words.hpp"

#include <cstdio>

namespace vorl_exchange {

std::string_view mnemonic(WordFamily family) noexcept {
    switch (family) {
        case WordFamily::Opening: return "open";
        case WordFamily::Closing: return "close";
        case WordFamily::Send: return "send";
        case WordFamily::SendOff: return "send-off";
        case WordFamily::SendControl: return "send-control";
        case WordFamily::SendControlPair: return "sendpicp";
        case WordFamily::PlainDelay: return "delay";
        case WordFamily::PicDelay: return "pic-delay";
        case WordFamily::XpicDelay: return "xpic-delay";
        case WordFamily::Unknown: return "unknown";
    }
    return "unknown";
}

std::string describe(const DecodedWord& decoded) {
    char line[112];
    const std::string_view name = mnemonic(decoded.family);
    const int name_length = static_cast<int>(name.size());
    // Every "%.*s" below is given the name's length: no terminator is read.
    // NOLINTBEGIN(bugprone-suspicious-stringview-data-usage)
    switch (decoded.family) {
        case WordFamily::Send:
        case WordFamily::SendOff:
            std::snprintf(line, sizeof line, "%.*s count=%u base_word=%u control=%u", name_length, name.data(),
                          decoded.count_minus_one + 1u, decoded.base_word, decoded.control);
            break;
        case WordFamily::SendControlPair:
            std::snprintf(line, sizeof line, "%.*s count=%u source_word_address=%u control=%u pointer_selector=%u",
                          name_length, name.data(), decoded.count_minus_one + 1u, decoded.base_word, decoded.control,
                          decoded.flag);
            break;
        case WordFamily::PlainDelay:
            std::snprintf(line, sizeof line, "%.*s advance_cycles=%u", name_length, name.data(), decoded.advance());
            break;
        case WordFamily::PicDelay:
        case WordFamily::XpicDelay:
            std::snprintf(line, sizeof line, "%.*s advance_cycles=%u flag=%u control=%u", name_length, name.data(),
                          decoded.advance(), decoded.flag, decoded.control);
            break;
        case WordFamily::Unknown:
            std::snprintf(line, sizeof line, "%.*s 0x%08x", name_length, name.data(), decoded.word);
            break;
        case WordFamily::Opening:
        case WordFamily::Closing:
        case WordFamily::SendControl: return std::string{name};
    }
    // NOLINTEND(bugprone-suspicious-stringview-data-usage)
    return line;
}

}  // namespace vorl_exchange
