/// @file
/// The 32-bit exchange instruction words: bit layouts, encoders, predicates and a
/// decoder that turns any word back into its family and fields.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vorl_exchange/errors.hpp"

namespace vorl_exchange {

/// A field of `width` bits starting at bit `position`.
struct BitField {
    unsigned position;  ///< Lowest bit of the field.
    unsigned width;     ///< Bits in the field.

    /// The largest value the field holds (a whole word's field included, where a shift by 32 would be undefined).
    [[nodiscard]] constexpr std::uint32_t max() const noexcept {
        return width >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << width) - 1u;
    }
    /// The field's bits in place.
    [[nodiscard]] constexpr std::uint32_t mask() const noexcept { return max() << position; }
    /// The field's value in `word`.
    [[nodiscard]] constexpr std::uint32_t get(std::uint32_t word) const noexcept { return (word >> position) & max(); }
    /// Places the low `width` bits of `value`; higher bits are dropped.
    [[nodiscard]] constexpr std::uint32_t place(std::uint32_t value) const noexcept {
        return (value & max()) << position;
    }
    /// `word` with the field set to the low `width` bits of `value`.
    [[nodiscard]] constexpr std::uint32_t replace(std::uint32_t word, std::uint32_t value) const noexcept {
        return (word & ~mask()) | place(value);
    }
};

/// The fixed bits of a word family: a word belongs to it when `word & mask == value`.
struct Opcode {
    std::uint32_t mask;   ///< The fixed bits.
    std::uint32_t value;  ///< Their value in the family.

    /// Whether `word` belongs to the family.
    [[nodiscard]] constexpr bool matches(std::uint32_t word) const noexcept { return (word & mask) == value; }
};

/// The words each row opens and closes with, and the fill after the closing word.
inline constexpr std::uint32_t opening_word = 0x41800003;  ///< The first word of every row's timed part.
inline constexpr std::uint32_t closing_word = 0x43a00000;  ///< The last word of every row's timed part.
inline constexpr std::uint32_t fill_word = 0;              ///< Every word after the closing word.

/// The send word: the first 64 words of a transfer.
namespace send_word {
inline constexpr Opcode opcode{0xf8000000, 0x78000000};  ///< A word of the family: `word & mask == value`.
inline constexpr BitField count_minus_one{21, 6};  ///< Bits 21 to 26.
inline constexpr BitField base_word{3, 18};  ///< Bits 3 to 20.
inline constexpr BitField control{0, 3};  ///< Bits 0 to 2.
}  // namespace send_word

/// Carries the words of a transfer beyond the first 64; its 12-bit count is split.
namespace send_off_word {
inline constexpr Opcode opcode{0xf8100000, 0x70000000};  ///< A word of the family: `word & mask == value`.
inline constexpr BitField count_low{21, 6};  ///< Bits 21 to 26.
inline constexpr BitField count_high{14, 6};  ///< Bits 14 to 19.
inline constexpr BitField base_word{3, 11};  ///< Bits 3 to 13.
inline constexpr BitField control{0, 3};  ///< Bits 0 to 2.
inline constexpr unsigned count_low_bits = 6;  ///< Width of `count_low`, the low part of the count.
}  // namespace send_off_word

/// The send-control word.
namespace send_control_word {
inline constexpr Opcode opcode{0xf8100000, 0x70100000};  ///< A word of the family: `word & mask == value`.
/// No operation here builds the word or splits its other bits into fields; its
/// text names them as one operand, bits 0 to 19 then bits 21 to 26, so that none is lost.
inline constexpr BitField operand_low{0, 20};   ///< Bits 0 to 19.
inline constexpr BitField operand_high{21, 6};  ///< Bits 21 to 26.
}  // namespace send_control_word

/// First word of the two-word SENDPICP send-control pair.
namespace send_control_pair_word {
inline constexpr Opcode opcode{0xf0000000, 0xf0000000};  ///< A word of the family: `word & mask == value`.
inline constexpr BitField pointer_selector{27, 1};  ///< Bit 27.
inline constexpr BitField count_minus_one{21, 6};  ///< Bits 21 to 26.
inline constexpr BitField source_word_address{3, 18};  ///< Bits 3 to 20.
inline constexpr BitField control{0, 3};  ///< Bits 0 to 2.
}  // namespace send_control_pair_word

