// The sender row: word-exact rows for the boundaries of its optional words, the
// send-control rewrite, and the caller bugs that must stop the program.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/sender_row.hpp"

namespace {

using vorl_exchange::ExchangeError;
using vorl_exchange::primitive_sender_row;
using vorl_exchange::Row;
using vorl_exchange::set_sender_control;
namespace reason = vorl_exchange::reason;
namespace invariant = vorl_exchange::invariant;

constexpr std::uint32_t op = 0x41800003;  // opening word
constexpr std::uint32_t cl = 0x43a00000;  // closing word

struct SenderRowCase {
    std::uint32_t count;
    std::uint32_t direction;
    std::int32_t sender_delay;
    Row expected;
};

// Leading delay only for sender_delay >= 0, send-off only above 64 words, trailing
// pad only while 4 - sender_delay - count >= 0 (a field of 0 still counts).
const SenderRowCase sender_row_cases[] = {
    {1, 1, -1, {op, 0x78000001, 0x40a00004, cl}},
    {1, 1, 0, {op, 0x40a00000, 0x78000001, 0x40a00003, cl}},
    {5, 2, 0, {op, 0x40a00000, 0x78800002, cl}},
    {4, 1, 0, {op, 0x40a00000, 0x78600001, 0x40a00000, cl}},
    {5, 1, -1, {op, 0x78800001, 0x40a00000, cl}},
    {6, 1, -1, {op, 0x78a00001, cl}},
    {64, 1, -1, {op, 0x7fe00001, cl}},
    {65, 1, -1, {op, 0x7fe00001, 0x70000001, cl}},
    {100, 3, 30, {op, 0x40a0001e, 0x7fe00003, 0x74600003, cl}},
    {4148, 1, -1, {op, 0x7fe00001, 0x766fc001, cl}},
    {4148, 2, 142, {op, 0x40a0008e, 0x7fe00002, 0x766fc002, cl}},
    {1, 1, 189, {op, 0x40a000bd, 0x78000001, cl}},
    {1, 7, 524287, {op, 0x40a7ffff, 0x78000007, cl}},
};

TEST(PrimitiveSenderRow, GoldenRows) {
    for (const auto& c : sender_row_cases) {
        SCOPED_TRACE(::testing::Message()
                     << "count " << c.count << " direction " << c.direction << " delay " << c.sender_delay);
        const auto row = primitive_sender_row(c.count, c.direction, c.sender_delay);
        ASSERT_TRUE(row.has_value()) << row.error();
        EXPECT_EQ(*row, c.expected);
    }
}

TEST(PrimitiveSenderRow, DirectionAboveThreeBitsIsRefused) {
    for (const std::uint32_t direction : {8u, 0xffffffffu}) {
        const auto row = primitive_sender_row(100, direction, 30);
        ASSERT_FALSE(row.has_value());
        EXPECT_EQ(row.error(), ExchangeError::schedule(reason::send_instruction_operand));
    }
}

// Callers validate count and delay; out of range they would truncate the row's
// fields silently, so the library stops instead.
TEST(PrimitiveSenderRowDeathTest, OutOfContractArgumentsStopTheProgram) {
    const std::string count_text{invariant::sender_row_count_in_range};
    const std::string delay_text{invariant::sender_row_delay_in_range};
    EXPECT_DEATH((void)primitive_sender_row(0, 1, 0), count_text);
    EXPECT_DEATH((void)primitive_sender_row(4149, 1, 0), count_text);
    EXPECT_DEATH((void)primitive_sender_row(1, 1, -2), delay_text);
    EXPECT_DEATH((void)primitive_sender_row(1, 1, 524288), delay_text);
}

struct ControlCase {
    const char* name;
    Row row;
    std::uint8_t send_control;
    Row expected;                   // the row afterwards
    std::optional<vorl_exchange::ScheduleReason> failure = {};  // none: success
};

const ControlCase control_cases[] = {
    {"send word", {op, 0x40a0001e, 0x78000003, cl}, 5, {op, 0x40a0001e, 0x78000005, cl}},
    {"send and send-off",
     {op, 0x40a0001e, 0x7fe00003, 0x74600003, cl},
     6,
     {op, 0x40a0001e, 0x7fe00006, 0x74600006, cl}},
    {"every send word, not only the first",
     {op, 0x78000001, 0x78000002, 0x70000001, cl},
     7,
     {op, 0x78000007, 0x78000007, 0x70000007, cl}},
    {"SENDPICP with a control", {op, 0xf0000001, 0x00000003, cl}, 6, {op, 0xf0000006, 0x00000003, cl}},
    {"SENDPICP without a control keeps it, bit 2 notwithstanding",
     {op, 0xf0000004, 0x78000001, 0xf0000007, cl},
     5,
     {op, 0xf0000004, 0x78000005, 0xf0000005, cl}},
    {"control 0", {op, 0x78000003, cl}, 0, {op, 0x78000003, cl}, reason::send_control},
    {"control 8", {op, 0x78000003, cl}, 8, {op, 0x78000003, cl}, reason::send_control},
    {"control 0 checked before the payload", {op, 0x40a00005, cl}, 0, {op, 0x40a00005, cl}, reason::send_control},
    {"only delays",
     {op, 0x40a00005, 0x641c0000, 0x61a00000, cl},
     5,
     {op, 0x40a00005, 0x641c0000, 0x61a00000, cl},
     reason::sender_payload},
    {"only a SENDPICP without a control", {op, 0xf0000004, cl}, 5, {op, 0xf0000004, cl}, reason::sender_payload},
    {"a send-control word is no payload", {op, 0x70100001, cl}, 5, {op, 0x70100001, cl}, reason::sender_payload},
};

TEST(SetSenderControl, RewritesQualifyingWordsOrLeavesTheRowUnchanged) {
    for (const auto& c : control_cases) {
        SCOPED_TRACE(c.name);
        Row row = c.row;
        const auto result = set_sender_control(row, c.send_control);
        if (!c.failure) {
            EXPECT_TRUE(result.has_value()) << result.error();
        } else {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error(), ExchangeError::schedule(*c.failure));
        }
        EXPECT_EQ(row, c.expected);
    }
}

}  // namespace
