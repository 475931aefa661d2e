/// @file
/// The three exchange planners (operations of `Topology`) and the receiver tail
/// they share.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <array>
#include <cstdint>

#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_exchange {

/// PIC control value of the receiver tail of a multicast row.
inline constexpr std::uint32_t multicast_receive_address = 0x14000;
/// XPIC control value that returns a receiver's mux to neutral.
inline constexpr std::uint32_t neutral_xpic_control = 1600;

/// The last four timed words of an ordinary receiver row: the neutral XPIC control
/// and the PIC control, in time order, a short pad and the closing word.
/// `count` must be at least 1.
[[nodiscard]] VORL_EXCHANGE_EXPORT std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count,
                                                                                       std::uint32_t receiver_phase,
                                                                                       std::uint32_t address) noexcept;

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
