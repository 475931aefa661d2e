#include <algorithm>
#include <array>
#include <limits>

#include "multicast_schedule.hpp"
#include "receive_steps.hpp"
#include "row_writers.hpp"
#include "route_terms.hpp"
#include "tile_set.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/planners.hpp"
#include "vorl_exchange/route_timing.hpp"

namespace vorl_exchange {

namespace {

// Send-control bit that switches the sender to paired (64-bit) sends.
constexpr std::uint32_t paired_send_flag = 4;
// Send control for a paired multicast to more than one pair, or to the sender's own pair.
constexpr std::uint8_t paired_send_all = 7;
// The format controls start this many cycles after the source event, plus twice the row.
constexpr std::uint64_t format_lead_cycles = 51;
// The paired pointer follows the first format control after this many cycles.
constexpr std::uint64_t pointer_after_format = 2;
// The row keeps running this many cycles past its last control.
constexpr std::uint64_t horizon_after_last_event = 7;

// Whole pairs only: even length, no repeats, every partner present.
bool paired_receiver_set_is_valid(const Topology& topology, std::span<const std::uint16_t> receivers) {
    if (receivers.empty() || receivers.size() % 2 != 0) {
        return false;
    }
    // One pair, the list the planners mostly see: two distinct tiles, each the
    // other's partner or itself, with no set to build.
    if (receivers.size() == 2) {
        const std::uint16_t first = receivers[0];
        const std::uint16_t second = receivers[1];
        const auto partner_listed = [&](std::uint16_t receiver) {
            const auto partner = topology.paired_logical(receiver);
            return partner && (*partner == first || *partner == second);
        };
        return first != second && partner_listed(first) && partner_listed(second);
    }
    detail::TileSet receiver_set;
    for (const std::uint16_t receiver : receivers) {
        receiver_set.insert(receiver);
    }
    if (receiver_set.size() < receivers.size()) {
        return false;
    }
    return std::ranges::all_of(receivers, [&](std::uint16_t receiver) {
        const auto partner = topology.paired_logical(receiver);
        return partner && receiver_set.contains(*partner);
    });
}

// A receive control of a paired row: its word (a PIC or XPIC delay, advance
// still 0) and its cycle, not yet known to fit 32 bits.
struct PendingControl {
    std::uint64_t cycles;
    std::uint32_t instruction;
};

// One receiver's route from the sender, with the mux times of both tiles of its
// pair worked out once for the row that needs them several times.
struct PairedRoute {
    [[nodiscard]] static PairedRoute between(std::uint32_t sender_tile, std::uint32_t receiver_tile) noexcept {
        return {sender_tile, receiver_tile, detail::fast_time_to_mux(sender_tile, receiver_tile),
                detail::fast_time_to_mux(sender_tile, tile_bits::partner(receiver_tile))};
    }

    // `paired_time_to_mux`: the later tile of the pair.
    [[nodiscard]] std::int32_t paired_mux() const noexcept { return local > borrowed ? local : borrowed; }
    // `paired_receiver_is_early`.
    [[nodiscard]] bool early() const noexcept { return local < borrowed; }

