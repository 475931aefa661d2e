#include "vorl_exchange/sender_row.hpp"

#include <algorithm>

#include "vorl_exchange/instruction_words.hpp"

namespace vorl_exchange {

namespace {

// A send word carries up to this many words; the rest go in one send-off word.
constexpr std::uint32_t words_per_send = send_word::count_minus_one.max() + 1u;
// Short transfers are padded so that leading delay, sends and pad together span
// six cycles: sender_delay + 1 + count + (trailing field + 1) == 6.
constexpr std::int64_t padded_row_span = 4;

// A SENDPICP first word takes a new send control only when it already carries one.
constexpr bool takes_send_control(std::uint32_t word) noexcept {
    return is_send(word) || is_send_off(word) ||
           (is_send_control_pair(word) && (word & 0x3u) != 0);
}

}  // namespace

Result<Row> primitive_sender_row(std::uint32_t count, std::uint32_t direction, std::int32_t sender_delay) {
    // Callers validate both; a value outside would yield a silently wrong row.
    if (count == 0 || count > maximum_count) {
        invariant_failure(invariant::sender_row_count_in_range);
    }
    if (sender_delay < -1 || sender_delay > static_cast<std::int32_t>(plain_delay_word::cycles.max())) {
        invariant_failure(invariant::sender_row_delay_in_range);
    }
    Row row{};
    std::size_t cursor = 0;
    row[cursor++] = opening_word;
    if (sender_delay >= 0) {
        row[cursor++] = delay(static_cast<std::uint32_t>(sender_delay));
    }
    const auto send = encode_send(std::min(count, words_per_send) - 1u, direction, 0);
    if (!send) {
        return std::unexpected(send.error());
    }
    row[cursor++] = *send;
    if (count > words_per_send) {
        row[cursor++] = send_off(count - words_per_send - 1u, direction, 0);
    }
    const std::int64_t trailing_delay = padded_row_span - std::int64_t{sender_delay} - std::int64_t{count};
    if (trailing_delay >= 0) {
        row[cursor++] = delay(static_cast<std::uint32_t>(trailing_delay));
    }
    row[cursor] = closing_word;
    return row;
}

Result<void> set_sender_control(Row& row, std::uint8_t send_control) noexcept {
    if (send_control < 1 || send_control > send_word::control.max()) {
        return std::unexpected(ExchangeError::schedule(reason::send_control));
    }
    if (std::ranges::none_of(row, takes_send_control)) {
        return std::unexpected(ExchangeError::schedule(reason::sender_payload));
    }
    for (std::uint32_t& word : row) {
        if (takes_send_control(word)) {
            word = send_word::control.replace(word, send_control);
        }
    }
    return {};
}

}  // namespace vorl_exchange
