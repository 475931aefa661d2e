// Arbitrary receive-event lists on arbitrary starting sinks: the encoder and its
// recording form agree, fail only for the documented reasons, and on success put
// every control exactly on its event's cycle.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "vorl_exchange/delay_padding.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/receive_encoding.hpp"

using namespace vorl_exchange;
using vorl_fuzz::require;

namespace {

constexpr ScheduleReason encoder_reasons[] = {
    reason::receive_control_at_phase_entry,
    reason::receive_control_order,
    reason::empty_sendpicp_interval,
    reason::receive_event_order,
    reason::receive_control_issue_interval,
    reason::receive_timed_event,
    reason::incompatible_simultaneous_receive_controls,
    reason::sendpicp_operand,
    reason::sendpicp_pic_control,
    reason::sendpicp_xpic_control,
    reason::sendpicp_event_time,
    reason::plan_delay_order,
    reason::sendpicp_instruction_alignment,
};

bool documented_failure(const ExchangeError& error) {
    const ErrorText shown = error.display();
    const std::string_view text = shown.view();
    return std::ranges::any_of(encoder_reasons, [&](ScheduleReason why) {
        return text == "exchange schedule is not encodable: " + std::string{reason_text(why)};
    });
}

ReceiveEvent read_event(vorl_fuzz::ByteReader& input, std::uint32_t& cycle) {
    const std::uint8_t shape = input.u8();
    constexpr std::uint32_t gap_limits[] = {0, 2, 70, 200, 5000, 1100000};
    cycle = (shape & 0x80u) != 0 ? input.u32() : cycle + input.below_or_at(gap_limits[shape % std::size(gap_limits)]);
    const auto kind = static_cast<ReceiveEventKind>(input.below_or_at(6));
    const std::uint32_t control = input.u32();
    std::uint32_t instruction = control;
    if ((shape & 0x40u) == 0) {
        instruction = is_pic(kind) ? delay_pic(0, control >> 31, control) : delay_xpic(0, control >> 31, control);
    }
    return {cycle, instruction, kind};
}

struct Outcome {
    Result<void> result;
    std::vector<std::uint32_t> words;
    std::uint32_t event_cycles;
};

// Walks the appended words: plain delays, then for each group its timed word or
// SENDPICP pair, then plain delays up to the horizon.
void require_controls_on_their_cycles(const std::vector<std::uint32_t>& words, std::size_t prefill, std::uint32_t start,
                                      std::span<const ReceiveEvent> events, std::uint32_t horizon, bool aligned) {
    std::size_t index = prefill;
    std::uint64_t now = start;
    const auto skip_plain_delays = [&] {
        while (index < words.size() && is_plain_delay(words[index])) {
            now += decode(words[index++]).advance();
        }
    };
    for (std::size_t cursor = 0; cursor < events.size();) {
        const std::size_t group = receive_event_group_size(events, cursor);
        const ReceiveEvent& event = events[cursor];
        skip_plain_delays();
        require(index < words.size(), "every event has its word");
        const DecodedWord word = decode(words[index++]);
        if (group == 2) {
            const ReceiveEvent& pic_half = is_pic(event.kind) ? event : events[cursor + 1];
            const ReceiveEvent& xpic_half = is_pic(event.kind) ? events[cursor + 1] : event;
            require(word.family == WordFamily::SendControlPair, "a pair of events becomes a SENDPICP pair");
            require(!aligned || (index - 1) % 2 == 0, "an aligned SENDPICP instruction is on an even word");
            require(now + 1 == event.cycles, "a SENDPICP pair starts one cycle before its events");
            require(index < words.size() &&
                        words[index++] == (send_control_pair_payload::xpic_bits.place(xpic_half.instruction) |
                                           send_control_pair_payload::pic_bits.place(pic_half.instruction)),
                    "a SENDPICP payload carries both controls");
            now += word.count_minus_one + 1;
            const std::uint64_t next = cursor + 2 < events.size() ? events[cursor + 2].cycles - 1ull : horizon;
            require(now <= next, "a SENDPICP pair ends before the next control");
        } else {
            require(group == 1, "only single events and pairs are encoded");
            const DecodedWord control = decode(event.instruction);
            require(word.family == control.family && word.control == control.control && word.flag == control.flag,
                    "a single event becomes its own control word");
            now += word.advance();
            require(now == event.cycles, "a control word ends on its event's cycle");
        }
        cursor += group;
    }
    skip_plain_delays();
    require(index == words.size(), "nothing follows the delays up to the horizon");
    require(now == horizon, "the row ends on the horizon");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorl_fuzz::ByteReader input{{data, size}};
    const bool aligned = input.flag();
    std::vector<std::uint32_t> prefill(input.below_or_at(20));
    for (std::uint32_t& word : prefill) {
        word = input.u32();
    }
    const std::uint32_t start = input.flag() ? input.u32() : input.below_or_at(4);
    std::uint32_t cycle = start;
    std::vector<ReceiveEvent> events(input.below_or_at(12));
    for (ReceiveEvent& event : events) {
        event = read_event(input, cycle);
    }
    const std::uint32_t horizon = input.flag() ? input.u32() : cycle + input.below_or_at(1100000);

    const auto run = [&](auto&& append) {
        RowWords words;
        for (const std::uint32_t word : prefill) {
            words.push(word);
        }
        std::uint32_t event_cycles = start;
        auto result = append(words, event_cycles);
        return Outcome{result, words.to_vector(), event_cycles};
    };
    const Outcome plain = run([&](RowWords& words, std::uint32_t& event_cycles) {
        return append_receive_events(words, event_cycles, events, horizon, aligned);
    });
    std::vector<ReceiveEncodingProgress> progress;
    const Outcome recorded = run([&](RowWords& words, std::uint32_t& event_cycles) {
        return append_receive_events_record(words, event_cycles, events, horizon, aligned,
                                            [&](const ReceiveEncodingProgress& step) {
                                                require(step.words == words.len() && step.event_cycles == event_cycles,
                                                        "progress reports the sink as it is");
                                                progress.push_back(step);
                                            });
    });
    require(
        plain.result == recorded.result && plain.words == recorded.words && plain.event_cycles == recorded.event_cycles,
        "recording the progress does not change the encoding");
    require(std::ranges::is_sorted(progress, std::less{}, &ReceiveEncodingProgress::events_done),
            "progress moves forward");
    require(plain.words.size() >= prefill.size() && std::equal(prefill.begin(), prefill.end(), plain.words.begin()),
            "the words already in the sink stay");

    if (!plain.result) {
        require(documented_failure(plain.result.error()), "the encoder fails only for its documented reasons");
        require(!validate_receive_events(events) ||
                    plain.result.error() != ExchangeError::schedule(reason::incompatible_simultaneous_receive_controls),
                "a list that validates has no group the encoder cannot issue");
        return 0;
    }
    require(progress.empty() ? events.empty() : progress.back().events_done == events.size(),
            "a successful encoding reports every group");
    require(plain.event_cycles == horizon, "a successful encoding ends on the horizon");
    require_controls_on_their_cycles(plain.words, prefill.size(), start, events, horizon, aligned);
    return 0;
}
