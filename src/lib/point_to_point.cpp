#include "route_terms.hpp"

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
// Words up to this count take the short tail (neutral XPIC control first).
constexpr std::uint32_t short_transfer_limit = 51;
// Mark in front of the opening word of a point-to-point receiver row.
constexpr std::uint32_t point_to_point_receiver_mark = 1;

}  // namespace

std::array<std::uint32_t, 4> ordinary_receiver_tail(std::uint32_t count, std::uint32_t receiver_phase,
                                                    std::uint32_t address) noexcept {
    if (count <= short_transfer_limit) {
        return {delay_xpic(count - 1u, 0, neutral_xpic_control),
                delay_pic(short_transfer_limit - count + receiver_phase, 0, address), delay(count + 4u),
                closing_word};
    }
    const std::uint32_t xpic_advance = count >= short_transfer_limit + 2u ? count - (short_transfer_limit + 2u) : 0u;
    return {delay_pic(receiver_phase + short_transfer_limit, 0, address),
            delay_xpic(xpic_advance, 0, neutral_xpic_control), delay(short_transfer_limit + 5u), closing_word};
}

Result<Plan> Topology::point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                                      std::uint32_t count) const {
    if (auto valid = validate_count(count); !valid) {
        return std::unexpected(valid.error());
    }
    if (sender_logical == receiver_logical) {
        return std::unexpected(ExchangeError::duplicate_tile());
    }
    const auto sender_physical = physical(sender_logical);
    if (!sender_physical) {
        return std::unexpected(sender_physical.error());
    }
    const auto receiver_physical = physical(receiver_logical);
    if (!receiver_physical) {
        return std::unexpected(receiver_physical.error());
    }
    const std::uint32_t sender = *sender_physical;
    const std::uint32_t receiver = *receiver_physical;
    const std::uint32_t send_direction = detail::fast_direction(sender, receiver);
    const std::int32_t mux_time = detail::fast_time_to_mux(sender, receiver);
    const std::uint32_t receiver_phase = (receiver >> 6) * 2u;
    const std::int32_t sender_delay = point_to_point_mux_cycle - 1 - mux_time;
    if (sender_delay < -1 || sender_delay > static_cast<std::int32_t>(plain_delay_word::cycles.max())) {
        return std::unexpected(ExchangeError::schedule(reason::sender_delay));
    }
    const auto sender_row = primitive_sender_row(count, send_direction, sender_delay);
    if (!sender_row) {
        return std::unexpected(sender_row.error());
    }
    Plan plan{.sender = *sender_row, .receiver = {}};
    plan.receiver[0] = point_to_point_receiver_mark;
    plan.receiver[1] = opening_word;
    plan.receiver[2] = delay_xpic(point_to_point_mux_cycle, 0, 0);
    const auto tail = ordinary_receiver_tail(count, receiver_phase, 0);
    std::copy(tail.begin(), tail.end(), plan.receiver.begin() + 3);

    if (event_sink_installed()) {
        const Field fields[] = {
            {"sender_logical", std::uint64_t{sender_logical}},
            {"receiver_logical", std::uint64_t{receiver_logical}},
            {"count", std::uint64_t{count}},
        };
        detail::dispatch_event({Level::Debug, event_target, "assembled point-to-point exchange", fields});
    }
    return plan;
}

}  // namespace vorl_exchange