/// Second word of the SENDPICP pair: the XPIC event's control bits over the PIC's.
namespace send_control_pair_payload {
inline constexpr BitField xpic_bits{18, 14};  ///< Bits 18 to 31.
inline constexpr BitField pic_bits{0, 18};  ///< Bits 0 to 17.
}  // namespace send_control_pair_payload

/// The plain delay word: waits `cycles` + 1 cycles.
namespace plain_delay_word {
inline constexpr Opcode opcode{0xfff80000, 0x40a00000};  ///< A word of the family: `word & mask == value`.
inline constexpr BitField cycles{0, 19};  ///< Bits 0 to 18.
}  // namespace plain_delay_word

/// The PIC delay word: waits `advance` + 1 cycles, then applies `control` to the PIC stream.
namespace pic_delay_word {
inline constexpr Opcode opcode{0xfc000000, 0x60000000};  ///< A word of the family: `word & mask == value`.
inline constexpr BitField advance{19, 7};  ///< Bits 19 to 25.
inline constexpr BitField flag{18, 1};  ///< Bit 18.
inline constexpr BitField control{0, 18};  ///< Bits 0 to 17.
}  // namespace pic_delay_word

/// The XPIC delay word: waits `advance` + 1 cycles, then applies `control` to the XPIC stream (the mux).
namespace xpic_delay_word {
inline constexpr Opcode opcode{0xfc000000, 0x64000000};  ///< A word of the family: `word & mask == value`.
inline constexpr BitField advance{14, 12};  ///< Bits 14 to 25.
inline constexpr BitField flag{13, 1};  ///< Bit 13.
inline constexpr BitField control{0, 13};  ///< Bits 0 to 12.
}  // namespace xpic_delay_word

// ---- Encoders -------------------------------------------------------------

/// The send word; fails with "send instruction operand" when an operand exceeds its field.
[[nodiscard]] constexpr Result<std::uint32_t> encode_send(std::uint32_t count_minus_one, std::uint32_t direction,
                                                          std::uint32_t base_word) noexcept {
    using namespace send_word;
    if (count_minus_one > send_word::count_minus_one.max() || direction > control.max() ||
        base_word > send_word::base_word.max()) {
        return std::unexpected(ExchangeError::schedule(reason::send_instruction_operand));
    }
    return opcode.value | send_word::count_minus_one.place(count_minus_one) | send_word::base_word.place(base_word) |
           control.place(direction);
}

/// The send-off word; operand bits beyond the fields are dropped.
[[nodiscard]] constexpr std::uint32_t send_off(std::uint32_t count_minus_one, std::uint32_t direction,
                                               std::uint32_t base_word) noexcept {
    using namespace send_off_word;
    return opcode.value | count_low.place(count_minus_one) | count_high.place(count_minus_one >> count_low_bits) |
           send_off_word::base_word.place(base_word) | control.place(direction);
}

/// The plain delay word; bits of `cycles` above the 19-bit field are dropped.
[[nodiscard]] constexpr std::uint32_t encode_exchange_delay(std::uint32_t cycles) noexcept {
    return plain_delay_word::opcode.value | plain_delay_word::cycles.place(cycles);
}
/// Short name of `encode_exchange_delay`.
[[nodiscard]] constexpr std::uint32_t delay(std::uint32_t cycles) noexcept { return encode_exchange_delay(cycles); }

/// The PIC delay word: advance field `a`, flag `b`, control value `c`, each truncated.
[[nodiscard]] constexpr std::uint32_t encode_exchange_delay_pic(std::uint32_t a, std::uint32_t b,
                                                                std::uint32_t c) noexcept {
    using namespace pic_delay_word;
    return opcode.value | advance.place(a) | flag.place(b) | control.place(c);
}
/// Short name of `encode_exchange_delay_pic`.
[[nodiscard]] constexpr std::uint32_t delay_pic(std::uint32_t a, std::uint32_t b, std::uint32_t c) noexcept {
    return encode_exchange_delay_pic(a, b, c);
}

