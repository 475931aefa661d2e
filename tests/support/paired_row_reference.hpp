// The paired receiver row described as receive events and put through the
// general receive-event encoder: the reference that the paired planner's
// direct row encoder is held to, by the unit test and by the fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "vorl_exchange/vorl_exchange.hpp"

namespace vorl_test {

using namespace vorl_exchange;

inline Result<Row> reference_paired_receiver_row(const Topology& topology, std::uint16_t sender_logical,
                                                 std::uint16_t receiver_logical, std::uint32_t count,
                                                 std::int32_t minimum_double_mux) {
    const auto sender_physical = topology.physical(sender_logical);
    if (!sender_physical) {
        return std::unexpected(sender_physical.error());
    }
    const auto receiver_physical = topology.physical(receiver_logical);
    if (!receiver_physical) {
        return std::unexpected(receiver_physical.error());
    }
    const auto early = topology.paired_receiver_is_early(receiver_logical, sender_logical);
    if (!early) {
        return std::unexpected(early.error());
    }
    const std::uint32_t sender = *sender_physical;
    const std::uint32_t receiver = *receiver_physical;
    const std::int64_t epoch_shift = std::max<std::int64_t>(1 - std::int64_t{minimum_double_mux}, 0);
    const std::int64_t shifted = epoch_shift + paired_time_to_mux(sender, receiver);
    if (shifted < 0) {
        return std::unexpected(ExchangeError::schedule(reason::paired_source_timing));
    }
    const auto source_event = static_cast<std::uint64_t>(shifted);
    const std::uint64_t format_start = source_event + 51 + 2 * (receiver >> 6);
    struct Wide {
        std::uint64_t cycles;
        std::uint32_t instruction;
        ReceiveEventKind kind;
    };
    std::vector<Wide> wide;
    if (*early) {
        wide.push_back({source_event, delay_xpic(0, 1, sender ^ (receiver & 2u)), ReceiveEventKind::PairedSource});
        wide.push_back({source_event + count, delay_xpic(0, 1, neutral_xpic_control), ReceiveEventKind::PairedNeutral});
    }
    wide.push_back({format_start, delay_pic(0, 1, direction(sender, receiver)), ReceiveEventKind::Format});
    wide.push_back({format_start + 2, delay_pic(0, 0, 0), ReceiveEventKind::PairedPointer});
    wide.push_back({format_start + count, delay_pic(0, 1, 0), ReceiveEventKind::Format});
    // Ties are refused just below, so a plain sort orders the events as a stable
    // one would (and libstdc++ 12's stable_sort trips Clang's deprecation warning).
    std::ranges::sort(wide, {}, &Wide::cycles);
    if (std::ranges::adjacent_find(wide, {}, &Wide::cycles) != wide.end()) {
        return std::unexpected(ExchangeError::schedule(reason::paired_receive_coincident_controls));
    }
    const std::uint64_t horizon = wide.back().cycles + 7;
    if (horizon > std::numeric_limits<std::uint32_t>::max()) {
        return std::unexpected(ExchangeError::schedule(reason::paired_receive_horizon_overflow));
    }
    std::vector<ReceiveEvent> events;
    for (const Wide& event : wide) {
        events.push_back({static_cast<std::uint32_t>(event.cycles), event.instruction, event.kind});
    }
    if (auto valid = validate_receive_events(events); !valid) {
        return std::unexpected(valid.error());
    }
    RowWords words;
    words.push(opening_word);
    std::uint32_t cycles = 0;
    if (auto encoded = append_receive_events(words, cycles, events, static_cast<std::uint32_t>(horizon), false);
        !encoded) {
        return std::unexpected(encoded.error());
    }
    words.push(closing_word);
    if (words.len() > row_length) {
        return std::unexpected(ExchangeError::schedule(reason::paired_receive_row_capacity));
    }
    Row row{};
    words.copy_to(row);
    return row;
}

}  // namespace vorl_test
