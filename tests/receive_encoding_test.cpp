// Encoding receive events into timed row words.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/delay_padding.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/receive_encoding.hpp"

namespace {

using namespace vorl_exchange;
using enum ReceiveEventKind;
using Words = std::vector<std::uint32_t>;
using Events = std::vector<ReceiveEvent>;

constexpr ReceiveEventKind all_pic[] = {PairedPointer, Pointer, Format};

std::string outcome(const Result<void>& result) {
    if (result) {
        return "ok";
    }
    return result.error().kind() == ErrorKind::Schedule ? std::string{reason_text(result.error().reason())}
                                                        : result.error().debug();
}

ReceiveEvent pic(std::uint32_t cycles, ReceiveEventKind kind = Format) {
    return {cycles, delay_pic(0, 0, 0x155), kind};
}
ReceiveEvent xpic(std::uint32_t cycles, ReceiveEventKind kind = PairedSource, std::uint32_t control = 0xaa) {
    return {cycles, delay_xpic(0, 0, control), kind};
}
// The two halves of a shareable pair, with control values whose payload is known.
ReceiveEvent pointer(std::uint32_t cycles) { return {cycles, delay_pic(0, 0, 0x2a5a5), Pointer}; }
ReceiveEvent source(std::uint32_t cycles) { return {cycles, delay_xpic(0, 1, 0x1555), OrdinarySource}; }
constexpr std::uint32_t pair_payload = 0xd556a5a5;  // XPIC bits 0x3555 << 18 | PIC bits 0x2a5a5
constexpr std::uint32_t pair_instruction(std::uint32_t count_minus_one) { return 0xf0000000 | count_minus_one << 21; }

struct Encoded {
    Result<void> result;
    Words words;  // the whole sink, prefill included
    std::uint32_t event_cycles;
};

Encoded encode(const Events& events, std::uint32_t horizon, std::uint32_t start = 0, std::size_t prefill = 0,
               bool align = false) {
    RowWords words;
    for (std::size_t index = 0; index < prefill; ++index) {
        words.push(opening_word);
    }
    std::uint32_t event_cycles = start;
    const auto result = append_receive_events(words, event_cycles, events, horizon, align);
    return {result, words.to_vector(), event_cycles};
}

TEST(AppendReceiveEvents, Examples) {
    struct Case {
        const char* name;
        Events events;
        std::uint32_t horizon;
        std::uint32_t start;
        std::size_t prefill;
        bool align;
        std::string outcome;
        Words appended;  // checked on success
    };
    const Case cases[] = {
        {"empty list", {}, 7, 0, 0, false, "ok", {0x40a00006}},
        {"empty list at the horizon", {}, 7, 7, 0, false, "ok", {}},
        {"XPIC bridged by a plain delay",
         {xpic(5000, PairedSource, 1600)},
         5007,
         0,
         0,
         false,
         "ok",
         {delay(903), delay_xpic(4095, 0, 1600), delay(6)}},
        {"XPIC at its largest advance", {xpic(4096)}, 4096, 0, 0, false, "ok", {delay_xpic(4095, 0, 0xaa)}},
        {"PIC at its largest advance", {pic(128)}, 128, 0, 0, false, "ok", {delay_pic(127, 0, 0x155)}},
        {"PIC one cycle further", {pic(129)}, 129, 0, 0, false, "ok", {delay(0), delay_pic(127, 0, 0x155)}},
        {"singles back to back",
         {pic(1), xpic(2), pic(3, PairedPointer)},
         3,
         0,
         2,
         false,
         "ok",
         {delay_pic(0, 0, 0x155), delay_xpic(0, 0, 0xaa), delay_pic(0, 0, 0x155)}},
        {"single on the first cycle", {pic(0)}, 5, 0, 0, false, "receive control issue interval", {}},
        {"single on the current cycle", {pic(100)}, 200, 100, 0, false, "receive control issue interval", {}},
        {"single before the current cycle", {pic(99)}, 200, 100, 0, false, "receive event order", {}},
        {"unsorted singles", {pic(10), xpic(5)}, 20, 0, 0, false, "receive event order", {}},
        {"single after the horizon", {pic(50)}, 40, 0, 0, false, "plan delay order", {}},
        {"empty list past the horizon", {}, 40, 50, 0, false, "plan delay order", {}},
        {"plain delay as an event", {{5, delay(0), Format}}, 9, 0, 0, false, "receive timed event", {}},
        {"send word as an event", {{5, 0x78000001, PairedSource}}, 9, 0, 0, false, "receive timed event", {}},
        {"pair at phase entry", {pointer(0), source(0)}, 10, 0, 0, false, "receive control at phase entry", {}},
        {"pair held for 64 cycles",
         {pointer(10), source(10)},
         110,
         0,
         0,
         false,
         "ok",
         {delay(8), pair_instruction(63), pair_payload, delay(36)}},
        {"pair held up to the horizon",
         {source(10), pointer(10)},
         10,
         0,
         0,
         false,
         "ok",
         {delay(8), pair_instruction(0), pair_payload}},
        {"pair ending on its start", {pointer(10), source(10)}, 9, 0, 0, false, "empty SENDPICP interval", {}},
        {"pair after the horizon", {pointer(10), source(10)}, 8, 0, 0, false, "receive control order", {}},
        {"pair before an event on cycle 0",
         {pointer(10), source(10), pic(0)},
         20,
         0,
         0,
         false,
         "receive control order",
         {}},
        {"pairs on 10 and 12",
         {pointer(10), source(10), pointer(12), source(12)},
         20,
         0,
         0,
         false,
         "ok",
         {delay(8), pair_instruction(1), pair_payload, pair_instruction(8), pair_payload}},
        {"pair on cycle 1",
         {pointer(1), source(1)},
         65,
         0,
         0,
         false,
         "ok",
         {pair_instruction(63), pair_payload, delay(0)}},
        {"single after a pair cut at 64",
         {pointer(10), source(10), pic(300)},
         300,
         0,
         0,
         false,
         "ok",
         {delay(8), pair_instruction(63), pair_payload, delay(98), delay_pic(127, 0, 0x155)}},
        {"pair right after a single",
         {pic(9), pointer(10), source(10)},
         10,
         0,
         0,
         false,
         "ok",
         {delay_pic(8, 0, 0x155), pair_instruction(0), pair_payload}},
        {"three on a cycle",
         {pointer(10), source(10), xpic(10, OrdinaryNeutral)},
         20,
         0,
         0,
         false,
         "incompatible simultaneous receive controls",
         {}},
        {"two PIC controls on a cycle", {pointer(10), pic(10)}, 20, 0, 0, false, "SENDPICP XPIC control", {}},
        {"two XPIC controls on a cycle", {source(10), xpic(10)}, 20, 0, 0, false, "SENDPICP PIC control", {}},
        {"aligned from an even count",
         {pointer(10), source(10)},
         20,
         0,
         0,
         true,
         "ok",
         {delay(7), delay(0), pair_instruction(10), pair_payload}},
        {"aligned from an odd count",
         {pointer(10), source(10)},
         20,
         0,
         1,
         true,
         "ok",
         {delay(8), pair_instruction(10), pair_payload}},
        {"aligned with nothing to fill",
         {pointer(1), source(1)},
         1,
         0,
         0,
         true,
         "ok",
         {pair_instruction(0), pair_payload}},
        {"aligned, odd count, nothing to fill",
         {pointer(1), source(1)},
         1,
         0,
         1,
         true,
         "SENDPICP instruction alignment",
         {}},
        {"aligned, one cycle for two words",
         {pointer(2), source(2)},
         2,
         0,
         0,
         true,
         "SENDPICP instruction alignment",
         {}},
        {"aligned leaves singles alone", {pic(5)}, 5, 0, 1, true, "ok", {delay_pic(4, 0, 0x155)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Encoded encoded = encode(c.events, c.horizon, c.start, c.prefill, c.align);
        ASSERT_EQ(outcome(encoded.result), c.outcome);
        if (!encoded.result) {
            continue;
        }
        EXPECT_EQ(encoded.event_cycles, c.horizon);
        EXPECT_EQ(Words(encoded.words.begin() + static_cast<std::ptrdiff_t>(c.prefill), encoded.words.end()),
                  c.appended);
        for (std::size_t index = c.prefill; index < encoded.words.size(); ++index) {
            if (decode(encoded.words[index]).family == WordFamily::SendControlPair) {
                EXPECT_TRUE(!c.align || index % 2 == 0) << "SENDPICP at index " << index;
                ++index;  // its payload
            }
        }
    }
}

TEST(AppendReceiveEvents, RecordSeesTheProgressAfterEachGroup) {
    const Events events = {pic(5), pointer(10), source(10), xpic(5000)};
    std::vector<ReceiveEncodingProgress> seen;
    auto record = [&](const ReceiveEncodingProgress& progress) { seen.push_back(progress); };
    RowWords words;
    std::uint32_t event_cycles = 0;
    ASSERT_TRUE(append_receive_events_record(words, event_cycles, events, 6000, false, record));
    // The pair starts at 9 after delay(3) and holds 64 cycles, to 73; the XPIC
    // word then needs delay(830) to come within its 4096 cycles of 5000.
    ASSERT_EQ(seen.size(), 3u);
    const std::tuple<std::size_t, std::size_t, std::uint32_t, std::optional<std::uint32_t>> expected[] = {
        {1, 1, 5, std::nullopt}, {3, 4, 73, 4999}, {4, 6, 5000, std::nullopt}};
    for (std::size_t index = 0; index < seen.size(); ++index) {
        const auto& [done, count, cycles, next_start] = expected[index];
        EXPECT_EQ(seen[index].events_done, done) << index;
        EXPECT_EQ(seen[index].words, count) << index;
        EXPECT_EQ(seen[index].event_cycles, cycles) << index;
        EXPECT_EQ(seen[index].next_start, next_start) << index;
    }
    EXPECT_EQ(words.to_vector(), (Words{delay_pic(4, 0, 0x155), delay(3), pair_instruction(63), pair_payload,
                                        delay(830), delay_xpic(4095, 0, 0xaa), delay(999)}));

    seen.clear();
    event_cycles = 0;
    RowWords failing;
    const Events unsorted = {pic(5), pic(3)};
    EXPECT_EQ(outcome(append_receive_events_record(failing, event_cycles, unsorted, 10, false, record)),
              "receive event order");
    EXPECT_EQ(seen.size(), 1u);  // nothing is recorded for the failing group
}

TEST(EncodeSendControlPair, OperandsAndWords) {
    struct Case {
        const char* name;
        std::uint32_t count_minus_one, address, control;
        Events events;
        std::string outcome;
        std::uint32_t instruction, payload;
    };
    // Advance fields and the XPIC flag must not leak into the instruction word.
    const ReceiveEvent flagged_pointer{3, delay_pic(0x55, 1, 0x2a5a5), Pointer};
    const ReceiveEvent busy_source{3, delay_xpic(0xabc, 1, 0x1555), OrdinaryNeutral};
    const Case cases[] = {
        {"fields", 5, 0x123, 2, {pointer(3), source(3)}, "ok", 0xf0a0091a, pair_payload},
        {"every field full, XPIC first",
         63,
         0x3ffff,
         7,
         {busy_source, flagged_pointer},
         "ok",
         0xffffffff,
         pair_payload},
        {"pointer selector only", 0, 0, 0, {flagged_pointer, source(3)}, "ok", 0xf8000000, pair_payload},
        {"two formats", 0, 0, 0, {pic(3), pic(3)}, "SENDPICP XPIC control", 0, 0},
        {"two XPIC kinds", 0, 0, 0, {source(3), xpic(3)}, "SENDPICP PIC control", 0, 0},
        {"three events", 0, 0, 0, {pointer(3), source(3), xpic(3)}, "SENDPICP operand", 0, 0},
        {"one event", 0, 0, 0, {pointer(3)}, "SENDPICP operand", 0, 0},
        {"no events", 0, 0, 0, {}, "SENDPICP operand", 0, 0},
        {"count 65", 64, 0, 0, {pointer(3), source(3)}, "SENDPICP operand", 0, 0},
        {"address", 0, 0x40000, 0, {pointer(3), source(3)}, "SENDPICP operand", 0, 0},
        {"control", 0, 0, 8, {pointer(3), source(3)}, "SENDPICP operand", 0, 0},
        {"operands before kinds", 64, 0, 0, {pic(3), pic(3)}, "SENDPICP operand", 0, 0},
        {"different cycles", 0, 0, 0, {pointer(3), source(4)}, "SENDPICP event time", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pair = encode_send_control_pair(c.count_minus_one, c.address, c.control, c.events);
        if (!pair) {
            EXPECT_EQ(reason_text(pair.error().reason()), c.outcome);
            continue;
        }
        EXPECT_EQ(c.outcome, "ok");
        EXPECT_EQ(pair->first, c.instruction) << std::hex << pair->first;
        EXPECT_EQ(pair->second, c.payload) << std::hex << pair->second;
    }
}

// Random sorted event lists on distinct cycles, singles and shareable pairs.
// Walking the appended words and adding up their cycles must put every timed
// control exactly on its event, every SENDPICP instruction one cycle before its
// events, and the end of the row on the horizon.
TEST(AppendReceiveEvents, RandomListsLandEveryControlOnItsCycle) {
    std::uint64_t seed = 0x7e11;
    if (const char* text = std::getenv("VORL_TEST_SEED")) {
        seed = std::strtoull(text, nullptr, 0);
    }
    std::cout << "receive encoding property seed " << seed << " (set VORL_TEST_SEED to repeat)\n";
    std::mt19937_64 random{seed};
    const auto below = [&](std::uint64_t limit) { return static_cast<std::uint32_t>(random() % limit); };
    const std::uint32_t gap_limits[] = {3, 70, 200, 5000, 1100000};
    const auto chunks = [](std::uint32_t cycles, std::uint32_t per_word) { return (cycles + per_word - 1) / per_word; };

    for (int trial = 0; trial < 3000; ++trial) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", trial " << trial);
        const std::uint32_t start = below(4);
        std::uint32_t cycle = start;
        Events events;
        const std::uint32_t groups = below(10);
        for (std::uint32_t group = 0; group < groups; ++group) {
            cycle += 1 + below(gap_limits[below(std::size(gap_limits))]);
            const std::uint32_t control = below(0x40000);
            switch (below(3)) {
                case 0: events.push_back({cycle, delay_pic(0, below(2), control), all_pic[below(3)]}); break;
                case 1:
                    events.push_back(
                        {cycle, delay_xpic(0, below(2), control & 0x1fff), static_cast<ReceiveEventKind>(below(4))});
                    break;
                default: {
                    const ReceiveEvent pic_half{cycle, delay_pic(0, below(2), control), Pointer};
                    const ReceiveEvent xpic_half{cycle, delay_xpic(0, below(2), control >> 5),
                                                 below(2) == 0 ? OrdinarySource : OrdinaryNeutral};
                    events.push_back(below(2) == 0 ? pic_half : xpic_half);
                    events.push_back(events.back().kind == Pointer ? xpic_half : pic_half);
                }
            }
        }
        const std::uint32_t horizon = cycle + (below(2) == 0 ? 0 : below(gap_limits[below(std::size(gap_limits))]));
        ASSERT_TRUE(validate_receive_events(events));
        const std::size_t prefill = below(3);
        const Encoded encoded = encode(events, horizon, start, prefill);
        ASSERT_EQ(outcome(encoded.result), "ok");
        ASSERT_EQ(encoded.event_cycles, horizon);

        const Words& words = encoded.words;
        std::size_t index = prefill;
        std::uint32_t now = start;
        // Plain delays in front of the next control word, and the cycles they cover.
        const auto skip_plain_delays = [&] {
            std::uint32_t count = 0;
            while (index < words.size() && is_plain_delay(words[index])) {
                now += decode(words[index++]).advance();
                ++count;
            }
            return count;
        };
        for (std::size_t cursor = 0; cursor < events.size();) {
            const ReceiveEvent& event = events[cursor];
            const std::uint32_t from = now;
            const bool pair = cursor + 1 < events.size() && events[cursor + 1].cycles == event.cycles;
            const std::uint32_t plain = skip_plain_delays();
            ASSERT_LT(index, words.size());
            const DecodedWord word = decode(words[index++]);
            if (pair) {
                const ReceiveEvent& pic_half = event.kind == Pointer ? event : events[cursor + 1];
                const ReceiveEvent& xpic_half = event.kind == Pointer ? events[cursor + 1] : event;
                ASSERT_EQ(word.family, WordFamily::SendControlPair);
                ASSERT_EQ(now, event.cycles - 1);
                ASSERT_EQ(plain, chunks(event.cycles - 1 - from, maximum_plain_delay_advance));
                const std::uint32_t hold_until = cursor + 2 < events.size() ? events[cursor + 2].cycles - 1 : horizon;
                ASSERT_EQ(word.count_minus_one + 1, std::min(hold_until - now, 64u));
                ASSERT_EQ(word.flag, pic_delay_word::flag.get(pic_half.instruction));
                ASSERT_LT(index, words.size());
                ASSERT_EQ(words[index++], (xpic_half.instruction & 0x3fff) << 18 | (pic_half.instruction & 0x3ffff));
                now += word.count_minus_one + 1;
                cursor += 2;
                continue;
            }
            const std::uint32_t maximum = is_pic(event.kind) ? 128 : 4096;
            ASSERT_EQ(word.family, is_pic(event.kind) ? WordFamily::PicDelay : WordFamily::XpicDelay);
            ASSERT_EQ(decode(event.instruction).control, word.control);
            ASSERT_EQ(decode(event.instruction).flag, word.flag);
            now += word.advance();
            ASSERT_EQ(now, event.cycles);
            const std::uint32_t gap = event.cycles - from;
            ASSERT_EQ(plain, gap > maximum ? chunks(gap - maximum, maximum_plain_delay_advance) : 0u);
            ASSERT_TRUE(plain == 0 || word.advance() == maximum);
            ++cursor;
        }
        const std::uint32_t from = now;
        ASSERT_EQ(skip_plain_delays(), chunks(horizon - from, maximum_plain_delay_advance));
        ASSERT_EQ(index, words.size());
        ASSERT_EQ(now, horizon);
    }
}

}  // namespace
