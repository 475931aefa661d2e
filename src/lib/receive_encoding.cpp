#include "vorl_exchange/receive_encoding.hpp"

#include <algorithm>

#include "receive_steps.hpp"
#include "vorl_exchange/delay_padding.hpp"
#include "vorl_exchange/instruction_words.hpp"

namespace vorl_exchange {

namespace {

// A SENDPICP pair never holds its controls for longer than this.
constexpr std::uint32_t maximum_send_control_pair_cycles = send_control_pair_word::count_minus_one.max() + 1u;

Result<void> schedule_error(ScheduleReason why) { return std::unexpected(ExchangeError::schedule(why)); }

// A Pointer/ordinary pair on one cycle: the SENDPICP instruction starts a cycle
// early and holds up to `next_start`, at most 64 cycles.
Result<void> encode_pair_group(RowWords& words, std::uint32_t& event_cycles, std::span<const ReceiveEvent> group,
                               std::uint32_t next_start, bool align_control_pairs) {
    const std::uint32_t cycles = group.front().cycles;
    if (cycles == 0) {
        return schedule_error(reason::receive_control_at_phase_entry);
    }
    const std::uint32_t instruction_start = cycles - 1u;
    const auto filled = align_control_pairs ? append_plain_delay_aligned(words, event_cycles, instruction_start, 0)
                                            : append_plain_delay(words, event_cycles, instruction_start);
    if (!filled) {
        return filled;
    }
    if (next_start < event_cycles) {
        return schedule_error(reason::receive_control_order);
    }
    const std::uint32_t advance = std::min(next_start - event_cycles, maximum_send_control_pair_cycles);
    if (advance == 0) {
        return schedule_error(reason::empty_sendpicp_interval);
    }
    const auto pair = encode_send_control_pair(advance - 1u, 0, 0, group);
    if (!pair) {
        return std::unexpected(pair.error());
    }
    words.push_pair(pair->first, pair->second);
    event_cycles += advance;
    return {};
}

}  // namespace

Result<void> append_receive_events_record(RowWords& words, std::uint32_t& event_cycles,
                                          std::span<const ReceiveEvent> events, std::uint32_t horizon_cycles,
                                          bool align_control_pairs, ReceiveEncodingRecord record) {
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
            const ReceiveEvent& event = group.front();
            if (auto encoded = detail::append_single_control(words, event_cycles, event.cycles, event.instruction);
                !encoded) {
                return encoded;
            }
        } else {
            // No instruction issues three controls at once; encoding only the first
            // would silently drop the others.
            return schedule_error(reason::incompatible_simultaneous_receive_controls);
        }
        cursor = end;
        progress.events_done = end;
        progress.words = words.len();
        progress.event_cycles = event_cycles;
        record(progress);
    }
    return append_plain_delay(words, event_cycles, horizon_cycles);
}

Result<void> append_receive_events(RowWords& words, std::uint32_t& event_cycles, std::span<const ReceiveEvent> events,
                                   std::uint32_t horizon_cycles, bool align_control_pairs) {
    auto ignore = [](const ReceiveEncodingProgress&) {};
    return append_receive_events_record(words, event_cycles, events, horizon_cycles, align_control_pairs, ignore);
}

Result<std::pair<std::uint32_t, std::uint32_t>> encode_send_control_pair(
    std::uint32_t count_minus_one, std::uint32_t source_word_address, std::uint32_t send_control,
    std::span<const ReceiveEvent> events) noexcept {
    using namespace send_control_pair_word;
    if (count_minus_one > send_control_pair_word::count_minus_one.max() ||
        source_word_address > send_control_pair_word::source_word_address.max() || send_control > control.max() ||
        events.size() != 2) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_operand));
    }
    const auto pic = std::ranges::find_if(events, [](const ReceiveEvent& e) { return is_pic(e.kind); });
    if (pic == events.end()) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_pic_control));
    }
    const auto xpic = std::ranges::find_if(events, [](const ReceiveEvent& e) { return is_xpic(e.kind); });
    if (xpic == events.end()) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_xpic_control));
    }
    if (pic->cycles != xpic->cycles) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_event_time));
    }
    const std::uint32_t instruction =
        opcode.value | pointer_selector.place(pic_delay_word::flag.get(pic->instruction)) |
        send_control_pair_word::count_minus_one.place(count_minus_one) |
        send_control_pair_word::source_word_address.place(source_word_address) | control.place(send_control);
    const std::uint32_t payload = send_control_pair_payload::xpic_bits.place(xpic->instruction) |
                                  send_control_pair_payload::pic_bits.place(pic->instruction);
    return std::pair{instruction, payload};
}

}  // namespace vorl_exchange
