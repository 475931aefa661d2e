// The parts of a multicast that both multicast planners share: the tile
// checks, the start-cycle check from the receivers' extreme mux times, and the
// sender row. Each planner works out its receivers' routes once, for these
// checks and for its own receiver rows; `schedule_multicast` puts the checks
// together for a caller that needs no rows. Rows are written where the
// caller's plan keeps them (see row_writers.hpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>

#include "route_terms.hpp"
#include "row_writers.hpp"
#include "tile_set.hpp"
#include "vorl_exchange/diagnostics.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/planners.hpp"
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

// Start and receive cycles must fit the 12-bit XPIC advance field.
inline constexpr std::int32_t latest_multicast_cycle = static_cast<std::int32_t>(xpic_delay_word::advance.max());

// False for a list that is empty, only the sender, has a repeat or names a tile
// outside the topology.
[[nodiscard]] inline bool multicast_receiver_set_is_valid(const Topology& topology, std::uint16_t sender_logical,
                                                          std::span<const std::uint16_t> receivers) {
    if (receivers.empty() || (receivers.size() == 1 && receivers.front() == sender_logical)) {
        return false;
    }
    const auto in_topology = [&topology](std::uint16_t receiver) { return physical_or_none(topology, receiver) >= 0; };
    // The lists the planners mostly see, checked outright: a repeat is one
    // comparison, no set needed. (A generic loop over one or two receivers
    // costs more than the whole check.)
    if (receivers.size() == 1) {
        return in_topology(receivers[0]);
    }
    if (receivers.size() == 2) {
        return receivers[0] != receivers[1] && in_topology(receivers[0]) && in_topology(receivers[1]);
    }
    TileSet used;
    return std::ranges::all_of(receivers,
                               [&](std::uint16_t receiver) { return used.insert(receiver) && in_topology(receiver); });
}

// The multicast's checks that come before any timing, in the multicast's order
// (count, sender, receiver set); returns the sender's physical identifier.
// When this succeeds, every receiver is in the topology. Inlined into each
// planner, like the rest of this file, so that what it returns stays in
// registers.
[[nodiscard]] [[gnu::always_inline]] inline Result<std::uint32_t> check_multicast_tiles(
    const Topology& topology, std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
    std::uint32_t count) {
    if (auto valid = validate_count(count); !valid) {
        return std::unexpected(valid.error());
    }
    // The receiver list is examined before the sender is looked up (a sender
    // outside the topology is still reported first): values kept across the
    // examination would be spilled to the stack and reloaded.
    const bool receivers_valid = multicast_receiver_set_is_valid(topology, sender_logical, receiver_logical);
    const auto table = topology.logical_to_physical();
    if (sender_logical >= table.size()) {
        return std::unexpected(ExchangeError::tile(sender_logical));
    }
    if (!receivers_valid) {
        return std::unexpected(ExchangeError::receiver_set());
    }
    return table[sender_logical];
}

// The multicast's timing checks, from the smallest and largest mux time of its
// receivers: the shared start cycle, or the first failure. Every receiver
// fails the same way, so the extremes decide for all of them.
[[nodiscard]] [[gnu::always_inline]] inline Result<std::uint32_t> multicast_start_cycle(std::int32_t minimum_mux,
                                                                                        std::int32_t maximum_mux,
                                                                                        std::uint32_t schedule_offset) {
    // Marked likely: on the 1472-tile configuration two routes in three have a
    // negative mux time, and a list's smallest is negative more often still.
    std::uint32_t natural_start = 0;
    if (minimum_mux < 0) [[likely]] {
        natural_start = static_cast<std::uint32_t>(-minimum_mux);
    }
    // The offset against what the natural start leaves of the latest cycle:
    // no sum that could wrap, so no separate test of the offset alone.
    constexpr auto latest = static_cast<std::uint32_t>(latest_multicast_cycle);
    if (natural_start > latest || schedule_offset > latest - natural_start) {
        return std::unexpected(ExchangeError::schedule(reason::multicast_start_cycle));
    }
    const std::uint32_t start_cycle = natural_start + schedule_offset;
    const auto start = static_cast<std::int32_t>(start_cycle);
    if (start + minimum_mux < 0 || start + maximum_mux > latest_multicast_cycle) {
        return std::unexpected(ExchangeError::schedule(reason::multicast_receive_cycle));
    }
    return start_cycle;
}

// Every check of a multicast, in the multicast's order: the start cycle it
// shares, or the first failure. When this succeeds, the sender row and a
// receiver row for every receiver can be built without any further failure.
[[nodiscard]] inline Result<MulticastTiming> schedule_multicast(const Topology& topology, std::uint16_t sender_logical,
                                                                std::span<const std::uint16_t> receiver_logical,
                                                                std::uint32_t count, std::uint32_t schedule_offset) {
    const auto source = check_multicast_tiles(topology, sender_logical, receiver_logical, count);
    if (!source) {
        return std::unexpected(source.error());
    }
    const auto terms = LogicalRouteTerms::of(topology);
    std::int32_t minimum_mux = std::numeric_limits<std::int32_t>::max();
    std::int32_t maximum_mux = std::numeric_limits<std::int32_t>::min();
    for (const std::uint16_t receiver : receiver_logical) {
        const std::int32_t mux = fast_time_to_mux(terms[sender_logical], terms[receiver]);
        minimum_mux = std::min(minimum_mux, mux);
        maximum_mux = std::max(maximum_mux, mux);
    }
    const auto start = multicast_start_cycle(minimum_mux, maximum_mux, schedule_offset);
    if (!start) {
        return std::unexpected(start.error());
    }
    return MulticastTiming{.source_physical = *source, .start_cycle = *start};
}

// The sender row of a scheduled multicast that sends with `send_control`,
// written into `row`, which holds zeros.
inline void write_multicast_sender_row(Row& row, const MulticastTiming& timing, std::uint32_t count,
                                       std::uint32_t send_control) noexcept {
    // The send starts on the start cycle: the delay word covers the cycles before it.
    write_sender_row(row, count, send_control, static_cast<std::int32_t>(timing.start_cycle) - 1);
}

// The diagnostic event of a successful multicast, built and sent out of line.
void dispatch_multicast_event(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                              std::uint32_t count, std::uint32_t schedule_offset);

}  // namespace vorl_exchange::detail
