// The values a planner returns: fixed nine-word instruction rows.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vorl_exchange {

inline constexpr std::size_t row_length = 9;

// One tile's instruction row: an opening word, timed words, the closing word,
// then zeros up to the ninth word.
using Row = std::array<std::uint32_t, row_length>;

struct Plan {
    Row sender{};
    Row receiver{};
    friend bool operator==(const Plan&, const Plan&) = default;
};

struct MulticastPlan {
    Row sender{};
    std::vector<Row> receivers;  // one row per receiver, in the order the receivers were given
    friend bool operator==(const MulticastPlan&, const MulticastPlan&) = default;
};

}  // namespace vorl_exchange