    std::uint32_t sender;
    std::uint32_t receiver;
    std::int32_t local;     // mux time of the receiver itself
    std::int32_t borrowed;  // mux time of its partner
};

// The row of `paired_receiver_row` once both tiles are known to exist, written
// into `row`, which holds zeros; on failure `row` is left partly written.
Result<void> build_paired_receiver_row(const PairedRoute& route, std::uint32_t count, std::int32_t minimum_double_mux,
                                       Row& row) {
    const std::uint32_t sender = route.sender;
    const std::uint32_t receiver = route.receiver;

    // 64-bit sums: every argument value gives an exact timeline, and a timeline
    // past the 32-bit cycle range is refused at the horizon test below.
    const std::int64_t epoch_shift = std::max<std::int64_t>(1 - std::int64_t{minimum_double_mux}, 0);
    const std::int64_t shifted_mux = epoch_shift + route.paired_mux();
    if (shifted_mux < 0) {
        return std::unexpected(ExchangeError::schedule(reason::paired_source_timing));
    }
    const auto source_event = static_cast<std::uint64_t>(shifted_mux);
    const std::uint64_t format_lead = format_lead_cycles + 2u * (receiver >> 6);
    const std::uint64_t format_start = source_event + format_lead;

    // The source controls on the XPIC stream (early tile only), then the format
    // controls on the PIC stream, put in time order by a stable insertion sort
    // (five controls at most, and std::stable_sort would borrow a heap buffer).
    // Two controls on one cycle refuse the row.
    std::array<PendingControl, 5> controls;
    std::size_t control_count = 0;
    if (route.early()) {
        const std::uint32_t source_control = sender ^ (receiver & 2u);
        controls[control_count++] = {source_event, delay_xpic(0, 1, source_control)};
        controls[control_count++] = {source_event + count, delay_xpic(0, 1, neutral_xpic_control)};
    }
    controls[control_count++] = {format_start, delay_pic(0, 1, detail::fast_direction(sender, receiver))};
    controls[control_count++] = {format_start + pointer_after_format, delay_pic(0, 0, 0)};
    controls[control_count++] = {format_start + count, delay_pic(0, 1, 0)};
    for (std::size_t next = 1; next < control_count; ++next) {
        const PendingControl control = controls[next];
        std::size_t slot = next;
        for (; slot > 0 && controls[slot - 1].cycles > control.cycles; --slot) {
            controls[slot] = controls[slot - 1];
        }
        controls[slot] = control;
    }
    for (std::size_t index = 1; index < control_count; ++index) {
        if (controls[index].cycles == controls[index - 1].cycles) {
            return std::unexpected(ExchangeError::schedule(reason::paired_receive_coincident_controls));
        }
    }
    if (control_count == 0) {
        invariant_failure(invariant::paired_receive_always_has_format_events);
    }
    const auto sorted = std::span{controls}.first(control_count);
    const std::uint64_t horizon = sorted.back().cycles + horizon_after_last_event;
    if (horizon > std::numeric_limits<std::uint32_t>::max()) {
        return std::unexpected(ExchangeError::schedule(reason::paired_receive_horizon_overflow));
    }

    // No two controls share a cycle now, so every group of the receive events is
    // a single control and validating them cannot fail: each control is placed
    // by the encoder's single-event step, and plain delays run to the horizon.
    detail::FixedRowSink words{row};
    words.push(opening_word);
    std::uint32_t cycles = 0;
    for (const PendingControl& control : sorted) {
        if (auto placed = detail::append_single_control(words, cycles, static_cast<std::uint32_t>(control.cycles),
                                                        control.instruction);
            !placed) {
            return placed;
        }
    }
    detail::fill_plain_delays(words, cycles, static_cast<std::uint32_t>(horizon));
    words.push(closing_word);
    if (words.len() > row_length) {
        return std::unexpected(ExchangeError::schedule(reason::paired_receive_row_capacity));
    }
    return {};
}

// `paired_multicast` into `plan`, which is empty.
Result<void> plan_paired_multicast(const Topology& topology, std::uint16_t sender_logical,
                                   std::span<const std::uint16_t> receivers, std::uint32_t count, MulticastPlan& plan) {
    if (auto valid = validate_count(count); !valid) {
        return std::unexpected(valid.error());
    }
    if (!paired_receiver_set_is_valid(topology, receivers)) {
        return std::unexpected(ExchangeError::receiver_set());
    }
    const auto table = topology.logical_to_physical();
    const auto receiver_physical = [table](std::uint16_t receiver) -> std::uint32_t { return table[receiver]; };
    // The multicast's checks at offset 0; its receiver rows would all be
    // replaced below, so they are never built.
    const auto timing = detail::schedule_multicast(topology, sender_logical, receivers, count, 0);
    if (!timing) {
        return std::unexpected(timing.error());
    }
    // The multicast accepted the sender and every receiver, so these lookups hold.
    const std::uint32_t sender_physical = timing->source_physical;
    // The multicast's sender row with the paired send control written in as
    // the row is made: the row `set_sender_control` would make of it.
    std::uint32_t send_control = paired_send_all;
    if (receivers.size() == 2 && std::ranges::find(receivers, sender_logical) == receivers.end()) {
        send_control = detail::fast_direction(sender_physical, receiver_physical(receivers.front())) | paired_send_flag;
    }
    if (send_control > send_word::control.max()) {
        invariant_failure(invariant::send_control_is_three_bits);
    }
    detail::write_multicast_sender_row(plan.sender, *timing, count, send_control);
    detail::emit_multicast_event(sender_logical, receivers, count, 0);

    if (receivers.empty()) {
        invariant_failure(invariant::paired_multicast_has_receivers);
    }
    // The routes of the first receivers are kept from the pass that finds the
    // minimum; the rows of a longer list work theirs out again.
    constexpr std::size_t kept_routes = 4;
    std::array<PairedRoute, kept_routes> routes;
    const auto route_of = [&](std::size_t index) {
        return PairedRoute::between(sender_physical, receiver_physical(receivers[index]));
    };
    std::int32_t minimum_double_mux = std::numeric_limits<std::int32_t>::max();
    for (std::size_t index = 0; index < receivers.size(); ++index) {
        const PairedRoute route = route_of(index);
        if (index < kept_routes) {
            routes[index] = route;
        }
        minimum_double_mux = std::min(minimum_double_mux, route.paired_mux());
    }
    plan.receivers.reserve(receivers.size());
    for (std::size_t index = 0; index < receivers.size(); ++index) {
        const PairedRoute route = index < kept_routes ? routes[index] : route_of(index);
        if (auto built = build_paired_receiver_row(route, count, minimum_double_mux, plan.receivers.emplace_back());
            !built) {
            return std::unexpected(built.error());
        }
    }
    return {};
}

}  // namespace

Result<bool> Topology::paired_receiver_is_early(std::uint16_t receiver_logical, std::uint16_t sender_logical) const {
    const auto receiver = physical(receiver_logical);
    if (!receiver) {
        return std::unexpected(receiver.error());
    }
    const auto sender = physical(sender_logical);
    if (!sender) {
        return std::unexpected(sender.error());
    }
    const std::int32_t local = time_to_mux(*sender, *receiver);
    const std::int32_t borrowed = time_to_mux(*sender, tile_bits::partner(*receiver));
    return local < borrowed;
}

Result<Row> Topology::paired_receiver_row(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                                          std::uint32_t count, std::int32_t minimum_double_mux) const {
    return detail::build_in_place<Row>([&](Row& row) -> Result<void> {
        const std::int32_t sender_physical = detail::physical_or_none(*this, sender_logical);
        if (sender_physical < 0) {
            return std::unexpected(ExchangeError::tile(sender_logical));
        }
        const std::int32_t receiver_physical = detail::physical_or_none(*this, receiver_logical);
        if (receiver_physical < 0) {
            return std::unexpected(ExchangeError::tile(receiver_logical));
        }
        const PairedRoute route = PairedRoute::between(static_cast<std::uint32_t>(sender_physical),
                                                       static_cast<std::uint32_t>(receiver_physical));
        return build_paired_receiver_row(route, count, minimum_double_mux, row);
    });
}

Result<MulticastPlan> Topology::paired_multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receivers,
                                                 std::uint32_t count) const {
    return detail::build_in_place<MulticastPlan>(
        [&](MulticastPlan& plan) { return plan_paired_multicast(*this, sender_logical, receivers, count, plan); },
        Row{});
}

}  // namespace vorl_exchange