/// The XPIC delay word: advance field `a`, flag `b`, control value `c`, each truncated.
[[nodiscard]] constexpr std::uint32_t encode_exchange_delay_xpic(std::uint32_t a, std::uint32_t b,
                                                                 std::uint32_t c) noexcept {
    using namespace xpic_delay_word;
    return opcode.value | advance.place(a) | flag.place(b) | control.place(c);
}
/// Short name of `encode_exchange_delay_xpic`.
[[nodiscard]] constexpr std::uint32_t delay_xpic(std::uint32_t a, std::uint32_t b, std::uint32_t c) noexcept {
    return encode_exchange_delay_xpic(a, b, c);
}

// ---- Predicates -----------------------------------------------------------

/// Whether `instruction` is a send word.
[[nodiscard]] constexpr bool is_send(std::uint32_t instruction) noexcept {
    return send_word::opcode.matches(instruction);
}
/// Whether `instruction` is a send-off word.
[[nodiscard]] constexpr bool is_send_off(std::uint32_t instruction) noexcept {
    return send_off_word::opcode.matches(instruction);
}
/// Whether `instruction` is a send-control word.
[[nodiscard]] constexpr bool is_send_control(std::uint32_t instruction) noexcept {
    return send_control_word::opcode.matches(instruction);
}
/// Whether `instruction` is a send or send-off word: one that puts data on the fabric.
[[nodiscard]] constexpr bool is_payload_send(std::uint32_t instruction) noexcept {
    return is_send(instruction) || is_send_off(instruction);
}
/// Whether `instruction` is the first word of a SENDPICP pair.
[[nodiscard]] constexpr bool is_send_control_pair(std::uint32_t instruction) noexcept {
    return send_control_pair_word::opcode.matches(instruction);
}
/// Whether `instruction` is a plain delay word.
[[nodiscard]] constexpr bool is_plain_delay(std::uint32_t instruction) noexcept {
    return plain_delay_word::opcode.matches(instruction);
}
/// Whether `instruction` is a PIC delay word.
[[nodiscard]] constexpr bool is_pic_delay(std::uint32_t instruction) noexcept {
    return pic_delay_word::opcode.matches(instruction);
}
/// Whether `instruction` is an XPIC delay word.
[[nodiscard]] constexpr bool is_xpic_delay(std::uint32_t instruction) noexcept {
    return xpic_delay_word::opcode.matches(instruction);
}

// ---- Decoder --------------------------------------------------------------

/// The kind of an instruction word, told by its fixed bits.
enum class WordFamily : std::uint8_t {
    Opening,  ///< The opening word, `opening_word`.
    Closing,  ///< The closing word, `closing_word`.
    Send,  ///< A send word: the first 64 words of a transfer.
    SendOff,  ///< A send-off word: the words of a transfer beyond the first 64.
    SendControl,  ///< A send-control word.
    SendControlPair,  ///< First word of a SENDPICP pair.
    PlainDelay,  ///< A plain delay word.
    PicDelay,  ///< A PIC delay word, carrying a PIC control.
    XpicDelay,  ///< An XPIC delay word, carrying an XPIC control.
    Unknown,  ///< A word of no family above.
};

/// A word split into its family and fields. Fields a family lacks stay 0.
struct DecodedWord {
    WordFamily family = WordFamily::Unknown;  ///< The word's family.
    std::uint32_t word = 0;  ///< The word itself.
    std::uint32_t count_minus_one = 0;  ///< The count less one: Send, SendOff, SendControlPair.
    std::uint32_t base_word = 0;  ///< The base word of Send and SendOff; the source word address of SendControlPair.
    std::uint32_t control = 0;  ///< The send-control field of sends; the control value `c` of PIC and XPIC delays.
    std::uint32_t advance_field =
        0;  ///< The advance field `a` of PicDelay and XpicDelay; the cycles field of PlainDelay.
    std::uint32_t flag = 0;  ///< The flag `b` of PIC and XPIC delays; the pointer selector of SendControlPair.

    /// Cycles the word occupies on the row's timeline: field + 1 for delay words, 0 otherwise.
    [[nodiscard]] constexpr std::uint32_t advance() const noexcept {
        const bool timed =
            family == WordFamily::PlainDelay || family == WordFamily::PicDelay || family == WordFamily::XpicDelay;
        return timed ? advance_field + 1u : 0u;
    }
    /// Same word and fields.
    friend constexpr bool operator==(const DecodedWord&, const DecodedWord&) noexcept = default;
};

