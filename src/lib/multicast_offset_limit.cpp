#include <algorithm>

#include "multicast_schedule.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/route_timing.hpp"

namespace vorl_exchange {

// A multicast at offset `o` starts at natural_start + o and sets each receiver's
// mux at that start plus the receiver's mux time; both must fit the XPIC advance
// field. Every other check does not depend on the offset, and the start is never
// below the negated smallest mux time, so the offsets that plan are exactly
// 0..limit, with limit = latest - natural_start - max(0, largest mux time).
Result<std::uint32_t> Topology::multicast_offset_limit(std::uint16_t sender_logical,
                                                       std::span<const std::uint16_t> receiver_logical,
                                                       std::uint32_t count) const {
    // The multicast's own checks at offset 0: if they fail, no offset plans and
    // this is the error to report; if they pass, the sender and every receiver
    // are in the topology and the start cycle at offset 0 is the natural start.
    const auto at_zero = detail::schedule_multicast(*this, sender_logical, receiver_logical, count, 0);
    if (!at_zero) {
        return std::unexpected(at_zero.error());
    }
    const std::uint32_t source = at_zero->source_physical;
    std::int32_t largest_mux = 0;
    for (const std::uint16_t receiver : receiver_logical) {
        largest_mux = std::max(largest_mux, time_to_mux(source, logical_to_physical_[receiver]));
    }
    constexpr std::uint32_t latest_cycle = xpic_delay_word::advance.max();
    // Offset 0 planned, so natural_start + largest_mux <= latest_cycle.
    return latest_cycle - at_zero->start_cycle - static_cast<std::uint32_t>(largest_mux);
}

}  // namespace vorl_exchange
