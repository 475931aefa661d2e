#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>

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

// What a receiver row needs of its route besides the plan's timing.
struct ReceiverFacts {
    std::int32_t mux;              // the route's mux time
    std::uint32_t receiver_phase;  // from the receiver's physical identifier
};

// What a multicast plan is written from, every check passed.
struct MulticastFacts {
    detail::MulticastTiming timing;
    std::uint32_t send_direction;
    std::array<ReceiverFacts, kept_routes> receivers;
};

// A receiver list whose length is fixed at compile time for the lists the
// planners mostly see (one or two receivers), `std::dynamic_extent` for others.
template <std::size_t Extent>
using ReceiverList = std::span<const std::uint16_t, Extent>;

template <std::size_t Extent>
detail::Refusal check_multicast(const Topology& topology, std::uint16_t sender_logical,
                                ReceiverList<Extent> receiver_logical, std::uint32_t count,
                                std::uint32_t schedule_offset, MulticastFacts& facts) {
    const auto source = detail::check_multicast_tiles(topology, sender_logical, receiver_logical, count);
    if (!source) {
        return source.error();
    }
    // Every receiver was found, so indexing the tables directly is safe.
    const auto table = topology.logical_to_physical();
    const auto terms = detail::LogicalRouteTerms::of(topology);
    const detail::RouteTerms& source_terms = terms[sender_logical];
    facts.timing.source_physical = *source;
    facts.send_direction = both_directions;
    std::int32_t minimum_mux = std::numeric_limits<std::int32_t>::max();
    std::int32_t maximum_mux = std::numeric_limits<std::int32_t>::min();
    for (std::size_t index = 0; index < receiver_logical.size(); ++index) {
        const detail::RouteFacts route = detail::fast_route(source_terms, terms[receiver_logical[index]]);
        if (index < kept_routes) {
            facts.receivers[index] = {.mux = route.mux,
                                      .receiver_phase = detail::receiver_phase(table[receiver_logical[index]])};
        }
        minimum_mux = std::min(minimum_mux, route.mux);
        maximum_mux = std::max(maximum_mux, route.mux);
        if (receiver_logical.size() == 1) {
            facts.send_direction = route.direction;
        }
    }
    const auto start = detail::multicast_start_cycle(minimum_mux, maximum_mux, schedule_offset);
    if (!start) {
        return start.error();
    }
    facts.timing.start_cycle = *start;
    return std::nullopt;
}

// A receiver row: it listens from the start cycle plus its mux time. Forced
// inline: GCC keeps it out of line otherwise and passes the facts through memory.
[[gnu::always_inline]] inline void write_receiver_row(Row& row, const detail::MulticastTiming& timing,
                                                      const ReceiverFacts& receiver, std::uint32_t count) noexcept {
    const std::uint32_t receive_cycle = timing.start_cycle + static_cast<std::uint32_t>(receiver.mux);
    row[0] = opening_word;
    row[1] = delay_xpic(receive_cycle, 0, timing.source_physical);
    detail::write_receiver_tail(row, 2, count, receiver.receiver_phase, multicast_receive_address);
    // The row was appended as it was: the words after the closing one.
    row[6] = 0;
    row[7] = 0;
    row[8] = 0;
}

// The planner for one list length. The one- and two-receiver plans are
// straight-line code once the length is known, inline in `Topology::multicast`
// (a call of each out of line stays a call, since its result is returned in
// memory); longer lists plan out of line (below), so that the short ones need
// not share the frame and the register pressure of the general list's loops
// and set check.
template <std::size_t Extent>
[[gnu::always_inline]] inline Result<MulticastPlan> plan_multicast(const Topology& topology,
                                                                   std::uint16_t sender_logical,
                                                                   ReceiverList<Extent> receiver_logical,
                                                                   std::uint32_t count, std::uint32_t schedule_offset) {
    MulticastFacts facts{};
    const detail::Refusal refusal =
        check_multicast(topology, sender_logical, receiver_logical, count, schedule_offset, facts);
    return detail::build_checked<MulticastPlan>(
        refusal,
        [&](MulticastPlan& plan) {
            // The rows are appended first: with no row word stored in between,
            // the list's length is stored once, with its capacity, instead of
            // as zero and then again.
            const std::span<Row> rows = detail::RowListWriter::append_rows(plan.receivers, receiver_logical.size());
            detail::write_multicast_sender_row(plan.sender, facts.timing, count, facts.send_direction);
            const std::size_t kept = std::min(rows.size(), kept_routes);
            const auto table = topology.logical_to_physical();
            const auto terms = detail::LogicalRouteTerms::of(topology);
            detail::with_tail_form_decided(count, [&] {
                for (std::size_t index = 0; index < kept; ++index) {
                    write_receiver_row(rows[index], facts.timing, facts.receivers[index], count);
                }
                for (std::size_t index = kept; index < rows.size(); ++index) {
                    const std::uint16_t receiver = receiver_logical[index];
                    const ReceiverFacts facts_of_receiver{
                        .mux = detail::fast_time_to_mux(terms[sender_logical], terms[receiver]),
                        .receiver_phase = detail::receiver_phase(table[receiver])};
                    write_receiver_row(rows[index], facts.timing, facts_of_receiver, count);
                }
            });
        },
        Row{});
}

[[gnu::noinline]] Result<MulticastPlan> plan_long_multicast(const Topology& topology, std::uint16_t sender_logical,
                                                            std::span<const std::uint16_t> receiver_logical,
                                                            std::uint32_t count, std::uint32_t schedule_offset) {
    return plan_multicast<std::dynamic_extent>(topology, sender_logical, receiver_logical, count, schedule_offset);
}

// A multicast while an event sink listens: the general planner (the one for
// long lists, which plans any list), then the event of a plan made. Out of
// line and chosen before planning, so that the planners without a sink keep
// none of the event's arguments past their checks.
[[gnu::noinline]] Result<MulticastPlan> plan_reported_multicast(const Topology& topology, std::uint16_t sender_logical,
                                                                std::span<const std::uint16_t> receiver_logical,
                                                                std::uint32_t count, std::uint32_t schedule_offset) {
    Result<MulticastPlan> plan =
        plan_long_multicast(topology, sender_logical, receiver_logical, count, schedule_offset);
    if (plan) {
        detail::dispatch_multicast_event(sender_logical, receiver_logical, count, schedule_offset);
    }
    return plan;
}

}  // namespace

Result<MulticastPlan> Topology::multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                                          std::uint32_t count, std::uint32_t schedule_offset) const {
    if (event_sink_installed()) [[unlikely]] {
        return plan_reported_multicast(*this, sender_logical, receiver_logical, count, schedule_offset);
    }
    switch (receiver_logical.size()) {
        case 1: return plan_multicast<1>(*this, sender_logical, receiver_logical.first<1>(), count, schedule_offset);
        case 2: return plan_multicast<2>(*this, sender_logical, receiver_logical.first<2>(), count, schedule_offset);
        default: return plan_long_multicast(*this, sender_logical, receiver_logical, count, schedule_offset);
    }
}

}  // namespace vorl_exchange
