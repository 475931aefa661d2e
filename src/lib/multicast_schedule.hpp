// The part of a multicast that both multicast planners share: every check and
// the sender row, but no receiver rows. The paired planner builds its own rows,
// so it takes this instead of a full multicast whose rows it would discard.
#pragma once

#include <cstdint>
#include <span>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_exchange::detail {

struct MulticastSchedule {
    Row sender{};
    std::uint32_t source_physical = 0;
    std::uint32_t start_cycle = 0;  // every receive cycle is this plus the receiver's mux time
};

// Runs the multicast's checks in the multicast's order (count, sender, receiver
// set, start cycle, sender row, receive cycles) and returns the sender row and
// the shared start cycle, or the first failure. When this succeeds, a receiver
// row can be built for every receiver without any further failure.
[[nodiscard]] Result<MulticastSchedule> schedule_multicast(const Topology& topology, std::uint16_t sender_logical,
                                                           std::span<const std::uint16_t> receiver_logical,
                                                           std::uint32_t count, std::uint32_t schedule_offset);

// The diagnostic event of a successful multicast.
void emit_multicast_event(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                          std::uint32_t count, std::uint32_t schedule_offset);

}  // namespace vorl_exchange::detail
