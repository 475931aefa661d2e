// The part of a multicast that both multicast planners share: every check and
// the sender row, but no receiver rows. The paired planner builds its own rows
// and sends with its own control, so it takes this instead of a full multicast
// whose rows it would discard. Rows are written where the caller's plan keeps
// them (see row_writers.hpp).
#pragma once

#include <cstdint>
#include <span>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_exchange::detail {

// `Topology::physical` for the planners: the same answer as a plain number, -1
// for a tile outside the topology. The expected<uint16_t> that `physical`
// returns lives in memory when it is not inlined away; GCC stores its value in
// two bytes and reloads it in eight, which stalls the load.
[[nodiscard]] inline std::int32_t physical_or_none(const Topology& topology, std::uint16_t logical) noexcept {
    const auto table = topology.logical_to_physical();
    return logical < table.size() ? std::int32_t{table[logical]} : -1;
}

struct MulticastTiming {
    std::uint32_t source_physical = 0;
    std::uint32_t start_cycle = 0;  // every receive cycle is this plus the receiver's mux time
};

// Runs the multicast's checks in the multicast's order (count, sender, receiver
// set, start cycle, receive cycles) and returns the shared start cycle, or the
// first failure. When this succeeds, the sender row and a receiver row for
// every receiver can be built without any further failure.
[[nodiscard]] Result<MulticastTiming> schedule_multicast(const Topology& topology, std::uint16_t sender_logical,
                                                         std::span<const std::uint16_t> receiver_logical,
                                                         std::uint32_t count, std::uint32_t schedule_offset);

// The sender row of a scheduled multicast that sends with `send_control`,
// written into `row`, which holds zeros.
void write_multicast_sender_row(Row& row, const MulticastTiming& timing, std::uint32_t count,
                                std::uint32_t send_control) noexcept;

// The diagnostic event of a successful multicast.
void emit_multicast_event(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                          std::uint32_t count, std::uint32_t schedule_offset);

}  // namespace vorl_exchange::detail