/// The family and fields of any word; a word of no family decodes as `WordFamily::Unknown`.
[[nodiscard]] constexpr DecodedWord decode(std::uint32_t word) noexcept {
    DecodedWord decoded;
    decoded.word = word;
    if (word == opening_word) {
        decoded.family = WordFamily::Opening;
    } else if (word == closing_word) {
        decoded.family = WordFamily::Closing;
    } else if (is_send(word)) {
        decoded.family = WordFamily::Send;
        decoded.count_minus_one = send_word::count_minus_one.get(word);
        decoded.base_word = send_word::base_word.get(word);
        decoded.control = send_word::control.get(word);
    } else if (is_send_off(word)) {
        decoded.family = WordFamily::SendOff;
        decoded.count_minus_one =
            send_off_word::count_low.get(word) | (send_off_word::count_high.get(word) << send_off_word::count_low_bits);
        decoded.base_word = send_off_word::base_word.get(word);
        decoded.control = send_off_word::control.get(word);
    } else if (is_send_control(word)) {
        decoded.family = WordFamily::SendControl;
    } else if (is_send_control_pair(word)) {
        decoded.family = WordFamily::SendControlPair;
        decoded.flag = send_control_pair_word::pointer_selector.get(word);
        decoded.count_minus_one = send_control_pair_word::count_minus_one.get(word);
        decoded.base_word = send_control_pair_word::source_word_address.get(word);
        decoded.control = send_control_pair_word::control.get(word);
    } else if (is_plain_delay(word)) {
        decoded.family = WordFamily::PlainDelay;
        decoded.advance_field = plain_delay_word::cycles.get(word);
    } else if (is_pic_delay(word)) {
        decoded.family = WordFamily::PicDelay;
        decoded.advance_field = pic_delay_word::advance.get(word);
        decoded.flag = pic_delay_word::flag.get(word);
        decoded.control = pic_delay_word::control.get(word);
    } else if (is_xpic_delay(word)) {
        decoded.family = WordFamily::XpicDelay;
        decoded.advance_field = xpic_delay_word::advance.get(word);
        decoded.flag = xpic_delay_word::flag.get(word);
        decoded.control = xpic_delay_word::control.get(word);
    }
    return decoded;
}

// ---- Text form ------------------------------------------------------------

/// One value of a word's text, `name=value`: the bits that hold it and what the
/// text adds to them. A value split over two fields keeps its low bits in `low`
/// and the rest in `high`; a count or a number of cycles is held as one less than
/// it is, so its `offset` is 1.
struct TextField {
    std::string_view name;  ///< As the text names it.
    BitField low;           ///< The value's low bits.
    BitField high{0, 0};    ///< The value's remaining bits, if it is split.
    std::uint32_t offset = 0;  ///< What the text adds to the bits.

    /// Bits of the value in all.
    [[nodiscard]] constexpr unsigned width() const noexcept { return low.width + high.width; }
    /// The smallest value the text can name.
    [[nodiscard]] constexpr std::uint32_t smallest() const noexcept { return offset; }
    /// The largest value the text can name.
    [[nodiscard]] constexpr std::uint32_t largest() const noexcept {
        return ((std::uint32_t{1} << width()) - 1u) + offset;
    }
    /// The bits the field takes in a word.
    [[nodiscard]] constexpr std::uint32_t mask() const noexcept { return low.mask() | high.mask(); }
    /// The value `word` holds.
    [[nodiscard]] constexpr std::uint32_t read(std::uint32_t word) const noexcept {
        return (low.get(word) | (high.get(word) << low.width)) + offset;
    }
    /// A value from `smallest()` to `largest()` as bits in place.
    [[nodiscard]] constexpr std::uint32_t place(std::uint32_t value) const noexcept {
        const std::uint32_t bits = value - offset;
        return low.place(bits) | high.place(bits >> low.width);
    }
};

