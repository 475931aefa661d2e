#include "timing_check.hpp"

#include <algorithm>
#include <array>
#include <expected>
#include <string>
#include <vector>

#include "timeline.hpp"
#include "vorl_exchange/route_timing.hpp"

namespace vorl_plan {

namespace {

std::string receiver_name(std::size_t position, std::uint16_t receiver) {
    return "receiver " + std::to_string(receiver) + " (row " + std::to_string(position + 1) + ")";
}

// The tiles a check reads its rows against, looked up once.
struct PhysicalTiles {
    std::uint16_t sender = 0;
    std::vector<std::uint32_t> receivers;  // in the order given
};

// What both checks ask first: a row for every receiver, and every tile in
// the topology. Either the tiles' physical identifiers or what is wrong.
std::expected<PhysicalTiles, std::string> physical_tiles(const vorl_exchange::Topology& topology, std::uint16_t sender,
                                                         std::span<const std::uint16_t> receivers,
                                                         std::size_t receiver_row_count) {
    if (receivers.size() != receiver_row_count) {
        return std::unexpected(std::to_string(receivers.size()) + " receivers but " +
                               std::to_string(receiver_row_count) + " receiver rows");
    }
    const auto sender_physical = topology.physical(sender);
    if (!sender_physical) {
        return std::unexpected("sender " + std::to_string(sender) + " is not in the topology");
    }
    PhysicalTiles tiles{.sender = *sender_physical, .receivers = {}};
    tiles.receivers.reserve(receivers.size());
    for (std::size_t position = 0; position < receivers.size(); ++position) {
        const auto receiver_physical = topology.physical(receivers[position]);
        if (!receiver_physical) {
            return std::unexpected(receiver_name(position, receivers[position]) + " is not in the topology");
        }
        tiles.receivers.push_back(*receiver_physical);
    }
    return tiles;
}

}  // namespace

std::string describe(const ReceiverTiming& timing, std::uint64_t send_start) {
    const std::string sum =
        "send start " + std::to_string(send_start) + " + mux time " + std::to_string(timing.mux_time);
    if (!timing.carried) {
        return "no XPIC word, expected one with field " + std::to_string(timing.expected) + " = " + sum;
    }
    if (timing.matches()) {
        return "XPIC field " + std::to_string(*timing.carried) + " = " + sum;
    }
    return "XPIC field " + std::to_string(*timing.carried) + " != " + sum + " = " + std::to_string(timing.expected);
}

TimingReport check_timing(const vorl_exchange::Topology& topology, std::uint16_t sender,
                          std::span<const std::uint16_t> receivers, const vorl_exchange::Row& sender_row,
                          std::span<const vorl_exchange::Row> receiver_rows) {
    TimingReport report;
    report.send_start = read_timeline(sender_row).first_send_start();
    if (!report.send_start) {
        report.problem = "the sender row has no send word";
        return report;
    }
    const auto tiles = physical_tiles(topology, sender, receivers, receiver_rows.size());
    if (!tiles) {
        report.problem = tiles.error();
        return report;
    }
    for (std::size_t position = 0; position < receivers.size(); ++position) {
        ReceiverTiming timing;
        timing.position = position;
        timing.receiver = receivers[position];
        timing.mux_time = vorl_exchange::time_to_mux(tiles->sender, tiles->receivers[position]);
        timing.expected = static_cast<std::int64_t>(*report.send_start) + timing.mux_time;
        const Timeline timeline = read_timeline(receiver_rows[position]);
        if (const TimelineWord* xpic = timeline.first_xpic()) {
            timing.carried = xpic->decoded.advance_field;
        }
        report.receivers.push_back(timing);
        if (!timing.matches()) {
            report.problem = receiver_name(position, timing.receiver) + ": " + describe(timing, *report.send_start);
            return report;
        }
    }
    return report;
}

namespace {

using vorl_exchange::WordFamily;

// The paired receive timeline. The check keeps its own copy of these on purpose:
// it must not share a mistake with the planner it checks.
constexpr std::int64_t earliest_source_event = 1;  // where the epoch puts the earliest pair's source event
constexpr std::int64_t format_lead_cycles = 51;    // from the source event to the format control, plus 2 a row
constexpr std::int64_t pointer_after_format = 2;
constexpr std::int64_t row_tail_cycles = 7;  // from the last control to the end of the row

// The first send start is 0 - the smallest mux time, as in a multicast at offset 0.
Expectation send_start(std::optional<std::uint64_t> found, std::int32_t smallest_mux_time) {
    Expectation start{"send start", Measure::Cycle, std::nullopt,
                      std::max<std::int64_t>(0, -std::int64_t{smallest_mux_time}),
                      "max(0, -(smallest mux time " + std::to_string(smallest_mux_time) + "))"};
    if (found) {
        start.found = static_cast<std::int64_t>(*found);
    }
    return start;
}

// 4 + the direction for a single pair the sender is not part of; 4 + both directions (7) otherwise.
std::pair<std::uint32_t, std::string> expected_send_control(std::uint32_t sender_physical, std::uint16_t sender,
                                                            std::span<const std::uint16_t> receivers,
                                                            std::span<const std::uint32_t> physical) {
    if (receivers.size() == 2 && std::ranges::find(receivers, sender) == receivers.end()) {
        const std::uint32_t direction = vorl_exchange::direction(sender_physical, physical[0]);
        return {4u | direction,
                "4 + direction " + std::to_string(direction) + " towards receiver " + std::to_string(receivers[0])};
    }
    return {7u, receivers.size() == 2
                    ? "4 + both directions 3, the sender being a receiver"
                    : "4 + both directions 3, for " + std::to_string(receivers.size()) + " receivers"};
}

std::vector<Expectation> sender_expectations(const Timeline& timeline, std::uint32_t count,
                                             std::int32_t smallest_mux_time,
                                             const std::pair<std::uint32_t, std::string>& control) {
    std::vector<Expectation> facts{send_start(timeline.first_send_start(), smallest_mux_time)};
    Expectation sent{"words sent", Measure::Value, std::nullopt, count, "the count"};
    std::vector<Expectation> controls;
    for (const TimelineWord& entry : timeline.words) {
        const WordFamily family = entry.decoded.family;
        if (!entry.is_instruction() || (family != WordFamily::Send && family != WordFamily::SendOff)) {
            continue;
        }
        sent.found = sent.found.value_or(0) + std::int64_t{entry.decoded.count_minus_one} + 1;
        controls.push_back({"send control (word " + std::to_string(entry.index) + ")", Measure::Value,
                            std::int64_t{entry.decoded.control}, control.first, control.second});
    }
    facts.push_back(std::move(sent));
    facts.insert(facts.end(), controls.begin(), controls.end());
    return facts;
}

// Index of a control's stream in the lists below.
enum class Stream : std::uint8_t { Pic = 0, Xpic = 1 };

// A control the route timing asks for.
struct Due {
    const char* name;
    Stream stream;
    std::int64_t cycle;
    std::string reason;
};

// A control word of the row: the cycle it takes effect on and its place.
struct Placed {
    std::uint64_t cycle;
    std::uint32_t index;
};

// One expectation per control, in row order, as the row is read.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
PairedReceiverTiming receiver_expectations(std::size_t position, std::uint16_t receiver, std::uint32_t sender_physical,
                                           std::uint32_t receiver_physical, std::uint32_t count, std::int64_t epoch,
                                           const vorl_exchange::Row& row) {
    PairedReceiverTiming timing;
    timing.position = position;
    timing.receiver = receiver;
    timing.mux_time = vorl_exchange::time_to_mux(sender_physical, receiver_physical);
    timing.partner_mux_time =
        vorl_exchange::time_to_mux(sender_physical, vorl_exchange::tile_bits::partner(receiver_physical));
    const std::int32_t pair_mux_time = vorl_exchange::paired_time_to_mux(sender_physical, receiver_physical);
    const std::int64_t source_event = epoch + pair_mux_time;
    const std::int64_t row_field = vorl_exchange::tile_bits::row(receiver_physical);
    const std::int64_t format_lead = format_lead_cycles + 2 * row_field;
    const std::int64_t format = source_event + format_lead;
    const std::string counted = " + count " + std::to_string(count);

    std::vector<Due> dues;
    if (timing.early()) {
        dues.push_back({"source control", Stream::Xpic, source_event,
                        "epoch " + std::to_string(epoch) + " + pair mux time " + std::to_string(pair_mux_time)});
        dues.push_back({"neutral control", Stream::Xpic, source_event + count,
                        "source control " + std::to_string(source_event) + counted});
    }
    dues.push_back({"format control", Stream::Pic, format,
                    "source event " + std::to_string(source_event) + " + format lead " + std::to_string(format_lead) +
                        " (" + std::to_string(format_lead_cycles) + " + 2 x row " + std::to_string(row_field) + ")"});
    dues.push_back({"pointer control", Stream::Pic, format + pointer_after_format,
                    "format control " + std::to_string(format) + " + " + std::to_string(pointer_after_format)});
    dues.push_back(
        {"closing format control", Stream::Pic, format + count, "format control " + std::to_string(format) + counted});
    // In time order; controls due on one cycle keep the order above. Five at most:
    // an insertion sort, which is stable without a temporary buffer.
    for (std::size_t sorted = 1; sorted < dues.size(); ++sorted) {
        for (std::size_t at = sorted; at > 0 && dues[at].cycle < dues[at - 1].cycle; --at) {
            std::swap(dues[at], dues[at - 1]);
        }
    }

    const Timeline timeline = read_timeline(row);
    std::array<std::vector<Placed>, 2> placed;
    for (const TimelineWord& entry : timeline.words) {
        const WordFamily family = entry.decoded.family;
        if (entry.role == WordRole::Fill ||
            (entry.is_instruction() &&
             (family == WordFamily::Opening || family == WordFamily::Closing || family == WordFamily::PlainDelay))) {
            continue;
        }
        if (entry.is_instruction() && (family == WordFamily::PicDelay || family == WordFamily::XpicDelay)) {
            const Stream stream = family == WordFamily::PicDelay ? Stream::Pic : Stream::Xpic;
            placed[static_cast<std::size_t>(stream)].push_back({entry.end, entry.index});
            continue;
        }
        if (timing.problem.empty()) {
            const std::string_view what =
                entry.is_instruction() ? vorl_exchange::mnemonic(family) : to_string(entry.role);
            timing.problem = "word " + std::to_string(entry.index) + " (" + std::string{what} +
                             ") has no place in a paired receiver row";
        }
    }

    std::array<std::size_t, 2> taken{};
    for (const Due& due : dues) {
        const auto stream = static_cast<std::size_t>(due.stream);
        Expectation control{due.name, Measure::Cycle, std::nullopt, due.cycle, due.reason};
        if (taken[stream] < placed[stream].size()) {
            control.found = static_cast<std::int64_t>(placed[stream][taken[stream]++].cycle);
        }
        timing.controls.push_back(std::move(control));
    }
    for (std::size_t stream = 0; stream < placed.size() && timing.problem.empty(); ++stream) {
        if (taken[stream] < placed[stream].size()) {
            const Placed& extra = placed[stream][taken[stream]];
            timing.problem = std::string{"an extra "} +
                             (stream == static_cast<std::size_t>(Stream::Pic) ? "PIC" : "XPIC") + " control at cycle " +
                             std::to_string(extra.cycle) + " (word " + std::to_string(extra.index) + ")";
        }
    }
    const std::int64_t last = dues.back().cycle;
    timing.controls.push_back({"end of row", Measure::Cycle, static_cast<std::int64_t>(timeline.length()),
                               last + row_tail_cycles,
                               "last control " + std::to_string(last) + " + " + std::to_string(row_tail_cycles)});
    return timing;
}

}  // namespace

std::string describe(const Expectation& expectation) {
    const bool cycle = expectation.measure == Measure::Cycle;
    const std::string expected =
        (cycle ? "cycle " : "") + std::to_string(expectation.expected) + " = " + expectation.reason;
    if (!expectation.found) {
        return "no " + expectation.name + ", expected " + expected;
    }
    const std::string found = expectation.name + (cycle ? " at cycle " : " ") + std::to_string(*expectation.found);
    if (expectation.matches()) {
        return found + " = " + expectation.reason;
    }
    return found + ", expected " + expected;
}

PairedTimingReport check_paired_timing(const vorl_exchange::Topology& topology, std::uint16_t sender,
                                       std::span<const std::uint16_t> receivers, std::uint32_t count,
                                       const vorl_exchange::Row& sender_row,
                                       std::span<const vorl_exchange::Row> receiver_rows) {
    PairedTimingReport report;
    const Timeline sender_timeline = read_timeline(sender_row);
    if (receivers.empty()) {
        report.problem = "no receivers: a paired multicast has at least one pair";
        return report;
    }
    const auto tiles = physical_tiles(topology, sender, receivers, receiver_rows.size());
    if (!tiles) {
        report.problem = tiles.error();
        return report;
    }
    const std::uint32_t sender_physical = tiles->sender;
    const std::vector<std::uint32_t>& physical = tiles->receivers;

    std::int32_t smallest_mux_time = vorl_exchange::time_to_mux(sender_physical, physical[0]);
    report.smallest_pair_mux_time = vorl_exchange::paired_time_to_mux(sender_physical, physical[0]);
    for (const std::uint32_t receiver : physical) {
        smallest_mux_time = std::min(smallest_mux_time, vorl_exchange::time_to_mux(sender_physical, receiver));
        report.smallest_pair_mux_time =
            std::min(report.smallest_pair_mux_time, vorl_exchange::paired_time_to_mux(sender_physical, receiver));
    }
    report.epoch = std::max<std::int64_t>(0, earliest_source_event - std::int64_t{report.smallest_pair_mux_time});

    report.sender = sender_expectations(sender_timeline, count, smallest_mux_time,
                                        expected_send_control(sender_physical, sender, receivers, physical));
    for (const Expectation& fact : report.sender) {
        if (!fact.matches()) {
            report.problem = "sender: " + describe(fact);
            break;
        }
    }
    for (std::size_t position = 0; position < receivers.size(); ++position) {
        report.receivers.push_back(receiver_expectations(position, receivers[position], sender_physical,
                                                         physical[position], count, report.epoch,
                                                         receiver_rows[position]));
        if (!report.ok()) {
            continue;
        }
        const PairedReceiverTiming& timing = report.receivers.back();
        const auto mismatch =
            std::ranges::find_if(timing.controls, [](const Expectation& control) { return !control.matches(); });
        if (mismatch != timing.controls.end() || !timing.problem.empty()) {
            report.problem = receiver_name(position, timing.receiver) + ": " +
                             (mismatch != timing.controls.end() ? describe(*mismatch) : timing.problem);
        }
    }
    return report;
}

std::vector<std::string> report_lines(const PairedTimingReport& report) {
    std::vector<std::string> lines;
    lines.reserve(report.sender.size());
    for (const Expectation& fact : report.sender) {
        lines.push_back("sender: " + describe(fact));
    }
    if (report.receivers.empty()) {
        return lines;
    }
    lines.push_back("pairs: epoch " + std::to_string(report.epoch) + " = max(0, " +
                    std::to_string(earliest_source_event) + " - smallest pair mux time " +
                    std::to_string(report.smallest_pair_mux_time) + ")");
    for (const PairedReceiverTiming& timing : report.receivers) {
        const std::string name = "receiver " + std::to_string(timing.receiver) + ": ";
        const std::int32_t pair = std::max(timing.mux_time, timing.partner_mux_time);
        lines.push_back(name + "mux time " + std::to_string(timing.mux_time) + ", partner " +
                        std::to_string(timing.partner_mux_time) + ", pair " + std::to_string(pair) +
                        (timing.early()                               ? ": the early tile, with the source controls"
                         : timing.mux_time == timing.partner_mux_time ? ": neither tile early, no source controls"
                                                                      : ": the late tile, no source controls"));
        for (const Expectation& control : timing.controls) {
            lines.push_back(name + describe(control));
        }
        if (!timing.problem.empty()) {
            lines.push_back(name + timing.problem);
        }
    }
    return lines;
}

}  // namespace vorl_plan
