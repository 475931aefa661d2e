// Writing rows straight into their final place. The planners build every row
// where their caller reads it, word by word, and keep row words out of
// aggregates returned through memory: a row or array copied right after it was
// written piecewise is read with wider loads than it was stored with, and such
// loads wait for the stores to reach the cache instead of taking their values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <utility>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/planners.hpp"

namespace vorl_exchange::detail {

// What a planner's checks found wrong, carried as a plain value from the
// checks to the Result: empty when every check passed. The checks write the
// facts the rows are made from into the caller's locals, so neither the facts
// nor an error travel inside a Result of their own.
using Refusal = std::optional<ExchangeError>;

// A planner's result built where its caller receives it, once every check has
// run: the Result is made in the state the checks decided, and `write` then
// fills the value in place from the facts, which cannot fail. A refusal never
// constructs a plan, and a plan is never destroyed to make room for an error.
// The value starts from `initial...`: a multicast plan from its sender row
// alone, because `MulticastPlan()` would also zero the receiver list's unused
// inline rows; a point-to-point plan from its two rows, each cleared on its own.
template <class T, class Write, class... Initial>
[[nodiscard]] Result<T> build_checked(const Refusal& refusal, Write&& write, Initial&&... initial) {
    Result<T> result =
        refusal ? Result<T>{std::unexpect, *refusal} : Result<T>{std::in_place, std::forward<Initial>(initial)...};
    if (result) {
        write(*result);
    }
    return result;
}

// Appends receiver rows for writers that set every word of each.
struct RowListWriter {
    [[nodiscard]] static std::span<Row> append_rows(RowList& rows, std::size_t count) {
        return rows.append_for_overwrite(count);
    }
};

// A send word carries up to this many words; the rest go in one send-off word.
inline constexpr std::uint32_t words_per_send = send_word::count_minus_one.max() + 1u;
// Short transfers are padded so that leading delay, sends and pad together span
// six cycles: sender_delay + 1 + count + (trailing field + 1) == 6.
inline constexpr std::int64_t padded_row_span = 4;

// Callers validate both; a value outside would yield a silently wrong row.
inline void check_sender_row_arguments(std::uint32_t count, std::int32_t sender_delay) noexcept {
    if (count == 0 || count > maximum_count) {
        invariant_failure(invariant::sender_row_count_in_range);
    }
    if (sender_delay < -1 || sender_delay > static_cast<std::int32_t>(plain_delay_word::cycles.max())) {
        invariant_failure(invariant::sender_row_delay_in_range);
    }
}

// The send word of a transfer of `words` words (at most `words_per_send`).
[[nodiscard]] inline std::uint32_t sender_row_send_word(std::uint32_t words, std::uint32_t direction) noexcept {
    const auto send = encode_send(words - 1u, direction, 0);
    if (!send) {
        invariant_failure(invariant::sender_row_direction_fits_send_word);
    }
    return *send;
}

// A transfer longer than one send word leaves no room for a trailing delay,
// even behind no leading delay word (a sender delay of -1).
static_assert(padded_row_span - (-1) - (std::int64_t{words_per_send} + 1) < 0);

// The words of a sender row from its send word on, which is word `First`: one
// place per case (with or without the leading delay word), so that each case
// stores at fixed places instead of carrying a cursor. The common row (a send
// that starts after cycle 0, more words than one send word carries) is marked
// likely: GCC then lays it out without a jump out and back.
template <std::size_t First>
inline void write_sender_sends(Row& row, std::uint32_t count, std::uint32_t direction,
                               std::int32_t sender_delay) noexcept {
    if (count > words_per_send) [[likely]] {
        row[First] = sender_row_send_word(words_per_send, direction);
        row[First + 1] = send_off(count - words_per_send - 1u, direction, 0);
        row[First + 2] = closing_word;
        return;
    }
    row[First] = sender_row_send_word(count, direction);
    const std::int64_t trailing_delay = padded_row_span - std::int64_t{sender_delay} - std::int64_t{count};
    if (trailing_delay >= 0) {
        row[First + 1] = delay(static_cast<std::uint32_t>(trailing_delay));
        row[First + 2] = closing_word;
        return;
    }
    row[First + 1] = closing_word;
}

// The row of `primitive_sender_row` for a `direction` that fits the send word
// (at most 7), written into `row`, which holds zeros.
inline void write_sender_row(Row& row, std::uint32_t count, std::uint32_t direction,
                             std::int32_t sender_delay) noexcept {
    check_sender_row_arguments(count, sender_delay);
    row[0] = opening_word;
    if (sender_delay >= 0) [[likely]] {
        row[1] = delay(static_cast<std::uint32_t>(sender_delay));
        write_sender_sends<2>(row, count, direction, sender_delay);
        return;
    }
    write_sender_sends<1>(row, count, direction, sender_delay);
}

// Words up to this count take the short tail (neutral XPIC control first).
inline constexpr std::uint32_t short_transfer_limit = 51;

// `ordinary_receiver_tail`.
[[nodiscard]] constexpr std::array<std::uint32_t, 4> receiver_tail(std::uint32_t count, std::uint32_t receiver_phase,
                                                                   std::uint32_t address) noexcept {
    if (count <= short_transfer_limit) {
        return {delay_xpic(count - 1u, 0, neutral_xpic_control),
                delay_pic(short_transfer_limit - count + receiver_phase, 0, address), delay(count + 4u), closing_word};
    }
    const std::uint32_t xpic_advance = count >= short_transfer_limit + 2u ? count - (short_transfer_limit + 2u) : 0u;
    return {delay_pic(receiver_phase + short_transfer_limit, 0, address),
            delay_xpic(xpic_advance, 0, neutral_xpic_control), delay(short_transfer_limit + 5u), closing_word};
}

// Runs `write` on a path where the count's tail form (short or long) is
// decided: every receiver row of a plan takes the same form, and GCC tests the
// count again for each row unless the test is taken once around them all.
template <class Write>
[[gnu::always_inline]] inline void with_tail_form_decided(std::uint32_t count, Write&& write) {
    if (count <= short_transfer_limit) {
        write();
        return;
    }
    write();
}

// The receiver tail written into `row` from word `first` on, word by word.
inline void write_receiver_tail(Row& row, std::size_t first, std::uint32_t count, std::uint32_t receiver_phase,
                                std::uint32_t address) noexcept {
    const auto tail = receiver_tail(count, receiver_phase, address);
    row[first] = tail[0];
    row[first + 1] = tail[1];
    row[first + 2] = tail[2];
    row[first + 3] = tail[3];
}

}  // namespace vorl_exchange::detail
