// Encoders, predicates and the decoder of the 32-bit exchange instruction words.
#include <cstdint>
#include <ostream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/receive_encoding.hpp"

namespace vorl_exchange {
void PrintTo(const DecodedWord& decoded, std::ostream* out) { *out << describe(decoded); }
}  // namespace vorl_exchange

namespace {

using namespace vorl_exchange;

static_assert(*encode_send(0, 1, 0) == 0x78000001);
static_assert(!encode_send(64, 1, 0).has_value());
static_assert(BitField{0, 32}.max() == 0xffffffffu && BitField{0, 32}.mask() == 0xffffffffu);  // a whole word
static_assert(send_off(4083, 1, 0) == 0x766fc001);
static_assert(delay(0x80000) == 0x40a00000);
static_assert(delay_pic(51, 0, 0) == 0x61980000);
static_assert(delay_xpic(112, 0, 0) == 0x641c0000);
static_assert(decode(delay_xpic(4095, 1, 5)).advance() == 4096);

TEST(InstructionWords, EncoderGoldenTable) {
    struct Case {
        const char* call;
        std::uint32_t word;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"encode_send(0, 1, 0)", encode_send(0, 1, 0).value(), 0x78000001},
        {"encode_send(63, 2, 0)", encode_send(63, 2, 0).value(), 0x7fe00002},
        {"encode_send(63, 7, 0x3ffff)", encode_send(63, 7, 0x3ffff).value(), 0x7fffffff},
        {"encode_send(0, 0, 1)", encode_send(0, 0, 1).value(), 0x78000008},
        {"send_off(0, 1, 0)", send_off(0, 1, 0), 0x70000001},
        {"send_off(4083, 1, 0)", send_off(4083, 1, 0), 0x766fc001},
        {"send_off(4095, 7, 0x7ff)", send_off(4095, 7, 0x7ff), 0x77efffff},
        {"send_off(4096, 8, 0x800)", send_off(4096, 8, 0x800), 0x70000000},
        {"delay(0)", delay(0), 0x40a00000},
        {"delay(0x7ffff)", delay(0x7ffff), 0x40a7ffff},
        {"delay(0x80000)", delay(0x80000), 0x40a00000},
        {"encode_exchange_delay(142)", encode_exchange_delay(142), 0x40a0008e},
        {"delay_xpic(112, 0, 0)", delay_xpic(112, 0, 0), 0x641c0000},
        {"delay_xpic(50, 0, 1600)", delay_xpic(50, 0, 1600), 0x640c8640},
        {"delay_xpic(4095, 0, 1600)", delay_xpic(4095, 0, 1600), 0x67ffc640},
        {"delay_xpic(0, 1, 0x1fff)", delay_xpic(0, 1, 0x1fff), 0x64003fff},
        {"delay_xpic(4096, 2, 0x2000)", delay_xpic(4096, 2, 0x2000), 0x64000000},
        {"encode_exchange_delay_xpic(1, 0, 0)", encode_exchange_delay_xpic(1, 0, 0), 0x64004000},
        {"delay_pic(51, 0, 0)", delay_pic(51, 0, 0), 0x61980000},
        {"delay_pic(127, 1, 0x3ffff)", delay_pic(127, 1, 0x3ffff), 0x63ffffff},
        {"delay_pic(128, 0, 0)", delay_pic(128, 0, 0), 0x60000000},
        {"delay_pic(0, 3, 0x40000)", delay_pic(0, 3, 0x40000), 0x60040000},
        {"encode_exchange_delay_pic(1, 0, 0)", encode_exchange_delay_pic(1, 0, 0), 0x60080000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.word, c.expected) << c.call << std::hex << ": 0x" << c.word << " != 0x" << c.expected;
    }
}

