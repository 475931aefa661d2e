/// @file
/// The sending tile's row: open, wait for the start cycle, send, pad, close.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstdint>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"

namespace vorl_exchange {

/// The row that sends `count` words with send-control `direction`, starting
/// `sender_delay + 1` cycles after the opening word (`sender_delay` -1: at once).
/// A count outside 1..=4148 or a delay outside -1..=524287 is a caller bug that
/// would silently truncate a word, so it stops the program. Fails only when
/// `direction` does not fit the send word (above 7).
[[nodiscard]] VORL_EXCHANGE_EXPORT Result<Row> primitive_sender_row(std::uint32_t count, std::uint32_t direction,
                                                                    std::int32_t sender_delay);

/// Rewrites the send-control field (bits 0..2) of every send, send-off and
/// qualifying SENDPICP word of `row` to `send_control` (1..=7). Fails with "send
/// control" for a value outside 1..=7 and with "sender payload" when no word
/// qualifies; the row is unchanged on failure.
[[nodiscard]] VORL_EXCHANGE_EXPORT Result<void> set_sender_control(Row& row, std::uint8_t send_control) noexcept;

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
