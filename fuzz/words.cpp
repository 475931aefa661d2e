// Any 32-bit word: decoding, describing, and encoding the decoded fields again.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz_support.hpp"
#include "vorl_exchange/delay_padding.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/receive_encoding.hpp"

using namespace vorl_exchange;
using vorl_fuzz::require;

namespace {

// The word rebuilt from its decoded fields, for the families that have an encoder.
std::optional<std::uint32_t> reencode(const DecodedWord& decoded) {
    switch (decoded.family) {
        case WordFamily::Opening: return opening_word;
        case WordFamily::Closing: return closing_word;
        case WordFamily::Send: {
            const auto word = encode_send(decoded.count_minus_one, decoded.control, decoded.base_word);
            require(word.has_value(), "the fields of a decoded send word fit the send encoder");
            return *word;
        }
        case WordFamily::SendControlPair: {
            // The pair's instruction word takes only the pointer selector from its events.
            const ReceiveEvent events[] = {{1, delay_pic(0, decoded.flag, 0), ReceiveEventKind::Pointer},
                                           {1, delay_xpic(0, 0, 0), ReceiveEventKind::OrdinarySource}};
            const auto pair =
                encode_send_control_pair(decoded.count_minus_one, decoded.base_word, decoded.control, events);
            require(pair.has_value(), "the fields of a decoded SENDPICP word fit the pair encoder");
            return pair->first;
        }
        case WordFamily::SendOff: return send_off(decoded.count_minus_one, decoded.control, decoded.base_word);
        case WordFamily::PlainDelay: return encode_exchange_delay(decoded.advance_field);
        case WordFamily::PicDelay: return delay_pic(decoded.advance_field, decoded.flag, decoded.control);
        case WordFamily::XpicDelay: return delay_xpic(decoded.advance_field, decoded.flag, decoded.control);
        default: return std::nullopt;
    }
}

// Setting the advance of a delay word changes that field alone; any other word
// is refused, left as it was, with the reason its family gives.
void require_advance_setting(std::uint32_t word, std::uint32_t advance) {
    std::uint32_t changed = word;
    const auto set = set_instruction_advance(changed, advance);
    const DecodedWord before = decode(word);
    if (!set) {
        require(changed == word, "a refused advance leaves the word as it was");
        require(set.error().kind() == ErrorKind::Schedule, "a refused advance is a schedule error");
        return;
    }
    const DecodedWord after = decode(changed);
    require(is_plain_delay(word) || is_pic_delay(word) || is_xpic_delay(word), "only delay words take an advance");
    require(after.advance() == advance && after.family == before.family && after.control == before.control &&
                after.flag == before.flag,
            "setting the advance changes the advance alone");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorl_fuzz::ByteReader input{{data, size}};
    while (!input.empty()) {
        const std::uint32_t word = input.u32();
        const DecodedWord decoded = decode(word);
        require(decoded.word == word, "decoding keeps the word");

        if (const auto again = reencode(decoded)) {
            require(*again == word, "encoding the decoded fields gives the word back");
        }
        const int matching_families = int{is_send(word)} + int{is_send_off(word)} + int{is_send_control(word)} +
                                      int{is_send_control_pair(word)} + int{is_plain_delay(word)} +
                                      int{is_pic_delay(word)} + int{is_xpic_delay(word)};
        require(matching_families <= 1, "a word belongs to at most one family");
        const bool special = word == opening_word || word == closing_word;
        require((decoded.family == WordFamily::Unknown) == (matching_families == 0 && !special),
                "a word is unknown exactly when no family takes it");

        const bool timed = decoded.family == WordFamily::PlainDelay || decoded.family == WordFamily::PicDelay ||
                           decoded.family == WordFamily::XpicDelay;
        require(decoded.advance() == (timed ? decoded.advance_field + 1 : 0), "only delay words take cycles");

        require_advance_setting(word, input.u32());

        const std::string line = describe(word);
        require(line == describe(decoded), "describing a word and its decoding agree");
        require(line.starts_with(mnemonic(decoded.family)), "a description starts with the mnemonic");
    }
    return 0;
}
