#include <algorithm>
#include <array>
#include <limits>
#include <optional>

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

// Send control that drives both directions at once.
constexpr std::uint32_t both_directions = 3;

}  // namespace

namespace detail {

void dispatch_multicast_event(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                              std::uint32_t count, std::uint32_t schedule_offset) {
    const Field fields[] = {
        {"sender_logical", std::uint64_t{sender_logical}},
        {"receiver_logical", receiver_logical},
        {"count", std::uint64_t{count}},
        {"schedule_offset", std::uint64_t{schedule_offset}},
    };
    dispatch_event({Level::Debug, event_target, "assembled multicast exchange", fields});
}

}  // namespace detail

namespace {

// The receivers whose route facts a multicast keeps from its checks for its
// rows: the lists the planners mostly see. Longer lists work out the rest again.
constexpr std::size_t kept_routes = 2;

// What a multicast plan is written from, every check passed.
struct MulticastFacts {
    detail::MulticastTiming timing;
    std::array<detail::RouteFacts, kept_routes> routes;
};

detail::Refusal check_multicast(const Topology& topology, std::uint16_t sender_logical,
                                std::span<const std::uint16_t> receiver_logical, std::uint32_t count,
                                std::uint32_t schedule_offset, MulticastFacts& facts) {
    const auto source = detail::check_multicast_tiles(topology, sender_logical, receiver_logical, count);
    if (!source) {
        return source.error();
    }
    // Every receiver was found, so indexing the table directly is safe.
    const auto table = topology.logical_to_physical();
    const detail::RouteTerms& source_terms = detail::route_terms(*source);
    facts.timing.source_physical = *source;
    std::int32_t minimum_mux = std::numeric_limits<std::int32_t>::max();
    std::int32_t maximum_mux = std::numeric_limits<std::int32_t>::min();
    for (std::size_t index = 0; index < receiver_logical.size(); ++index) {
        const detail::RouteFacts route =
            detail::fast_route(source_terms, detail::route_terms(table[receiver_logical[index]]));
        if (index < kept_routes) {
            facts.routes[index] = route;
        }
        minimum_mux = std::min(minimum_mux, route.mux);
        maximum_mux = std::max(maximum_mux, route.mux);
    }
    const auto start = detail::multicast_start_cycle(minimum_mux, maximum_mux, schedule_offset);
    if (!start) {
        return start.error();
    }
    facts.timing.start_cycle = *start;
    return std::nullopt;
}

}  // namespace

Result<MulticastPlan> Topology::multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                                          std::uint32_t count, std::uint32_t schedule_offset) const {
    MulticastFacts facts{};
    const detail::Refusal refusal =
        check_multicast(*this, sender_logical, receiver_logical, count, schedule_offset, facts);
    return detail::build_checked<MulticastPlan>(
        refusal,
        [&](MulticastPlan& plan) {
            const auto table = logical_to_physical();
            const std::uint32_t source = facts.timing.source_physical;
            const std::uint32_t send_direction =
                receiver_logical.size() == 1 ? facts.routes[0].direction : both_directions;
            detail::write_multicast_sender_row(plan.sender, facts.timing, count, send_direction);
            plan.receivers.reserve(receiver_logical.size());
            for (std::size_t index = 0; index < receiver_logical.size(); ++index) {
                const std::uint32_t destination = table[receiver_logical[index]];
                const std::int32_t mux = index < kept_routes ? facts.routes[index].mux
                                                             : detail::fast_time_to_mux(source, destination);
                const std::uint32_t receive_cycle = facts.timing.start_cycle + static_cast<std::uint32_t>(mux);
                const std::uint32_t receiver_phase = (destination >> 6) * 2u;
                Row& row = detail::RowListWriter::append(plan.receivers);
                row[0] = opening_word;
                row[1] = delay_xpic(receive_cycle, 0, source);
                detail::write_receiver_tail(row, 2, count, receiver_phase, multicast_receive_address);
                // The row was appended as it was: the words after the closing one.
                row[6] = 0;
                row[7] = 0;
                row[8] = 0;
            }
            detail::emit_multicast_event(sender_logical, receiver_logical, count, schedule_offset);
        },
        Row{});
}

}  // namespace vorl_exchange
