/// @file
/// Filling a row's timeline with plain delays, and setting the advance of timed words.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstdint>
#include <optional>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/row_words.hpp"

namespace vorl_exchange {

/// Longest stretch one plain delay word covers.
inline constexpr std::uint32_t maximum_plain_delay_advance = plain_delay_word::cycles.max() + 1u;  // 524288
/// The longest advance of one PIC delay word, in cycles.
inline constexpr std::uint32_t maximum_pic_delay_advance = pic_delay_word::advance.max() + 1u;      // 128
/// The longest advance of one XPIC delay word, in cycles.
inline constexpr std::uint32_t maximum_xpic_delay_advance = xpic_delay_word::advance.max() + 1u;    // 4096

/// Appends plain delays from `event_cycles` up to `target_cycles`, fewest words
/// first. On failure nothing is appended and `event_cycles` is unchanged.
[[nodiscard]] VORL_EXCHANGE_EXPORT Result<void> append_plain_delay(RowWords& words, std::uint32_t& event_cycles,
                                                                   std::uint32_t target_cycles);

/// As `append_plain_delay`, but leaves `words.len() % 2 == word_parity`, adding one
/// extra (shortest, last) word if needed, so that a following SENDPICP pair lands on
/// the requested word index. On failure nothing is appended.
[[nodiscard]] VORL_EXCHANGE_EXPORT Result<void> append_plain_delay_aligned(RowWords& words, std::uint32_t& event_cycles,
                                                                           std::uint32_t target_cycles,
                                                                           std::size_t word_parity);

/// Writes `advance` (cycles, at least 1) into the advance field of a plain, PIC or
/// XPIC delay word. On failure the word is unchanged.
[[nodiscard]] constexpr Result<void> set_instruction_advance(std::uint32_t& instruction,
                                                             std::uint32_t advance) noexcept {
    if (advance == 0) {
        return std::unexpected(ExchangeError::schedule(reason::zero_event_advance));
    }
    const std::uint32_t immediate = advance - 1u;
    const auto write = [&](BitField field, ScheduleReason overflow) -> Result<void> {
        if (immediate > field.max()) {
            return std::unexpected(ExchangeError::schedule(overflow));
        }
        instruction = field.replace(instruction, immediate);
        return {};
    };
    if (is_plain_delay(instruction)) {
        return write(plain_delay_word::cycles, reason::delay_advance_overflow);
    }
    if (is_pic_delay(instruction)) {
        return write(pic_delay_word::advance, reason::pic_delay_advance_overflow);
    }
    if (is_xpic_delay(instruction)) {
        return write(xpic_delay_word::advance, reason::xpic_delay_advance_overflow);
    }
    if (is_payload_send(instruction) || is_send_control(instruction)) {
        return std::unexpected(ExchangeError::schedule(reason::scheduled_offset_truncates_a_send));
    }
    return std::unexpected(ExchangeError::schedule(reason::first_scheduled_event_is_not_a_delay));
}

/// The largest advance a timed receive-control word can carry: PIC and XPIC delay
/// words only (a plain delay is not a receive control).
[[nodiscard]] constexpr std::optional<std::uint32_t> maximum_timed_instruction_advance(
    std::uint32_t instruction) noexcept {
    if (is_pic_delay(instruction)) {
        return maximum_pic_delay_advance;
    }
    if (is_xpic_delay(instruction)) {
        return maximum_xpic_delay_advance;
    }
    return std::nullopt;
}

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
