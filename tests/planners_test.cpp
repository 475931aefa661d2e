// The three planners on the 1472-tile topology: word-exact rows for known routes,
// and the order in which their checks run (which error wins when several apply).
#include <array>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/planners.hpp"
#include "vorl_exchange/route_timing.hpp"
#include "vorl_exchange/topology.hpp"

namespace {

using vorl_exchange::ExchangeError;
using vorl_exchange::MulticastPlan;
using vorl_exchange::Result;
using vorl_exchange::Row;
using vorl_exchange::RowList;
using vorl_exchange::Topology;
using Tiles = std::vector<std::uint16_t>;
namespace reason = vorl_exchange::reason;

constexpr std::uint32_t op = 0x41800003;  // opening word
constexpr std::uint32_t cl = 0x43a00000;  // closing word
constexpr std::uint32_t u32_max = std::numeric_limits<std::uint32_t>::max();

const ExchangeError receiver_set = ExchangeError::receiver_set();
const ExchangeError duplicate = ExchangeError::duplicate_tile();
ExchangeError tile(std::uint16_t logical) { return ExchangeError::tile(logical); }
ExchangeError count_error(std::uint32_t count) { return ExchangeError::count(count); }
ExchangeError schedule(vorl_exchange::ScheduleReason why) { return ExchangeError::schedule(why); }

const Topology& tarn() {
    static const Topology topology = Topology::tarn();
    return topology;
}

Tiles tile_range(std::uint16_t first, std::uint16_t end) {
    Tiles tiles(end - first);
    std::iota(tiles.begin(), tiles.end(), first);
    return tiles;
}

Tiles concat(Tiles front, const Tiles& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

// ---- point-to-point -------------------------------------------------------

struct PointToPointCase {
    std::uint16_t sender;
    std::uint16_t receiver;
    std::uint32_t count;
    Row sender_row;
    Row receiver_row;
};

// Physical 0 -> 64: direction 1, mux time -31, sender delay 142, receiver phase 2.
// 781 -> 0 (physical 1442 -> 0): mux time 112, sender delay -1, phase 0.
const PointToPointCase point_to_point_cases[] = {
    {0, 2, 1, {op, 0x40a0008e, 0x78000001, cl}, {1, op, 0x641c0000, 0x64000640, 0x61a00000, 0x40a00005, cl}},
    {0, 2, 51, {op, 0x40a0008e, 0x7e400001, cl}, {1, op, 0x641c0000, 0x640c8640, 0x60100000, 0x40a00037, cl}},
    {0, 2, 52, {op, 0x40a0008e, 0x7e600001, cl}, {1, op, 0x641c0000, 0x61a80000, 0x64000640, 0x40a00038, cl}},
    {0, 2, 53, {op, 0x40a0008e, 0x7e800001, cl}, {1, op, 0x641c0000, 0x61a80000, 0x64000640, 0x40a00038, cl}},
    {0,
     2,
     100,
     {op, 0x40a0008e, 0x7fe00001, 0x74600001, cl},
     {1, op, 0x641c0000, 0x61a80000, 0x640bc640, 0x40a00038, cl}},
    {0,
     2,
     4148,
     {op, 0x40a0008e, 0x7fe00001, 0x766fc001, cl},
     {1, op, 0x641c0000, 0x61a80000, 0x67ffc640, 0x40a00038, cl}},
    {781, 0, 1, {op, 0x78000002, 0x40a00004, cl}, {1, op, 0x641c0000, 0x64000640, 0x61900000, 0x40a00005, cl}},
};

TEST(PointToPoint, GoldenRows) {
    for (const auto& c : point_to_point_cases) {
        SCOPED_TRACE(::testing::Message() << c.sender << " -> " << c.receiver << " count " << c.count);
        const auto plan = tarn().point_to_point(c.sender, c.receiver, c.count);
        ASSERT_TRUE(plan.has_value()) << plan.error();
        EXPECT_EQ(plan->sender, c.sender_row);
        EXPECT_EQ(plan->receiver, c.receiver_row);
    }
}

struct PointToPointFailure {
    std::uint16_t sender;
    std::uint16_t receiver;
    std::uint32_t count;
    ExchangeError expected;
};

// Count, then equal numbers (compared before lookup), then sender, then receiver.
const PointToPointFailure point_to_point_failures[] = {
    {0, 2, 0, count_error(0)},    {0, 2, 4149, count_error(4149)},
    {5, 5, 0, count_error(0)},    {1472, 1472, 4149, count_error(4149)},
    {5, 5, 1, duplicate},         {1472, 1472, 1, duplicate},
    {65535, 65535, 1, duplicate}, {1500, 1472, 1, tile(1500)},
    {1472, 0, 1, tile(1472)},     {0, 1472, 1, tile(1472)},
};

TEST(PointToPoint, ChecksRunInOrder) {
    for (const auto& c : point_to_point_failures) {
        SCOPED_TRACE(::testing::Message() << c.sender << " -> " << c.receiver << " count " << c.count);
        const auto plan = tarn().point_to_point(c.sender, c.receiver, c.count);
        ASSERT_FALSE(plan.has_value());
        EXPECT_EQ(plan.error(), c.expected) << plan.error().debug();
    }
}

// ---- multicast --------------------------------------------------------------

struct MulticastCase {
    const char* name;
    std::uint16_t sender;
    Tiles receivers;
    std::uint32_t count;
    std::uint32_t offset;
    Row sender_row;
    RowList receiver_rows;
};

const MulticastCase multicast_cases[] = {
    {"0 -> [2], one word",
     0,
     {2},
     1,
     0,
     {op, 0x40a0001e, 0x78000001, cl},
     {{op, 0x64000000, 0x64000640, 0x61a14000, 0x40a00005, cl}}},
    {"0 -> [2], long transfer",
     0,
     {2},
     100,
     0,
     {op, 0x40a0001e, 0x7fe00001, 0x74600001, cl},
     {{op, 0x64000000, 0x61a94000, 0x640bc640, 0x40a00038, cl}}},
    {"0 -> [2, 1], offset 10: direction 3, rows in list order",
     0,
     {2, 1},
     1,
     10,
     {op, 0x40a00028, 0x78000003, cl},
     {{op, 0x64028000, 0x64000640, 0x61a14000, 0x40a00005, cl},
      {op, 0x64034000, 0x64000640, 0x61914000, 0x40a00005, cl}}},
    {"the sender among two receivers gets the first row",
     0,
     {0, 2},
     1,
     0,
     {op, 0x40a0001e, 0x78000003, cl},
     {{op, 0x64008000, 0x64000640, 0x61914000, 0x40a00005, cl},
      {op, 0x64000000, 0x64000640, 0x61a14000, 0x40a00005, cl}}},
    {"start cycle exactly 4095",
     0,
     {2},
     1,
     4064,
     {op, 0x40a00ffe, 0x78000001, cl},
     {{op, 0x67f80000, 0x64000640, 0x61a14000, 0x40a00005, cl}}},
    {"start cycle 0: no leading delay; receive cycle exactly 4095",
     781,
     {0},
     1,
     3983,
     {op, 0x40a00f8e, 0x78000002, cl},
     {{op, 0x67ffc5a2, 0x64000640, 0x61914000, 0x40a00005, cl}}},
    {"start cycle 0",
     781,
     {0},
     1,
     0,
     {op, 0x78000002, 0x40a00004, cl},
     {{op, 0x641c05a2, 0x64000640, 0x61914000, 0x40a00005, cl}}},
};

TEST(Multicast, GoldenRows) {
    for (const auto& c : multicast_cases) {
        SCOPED_TRACE(c.name);
        const auto plan = tarn().multicast(c.sender, c.receivers, c.count, c.offset);
        ASSERT_TRUE(plan.has_value()) << plan.error();
        EXPECT_EQ(plan->sender, c.sender_row);
        EXPECT_EQ(plan->receivers, c.receiver_rows);
    }
}

struct MulticastFailure {
    const char* name;
    std::uint16_t sender;
    Tiles receivers;
    std::uint32_t count;
    std::uint32_t offset;
    ExchangeError expected;
};

// Count, then the sender, then the receiver set, then the start cycle, then each
// receive cycle.
const MulticastFailure multicast_failures[] = {
    {"count 0 before everything", 1472, {}, 0, u32_max, count_error(0)},
    {"count 4149 before everything", 1472, {1472, 1472}, 4149, 0, count_error(4149)},
    {"sender before an empty list", 1472, {}, 1, 0, tile(1472)},
    {"sender before an out-of-range receiver", 1472, {1473}, 1, 0, tile(1472)},
    {"empty list", 0, {}, 1, 0, receiver_set},
    {"only the sender", 0, {0}, 1, 0, receiver_set},
    {"repeated receiver", 0, {2, 1, 2}, 1, 0, receiver_set},
    {"receiver out of range", 0, {2, 1472}, 1, 0, receiver_set},
    {"first of two receivers out of range", 0, {1472, 2}, 1, 0, receiver_set},
    {"two receivers, both out of range", 0, {1472, 1473}, 1, 0, receiver_set},
    {"sole receiver out of range", 0, {1472}, 1, 0, receiver_set},
    {"receiver set before the start cycle", 0, {2, 2}, 1, u32_max, receiver_set},
    {"largest offset overflows", 0, {2}, 1, u32_max, schedule(reason::multicast_start_cycle)},
    {"offset wrapping the start to 0", 0, {2}, 1, u32_max - 30, schedule(reason::multicast_start_cycle)},
    {"start cycle 4096", 0, {2}, 1, 4065, schedule(reason::multicast_start_cycle)},
    {"start cycle 4096 without a natural start", 781, {0}, 1, 4096, schedule(reason::multicast_start_cycle)},
    {"start 4095 passes but the receive cycle does not", 781, {0}, 1, 4095, schedule(reason::multicast_receive_cycle)},
    {"receive cycle 4096", 781, {0}, 1, 3984, schedule(reason::multicast_receive_cycle)},
};

TEST(Multicast, ChecksRunInOrder) {
    for (const auto& c : multicast_failures) {
        SCOPED_TRACE(c.name);
        const auto plan = tarn().multicast(c.sender, c.receivers, c.count, c.offset);
        ASSERT_FALSE(plan.has_value());
        EXPECT_EQ(plan.error(), c.expected) << plan.error().debug();
    }
}

// Receiver lists past 16 tiles take a different duplicate-check storage; the
// answers must not change at the switch.
TEST(Multicast, LongReceiverListsBehaveLikeShortOnes) {
    const Tiles twenty = tile_range(1, 21);
    const auto plan = tarn().multicast(0, twenty, 1, 0);
    ASSERT_TRUE(plan.has_value()) << plan.error();
    ASSERT_EQ(plan->receivers.size(), 20u);
    // Rows follow the list; reversing the list reverses the rows and nothing else.
    const auto reversed = tarn().multicast(0, Tiles(twenty.rbegin(), twenty.rend()), 1, 0);
    ASSERT_TRUE(reversed.has_value()) << reversed.error();
    EXPECT_EQ(reversed->sender, plan->sender);
    EXPECT_EQ(RowList(reversed->receivers.rbegin(), reversed->receivers.rend()), plan->receivers);
    // Common start cycle 49; receivers 1 and 2 (physical 2 and 64) receive at their
    // mux times -28 and -31 after it.
    EXPECT_EQ(plan->receivers[0][1], 0x64054000u);
    EXPECT_EQ(plan->receivers[1][1], 0x64048000u);
    EXPECT_EQ(plan->sender[1], 0x40a00030u);

    const struct {
        const char* name;
        Tiles receivers;
    } refused[] = {
        {"seventeenth entry repeats the first", concat(tile_range(1, 17), {1})},
        {"seventeenth entry repeats the sixteenth", concat(tile_range(1, 17), {16})},
        {"repeat at the end of a long list", concat(twenty, {7})},
        {"repeat inside the first sixteen", concat(Tiles{3, 4, 3}, twenty)},
        {"out of range at the end of a long list", concat(twenty, {1472})},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        const auto result = tarn().multicast(0, c.receivers, 1, 0);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), receiver_set);
    }
    EXPECT_TRUE(tarn().multicast(0, tile_range(1, 18), 1, 0).has_value());
}

