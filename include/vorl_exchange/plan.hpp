// The values a planner returns: fixed nine-word instruction rows.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include "vorl_exchange/row_list.hpp"  // Row, RowList

namespace vorl_exchange {

struct Plan {
    Row sender{};
    Row receiver{};
    friend bool operator==(const Plan&, const Plan&) = default;
};

struct MulticastPlan {
    Row sender{};
    RowList receivers;  // one row per receiver, in the order the receivers were given
    friend bool operator==(const MulticastPlan&, const MulticastPlan&) = default;
};

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
