#include "vorl_exchange/sender_row.hpp"

#include <algorithm>

#include "row_writers.hpp"
#include "vorl_exchange/instruction_words.hpp"

namespace vorl_exchange {

namespace {

// The bits of a SENDPICP first word that say it carries a send control: only
// the low two of its three control bits, the direction bits. A word whose only
// control bit is bit 2 (the paired-send flag) names no direction, so it counts
// as carrying none and is left as it is, although a rewrite replaces all three
// bits. Deliberately two bits wide: widening the mask to the field would
// rewrite such words.
constexpr std::uint32_t sendpicp_direction_bits = 0x3u;
static_assert((sendpicp_direction_bits & ~send_control_pair_word::control.mask()) == 0);

// A SENDPICP first word takes a new send control only when it already carries one.
constexpr bool takes_send_control(std::uint32_t word) noexcept {
    return is_send(word) || is_send_off(word) || (is_send_control_pair(word) && (word & sendpicp_direction_bits) != 0);
}

}  // namespace

Result<Row> primitive_sender_row(std::uint32_t count, std::uint32_t direction, std::int32_t sender_delay) {
    detail::check_sender_row_arguments(count, sender_delay);
    if (direction > send_word::control.max()) {
        return std::unexpected(ExchangeError::schedule(reason::send_instruction_operand));
    }
    Result<Row> row{std::in_place};
    detail::write_sender_row(*row, count, direction, sender_delay);
    return row;
}

Result<void> set_sender_control(Row& row, std::uint8_t send_control) noexcept {
    if (send_control < 1 || send_control > send_word::control.max()) {
        return std::unexpected(ExchangeError::schedule(reason::send_control));
    }
    // One pass: when no word qualifies, none was rewritten and the row is as it was.
    bool any = false;
    for (std::uint32_t& word : row) {
        if (takes_send_control(word)) {
            word = send_word::control.replace(word, send_control);
            any = true;
        }
    }
    if (!any) {
        return std::unexpected(ExchangeError::schedule(reason::sender_payload));
    }
    return {};
}

}  // namespace vorl_exchange