TEST(Multicast, AcceptsAnyContiguousReceiverContainer) {
    const std::vector<std::uint16_t> vector_receivers{2, 1};
    const std::array<std::uint16_t, 2> array_receivers{2, 1};
    const auto from_vector = tarn().multicast(0, vector_receivers, 1, 10);
    const auto from_array = tarn().multicast(0, array_receivers, 1, 10);
    ASSERT_TRUE(from_vector.has_value() && from_array.has_value());
    EXPECT_EQ(*from_vector, *from_array);
    EXPECT_EQ(from_array->receivers, multicast_cases[2].receiver_rows);
}

// ---- paired multicast -------------------------------------------------------

// Receivers 2 and 3 (physical 64 and 66) from sender 0: receiver 2 is the early
// tile and carries the source controls.
const Row paired_row_2_count_100 = {op, 0x64002000, 0x61a40001, 0x60080000, 0x640b2640, 0x61a40000, 0x40a00006, cl, 0};
const Row paired_row_3_count_100 = {op, 0x61ac0001, 0x60080000, 0x630c0000, 0x40a00006, cl};

TEST(PairedMulticast, GoldenRows) {
    const auto plan = tarn().paired_multicast(0, Tiles{2, 3}, 100);
    ASSERT_TRUE(plan.has_value()) << plan.error();
    EXPECT_EQ(plan->sender, (Row{op, 0x40a0001e, 0x7fe00005, 0x74600005, cl}));
    EXPECT_EQ(plan->receivers, (RowList{paired_row_2_count_100, paired_row_3_count_100}));

    // Rows follow the list order.
    const auto swapped = tarn().paired_multicast(0, Tiles{3, 2}, 100);
    ASSERT_TRUE(swapped.has_value()) << swapped.error();
    EXPECT_EQ(swapped->receivers, (RowList{paired_row_3_count_100, paired_row_2_count_100}));

    // One word: only the send word takes the new control.
    const auto one_word = tarn().paired_multicast(0, Tiles{2, 3}, 1);
    ASSERT_TRUE(one_word.has_value()) << one_word.error();
    EXPECT_EQ(one_word->sender, (Row{op, 0x40a0001e, 0x78000005, cl}));
}

