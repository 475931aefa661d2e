// Receive events: their streams, which may share one instruction, and validation.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/receive_events.hpp"

namespace {

using namespace vorl_exchange;
using enum ReceiveEventKind;

constexpr ReceiveEventKind all_kinds[] = {OrdinarySource, OrdinaryNeutral, PairedSource, PairedNeutral,
                                          PairedPointer,  Pointer,         Format};

ReceiveEvent event(std::uint32_t cycles, ReceiveEventKind kind) {
    return {cycles, is_pic(kind) ? delay_pic(0, 0, cycles) : delay_xpic(0, 0, cycles), kind};
}

constexpr ReceiveEvent sorted_pair[] = {{4, 0x60000000, Pointer}, {4, 0x64000000, OrdinaryNeutral}};
static_assert(validate_receive_events(sorted_pair).has_value());

TEST(ReceiveEventKinds, ValuesAndStreams) {
    const std::pair<ReceiveEventKind, bool> expected[] = {
        {OrdinarySource, false}, {OrdinaryNeutral, false}, {PairedSource, false}, {PairedNeutral, false},
        {PairedPointer, true},   {Pointer, true},          {Format, true}};
    for (int value = 0; value < 7; ++value) {
        const auto [kind, pic] = expected[value];
        EXPECT_EQ(static_cast<int>(kind), value);
        EXPECT_EQ(is_pic(kind), pic) << value;
        EXPECT_EQ(is_xpic(kind), !pic) << value;
    }
    static_assert(sizeof(ReceiveEventKind) == 1);
}

TEST(ReceiveEventSharing, OnlyPointerWithAnOrdinaryXpicControlOnOneCycle) {
    const std::pair<ReceiveEventKind, ReceiveEventKind> allowed[] = {
        {Pointer, OrdinarySource}, {OrdinarySource, Pointer}, {Pointer, OrdinaryNeutral}, {OrdinaryNeutral, Pointer}};
    for (const ReceiveEventKind left : all_kinds) {
        for (const ReceiveEventKind right : all_kinds) {
            const bool expected = std::ranges::find(allowed, std::pair{left, right}) != std::end(allowed);
            EXPECT_EQ(receive_events_can_share_instruction(event(7, left), event(7, right)), expected)
                << static_cast<int>(left) << ", " << static_cast<int>(right);
            EXPECT_FALSE(receive_events_can_share_instruction(event(7, left), event(8, right)));
        }
    }
}

TEST(ReceiveEventValidation, GroupsOfNeighboursOnOneCycle) {
    struct Case {
        const char* name;
        std::vector<ReceiveEvent> events;
        bool valid;
    };
    const Case cases[] = {
        {"empty", {}, true},
        {"single", {event(3, Format)}, true},
        {"pointer then ordinary source", {event(5, Pointer), event(5, OrdinarySource)}, true},
        {"ordinary source then pointer", {event(5, OrdinarySource), event(5, Pointer)}, true},
        {"pointer with ordinary neutral", {event(5, Pointer), event(5, OrdinaryNeutral)}, true},
        {"ordinary neutral then pointer", {event(5, OrdinaryNeutral), event(5, Pointer)}, true},
        {"paired pointer with paired source", {event(5, PairedPointer), event(5, PairedSource)}, false},
        {"two formats", {event(5, Format), event(5, Format)}, false},
        {"pointer with paired source", {event(5, Pointer), event(5, PairedSource)}, false},
        {"two pointers", {event(5, Pointer), event(5, Pointer)}, false},
        {"three on a cycle", {event(5, Pointer), event(5, OrdinarySource), event(5, OrdinaryNeutral)}, false},
        {"unsorted 5, 3, 5", {event(5, Format), event(3, Format), event(5, Format)}, true},
        {"unsorted is not checked", {event(9, Format), event(1, PairedSource)}, true},
        {"bad group after good ones",
         {event(1, Format), event(2, Pointer), event(2, OrdinarySource), event(4, Format), event(4, PairedSource)},
         false},
    };
    for (const Case& c : cases) {
        const auto result = validate_receive_events(c.events);
        EXPECT_EQ(result.has_value(), c.valid) << c.name;
        if (!result) {
            EXPECT_EQ(reason_text(result.error().reason()), "incompatible simultaneous receive controls") << c.name;
        }
    }
}

TEST(ReceiveEventValidation, GroupSizeGathersNeighboursOnly) {
    const ReceiveEvent events[] = {event(5, Format), event(5, Format), event(3, Format), event(5, Format)};
    EXPECT_EQ(receive_event_group_size(events, 0), 2u);
    EXPECT_EQ(receive_event_group_size(events, 1), 1u);
    EXPECT_EQ(receive_event_group_size(events, 2), 1u);
    EXPECT_EQ(receive_event_group_size(events, 3), 1u);
}

}  // namespace