TEST(InstructionWords, EncodeSendRejectsOperandsBeyondTheirFields) {
    const std::uint32_t operands[][3] = {{64, 1, 0}, {0, 8, 0}, {0, 1, 0x40000}, {0xffffffff, 0, 0}};
    for (const auto& o : operands) {
        const auto word = encode_send(o[0], o[1], o[2]);
        ASSERT_FALSE(word.has_value()) << o[0] << ", " << o[1] << ", " << o[2];
        EXPECT_EQ(reason_text(word.error().reason()), "send instruction operand");
    }
}

TEST(InstructionWords, Predicates) {
    struct Case {
        std::uint32_t word;
        bool payload_send, send_off, send_control, control_pair;
    };
    const Case cases[] = {
        {0x78000001, true, false, false, false},   // send
        {0x7fffffff, true, false, false, false},   // send, every field full
        {0x70000000, true, true, false, false},    // send-off
        {0x77efffff, true, true, false, false},    // send-off, every field full
        {0x70100000, false, false, true, false},   // send-control: bit 20
        {0x77ffffff, false, false, true, false},
        {0xf0000000, false, false, false, true},   // SENDPICP instruction
        {0xffffffff, false, false, false, true},
        {0xf8000000, false, false, false, true},
        {0x68000000, false, false, false, false},
        {0x40a00000, false, false, false, false},  // delays, opening and closing words
        {0x60000000, false, false, false, false},
        {0x67ffffff, false, false, false, false},
        {opening_word, false, false, false, false},
        {closing_word, false, false, false, false},
        {0x00000000, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "0x" << c.word);
        EXPECT_EQ(is_payload_send(c.word), c.payload_send);
        EXPECT_EQ(is_send_off(c.word), c.send_off);
        EXPECT_EQ(is_send_control(c.word), c.send_control);
        EXPECT_EQ(is_send_control_pair(c.word), c.control_pair);
    }
    // The delay families are exactly these ranges of words.
    const struct {
        std::uint32_t first, last;
        bool (*holds)(std::uint32_t);
    } ranges[] = {{0x40a00000, 0x40a7ffff, is_plain_delay},
                  {0x60000000, 0x63ffffff, is_pic_delay},
                  {0x64000000, 0x67ffffff, is_xpic_delay}};
    for (const auto& range : ranges) {
        EXPECT_FALSE(range.holds(range.first - 1)) << std::hex << range.first;
        EXPECT_TRUE(range.holds(range.first)) << std::hex << range.first;
        EXPECT_TRUE(range.holds(range.last)) << std::hex << range.last;
        EXPECT_FALSE(range.holds(range.last + 1)) << std::hex << range.last;
    }
    // Send-off and send-control differ in bit 20 alone.
    std::mt19937 random{20};
    for (int sample = 0; sample < 1000; ++sample) {
        const std::uint32_t word = 0x70000000u | (random() & 0x07efffffu);
        ASSERT_TRUE(is_send_off(word) && !is_send_control(word) && !is_send(word)) << word;
        ASSERT_TRUE(is_send_control(word | 0x00100000u) && !is_send_off(word | 0x00100000u)) << word;
    }
}

DecodedWord fields(WordFamily family, std::uint32_t word, std::uint32_t count_minus_one, std::uint32_t base,
                   std::uint32_t control, std::uint32_t advance_field, std::uint32_t flag) {
    return DecodedWord{family, word, count_minus_one, base, control, advance_field, flag};
}

TEST(InstructionWords, DecodeRecoversTheEncodedFields) {
    using enum WordFamily;
    const DecodedWord cases[] = {
        fields(Opening, 0x41800003, 0, 0, 0, 0, 0),
        fields(Closing, 0x43a00000, 0, 0, 0, 0, 0),
        fields(Send, encode_send(17, 5, 0x2345).value(), 17, 0x2345, 5, 0, 0),
        fields(SendOff, send_off(4083, 1, 0), 4083, 0, 1, 0, 0),
        fields(SendOff, send_off(2730, 6, 0x555), 2730, 0x555, 6, 0, 0),
        fields(SendControl, 0x70100000, 0, 0, 0, 0, 0),
        fields(SendControlPair, 0xf8600015, 3, 2, 5, 0, 1),
        fields(PlainDelay, delay(524287), 0, 0, 0, 524287, 0),
        fields(PicDelay, delay_pic(99, 1, 0x2a5a5), 0, 0, 0x2a5a5, 99, 1),
        fields(XpicDelay, delay_xpic(2047, 0, 0x1555), 0, 0, 0x1555, 2047, 0),
        fields(Unknown, 0x00000000, 0, 0, 0, 0, 0),
        fields(Unknown, 0x41800002, 0, 0, 0, 0, 0),
    };
    for (const DecodedWord& expected : cases) {
        EXPECT_EQ(decode(expected.word), expected);
    }
}

