// The error texts reach the digest, so they are pinned byte for byte.
#include <csignal>
#include <iterator>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "vorl_exchange/errors.hpp"

namespace {

using vorl_exchange::ErrorKind;
using vorl_exchange::ExchangeError;

static_assert(static_cast<int>(ErrorKind::ValidationBudgetExceeded) == 0);
static_assert(static_cast<int>(ErrorKind::Schedule) == 5);
static_assert(static_cast<int>(ErrorKind::HostPacket) == 8);

TEST(ExchangeErrorText, DisplayAndDebugFormOfEveryVariant) {
    struct Case {
        ExchangeError error;
        ErrorKind kind;
        const char* display;
        const char* debug;
    };
    const Case cases[] = {
        {ExchangeError::validation_budget_exceeded(), ErrorKind::ValidationBudgetExceeded,
         "exchange incremental-encoding work budget exhausted", "ValidationBudgetExceeded"},
        {ExchangeError::tile(0), ErrorKind::Tile, "logical tile 0 is out of range", "Tile(0)"},
        {ExchangeError::tile(1472), ErrorKind::Tile, "logical tile 1472 is out of range", "Tile(1472)"},
        {ExchangeError::tile(65535), ErrorKind::Tile, "logical tile 65535 is out of range", "Tile(65535)"},
        {ExchangeError::duplicate_tile(), ErrorKind::DuplicateTile, "exchange endpoints must be distinct",
         "DuplicateTile"},
        {ExchangeError::count(0), ErrorKind::Count, "exchange count 0 is outside 1..=4148", "Count(0)"},
        {ExchangeError::count(4149), ErrorKind::Count, "exchange count 4149 is outside 1..=4148", "Count(4149)"},
        {ExchangeError::count(4294967295u), ErrorKind::Count, "exchange count 4294967295 is outside 1..=4148",
         "Count(4294967295)"},
        {ExchangeError::receiver_set(), ErrorKind::ReceiverSet, "invalid multicast receiver set", "ReceiverSet"},
        {ExchangeError::schedule(vorl_exchange::reason::sender_delay), ErrorKind::Schedule,
         "exchange schedule is not encodable: sender delay", R"(Schedule("sender delay"))"},
        {ExchangeError::schedule(vorl_exchange::reason::sendpicp_operand), ErrorKind::Schedule,
         "exchange schedule is not encodable: SENDPICP operand", R"(Schedule("SENDPICP operand"))"},
        {ExchangeError::plan_offset_range(5000, 4095), ErrorKind::PlanOffsetRange,
         "exchange event offset 5000 cycles from the phase-entry sync exceeds the encodable maximum of 4095 cycles",
         "PlanOffsetRange { cycles: 5000, maximum: 4095 }"},
        {ExchangeError::plan_offset_range(0, 4294967295u), ErrorKind::PlanOffsetRange,
         "exchange event offset 0 cycles from the phase-entry sync exceeds the encodable maximum of 4294967295 "
         "cycles",
         "PlanOffsetRange { cycles: 0, maximum: 4294967295 }"},
        {ExchangeError::plan_offset_range(4294967295u, 4294967295u), ErrorKind::PlanOffsetRange,
         "exchange event offset 4294967295 cycles from the phase-entry sync exceeds the encodable maximum of "
         "4294967295 cycles",
         "PlanOffsetRange { cycles: 4294967295, maximum: 4294967295 }"},
        {ExchangeError::address(255), ErrorKind::Address, "tile address 0xff is not encodable", "Address(255)"},
        {ExchangeError::address(0), ErrorKind::Address, "tile address 0x0 is not encodable", "Address(0)"},
        {ExchangeError::address(300), ErrorKind::Address, "tile address 0x12c is not encodable", "Address(300)"},
        {ExchangeError::address(0xfedcba98u), ErrorKind::Address, "tile address 0xfedcba98 is not encodable",
         "Address(4275878552)"},
        {ExchangeError::host_packet(), ErrorKind::HostPacket, "host exchange address or length is not encodable",
         "HostPacket"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.debug);
        EXPECT_EQ(c.error.kind(), c.kind);
        EXPECT_EQ(c.error.display().view(), c.display);
        EXPECT_EQ(to_string(c.error), c.display);
        EXPECT_EQ(c.error.debug(), c.debug);
        std::ostringstream streamed;
        streamed << c.error;
        EXPECT_EQ(streamed.str(), c.display);
    }
}

// The names are shared with C (vx_error_kind_name), Python (ExchangeError.kind)
// and the tool's JSON documents, so they are part of the interface.
TEST(ErrorKindNameDeathTest, TheNineNamesInTagOrderAndNoTenth) {
    const std::string_view names[] = {
        "ValidationBudgetExceeded", "Tile",    "DuplicateTile", "Count", "ReceiverSet", "Schedule",
        "PlanOffsetRange",          "Address", "HostPacket"};
    ASSERT_EQ(std::size(names), vorl_exchange::error_kind_count);
    for (std::size_t tag = 0; tag < std::size(names); ++tag) {
        EXPECT_EQ(kind_name(static_cast<ErrorKind>(tag)), names[tag]);
    }
    EXPECT_EXIT((void)kind_name(static_cast<ErrorKind>(vorl_exchange::error_kind_count)),
                testing::KilledBySignal(SIGABRT), "exchange error tag is one of the nine variants");
}

TEST(ExchangeErrorText, PayloadAccessorsReturnWhatWasStored) {
    EXPECT_EQ(ExchangeError::tile(65535).tile_number(), 65535);
    EXPECT_EQ(ExchangeError::count(4149).count_value(), 4149u);
    EXPECT_EQ(reason_text(ExchangeError::schedule(vorl_exchange::reason::send_control).reason()), "send control");
    EXPECT_EQ(ExchangeError::plan_offset_range(7, 3).cycles(), 7u);
    EXPECT_EQ(ExchangeError::plan_offset_range(7, 3).maximum(), 3u);
    EXPECT_EQ(ExchangeError::address(255).address_value(), 255u);
}

TEST(ExchangeErrorEquality, VariantAndPayloadBothDecide) {
    EXPECT_EQ(ExchangeError::tile(5), ExchangeError::tile(5));
    EXPECT_NE(ExchangeError::tile(5), ExchangeError::tile(6));
    EXPECT_NE(ExchangeError::tile(5), ExchangeError::count(5));
    EXPECT_NE(ExchangeError::count(5), ExchangeError::address(5));
    EXPECT_NE(ExchangeError::plan_offset_range(1, 2), ExchangeError::plan_offset_range(2, 1));
    EXPECT_EQ(ExchangeError::receiver_set(), ExchangeError::receiver_set());
    EXPECT_NE(ExchangeError::receiver_set(), ExchangeError::duplicate_tile());
    EXPECT_EQ(ExchangeError::schedule(vorl_exchange::reason::sender_delay),
              ExchangeError::schedule(vorl_exchange::reason::sender_delay));
    EXPECT_NE(ExchangeError::schedule(vorl_exchange::reason::sender_delay),
              ExchangeError::schedule(vorl_exchange::reason::send_control));
}

TEST(ScheduleReasons, TheTwentyNineTextsInOrder) {
    struct Row {
        const char* text;
        std::size_t length;
    };
    const Row table[] = {
        {"plan delay order", 16},
        {"SENDPICP instruction alignment", 30},
        {"receive event order", 19},
        {"receive control issue interval", 30},
        {"receive timed event", 19},
        {"receive control at phase entry", 30},
        {"receive control order", 21},
        {"empty SENDPICP interval", 23},
        {"incompatible simultaneous receive controls", 42},
        {"SENDPICP operand", 16},
        {"SENDPICP PIC control", 20},
        {"SENDPICP XPIC control", 21},
        {"SENDPICP event time", 19},
        {"zero event advance", 18},
        {"first scheduled event is not a delay", 36},
        {"scheduled offset truncates a send", 33},
        {"XPIC delay advance overflow", 27},
        {"PIC delay advance overflow", 26},
        {"delay advance overflow", 22},
        {"send instruction operand", 24},
        {"send control", 12},
        {"sender payload", 14},
        {"sender delay", 12},
        {"multicast start cycle", 21},
        {"multicast receive cycle", 23},
        {"paired source timing", 20},
        {"paired receive coincident controls", 34},
        {"paired receive horizon overflow", 31},
        {"paired receive row capacity", 27},
    };
    ASSERT_EQ(std::size(vorl_exchange::reason::all), std::size(table));
    for (std::size_t index = 0; index < std::size(table); ++index) {
        const std::string_view reason = reason_text(vorl_exchange::reason::all[index]);
        SCOPED_TRACE(table[index].text);
        EXPECT_EQ(reason, table[index].text);
        EXPECT_EQ(reason.size(), table[index].length);
        const ExchangeError error = ExchangeError::schedule(vorl_exchange::reason::all[index]);
        EXPECT_EQ(to_string(error), "exchange schedule is not encodable: " + std::string{reason});
        EXPECT_EQ(error.debug(), "Schedule(\"" + std::string{reason} + "\")");
    }
}

// A reason streams as its text (what test failures print), and a value outside
// the 29 stops instead of reading past the text table.
TEST(ScheduleReasonDeathTest, StreamsItsTextAndAnUnlistedValueStops) {
    std::ostringstream streamed;
    streamed << vorl_exchange::reason::paired_receive_row_capacity;
    EXPECT_EQ(streamed.str(), "paired receive row capacity");
    EXPECT_EXIT((void)reason_text(static_cast<vorl_exchange::ScheduleReason>(vorl_exchange::schedule_reason_count)),
                testing::KilledBySignal(SIGABRT), "schedule reason is one of the 29 reasons");
}

TEST(InvariantTexts, AreFixed) {
    namespace invariant = vorl_exchange::invariant;
    EXPECT_EQ(invariant::logical_tile_count_fits_u16, "logical tile count fits u16");
    EXPECT_EQ(invariant::send_control_is_three_bits, "send control is three bits");
    EXPECT_EQ(invariant::paired_multicast_has_receivers, "paired multicast has receivers");
    EXPECT_EQ(invariant::paired_receive_always_has_format_events, "paired receive always has format events");
}

TEST(InvariantFailureDeathTest, AbortsPrintingItsText) {
    EXPECT_EXIT(vorl_exchange::invariant_failure("x"), testing::KilledBySignal(SIGABRT),
                "internal invariant failed: x\n");
    EXPECT_EXIT(vorl_exchange::invariant_failure(vorl_exchange::invariant::logical_tile_count_fits_u16),
                testing::KilledBySignal(SIGABRT), "logical tile count fits u16");
}

}  // namespace
