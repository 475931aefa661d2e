// The part of a multicast that both multicast planners share: every check and
// the sender row, but no receiver rows. The paired planner builds its own rows,
// so it takes this instead of a full multicast whose rows it would discard.
// Rows are written where the caller's plan keeps them (see row_writers.hpp).
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
// set, start cycle, sender row, receive cycles) and returns the shared start
// cycle, or the first failure. The sender row is written into `sender_row`,
// which holds zeros, once the start cycle is known. When this succeeds, a
// receiver row can be built for every receiver without any further failure.
// `receivers_checked`: the caller has already ruled out a receiver list the
// multicast would refuse, so that test is skipped. `send_control`: the send
// control the sender row gets in place of the multicast's own direction (the
// row `set_sender_control` would make of it), or `multicast_send_control`.
inline constexpr std::uint32_t multicast_send_control = 0;
[[nodiscard]] Result<MulticastTiming> schedule_multicast(const Topology& topology, std::uint16_t sender_logical,
                                                         std::span<const std::uint16_t> receiver_logical,
                                                         std::uint32_t count, std::uint32_t schedule_offset,
                                                         Row& sender_row, bool receivers_checked = false,
                                                         std::uint32_t send_control = multicast_send_control);

// The diagnostic event of a successful multicast.
void emit_multicast_event(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                          std::uint32_t count, std::uint32_t schedule_offset);

}  // namespace vorl_exchange::detail
