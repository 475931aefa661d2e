#include <optional>

#include "multicast_schedule.hpp"
#include "route_terms.hpp"
#include "row_writers.hpp"

#include "vorl_exchange/diagnostics.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/planners.hpp"
#include "vorl_exchange/route_timing.hpp"
#include "vorl_exchange/sender_row.hpp"

namespace vorl_exchange {

namespace {

// The receiver's XPIC word fires at this cycle; the sender is delayed so that its
// send start plus the route's mux time lands exactly here.
constexpr std::int32_t point_to_point_mux_cycle = 112;
// Mark in front of the opening word of a point-to-point receiver row.
constexpr std::uint32_t point_to_point_receiver_mark = 1;

}  // namespace

std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count, std::uint32_t receiver_phase,
                                                    std::uint32_t address) noexcept {
    return detail::receiver_tail(count, receiver_phase, address);
}

namespace {

// What a point-to-point plan is written from, every check passed.
struct PointToPointFacts {
    std::uint32_t send_direction;
    std::int32_t sender_delay;
    std::uint32_t receiver_phase;
};

detail::Refusal check_point_to_point(const Topology& topology, std::uint16_t sender_logical,
                                     std::uint16_t receiver_logical, std::uint32_t count, PointToPointFacts& facts) {
    if (auto valid = validate_count(count); !valid) {
        return valid.error();
    }
    if (sender_logical == receiver_logical) {
        return ExchangeError::duplicate_tile();
    }
    if (sender_logical >= topology.tile_count()) {
        return ExchangeError::tile(sender_logical);
    }
    const std::int32_t receiver_physical = detail::physical_or_none(topology, receiver_logical);
    if (receiver_physical < 0) {
        return ExchangeError::tile(receiver_logical);
    }
    // Both tiles were found: their terms are read by their logical numbers.
    const auto terms = detail::LogicalRouteTerms::of(topology);
    const detail::RouteTerms& sender = terms[sender_logical];
    const detail::RouteTerms& receiver = terms[receiver_logical];
    const std::int32_t sender_delay = point_to_point_mux_cycle - 1 - detail::fast_time_to_mux(sender, receiver);
    if (sender_delay < -1 || sender_delay > static_cast<std::int32_t>(plain_delay_word::cycles.max())) {
        return ExchangeError::schedule(reason::sender_delay);
    }
    facts = {.send_direction = detail::fast_direction(sender, receiver),
             .sender_delay = sender_delay,
             .receiver_phase = detail::receiver_phase(static_cast<std::uint32_t>(receiver_physical))};
    return std::nullopt;
}

// The plan, without its event. Inline in `Topology::point_to_point`, and once
// more, out of line, in the planner that reports.
[[gnu::always_inline]] inline Result<Plan> plan_point_to_point(const Topology& topology, std::uint16_t sender_logical,
                                                               std::uint16_t receiver_logical, std::uint32_t count) {
    PointToPointFacts facts{};
    const detail::Refusal refusal = check_point_to_point(topology, sender_logical, receiver_logical, count, facts);
    // The plan starts from two zero rows, each cleared on its own: GCC then
    // drops the receiver row's zeros under the words written over them, where
    // a value-initialised plan is cleared as one block.
    return detail::build_checked<Plan>(
        refusal,
        [&](Plan& plan) {
            plan.receiver[0] = point_to_point_receiver_mark;
            plan.receiver[1] = opening_word;
            plan.receiver[2] = delay_xpic(point_to_point_mux_cycle, 0, 0);
            detail::write_receiver_tail(plan.receiver, 3, count, facts.receiver_phase, 0);
            detail::write_sender_row(plan.sender, count, facts.send_direction, facts.sender_delay);
        },
        Row{}, Row{});
}

// A point-to-point plan while an event sink listens, then the event of a plan
// made. Out of line and chosen before planning, so that the planner without a
// sink keeps none of the event's arguments past its checks.
[[gnu::noinline]] Result<Plan> plan_reported_point_to_point(const Topology& topology, std::uint16_t sender_logical,
                                                            std::uint16_t receiver_logical, std::uint32_t count) {
    Result<Plan> plan = plan_point_to_point(topology, sender_logical, receiver_logical, count);
    if (plan) {
        const Field fields[] = {
            {"sender_logical", std::uint64_t{sender_logical}},
            {"receiver_logical", std::uint64_t{receiver_logical}},
            {"count", std::uint64_t{count}},
        };
        detail::dispatch_event({Level::Debug, event_target, "assembled point-to-point exchange", fields});
    }
    return plan;
}

}  // namespace

Result<Plan> Topology::point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                                      std::uint32_t count) const {
    if (event_sink_installed()) [[unlikely]] {
        return plan_reported_point_to_point(*this, sender_logical, receiver_logical, count);
    }
    return plan_point_to_point(*this, sender_logical, receiver_logical, count);
}

}  // namespace vorl_exchange