TEST(InstructionWords, RandomFieldsSurviveEncodeThenDecode) {
    std::mt19937 random{0x5eed};
    const auto below = [&](std::uint32_t limit) { return static_cast<std::uint32_t>(random() % limit); };
    using enum WordFamily;
    for (int sample = 0; sample < 5000; ++sample) {
        const std::uint32_t count = below(64), wide_count = below(4096), ctl = below(8), flag = below(2);
        const std::uint32_t base = below(0x40000), short_base = below(0x800);
        const std::uint32_t cycles = below(0x80000), pic_a = below(128), xpic_a = below(4096);
        const std::uint32_t pic_c = below(0x40000), xpic_c = below(0x2000);
        ASSERT_EQ(decode(encode_send(count, ctl, base).value()),
                  fields(Send, encode_send(count, ctl, base).value(), count, base, ctl, 0, 0));
        ASSERT_EQ(decode(send_off(wide_count, ctl, short_base)),
                  fields(SendOff, send_off(wide_count, ctl, short_base), wide_count, short_base, ctl, 0, 0));
        ASSERT_EQ(decode(delay(cycles)), fields(PlainDelay, delay(cycles), 0, 0, 0, cycles, 0));
        ASSERT_EQ(decode(delay_pic(pic_a, flag, pic_c)),
                  fields(PicDelay, delay_pic(pic_a, flag, pic_c), 0, 0, pic_c, pic_a, flag));
        ASSERT_EQ(decode(delay_xpic(xpic_a, flag, xpic_c)),
                  fields(XpicDelay, delay_xpic(xpic_a, flag, xpic_c), 0, 0, xpic_c, xpic_a, flag));
        const ReceiveEvent pair[] = {{9, delay_pic(pic_a, flag, pic_c), ReceiveEventKind::Pointer},
                                     {9, delay_xpic(xpic_a, 0, xpic_c), ReceiveEventKind::OrdinaryNeutral}};
        const std::uint32_t instruction = encode_send_control_pair(count, base, ctl, pair).value().first;
        ASSERT_EQ(decode(instruction), fields(SendControlPair, instruction, count, base, ctl, 0, flag));
    }
}

TEST(InstructionWords, DescribeLines) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {encode_send(63, 1, 0).value(), "send count=64 base_word=0 control=1"},
        {send_off(4083, 1, 0), "send-off count=4084 base_word=0 control=1"},
        {0xf8600015, "sendpicp count=4 source_word_address=2 control=5 pointer_selector=1"},
        {delay(0x7ffff), "delay advance_cycles=524288"},
        {delay_pic(127, 1, 5), "pic-delay advance_cycles=128 flag=1 control=5"},
        {delay_xpic(4095, 0, 1600), "xpic-delay advance_cycles=4096 flag=0 control=1600"},
        {opening_word, "open"},
        {closing_word, "close"},
        // The bits outside its opcode have no fields, so they are named as one operand.
        {0x70100000, "send-control operand=0"},
        {0x77ffffff, "send-control operand=67108863"},
        {0x70300001, "send-control operand=1048577"},
        {0, "unknown 0x00000000"},
        {0xdeadbeef, "unknown 0xdeadbeef"},
    };
    for (const auto& [word, line] : cases) {
        EXPECT_EQ(describe(word), line);
    }
}

}  // namespace