struct SendControlCase {
    const char* name;
    std::uint16_t sender;
    Tiles receivers;
    std::uint32_t control;
};

const SendControlCase send_control_cases[] = {
    {"one pair, eastward", 0, {2, 3}, 5},
    {"one pair, westward", 274, {0, 1}, 6},
    {"the sender and its partner", 0, {0, 1}, 7},
    {"two pairs", 0, {2, 3, 274, 275}, 7},
};

// The sender row is the multicast's at offset 0 with a new send control in its
// send and send-off words.
TEST(PairedMulticast, SendControlFollowsTheReceivers) {
    for (const auto& c : send_control_cases) {
        SCOPED_TRACE(c.name);
        const auto plan = tarn().paired_multicast(c.sender, c.receivers, 100);
        ASSERT_TRUE(plan.has_value()) << plan.error();
        EXPECT_EQ(plan->receivers.size(), c.receivers.size());
        const auto multicast = tarn().multicast(c.sender, c.receivers, 100, 0);
        ASSERT_TRUE(multicast.has_value());
        Row expected = multicast->sender;
        expected[2] = (expected[2] & ~7u) | c.control;  // send word (after opening and delay)
        expected[3] = (expected[3] & ~7u) | c.control;  // send-off word
        ASSERT_TRUE(vorl_exchange::is_send(expected[2]) && vorl_exchange::is_send_off(expected[3]));
        EXPECT_EQ(plan->sender, expected);
    }
}

