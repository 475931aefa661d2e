/// @file
/// Why a multicast or paired multicast refused its receiver list: the first
/// offending entry and the rule it breaks, asked for after a `ReceiverSet` error.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "vorl_exchange/topology.hpp"

namespace vorl_exchange {

/// The rules of a receiver list. A multicast tests `EmptyList`, `SenderAlone`,
/// then `Repeated` and `OutsideTopology` entry by entry; a paired multicast
/// tests `EmptyList`, `OddCount`, `Repeated`, then `OutsideTopology`,
/// `NoPartner` and `PartnerMissing` entry by entry.
enum class ReceiverRule : std::uint8_t {
    EmptyList,        ///< The list holds no receiver.
    SenderAlone,      ///< Multicast: the one receiver listed is the sender.
    OddCount,         ///< Paired multicast: an odd number of receivers, so not whole pairs.
    Repeated,         ///< The tile is listed earlier in the list too.
    OutsideTopology,  ///< The tile is not in the topology.
    NoPartner,        ///< Paired multicast: no tile of the topology pairs with it.
    PartnerMissing,   ///< Paired multicast: its partner is not in the list.
};

/// How many `ReceiverRule` values there are.
inline constexpr std::size_t receiver_rule_count = 7;

/// The rule's name, for example "PartnerMissing" (as Python's `ExchangeError.rule` gives it).
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string_view rule_name(ReceiverRule rule) noexcept;
/// What breaks the rule, worded to follow "the receiver at position N, tile T,"
/// for the rules of one entry ("is outside the topology") and to stand alone
/// for the rules of the whole list ("the receiver list is empty").
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string_view rule_text(ReceiverRule rule) noexcept;

/// One entry of a receiver list: where it stands and what it holds.
struct ReceiverEntry {
    /// The entry's position in the list, counted from 0.
    std::size_t position;
    /// The tile listed there.
    std::uint16_t tile;

    /// Same position and tile.
    friend bool operator==(const ReceiverEntry&, const ReceiverEntry&) = default;
};

/// The first entry of a receiver list that a planner refuses, and the rule it breaks.
struct ReceiverFault {
    /// The rule broken.
    ReceiverRule rule;
    /// The offending entry; none for a rule of the whole list (`EmptyList`, `OddCount`).
    std::optional<ReceiverEntry> entry;

    /// Same rule and entry.
    friend bool operator==(const ReceiverFault&, const ReceiverFault&) = default;
};

/// Why `topology.multicast(sender_logical, receiver_logical, count, offset)`
/// refuses the receiver list, in the order of its checks; none when the list
/// passes them. The count and the sender are checked before the list and play
/// no part here: ask after a `ReceiverSet` error, which then always has a fault.
/// Computed afresh on each call, so the planners never pay for it.
[[nodiscard]] VORL_EXCHANGE_EXPORT std::optional<ReceiverFault> multicast_receiver_fault(
    const Topology& topology, std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical);

/// Why `topology.paired_multicast(sender_logical, receivers, count)` refuses
/// the receiver list, in the order of its checks; none when the list is whole
/// pairs. The paired rules do not involve the sender (it is checked after the
/// list), so it is not asked for. As for `multicast_receiver_fault`, a
/// `ReceiverSet` error always has a fault.
[[nodiscard]] VORL_EXCHANGE_EXPORT std::optional<ReceiverFault> paired_receiver_fault(
    const Topology& topology, std::span<const std::uint16_t> receivers);

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
