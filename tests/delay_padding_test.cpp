// Plain delay padding, the advance field of timed words, and the word sink.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/delay_padding.hpp"

namespace {

using namespace vorl_exchange;
using Words = std::vector<std::uint32_t>;

constexpr std::uint32_t longest_delay = 0x40a7ffff;  // 524288 cycles
constexpr std::uint32_t shortest_delay = 0x40a00000;  // 1 cycle

// The reason of a failed result, "ok" on success.
std::string outcome(const Result<void>& result) {
    if (result) {
        return "ok";
    }
    return result.error().kind() == ErrorKind::Schedule ? std::string{reason_text(result.error().reason())}
                                                        : result.error().debug();
}

// A sink already holding `count` words that the padding must leave alone.
RowWords prefilled(std::size_t count) {
    RowWords words;
    for (std::size_t index = 0; index < count; ++index) {
        words.push(opening_word + static_cast<std::uint32_t>(index));
    }
    return words;
}

struct PaddingCase {
    std::size_t prefill;
    std::uint32_t event_cycles;
    std::uint32_t target;
    std::optional<std::size_t> parity;  // none: append_plain_delay
    std::string outcome;
    Words appended;
};

void check(const PaddingCase& c) {
    SCOPED_TRACE(testing::Message() << "prefill " << c.prefill << ", " << c.event_cycles << " -> " << c.target
                                    << ", parity " << (c.parity ? std::to_string(*c.parity) : "none"));
    RowWords words = prefilled(c.prefill);
    const Words before = words.to_vector();
    std::uint32_t event_cycles = c.event_cycles;
    const auto result = c.parity ? append_plain_delay_aligned(words, event_cycles, c.target, *c.parity)
                                 : append_plain_delay(words, event_cycles, c.target);
    ASSERT_EQ(outcome(result), c.outcome);
    Words after = words.to_vector();
    EXPECT_EQ(Words(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(c.prefill)), before);
    after.erase(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(c.prefill));
    EXPECT_EQ(after, c.appended);
    EXPECT_EQ(event_cycles, result ? c.target : c.event_cycles);
    if (result && c.parity) {
        EXPECT_EQ(words.len() % 2, *c.parity);
    }
}

TEST(AppendPlainDelay, FewestWordsLongestFirst) {
    const PaddingCase cases[] = {
        {0, 0, 0, {}, "ok", {}},
        {3, 10, 10, {}, "ok", {}},
        {0, 0, 5, {}, "ok", {delay(4)}},
        {1, 0, 524288, {}, "ok", {longest_delay}},
        {0, 0, 524289, {}, "ok", {longest_delay, shortest_delay}},
        {2, 100, 100 + 524293, {}, "ok", {longest_delay, delay(4)}},
        {0, 7, 7 + 2 * 524288 + 1, {}, "ok", {longest_delay, longest_delay, shortest_delay}},
        {2, 11, 10, {}, "plan delay order", {}},
        {0, 0xffffffff, 0, {}, "plan delay order", {}},
    };
    for (const PaddingCase& c : cases) {
        check(c);
    }
}

TEST(AppendPlainDelay, ReachesTheLastCycleWithoutOverflow) {
    RowWords words;
    std::uint32_t event_cycles = 0;
    ASSERT_TRUE(append_plain_delay(words, event_cycles, 0xffffffff));
    EXPECT_EQ(event_cycles, 0xffffffffu);
    ASSERT_EQ(words.len(), 8192u);
    EXPECT_EQ(words[8190], longest_delay);
    EXPECT_EQ(words[8191], delay(524286));
}

TEST(AppendPlainDelayAligned, MeetsTheWordParityWithAShortLastWord) {
    const PaddingCase cases[] = {
        {0, 0, 0, 0, "ok", {}},
        {1, 0, 0, 1, "ok", {}},
        {1, 0, 0, 0, "SENDPICP instruction alignment", {}},
        {2, 9, 9, 1, "SENDPICP instruction alignment", {}},
        {0, 0, 2, 0, "ok", {shortest_delay, shortest_delay}},
        {0, 0, 1, 0, "SENDPICP instruction alignment", {}},
        {1, 0, 1, 0, "ok", {shortest_delay}},
        {0, 0, 1, 1, "ok", {shortest_delay}},
        {0, 0, 5, 0, "ok", {delay(3), delay(0)}},
        {1, 0, 5, 0, "ok", {delay(4)}},
        {0, 0, 5, 1, "ok", {delay(4)}},
        {0, 20, 25, 0, "ok", {delay(3), delay(0)}},
        {0, 0, 524288, 0, "ok", {delay(524286), delay(0)}},
        {0, 0, 524289, 0, "ok", {longest_delay, delay(0)}},
        {1, 0, 524289, 0, "ok", {delay(524286), delay(0), delay(0)}},
        {0, 0, 524293, 0, "ok", {longest_delay, delay(4)}},
        {1, 0, 524293, 0, "ok", {longest_delay, delay(3), delay(0)}},
        {3, 0, 524293, 1, "ok", {longest_delay, delay(4)}},
        {2, 0, 524293, 1, "ok", {longest_delay, delay(3), delay(0)}},
        {0, 11, 10, 0, "plan delay order", {}},
        {1, 11, 10, 1, "plan delay order", {}},
    };
    for (const PaddingCase& c : cases) {
        check(c);
    }
}

TEST(SetInstructionAdvance, WritesAdvanceLessOneIntoTheField) {
    struct Case {
        std::uint32_t word;
        std::uint32_t advance;
        std::string outcome;
        std::uint32_t expected;  // the word after the call; unchanged on failure
    };
    const Case cases[] = {
        {delay(0x1234), 1, "ok", delay(0)},  // overwrites, does not add
        {delay(0), 524288, "ok", longest_delay},
        {delay(5), 524289, "delay advance overflow", delay(5)},
        {delay_pic(0, 1, 0x3ffff), 128, "ok", 0x63ffffff},
        {delay_pic(77, 0, 7), 1, "ok", delay_pic(0, 0, 7)},
        {delay_pic(3, 1, 9), 129, "PIC delay advance overflow", delay_pic(3, 1, 9)},
        {delay_xpic(0, 1, 0x1fff), 4096, "ok", 0x67ffffff},
        {delay_xpic(112, 0, 1600), 51, "ok", 0x640c8640},
        {delay_xpic(9, 0, 1), 4097, "XPIC delay advance overflow", delay_xpic(9, 0, 1)},
        {delay_xpic(9, 0, 1), 0xffffffff, "XPIC delay advance overflow", delay_xpic(9, 0, 1)},
        {0x78000001, 1, "scheduled offset truncates a send", 0x78000001},
        {send_off(4083, 1, 0), 5, "scheduled offset truncates a send", send_off(4083, 1, 0)},
        {0x70100000, 5, "scheduled offset truncates a send", 0x70100000},
        {0x77ffffff, 5, "scheduled offset truncates a send", 0x77ffffff},
        {0xf0000000, 5, "first scheduled event is not a delay", 0xf0000000},
        {opening_word, 5, "first scheduled event is not a delay", opening_word},
        {closing_word, 5, "first scheduled event is not a delay", closing_word},
        {0x00000000, 5, "first scheduled event is not a delay", 0x00000000},
        {delay(3), 0, "zero event advance", delay(3)},
        {0x78000001, 0, "zero event advance", 0x78000001},
        {0x00000000, 0, "zero event advance", 0x00000000},
    };
    for (const Case& c : cases) {
        std::uint32_t word = c.word;
        EXPECT_EQ(outcome(set_instruction_advance(word, c.advance)), c.outcome)
            << std::hex << "0x" << c.word << std::dec << " advance " << c.advance;
        EXPECT_EQ(word, c.expected) << std::hex << "0x" << c.word << std::dec << " advance " << c.advance;
    }
}

TEST(MaximumTimedInstructionAdvance, OnlyPicAndXpicDelaysAreTimedControls) {
    const std::pair<std::uint32_t, std::optional<std::uint32_t>> cases[] = {
        {delay_pic(0, 0, 0), 128},  {0x63ffffff, 128},          {delay_xpic(0, 0, 0), 4096},
        {0x67ffffff, 4096},         {delay(0), std::nullopt},   {0x78000001, std::nullopt},
        {0xf0000000, std::nullopt}, {0x68000000, std::nullopt}, {0, std::nullopt},
    };
    for (const auto& [word, maximum] : cases) {
        EXPECT_EQ(maximum_timed_instruction_advance(word), maximum) << std::hex << word;
    }
}

TEST(RowWordsSink, KeepsEveryWordInOrderPastItsInlineCapacity) {
    RowWords words;
    EXPECT_TRUE(words.empty());
    Words expected;
    for (std::uint32_t index = 0; index < 3 * RowWords::inline_capacity; index += 2) {
        words.push_pair(index * 7 + 1, index * 7 + 8);
        expected.push_back(index * 7 + 1);
        expected.push_back(index * 7 + 8);
    }
    words.push(0xffffffff);
    expected.push_back(0xffffffff);
    ASSERT_EQ(words.len(), expected.size());
    EXPECT_FALSE(words.empty());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(words[index], expected[index]) << index;
    }
    EXPECT_EQ(words.to_vector(), expected);
    const RowWords copy = words;
    EXPECT_EQ(copy.to_vector(), expected);
    std::uint32_t head[20] = {};
    EXPECT_EQ(words.copy_to(head), 20u);
    EXPECT_EQ(Words(head, head + 20), Words(expected.begin(), expected.begin() + 20));
}

}  // namespace