struct PairedFailure {
    const char* name;
    std::uint16_t sender;
    Tiles receivers;
    std::uint32_t count;
    ExchangeError expected;
};

// Count, then the receiver set (before the sender, unlike the plain multicast),
// then the inner multicast, then the rows.
const PairedFailure paired_failures[] = {
    {"count 0 before everything", 1472, {}, 0, count_error(0)},
    {"count 4149", 0, {2, 3}, 4149, count_error(4149)},
    {"empty list before the sender", 1472, {}, 1, receiver_set},
    {"one receiver", 1472, {2}, 1, receiver_set},
    {"three receivers", 1472, {2, 3, 274}, 1, receiver_set},
    {"a tile and itself", 1472, {2, 2}, 1, receiver_set},
    {"a repeated pair", 0, {2, 3, 3, 2}, 1, receiver_set},
    {"not partners", 1472, {2, 4}, 1, receiver_set},
    {"partners of different pairs", 0, {2, 275}, 1, receiver_set},
    {"receivers out of range", 1472, {1472, 1473}, 1, receiver_set},
    {"sender out of range with a valid pair", 1472, {2, 3}, 1, tile(1472)},
    {"two words: second format meets the pointer", 0, {2, 3}, 2, schedule(reason::paired_receive_coincident_controls)},
    {"neutral meets the first format", 0, {2, 3}, 53, schedule(reason::paired_receive_coincident_controls)},
    {"neutral meets the pointer", 0, {2, 3}, 55, schedule(reason::paired_receive_coincident_controls)},
};

TEST(PairedMulticast, ChecksRunInOrder) {
    for (const auto& c : paired_failures) {
        SCOPED_TRACE(c.name);
        const auto plan = tarn().paired_multicast(c.sender, c.receivers, c.count);
        ASSERT_FALSE(plan.has_value());
        EXPECT_EQ(plan.error(), c.expected) << plan.error().debug();
    }
    EXPECT_TRUE(tarn().paired_multicast(0, Tiles{2, 3}, 54).has_value()) << "between the two coincidences";
}

