#include <algorithm>
#include <limits>

#include "multicast_schedule.hpp"
#include "route_terms.hpp"
#include "row_writers.hpp"
#include "tile_set.hpp"
#include "vorl_exchange/diagnostics.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/planners.hpp"
#include "vorl_exchange/route_timing.hpp"
#include "vorl_exchange/sender_row.hpp"

namespace vorl_exchange {

namespace {

// Start and receive cycles must fit the 12-bit XPIC advance field.
constexpr std::int32_t latest_multicast_cycle = static_cast<std::int32_t>(xpic_delay_word::advance.max());
// Send control that drives both directions at once.
constexpr std::uint32_t both_directions = 3;

// Empty, only the sender, a repeated receiver or one outside the topology.
bool receiver_set_is_valid(const Topology& topology, std::uint16_t sender_logical,
                           std::span<const std::uint16_t> receivers) {
    if (receivers.empty() || (receivers.size() == 1 && receivers.front() == sender_logical)) {
        return false;
    }
    const auto in_topology = [&topology](std::uint16_t receiver) {
        return detail::physical_or_none(topology, receiver) >= 0;
    };
    // The lists the planners mostly see: a repeat is one comparison, no set needed.
    if (receivers.size() <= 2) {
        return (receivers.size() == 1 || receivers[0] != receivers[1]) && std::ranges::all_of(receivers, in_topology);
    }
    detail::TileSet used;
    return std::ranges::all_of(receivers,
                               [&](std::uint16_t receiver) { return used.insert(receiver) && in_topology(receiver); });
}

}  // namespace

namespace detail {

Result<MulticastTiming> schedule_multicast(const Topology& topology, std::uint16_t sender_logical,
                                           std::span<const std::uint16_t> receiver_logical, std::uint32_t count,
                                           std::uint32_t schedule_offset) {
    if (auto valid = validate_count(count); !valid) {
        return std::unexpected(valid.error());
    }
    // The receiver list is examined before the sender is looked up (a sender
    // outside the topology is still reported first): values kept across the
    // examination would be spilled to the stack and reloaded.
    const bool receivers_valid = receiver_set_is_valid(topology, sender_logical, receiver_logical);
    const auto table = topology.logical_to_physical();
    if (sender_logical >= table.size()) {
        return std::unexpected(ExchangeError::tile(sender_logical));
    }
    if (!receivers_valid) {
        return std::unexpected(ExchangeError::receiver_set());
    }
    // The sender's identifier is read from the table again where it is needed
    // rather than kept: GCC spills a value known to fit 16 bits in two bytes
    // and reloads it in eight, which stalls.
    const RouteTerms& source = route_terms(table[sender_logical]);
    // The receivers were all found above, so indexing the table directly is safe.
    std::int32_t minimum_mux = std::numeric_limits<std::int32_t>::max();
    std::int32_t maximum_mux = std::numeric_limits<std::int32_t>::min();
    for (const std::uint16_t receiver : receiver_logical) {
        const std::int32_t mux = fast_time_to_mux(source, route_terms(table[receiver]));
        minimum_mux = std::min(minimum_mux, mux);
        maximum_mux = std::max(maximum_mux, mux);
    }
    const std::uint32_t natural_start = minimum_mux < 0 ? static_cast<std::uint32_t>(-minimum_mux) : 0u;
    if (schedule_offset > static_cast<std::uint32_t>(latest_multicast_cycle) ||
        natural_start + schedule_offset > static_cast<std::uint32_t>(latest_multicast_cycle)) {
        return std::unexpected(ExchangeError::schedule(reason::multicast_start_cycle));
    }
    const std::uint32_t start_cycle = natural_start + schedule_offset;
    // Every receiver fails the same way, so the extremes decide for all of them.
    const auto start = static_cast<std::int32_t>(start_cycle);
    if (start + minimum_mux < 0 || start + maximum_mux > latest_multicast_cycle) {
        return std::unexpected(ExchangeError::schedule(reason::multicast_receive_cycle));
    }
    return MulticastTiming{.source_physical = table[sender_logical], .start_cycle = start_cycle};
}

void write_multicast_sender_row(Row& row, const MulticastTiming& timing, std::uint32_t count,
                                std::uint32_t send_control) noexcept {
    // The send starts on the start cycle: the delay word covers the cycles before it.
    write_sender_row(row, count, send_control, static_cast<std::int32_t>(timing.start_cycle) - 1);
}

void emit_multicast_event(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                          std::uint32_t count, std::uint32_t schedule_offset) {
    if (vorl_exchange::event_sink_installed()) {
        const Field fields[] = {
            {"sender_logical", std::uint64_t{sender_logical}},
            {"receiver_logical", receiver_logical},
            {"count", std::uint64_t{count}},
            {"schedule_offset", std::uint64_t{schedule_offset}},
        };
        dispatch_event({Level::Debug, event_target, "assembled multicast exchange", fields});
    }
}

}  // namespace detail

namespace {

// `multicast` into `plan`, which is empty.
Result<void> plan_multicast(const Topology& topology, std::uint16_t sender_logical,
                            std::span<const std::uint16_t> receiver_logical, std::uint32_t count,
                            std::uint32_t schedule_offset, MulticastPlan& plan) {
    const auto timing = detail::schedule_multicast(topology, sender_logical, receiver_logical, count, schedule_offset);
    if (!timing) {
        return std::unexpected(timing.error());
    }
    const auto table = topology.logical_to_physical();
    const detail::RouteTerms& source = detail::route_terms(timing->source_physical);
    const std::uint32_t send_direction =
        receiver_logical.size() == 1 ? detail::fast_direction(source, detail::route_terms(table[receiver_logical[0]]))
                                     : both_directions;
    detail::write_multicast_sender_row(plan.sender, *timing, count, send_direction);
    plan.receivers.reserve(receiver_logical.size());
    for (const std::uint16_t receiver : receiver_logical) {
        const std::uint32_t destination = table[receiver];
        const std::int32_t receive_cycle = static_cast<std::int32_t>(timing->start_cycle) +
                                           detail::fast_time_to_mux(source, detail::route_terms(destination));
        const std::uint32_t receiver_phase = (destination >> 6) * 2u;
        Row& row = plan.receivers.emplace_back();
        row[0] = opening_word;
        row[1] = delay_xpic(static_cast<std::uint32_t>(receive_cycle), 0, timing->source_physical);
        detail::write_receiver_tail(row, 2, count, receiver_phase, multicast_receive_address);
    }
    detail::emit_multicast_event(sender_logical, receiver_logical, count, schedule_offset);
    return {};
}

}  // namespace

Result<MulticastPlan> Topology::multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                                          std::uint32_t count, std::uint32_t schedule_offset) const {
    return detail::build_in_place<MulticastPlan>(
        [&](MulticastPlan& plan) {
            return plan_multicast(*this, sender_logical, receiver_logical, count, schedule_offset, plan);
        },
        Row{});
}

}  // namespace vorl_exchange
