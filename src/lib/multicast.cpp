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

// Send control that drives both directions at once.
constexpr std::uint32_t both_directions = 3;

}  // namespace

namespace detail {

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

Result<MulticastPlan> Topology::multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                                          std::uint32_t count, std::uint32_t schedule_offset) const {
    const auto timing = detail::schedule_multicast(*this, sender_logical, receiver_logical, count, schedule_offset);
    return detail::build_checked<MulticastPlan>(
        timing,
        [&](MulticastPlan& plan) {
            const auto table = logical_to_physical();
            const detail::RouteTerms& source = detail::route_terms(timing->source_physical);
            const std::uint32_t send_direction =
                receiver_logical.size() == 1
                    ? detail::fast_direction(source, detail::route_terms(table[receiver_logical[0]]))
                    : both_directions;
            detail::write_multicast_sender_row(plan.sender, *timing, count, send_direction);
            plan.receivers.reserve(receiver_logical.size());
            for (const std::uint16_t receiver : receiver_logical) {
                const std::uint32_t destination = table[receiver];
                const std::int32_t receive_cycle = static_cast<std::int32_t>(timing->start_cycle) +
                                                   detail::fast_time_to_mux(source, detail::route_terms(destination));
                const std::uint32_t receiver_phase = (destination >> 6) * 2u;
                Row& row = detail::RowListWriter::append(plan.receivers);
                row[0] = opening_word;
                row[1] = delay_xpic(static_cast<std::uint32_t>(receive_cycle), 0, timing->source_physical);
                detail::write_receiver_tail(row, 2, count, receiver_phase, multicast_receive_address);
                row[6] = 0;
                row[7] = 0;
                row[8] = 0;
            }
            detail::emit_multicast_event(sender_logical, receiver_logical, count, schedule_offset);
        },
        Row{});
}

}  // namespace vorl_exchange