/// How the words of one family read as text: the mnemonic, then `name=value` for
/// each field in order. The opcode's bits and the fields' bits together are every
/// bit of the word, so that the text names exactly one word.
struct WordFormat {
    std::string_view mnemonic;  ///< The family's name in text, such as "send" or "xpic-delay".
    Opcode opcode;                             ///< The family's fixed bits.
    std::array<TextField, 4> field_table{};    ///< The first `field_count` are the fields.
    std::size_t field_count = 0;               ///< Fields the text names.

    /// The fields in the order the text names them.
    [[nodiscard]] constexpr std::span<const TextField> fields() const noexcept {
        return {field_table.data(), field_count};
    }
};

/// The text form of every family but `Unknown`, in the order of `WordFamily`;
/// `describe` prints with it and the tool's assembler reads with it.
inline constexpr std::array<WordFormat, 9> word_formats{{
    {"open", {0xffffffff, opening_word}},
    {"close", {0xffffffff, closing_word}},
    {"send",
     send_word::opcode,
     {{{"count", send_word::count_minus_one, {0, 0}, 1},
       {"base_word", send_word::base_word},
       {"control", send_word::control}}},
     3},
    {"send-off",
     send_off_word::opcode,
     {{{"count", send_off_word::count_low, send_off_word::count_high, 1},
       {"base_word", send_off_word::base_word},
       {"control", send_off_word::control}}},
     3},
    {"send-control",
     send_control_word::opcode,
     {{{"operand", send_control_word::operand_low, send_control_word::operand_high}}},
     1},
    {"sendpicp",
     send_control_pair_word::opcode,
     {{{"count", send_control_pair_word::count_minus_one, {0, 0}, 1},
       {"source_word_address", send_control_pair_word::source_word_address},
       {"control", send_control_pair_word::control},
       {"pointer_selector", send_control_pair_word::pointer_selector}}},
     4},
    {"delay", plain_delay_word::opcode, {{{"advance_cycles", plain_delay_word::cycles, {0, 0}, 1}}}, 1},
    {"pic-delay",
     pic_delay_word::opcode,
     {{{"advance_cycles", pic_delay_word::advance, {0, 0}, 1},
       {"flag", pic_delay_word::flag},
       {"control", pic_delay_word::control}}},
     3},
    {"xpic-delay",
     xpic_delay_word::opcode,
     {{{"advance_cycles", xpic_delay_word::advance, {0, 0}, 1},
       {"flag", xpic_delay_word::flag},
       {"control", xpic_delay_word::control}}},
     3},
}};

/// The text form of `family`; none for `Unknown`, whose words are named by their hex.
[[nodiscard]] constexpr const WordFormat* format_of(WordFamily family) noexcept {
    const auto index = static_cast<std::size_t>(family);
    return index < word_formats.size() ? &word_formats[index] : nullptr;
}

/// Whether the opcode and the fields of `format` take every bit of a word, each once.
[[nodiscard]] constexpr bool names_every_bit(const WordFormat& format) noexcept {
    std::uint32_t taken = format.opcode.mask;
    for (const TextField& field : format.fields()) {
        if ((taken & field.mask()) != 0) {
            return false;
        }
        taken |= field.mask();
    }
    return taken == 0xffffffff;
}

static_assert(word_formats.size() == static_cast<std::size_t>(WordFamily::Unknown), "one format per family");
static_assert(std::ranges::all_of(word_formats, names_every_bit), "a word's text names every bit of it");

/// Short mnemonic of a family: "send", "send-off", "xpic-delay", ...
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string_view mnemonic(WordFamily family) noexcept;

/// One readable line, for example "send count=64 base_word=0 control=1" or
/// "xpic-delay advance_cycles=4096 flag=0 control=1600": raw fields under their
/// layout names, and the count and the cycles a word advances as what they are
/// (a field holds one less), so that the names match the tool's JSON output; a
/// word of no family is "unknown 0x..." with its hex. Printed from `word_formats`.
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string describe(const DecodedWord& decoded);
/// `format`'s mnemonic and the value of each of its fields in `word`.
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string describe(const WordFormat& format, std::uint32_t word);
/// `describe(decode(word))`.
[[nodiscard]] inline std::string describe(std::uint32_t word) { return describe(decode(word)); }

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