TEST(PairedMulticast, LongReceiverListsBehaveLikeShortOnes) {
    const Tiles ten_pairs = tile_range(2, 22);
    const auto plan = tarn().paired_multicast(0, ten_pairs, 100);
    ASSERT_TRUE(plan.has_value()) << plan.error();
    EXPECT_EQ(plan->receivers.size(), 20u);
    EXPECT_EQ(plan->sender[2], 0x7fe00007u);
    EXPECT_TRUE(tarn().paired_multicast(0, concat(ten_pairs, {23, 22}), 100).has_value());
    for (const Tiles& receivers : {concat(ten_pairs, {3, 2}), concat(ten_pairs, {22, 22}),
                                   concat(ten_pairs, {100, 102}), concat(ten_pairs, {1472, 1473})}) {
        const auto refused = tarn().paired_multicast(1472, receivers, 100);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error(), receiver_set);
    }
}

// A one-pair plan takes the partner's route from the first tile's (the two mux
// times swapped, the row and direction shared); `paired_receiver_row` works each
// tile's route out on its own. Every sender, both orders of a pair, and counts
// on each side of the early row's orders and of the late row's plain delay.
TEST(PairedMulticast, OnePairRowsAreEachTilesOwnRow) {
    const Tiles pairs[] = {{2, 3}, {3, 2}, {274, 275}, {1287, 1286}};
    for (std::uint16_t sender = 0; sender < tarn().tile_count(); ++sender) {
        for (const Tiles& pair : pairs) {
            const std::uint32_t sender_physical = *tarn().physical(sender);
            const std::int32_t minimum_double_mux =
                vorl_exchange::paired_time_to_mux(sender_physical, *tarn().physical(pair[0]));
            for (const std::uint32_t count : {1u, 3u, 51u, 53u, 54u, 60u, 130u, 4148u}) {
                SCOPED_TRACE(testing::Message()
                             << "sender " << sender << ", pair " << pair[0] << "," << pair[1] << ", count " << count);
                const auto plan = tarn().paired_multicast(sender, pair, count);
                const auto first = tarn().paired_receiver_row(sender, pair[0], count, minimum_double_mux);
                const auto second = tarn().paired_receiver_row(sender, pair[1], count, minimum_double_mux);
                if (!first || !second) {
                    ASSERT_FALSE(plan.has_value());
                    EXPECT_EQ(plan.error(), first ? second.error() : first.error());
                    continue;
                }
                ASSERT_TRUE(plan.has_value()) << plan.error();
                ASSERT_EQ(plan->receivers.size(), 2u);
                EXPECT_EQ(plan->receivers[0], *first);
                EXPECT_EQ(plan->receivers[1], *second);
            }
        }
    }
}

// ---- paired receiver row ----------------------------------------------------

TEST(PairedReceiverRow, RowsAndFailures) {
    const struct {
        const char* name;
        std::uint16_t sender;
        std::uint16_t receiver;
        std::uint32_t count;
        std::int32_t minimum_double_mux;
        Result<Row> expected;
    } cases[] = {
        {"early tile", 0, 2, 100, -30, paired_row_2_count_100},
        {"late tile", 0, 3, 100, -30, paired_row_3_count_100},
        {"receiver out of range", 0, 1472, 100, -30, std::unexpected(tile(1472))},
        {"sender before receiver", 1500, 1472, 100, -30, std::unexpected(tile(1500))},
        {"minimum above the receiver's own time", 0, 2, 100, 100,
         std::unexpected(schedule(reason::paired_source_timing))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tarn().paired_receiver_row(c.sender, c.receiver, c.count, c.minimum_double_mux), c.expected);
    }
}

TEST(PairedReceiverRow, EarlyTileOfAPair) {
    const struct {
        std::uint16_t receiver;
        std::uint16_t sender;
        Result<bool> expected;
    } cases[] = {
        {2, 0, true},   // mux time -31 against the partner's -30
        {3, 0, false},
        {0, 274, false},
        {1, 274, true},
        {1472, 0, std::unexpected(tile(1472))},
        {2, 1472, std::unexpected(tile(1472))},
        {1472, 1500, std::unexpected(tile(1472))},  // receiver looked up first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "receiver " << c.receiver << " sender " << c.sender);
        EXPECT_EQ(tarn().paired_receiver_is_early(c.receiver, c.sender), c.expected);
    }
}

}  // namespace
