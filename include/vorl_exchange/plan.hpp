/// @file
/// The values a planner returns: fixed nine-word instruction rows.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include "vorl_exchange/row_list.hpp"  // Row, RowList

namespace vorl_exchange {

/// A point-to-point plan: one row for the sender, one for the receiver.
struct Plan {
    /// The sending tile's row.
    Row sender{};
    /// The receiving tile's row.
    Row receiver{};
    friend bool operator==(const Plan&, const Plan&) = default;  ///< The same rows.
};

/// A multicast plan: the sender's row and one row per receiver.
struct MulticastPlan {
    /// The sending tile's row.
    Row sender{};
    RowList receivers;  ///< One row per receiver, in the order the receivers were given.
    friend bool operator==(const MulticastPlan&, const MulticastPlan&) = default;  ///< The same rows.
};

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
