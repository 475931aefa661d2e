#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>

#include "multicast_schedule.hpp"
#include "receive_steps.hpp"
#include "route_terms.hpp"
#include "row_writers.hpp"
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

// A receiver list whose length is fixed at compile time for one pair, the list
// the planners mostly see, `std::dynamic_extent` for others.
template <std::size_t Extent>
using ReceiverList = std::span<const std::uint16_t, Extent>;

// Whole pairs only: even length, no repeats, every partner present.
template <std::size_t Extent>
bool paired_receiver_set_is_valid(const Topology& topology, ReceiverList<Extent> receivers) {
    // One pair: no set to build.
    if constexpr (Extent == 2) {
        return topology.are_partners(receivers[0], receivers[1]);
    }
    if (receivers.empty() || receivers.size() % 2 != 0) {
        return false;
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

// One receiver's route from the sender, with the mux times of both tiles of its
// pair and the direction worked out once for the checks and the row, from the
// two tiles' route terms and physical identifiers.
//
// The row's format lead and its XPIC source control are worked out here too,
// while the two physical identifiers are in registers. Derived later, the
// identifiers outlived the registers: GCC kept them on the stack as 16-bit
// values and read them back as 32-bit words, a load that no store forwards,
// so every paired call waited for those stores to reach the cache.
struct PairedRoute {
    [[nodiscard]] static PairedRoute between(const detail::RouteTerms& source, std::uint32_t sender_tile,
                                             const detail::RouteTerms& destination,
                                             std::uint32_t receiver_tile) noexcept {
        const detail::PairMuxTimes mux = detail::fast_pair_times_to_mux(source, destination);
        return {.receiver = receiver_tile,
                .local = mux.own,
                .borrowed = mux.partner,
                .direction = detail::fast_direction(source, destination),
                .lead = static_cast<std::uint32_t>(format_lead_cycles) + 2u * (receiver_tile >> 6),
                .source_control = sender_tile ^ (receiver_tile & 2u),
                .early = mux.own < mux.partner};
    }
    // The route to the other tile of the pair: the same two mux times, swapped.
    // The two tiles differ in the lane bit alone, which neither the direction
    // nor the row (and so the lead) reads; the source control holds that bit.
    [[nodiscard]] PairedRoute to_partner() const noexcept {
        return {.receiver = tile_bits::partner(receiver),
                .local = borrowed,
                .borrowed = local,
                .direction = direction,
                .lead = lead,
                .source_control = source_control ^ 2u,
                .early = borrowed < local};
    }

    // `paired_time_to_mux`: the later tile of the pair.
    [[nodiscard]] std::int32_t paired_mux() const noexcept { return local > borrowed ? local : borrowed; }

    std::uint32_t receiver;
    std::int32_t local;     // mux time of the receiver itself
    std::int32_t borrowed;  // mux time of its partner
    std::uint32_t direction;
    // L = 51 + 2 x the receiver's row (below), carried rather than worked out
    // from `receiver` again, so that the compiler sees both tiles of a pair
    // share it.
    std::uint32_t lead;
    std::uint32_t source_control;  // sender ^ the receiver's lane bit
    // `paired_receiver_is_early`: local < borrowed. Kept as a flag, decided
    // once: compared again at each use, the two mux times were reloaded from
    // the stack for every comparison.
    bool early;
};

// A paired receiver row's controls, counted in cycles from its source event S:
//   XPIC stream, early tile only: the source control at 0, its neutral control at `count`;
//   PIC stream: the format control at the lead L, the pointer at L + 2, the
//   closing format control at L + count.
// L = 51 + 2 x row is 51..113 for any 11-bit identifier: positive, and within
// the reach of a PIC delay word.
static_assert(format_lead_cycles + std::uint64_t{2} * (maximum_physical_identifier >> 6) < maximum_pic_delay_advance);

// What a paired receiver row is written from, besides the plan's count, once
// every check of it passed.
struct PairedRowFacts {
    std::uint32_t source_event;  // S, the cycle the offsets above count from
    std::uint32_t lead;          // L
    std::uint32_t direction;       // of the format control
    std::uint32_t source_control;  // of the XPIC source control
    bool early;
};

// Plain delay words that a gap of `gap` cycles needs in front of a control word
// that reaches `reach` cycles.
constexpr std::uint64_t plain_words_before(std::uint64_t gap, std::uint64_t reach) noexcept {
    return gap > reach ? (gap - reach + maximum_plain_delay_advance - 1) / maximum_plain_delay_advance : 0;
}

// The checks of one paired receiver row, in the order the general receive-event
// encoder makes them, decided from the two streams' known shapes instead of
// from the sorted controls (see write_paired_row for the orders).
// On success the facts are written into `facts`.
[[gnu::always_inline]] inline std::optional<ScheduleReason> paired_row_facts(const PairedRoute& route,
                                                                             std::uint32_t count,
                                                                             std::int32_t minimum_double_mux,
                                                                             PairedRowFacts& facts) noexcept {
    // 64-bit sums: every argument value gives an exact timeline.
    const std::int64_t epoch_shift = std::max<std::int64_t>(1 - std::int64_t{minimum_double_mux}, 0);
    const std::int64_t source_event = epoch_shift + route.paired_mux();
    if (source_event < 0) {
        return reason::paired_source_timing;
    }
    const std::uint32_t lead = route.lead;
    const bool early = route.early;
    // Two controls on one cycle: the format controls at count 0 (and the two
    // XPIC ones), the pointer and the closing format control at count 2, and
    // the neutral control on the format control or the pointer. The source
    // control at 0 never meets a PIC control, all at L or later, and the
    // neutral one at count never meets the closing one at L + count.
    if (count == 0 || count == pointer_after_format ||
        (early && (count == lead || count == lead + pointer_after_format))) {
        return reason::paired_receive_coincident_controls;
    }
    // The last control is the closing format control, or the pointer for count 1.
    const std::uint64_t last =
        static_cast<std::uint64_t>(source_event) + lead + std::max<std::uint64_t>(count, pointer_after_format);
    if (last + horizon_after_last_event > std::numeric_limits<std::uint32_t>::max()) {
        return reason::paired_receive_horizon_overflow;
    }
    // A control on cycle 0 has no cycle to issue in: only the source control
    // can be there, the first control of an early row.
    if (early && source_event == 0) {
        return reason::receive_control_issue_interval;
    }
    // Opening word, the controls, one plain delay to the horizon (seven cycles
    // past the last control), closing word, and plain delays where a gap is
    // longer than the next control reaches. With L under the PIC reach, only
    // these gaps can be: the first one, from cycle 0; in an early row the XPIC
    // gap from the pointer to a neutral control after it; in a late row the
    // PIC gap from the pointer to the closing control.
    const auto start = static_cast<std::uint64_t>(source_event);
    std::uint64_t words = 3;
    if (early) {
        words += 5 + plain_words_before(start, maximum_xpic_delay_advance);
        // Asked as a bound on the count, which a valid count meets outright.
        if (count > lead + pointer_after_format + maximum_xpic_delay_advance) {
            words += plain_words_before(count - lead - pointer_after_format, maximum_xpic_delay_advance);
        }
    } else {
        words += 3 + plain_words_before(start + lead, maximum_pic_delay_advance);
        if (count > pointer_after_format) {
            words += plain_words_before(count - pointer_after_format, maximum_pic_delay_advance);
        }
    }
    if (words > row_length) {
        return reason::paired_receive_row_capacity;
    }
    facts = {.source_event = static_cast<std::uint32_t>(source_event),
             .lead = lead,
             .direction = route.direction,
             .source_control = route.source_control,
             .early = early};
    return std::nullopt;
}

// The row's words, each written once, in time order. Each stream is in time
// order by itself, the PIC one for count >= 3 (count 1 puts the closing
// control before the pointer; counts 0 and 2 were refused), and where the two
// interleave follows from comparing `count` with L alone:
//   count 1:          source, neutral | format, closing, pointer
//   3 <= count < L:   source, neutral | format, pointer, closing
//   count = L + 1:    source, format, neutral, pointer, closing
//   count > L + 2:    source, format, pointer, neutral, closing
// (count = L and L + 2 were refused). A late row has the PIC stream alone.
//
// Each control word ends on its own cycle, its advance field holding the gap
// from the control before it less one. Knowing the order gives most gaps
// outright, all within the word's reach because L < 128 (the PIC reach) and
// count < L where the neutral control comes early. Only three gaps can be
// longer than their word reaches: the first control's from cycle 0, the
// neutral control's after the pointer (count > L + 2 + 4096, beyond every
// count a planner accepts), and a late row's closing control after the
// pointer. Those go through the encoder's single-control step,
// which puts plain delays in front, given their gaps (count - L - 2 and
// count - 2, so that the compiler sees what the count settles). The general
// receive-event encoder is the reference these rows are tested against.
//
// The shortest row is a late one: opening word, three controls, the plain
// delay to the horizon (seven cycles past the last control), closing word.
constexpr std::size_t shortest_paired_row = 6;

[[gnu::always_inline]] inline void write_paired_row(const PairedRowFacts& facts, std::uint32_t count,
                                                    Row& row) noexcept {
    detail::RowWriter words{row, shortest_paired_row};
    words.push(opening_word);
    const std::uint32_t source = facts.source_event;
    const std::uint32_t lead = facts.lead;
    constexpr auto pointer_gap = static_cast<std::uint32_t>(pointer_after_format);
    const std::uint32_t format = delay_pic(0, 1, facts.direction);
    const std::uint32_t closing = delay_pic(0, 1, 0);
    const std::uint32_t pointer = delay_pic(0, 0, 0);
    const std::uint32_t neutral = delay_xpic(0, 1, neutral_xpic_control);
    // A control `gap` cycles after the one before it, within its reach.
    const auto pic_after = [](std::uint32_t gap, std::uint32_t instruction) {
        return pic_delay_word::advance.replace(instruction, gap - 1u);
    };
    const auto xpic_after = [](std::uint32_t gap, std::uint32_t instruction) {
        return xpic_delay_word::advance.replace(instruction, gap - 1u);
    };
    if (facts.early) {
        detail::place_control_after(words, source, delay_xpic(0, 1, facts.source_control));
        if (count < lead) {
            words.push(xpic_after(count, neutral));
            words.push(pic_after(lead - count, format));
            if (count == 1) {
                words.push(pic_after(1, closing));
                words.push(pic_after(1, pointer));
            } else {
                words.push(pic_after(pointer_gap, pointer));
                words.push(pic_after(count - pointer_gap, closing));
            }
        } else if (count == lead + 1) {
            words.push(pic_after(lead, format));
            words.push(xpic_after(1, neutral));
            words.push(pic_after(1, pointer));
            words.push(pic_after(lead - 1, closing));
        } else {
            words.push(pic_after(lead, format));
            words.push(pic_after(pointer_gap, pointer));
            detail::place_control_after(words, count - lead - pointer_gap, neutral);
            words.push(pic_after(lead, closing));
        }
    } else {
        detail::place_control_after(words, source + lead, format);
        if (count == 1) {
            words.push(pic_after(1, closing));
            words.push(pic_after(1, pointer));
        } else {
            words.push(pic_after(pointer_gap, pointer));
            detail::place_control_after(words, count - pointer_gap, closing);
        }
    }
    words.push(delay(static_cast<std::uint32_t>(horizon_after_last_event) - 1u));
    words.close();
}

// A planned row's source event, max(1 - M, 0) + its pair's mux time with M
// the smallest of those, is at most the spread of the mux times plus one
// (the least bound is below 1): under the XPIC reach, so the source control of
// an early row never needs a plain delay in front.
constexpr std::uint32_t latest_planned_source_event =
    static_cast<std::uint32_t>(1 + detail::mux_time_bounds.most - detail::mux_time_bounds.least);
static_assert(detail::mux_time_bounds.least < 1);
static_assert(latest_planned_source_event <= maximum_xpic_delay_advance);

// Every check of a paired multicast, and the facts its rows are written from.
// The first two rows, which every list of whole pairs has, keep theirs; a
// longer list works out the others' again as it writes them.
constexpr std::size_t kept_rows = 2;

struct PairedMulticastFacts {
    detail::MulticastTiming timing;
    std::uint32_t send_control;
    std::int32_t minimum_double_mux;
    std::array<PairedRowFacts, kept_rows> rows;
};

// `multicast_planned()` is called once the checks of the multicast inside the
// paired one have passed, whatever the paired rows' checks then find.
template <std::size_t Extent, class OnMulticastPlanned>
[[gnu::always_inline]] inline detail::Refusal check_paired_multicast(const Topology& topology,
                                                                     std::uint16_t sender_logical,
                                                                     ReceiverList<Extent> receivers,
                                                                     std::uint32_t count, PairedMulticastFacts& facts,
                                                                     OnMulticastPlanned&& multicast_planned) {
    if (auto valid = validate_count(count); !valid) {
        return valid.error();
    }
    // The same count, with its bound where the compiler sees it: the row
    // checks then drop the tests that no valid count can fail (a gap from the
    // pointer beyond the XPIC reach, a timeline past 32 bits).
    const std::uint32_t valid_count = std::min(count, maximum_count);
    if (!paired_receiver_set_is_valid(topology, receivers)) {
        return ExchangeError::receiver_set();
    }
    // Of the multicast's tile checks, only the sender's is left: whole pairs
    // of distinct tiles, each with its partner found, are a valid receiver set.
    const auto table = topology.logical_to_physical();
    if (sender_logical >= table.size()) {
        return ExchangeError::tile(sender_logical);
    }
    const std::uint32_t sender = table[sender_logical];
    // Every receiver was found (whole pairs, so at least two), and the table
    // lookups below hold. A pair listed together, as a list of one pair always
    // is: the second tile's route is the first one's with the two mux times
    // swapped.
    const auto terms = detail::LogicalRouteTerms::of(topology);
    const auto route_of = [&](std::size_t index) {
        return PairedRoute::between(terms[sender_logical], sender, terms[receivers[index]], table[receivers[index]]);
    };
    const PairedRoute first = route_of(0);
    const bool listed_together = receivers.size() == 2 || table[receivers[1]] == tile_bits::partner(first.receiver);
    const PairedRoute second = listed_together ? first.to_partner() : route_of(1);
    std::int32_t minimum_mux = std::min(first.local, second.local);
    std::int32_t maximum_mux = std::max(first.local, second.local);
    std::int32_t minimum_double_mux = std::min(first.paired_mux(), second.paired_mux());
    for (std::size_t index = kept_rows; index < receivers.size(); ++index) {
        const PairedRoute route = route_of(index);
        minimum_mux = std::min(minimum_mux, route.local);
        maximum_mux = std::max(maximum_mux, route.local);
        minimum_double_mux = std::min(minimum_double_mux, route.paired_mux());
    }
    const auto start = detail::multicast_start_cycle(minimum_mux, maximum_mux, 0);
    if (!start) {
        return start.error();
    }
    facts.timing = {.source_physical = sender, .start_cycle = *start};
    facts.send_control = paired_send_all;
    facts.minimum_double_mux = minimum_double_mux;
    if (receivers.size() == 2 && std::ranges::find(receivers, sender_logical) == receivers.end()) {
        facts.send_control = first.direction | paired_send_flag;
    }
    if (facts.send_control > send_word::control.max()) {
        invariant_failure(invariant::send_control_is_three_bits);
    }
    // Both kept rows are checked before the event is reported, so that only
    // their verdicts, not the routes, stay live across its call.
    const auto first_refused = paired_row_facts(first, valid_count, minimum_double_mux, facts.rows[0]);
    const auto second_refused = paired_row_facts(second, valid_count, minimum_double_mux, facts.rows[1]);
    multicast_planned();
    if (first_refused) {
        return ExchangeError::schedule(*first_refused);
    }
    if (second_refused) {
        return ExchangeError::schedule(*second_refused);
    }
    // Rows past the kept ones are only checked here.
    for (std::size_t index = kept_rows; index < receivers.size(); ++index) {
        PairedRowFacts unkept{};
        if (const auto refused = paired_row_facts(route_of(index), valid_count, minimum_double_mux, unkept)) {
            return ExchangeError::schedule(*refused);
        }
    }
    return std::nullopt;
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
    PairedRowFacts facts{};
    const detail::Refusal refusal = [&]() -> detail::Refusal {
        const std::int32_t sender_physical = detail::physical_or_none(*this, sender_logical);
        if (sender_physical < 0) {
            return ExchangeError::tile(sender_logical);
        }
        const std::int32_t receiver_physical = detail::physical_or_none(*this, receiver_logical);
        if (receiver_physical < 0) {
            return ExchangeError::tile(receiver_logical);
        }
        const auto terms = detail::LogicalRouteTerms::of(*this);
        const auto route = PairedRoute::between(terms[sender_logical], static_cast<std::uint32_t>(sender_physical),
                                                terms[receiver_logical], static_cast<std::uint32_t>(receiver_physical));
        if (const auto refused = paired_row_facts(route, count, minimum_double_mux, facts)) {
            return ExchangeError::schedule(*refused);
        }
        return std::nullopt;
    }();
    return detail::build_checked<Row>(refusal, [&](Row& row) { write_paired_row(facts, count, row); });
}

namespace {

// The planner for one list length: one pair is planned by straight-line code,
// inline in `Topology::paired_multicast`; longer lists plan out of line
// (below), as the multicast planner does with its lists.
template <std::size_t Extent, class OnMulticastPlanned>
[[gnu::always_inline]] inline Result<MulticastPlan> plan_paired_multicast(const Topology& topology,
                                                                          std::uint16_t sender_logical,
                                                                          ReceiverList<Extent> receivers,
                                                                          std::uint32_t count,
                                                                          OnMulticastPlanned&& multicast_planned) {
    // The checks set every field before a plan is written from it (a list of
    // whole pairs fills both kept rows), and a refusal reads none; value-
    // initialised all the same, since the compiler cannot follow that through
    // the two rows' code and the zeros cost less than it loses without them.
    PairedMulticastFacts facts{};
    const detail::Refusal refusal =
        check_paired_multicast(topology, sender_logical, receivers, count, facts, multicast_planned);
    return detail::build_checked<MulticastPlan>(
        refusal,
        [&](MulticastPlan& plan) {
            // The rows are appended first, as in the multicast planner: the
            // list's length is then stored once.
            const std::span<Row> rows = detail::RowListWriter::append_rows(plan.receivers, receivers.size());
            detail::write_multicast_sender_row(plan.sender, facts.timing, count, facts.send_control);
            const auto table = topology.logical_to_physical();
            const auto terms = detail::LogicalRouteTerms::of(topology);
            // The bound holds already; taken again where the compiler sees
            // it, so that the rows' word positions are known from the start.
            for (PairedRowFacts& kept : facts.rows) {
                kept.source_event = std::min(kept.source_event, latest_planned_source_event);
            }
            // Each kept row by code of its own, so that its facts stay in
            // registers from the checks on; in a loop over the two they go
            // through the stack.
            write_paired_row(facts.rows[0], count, rows[0]);
            write_paired_row(facts.rows[1], count, rows[1]);
            for (std::size_t index = kept_rows; index < receivers.size(); ++index) {
                // Checked above with the same arguments.
                PairedRowFacts unkept{};
                const PairedRoute route = PairedRoute::between(terms[sender_logical], facts.timing.source_physical,
                                                               terms[receivers[index]], table[receivers[index]]);
                (void)paired_row_facts(route, count, facts.minimum_double_mux, unkept);
                write_paired_row(unkept, count, rows[index]);
            }
        },
        Row{});
}

// Without an event sink the multicast's passing its checks reports nothing.
constexpr auto unreported = [] {};

[[gnu::noinline]] Result<MulticastPlan> plan_long_paired_multicast(const Topology& topology,
                                                                   std::uint16_t sender_logical,
                                                                   std::span<const std::uint16_t> receivers,
                                                                   std::uint32_t count) {
    return plan_paired_multicast<std::dynamic_extent>(topology, sender_logical, receivers, count, unreported);
}

// A paired multicast while an event sink listens: the general planner, which
// reports the multicast inside it once that has planned, whatever the paired
// rows then make of it. Out of line and chosen before planning, as for the
// multicast planner, so that without a sink the planners keep none of the
// event's arguments past their checks.
[[gnu::noinline]] Result<MulticastPlan> plan_reported_paired_multicast(const Topology& topology,
                                                                       std::uint16_t sender_logical,
                                                                       std::span<const std::uint16_t> receivers,
                                                                       std::uint32_t count) {
    return plan_paired_multicast<std::dynamic_extent>(topology, sender_logical, receivers, count, [&] {
        detail::dispatch_multicast_event(sender_logical, receivers, count, 0);
    });
}

}  // namespace

Result<MulticastPlan> Topology::paired_multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receivers,
                                                 std::uint32_t count) const {
    if (event_sink_installed()) [[unlikely]] {
        return plan_reported_paired_multicast(*this, sender_logical, receivers, count);
    }
    if (receivers.size() == 2) {
        return plan_paired_multicast<2>(*this, sender_logical, receivers.first<2>(), count, unreported);
    }
    return plan_long_paired_multicast(*this, sender_logical, receivers, count);
}

}  // namespace vorl_exchange
