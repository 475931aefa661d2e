// The delay-padding and receive-event encoders, written once for any word sink
// with `push(word)` and `len()`. The public functions append to a `RowWords`; a
// planner whose row has a fixed nine-word home appends straight into the row
// and is spared the growable list and the out-of-line calls.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vorl_exchange/delay_padding.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/receive_encoding.hpp"
#include "vorl_exchange/receive_events.hpp"

namespace vorl_exchange::detail {

// A plain delay word covering `chunk` (1..=524288) cycles.
[[nodiscard]] constexpr std::uint32_t plain_delay_for(std::uint32_t chunk) noexcept { return delay(chunk - 1u); }

inline Result<void> schedule_failure(std::string_view why) noexcept {
    return std::unexpected(ExchangeError::schedule(why));
}

// `append_plain_delay`.
template <class Sink>
Result<void> append_plain_delay_to(Sink& words, std::uint32_t& event_cycles, std::uint32_t target_cycles) {
    if (target_cycles < event_cycles) {
        return schedule_failure(reason::plan_delay_order);
    }
    std::uint32_t remaining = target_cycles - event_cycles;
    while (remaining != 0) {
        const std::uint32_t chunk = std::min(remaining, maximum_plain_delay_advance);
        words.push(plain_delay_for(chunk));
        event_cycles += chunk;
        remaining -= chunk;
    }
    return {};
}

// `append_plain_delay_aligned`.
template <class Sink>
Result<void> append_plain_delay_aligned_to(Sink& words, std::uint32_t& event_cycles, std::uint32_t target_cycles,
                                           std::size_t word_parity) {
    if (target_cycles < event_cycles) {
        return schedule_failure(reason::plan_delay_order);
    }
    // A parity other than 0 or 1 can never be met.
    if (word_parity > 1) {
        return schedule_failure(reason::sendpicp_instruction_alignment);
    }
    const std::uint32_t distance = target_cycles - event_cycles;
    if (distance == 0) {
        return words.len() % 2 == word_parity ? Result<void>{}
                                              : schedule_failure(reason::sendpicp_instruction_alignment);
    }
    const std::uint32_t minimum_words =
        distance / maximum_plain_delay_advance + (distance % maximum_plain_delay_advance != 0 ? 1u : 0u);
    const std::uint32_t delay_words = minimum_words + ((words.len() + minimum_words) % 2 != word_parity ? 1u : 0u);
    if (delay_words > distance) {
        return schedule_failure(reason::sendpicp_instruction_alignment);
    }
    // Each word takes as much as it can while leaving one cycle for every word
    // still to come, so an extra word for parity is the short last one.
    std::uint32_t remaining = distance;
    for (std::uint32_t remaining_words = delay_words; remaining_words > 0; --remaining_words) {
        const std::uint32_t chunk = std::min(maximum_plain_delay_advance, remaining - (remaining_words - 1u));
        words.push(plain_delay_for(chunk));
        event_cycles += chunk;
        remaining -= chunk;
    }
    if (remaining != 0 || words.len() % 2 != word_parity) {
        invariant_failure("aligned plain delay meets its target and parity");
    }
    return {};
}

// A SENDPICP pair never holds its controls for longer than this.
inline constexpr std::uint32_t maximum_send_control_pair_cycles = send_control_pair_word::count_minus_one.max() + 1u;

// A Pointer/ordinary pair on one cycle: the SENDPICP instruction starts a cycle
// early and holds up to `next_start`, at most 64 cycles.
template <class Sink>
Result<void> encode_pair_group(Sink& words, std::uint32_t& event_cycles, std::span<const ReceiveEvent> group,
                               std::uint32_t next_start, bool align_control_pairs) {
    const std::uint32_t cycles = group.front().cycles;
    if (cycles == 0) {
        return schedule_failure(reason::receive_control_at_phase_entry);
    }
    const std::uint32_t instruction_start = cycles - 1u;
    const auto filled = align_control_pairs ? append_plain_delay_aligned_to(words, event_cycles, instruction_start, 0)
                                            : append_plain_delay_to(words, event_cycles, instruction_start);
    if (!filled) {
        return filled;
    }
    if (next_start < event_cycles) {
        return schedule_failure(reason::receive_control_order);
    }
    const std::uint32_t advance = std::min(next_start - event_cycles, maximum_send_control_pair_cycles);
    if (advance == 0) {
        return schedule_failure(reason::empty_sendpicp_interval);
    }
    const auto pair = encode_send_control_pair(advance - 1u, 0, 0, group);
    if (!pair) {
        return std::unexpected(pair.error());
    }
    words.push(pair->first);
    words.push(pair->second);
    event_cycles += advance;
    return {};
}

// A lone event becomes its own timed word ending exactly on its cycle, with plain
// delays in front where the gap exceeds what the word can carry.
template <class Sink>
Result<void> encode_single_event(Sink& words, std::uint32_t& event_cycles, const ReceiveEvent& event) {
    if (event.cycles < event_cycles) {
        return schedule_failure(reason::receive_event_order);
    }
    if (event.cycles == event_cycles) {
        return schedule_failure(reason::receive_control_issue_interval);
    }
    const auto maximum_advance = maximum_timed_instruction_advance(event.instruction);
    if (!maximum_advance) {
        return schedule_failure(reason::receive_timed_event);
    }
    if (event.cycles - event_cycles > *maximum_advance) {
        if (auto filled = append_plain_delay_to(words, event_cycles, event.cycles - *maximum_advance); !filled) {
            return filled;
        }
    }
    std::uint32_t instruction = event.instruction;
    if (auto advanced = set_instruction_advance(instruction, event.cycles - event_cycles); !advanced) {
        return advanced;
    }
    words.push(instruction);
    event_cycles = event.cycles;
    return {};
}

// A progress record that keeps nothing.
struct IgnoreProgress {
    void operator()(const ReceiveEncodingProgress&) const noexcept {}
};

// `append_receive_events_record`.
template <class Sink, class Record>
Result<void> append_receive_events_to(Sink& words, std::uint32_t& event_cycles, std::span<const ReceiveEvent> events,
                                      std::uint32_t horizon_cycles, bool align_control_pairs, const Record& record) {
    for (std::size_t cursor = 0; cursor < events.size();) {
        const std::size_t end = cursor + receive_event_group_size(events, cursor);
        const auto group = events.subspan(cursor, end - cursor);
        std::uint32_t next_start = horizon_cycles;
        if (end < events.size()) {
            next_start = events[end].cycles == 0 ? 0u : events[end].cycles - 1u;
        }
        ReceiveEncodingProgress progress;
        if (group.size() == 2) {
            if (auto encoded = encode_pair_group(words, event_cycles, group, next_start, align_control_pairs);
                !encoded) {
                return encoded;
            }
            progress.next_start = next_start;
        } else if (group.size() == 1) {
            if (auto encoded = encode_single_event(words, event_cycles, group.front()); !encoded) {
                return encoded;
            }
        } else {
            // No instruction issues three controls at once; encoding only the first
            // would silently drop the others.
            return schedule_failure(reason::incompatible_simultaneous_receive_controls);
        }
        cursor = end;
        progress.events_done = end;
        progress.words = words.len();
        progress.event_cycles = event_cycles;
        record(progress);
    }
    return append_plain_delay_to(words, event_cycles, horizon_cycles);
}

}  // namespace vorl_exchange::detail
