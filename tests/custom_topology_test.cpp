// Tables other than the 1472-tile numbering: which ones are refused and why, and
// what the planners make of the ones that are accepted.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;
using Tiles = std::vector<std::uint16_t>;

Topology accepted(Tiles table) { return Topology::from_table(std::move(table)).value(); }

TEST(TopologyFactory, RefusesTheFirstEntryARowCannotCarry) {
    Tiles too_long(maximum_topology_tiles + 1, 0);
    too_long[3] = 0xffff;  // the length is tested first
    Tiles longest(maximum_topology_tiles, maximum_physical_identifier);
    Tiles every_identifier(std::size_t{maximum_physical_identifier} + 1u);
    std::iota(every_identifier.begin(), every_identifier.end(), std::uint16_t{0});
    struct Case {
        const char* name;
        Tiles table;
        std::optional<TopologyError> refusal;
    };
    const Case cases[] = {
        {"empty", {}, std::nullopt},
        {"largest identifier", {2047, 0, 2045}, std::nullopt},
        {"an identifier twice", {0, 0, 2}, TopologyError::repeated_identifier(1, 0)},
        {"a repeat far from its first holder", {5, 64, 66, 130, 64}, TopologyError::repeated_identifier(4, 1)},
        {"the first repeat", {7, 9, 9, 7}, TopologyError::repeated_identifier(2, 1)},
        {"widths before repeats", {0, 0, 0x800}, TopologyError{TopologyRule::IdentifierBeyondRowField, 2}},
        {"every identifier once", every_identifier, std::nullopt},
        // The longest table passes the length test; 2048 identifiers cannot fill it without repeats.
        {"longest table", longest, TopologyError::repeated_identifier(1, 0)},
        {"row field cut to tile 0", {8192, 64}, TopologyError{TopologyRule::IdentifierBeyondRowField, 0}},
        {"one past the row field", {0, 64, 2048}, TopologyError{TopologyRule::IdentifierBeyondRowField, 2}},
        {"top bit", {0, 0xffff, 0x800}, TopologyError{TopologyRule::IdentifierBeyondRowField, 1}},
        {"one entry too many", too_long, TopologyError{TopologyRule::TableTooLong, 65536}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto topology = Topology::from_table(c.table);
        if (c.refusal) {
            ASSERT_FALSE(topology.has_value());
            EXPECT_EQ(topology.error(), *c.refusal);
        } else {
            ASSERT_TRUE(topology.has_value()) << topology.error();
            EXPECT_TRUE(std::ranges::equal(topology->logical_to_physical(), c.table));
        }
    }
}

TEST(TopologyFactory, RefusalsNameTheEntryAndTheRule) {
    const TopologyError too_long{TopologyRule::TableTooLong, 65536};
    const TopologyError beyond{TopologyRule::IdentifierBeyondRowField, 3};
    const TopologyError repeated = TopologyError::repeated_identifier(4, 1);
    EXPECT_EQ(to_string(too_long),
              "topology table entry 65536: a table holds at most 65536 entries, one per 16-bit logical tile number");
    EXPECT_EQ(to_string(beyond),
              "topology table entry 3: a physical identifier must fit in 11 bits (bits 11 to 15 clear)");
    EXPECT_EQ(too_long.debug(), "TableTooLong { entry: 65536 }");
    EXPECT_EQ(beyond.debug(), "IdentifierBeyondRowField { entry: 3 }");
    EXPECT_EQ(to_string(repeated),
              "topology table entry 4: a physical identifier names one tile, so it may appear only once; entry 1 "
              "holds it too");
    EXPECT_EQ(repeated.debug(), "RepeatedIdentifier { entry: 4, earlier_entry: 1 }");
    std::ostringstream streamed;
    streamed << beyond;
    EXPECT_EQ(streamed.str(), to_string(beyond));
}

TEST(TopologyDeathTest, TheConstructorStopsOnATableItCannotServe) {
    const std::string text = "internal invariant failed: " + std::string{invariant::topology_table_is_valid};
    EXPECT_DEATH((void)Topology(Tiles{8192, 64}), text);
    EXPECT_DEATH((void)Topology(Tiles{0, 0xffff}), text);
    EXPECT_DEATH((void)Topology(Tiles(maximum_topology_tiles + 1, 0)), text);
}

// Plans depend on physical identifiers alone, so a table holding tarn identifiers
// under other logical numbers must plan exactly as tarn does under the tarn numbers.
// `tarn_number[n]` is the tarn logical number of the table's logical tile n.
void expect_plans_as_on_tarn(const Tiles& tarn_number) {
    const Topology tarn = Topology::tarn();
    Tiles table;
    for (const std::uint16_t logical : tarn_number) table.push_back(tarn_logical_to_physical(logical));
    const Topology custom = accepted(table);
    const auto last = static_cast<std::uint16_t>(tarn_number.size() - 1);
    for (std::uint16_t sender = 0; sender <= last; sender += 97) {
        for (std::uint16_t receiver = 1; receiver < last; receiver += 89) {
            SCOPED_TRACE(testing::Message() << sender << " -> " << receiver);
            const std::uint16_t from = tarn_number[sender];
            const std::uint16_t to = tarn_number[receiver];
            EXPECT_EQ(custom.point_to_point(sender, receiver, 60), tarn.point_to_point(from, to, 60));
            const std::uint16_t receivers[] = {receiver, last};
            const std::uint16_t on_tarn_receivers[] = {to, tarn_number[last]};
            EXPECT_EQ(custom.multicast(sender, receivers, 7, 3), tarn.multicast(from, on_tarn_receivers, 7, 3));

            // Both tables hold whole pairs only.
            const std::uint16_t partner = custom.paired_logical(receiver).value();
            EXPECT_EQ(tarn_number[partner], to ^ 1u);
            const std::uint16_t pair[] = {receiver, partner};
            const std::uint16_t on_tarn_pair[] = {to, tarn_number[partner]};
            EXPECT_EQ(custom.paired_multicast(sender, pair, 100), tarn.paired_multicast(from, on_tarn_pair, 100));
        }
    }
}

TEST(CustomTopology, RenumberedTablePlansAsTarn) {
    Tiles reversed(tarn_tile_count);
    std::iota(reversed.rbegin(), reversed.rend(), std::uint16_t{0});
    expect_plans_as_on_tarn(reversed);
}

TEST(CustomTopology, TableWithAMappedOutPairPlansAsTarn) {
    // Tarn tiles 2 and 3 (identifiers 64 and 66) mapped out; the rest move down by two.
    Tiles kept(tarn_tile_count - 2);
    std::iota(kept.begin(), kept.begin() + 2, std::uint16_t{0});
    std::iota(kept.begin() + 2, kept.end(), std::uint16_t{4});
    expect_plans_as_on_tarn(kept);

    const Topology topology = accepted({0, 2, 1408, 1410, 1409});  // tarn 0, 1, 44, 45 and a lone 46
    EXPECT_EQ(topology.paired_logical(2), 3);
    EXPECT_EQ(topology.paired_logical(4), std::unexpected(ExchangeError::tile(4)));
    const std::uint16_t lone[] = {4, 2};
    EXPECT_EQ(topology.paired_multicast(0, lone, 1), std::unexpected(ExchangeError::receiver_set()));
}

// A topology keeps tables derived from its numbering beside it: a copy, an
// assignment and a move must carry them along, and a copy must outlive its
// original. `tarn` and the reversed four-tile table plan tiles 0 to 3 differently.
TEST(CustomTopology, CopiesAndAssignmentsPlanAsTheirSource) {
    const auto expect_same_plans = [](const Topology& topology, const Topology& source) {
        const std::uint16_t pair[] = {2, 3};
        for (const std::uint16_t sender : {std::uint16_t{0}, std::uint16_t{1}}) {
            for (const std::uint16_t receiver : pair) {
                EXPECT_EQ(topology.point_to_point(sender, receiver, 60), source.point_to_point(sender, receiver, 60));
            }
            EXPECT_EQ(topology.multicast(sender, pair, 7, 3), source.multicast(sender, pair, 7, 3));
            EXPECT_EQ(topology.paired_multicast(sender, pair, 100), source.paired_multicast(sender, pair, 100));
        }
    };
    const Topology tarn = Topology::tarn();
    const Topology reversed = accepted({66, 64, 2, 0});
    ASSERT_NE(reversed.point_to_point(0, 2, 60), tarn.point_to_point(0, 2, 60));

    std::optional<Topology> original = Topology::tarn();
    const Topology copy = *original;
    Topology assigned = reversed;
    assigned = *original;
    Topology moved_into = reversed;
    moved_into = std::move(*original);
    original.reset();
    Topology reassigned = Topology::tarn();
    reassigned = reversed;

    expect_same_plans(copy, tarn);
    expect_same_plans(assigned, tarn);
    expect_same_plans(moved_into, tarn);
    expect_same_plans(reassigned, reversed);
}

// Rows worked out by hand for a four-tile table (identifiers 0, 2, 64, 66).
TEST(CustomTopology, SmallTableGivesTheWorkedRows) {
    const Topology topology = accepted({0, 2, 64, 66});
    const Plan plan = topology.point_to_point(0, 2, 1).value();
    EXPECT_EQ(plan.sender, (Row{0x41800003, 0x40a0008e, 0x78000001, 0x43a00000, 0, 0, 0, 0, 0}));
    EXPECT_EQ(plan.receiver, (Row{1, 0x41800003, 0x641c0000, 0x64000640, 0x61a00000, 0x40a00005, 0x43a00000, 0, 0}));

    const std::uint16_t pair[] = {2, 3};
    const MulticastPlan paired = topology.paired_multicast(0, pair, 100).value();
    EXPECT_EQ(paired.receivers[1],
              (Row{0x41800003, 0x61ac0001, 0x60080000, 0x630c0000, 0x40a00006, 0x43a00000, 0, 0, 0}));
    EXPECT_EQ(topology.point_to_point(0, 4, 1), std::unexpected(ExchangeError::tile(4)));
}

TEST(CustomTopology, RepeatedIdentifiersPairWithTheLowestHolder) {
    // Logical 0 and 3 share identifier 0, logical 1 and 2 share identifier 2:
    // `from_table` refuses that, the unchecked constructor keeps taking it.
    const Topology topology{Tiles{0, 2, 2, 0, 64}};
    EXPECT_EQ(topology.paired_logical(2), 0);
    EXPECT_EQ(topology.paired_logical(3), 1);
    const std::uint16_t lowest[] = {0, 1};
    EXPECT_TRUE(topology.paired_multicast(4, lowest, 1).has_value());
    // 2 and 3 hold a pair's identifiers, but each one's partner is 0 or 1.
    const std::uint16_t shadows[] = {2, 3};
    EXPECT_EQ(topology.paired_multicast(4, shadows, 1), std::unexpected(ExchangeError::receiver_set()));

    // Two logical tiles on one identifier are two receivers with the same row.
    const std::uint16_t twins[] = {1, 2};
    const MulticastPlan plan = topology.multicast(4, twins, 9, 0).value();
    EXPECT_EQ(plan.receivers[0], plan.receivers[1]);
    EXPECT_TRUE(topology.point_to_point(1, 2, 1).has_value());

    // `are_partners` reads the partner table in one direction and then the
    // other; it must still answer as `paired_logical` does when shadows share
    // identifiers (and off the table).
    for (std::uint16_t first = 0; first <= 5; ++first) {
        for (std::uint16_t second = 0; second <= 5; ++second) {
            const bool expected = topology.paired_logical(first) == second && topology.paired_logical(second) == first;
            EXPECT_EQ(topology.are_partners(first, second), expected) << first << ' ' << second;
        }
    }
}

// Rows 23 to 31 lie beyond tarn: mux times reach 130 (tarn stops at 112).
TEST(CustomTopology, IdentifiersUpTo2047ReachTheSenderDelayLimit) {
    // logical:                0     1  2     3  4     5     6
    const Topology topology = accepted({1440, 0, 1504, 2, 2016, 2047, 1});
    // Mux time 112, the largest tarn has: sender delay -1, no leading delay.
    EXPECT_EQ(topology.point_to_point(0, 1, 1)->sender,
              (Row{0x41800003, 0x78000002, 0x40a00004, 0x43a00000, 0, 0, 0, 0, 0}));
    const auto sender_delay = std::unexpected(ExchangeError::schedule(reason::sender_delay));
    EXPECT_EQ(topology.point_to_point(2, 3, 1), sender_delay);  // mux time 113
    EXPECT_EQ(topology.point_to_point(4, 1, 4148), sender_delay);  // mux time 130
    // The checks before the delay still come first.
    EXPECT_EQ(topology.point_to_point(2, 3, 0), std::unexpected(ExchangeError::count(0)));
    EXPECT_EQ(topology.point_to_point(2, 2, 1), std::unexpected(ExchangeError::duplicate_tile()));
    EXPECT_EQ(topology.point_to_point(2, 7, 1), std::unexpected(ExchangeError::tile(7)));

    // A multicast has no sender delay to refuse: its start moves instead, and the
    // receive cycle (offset + 113) meets its limit at offset 3983.
    const std::uint16_t one[] = {3};
    EXPECT_TRUE(topology.multicast(2, one, 1, 3982).has_value());
    EXPECT_EQ(topology.multicast(2, one, 1, 3983),
              std::unexpected(ExchangeError::schedule(reason::multicast_receive_cycle)));

    // Row 31 doubled is a receiver phase of 62: the PIC advance field holds
    // 51 - 1 + 62 = 112 at count 1 and 62 + 51 = 113 at count 52.
    const std::uint16_t far[] = {5};
    EXPECT_EQ(topology.multicast(6, far, 1, 0)->receivers[0][3], 0x63814000u);
    EXPECT_EQ(topology.multicast(6, far, 52, 0)->receivers[0][2], 0x63894000u);
}

// The longest paired rows come from the farthest rows; with every identifier a
// row can carry they still fit in nine words, so "paired receive row capacity"
// stays out of reach of a valid table.
TEST(CustomTopology, PairedRowsFitOnEveryRowACustomTableCanName) {
    Tiles every(maximum_physical_identifier + 1u);
    std::iota(every.begin(), every.end(), std::uint16_t{0});
    const Topology topology = accepted(every);
    for (const unsigned sender_row : {0u, 31u}) {
        for (std::uint16_t position = 0; position < 64; position += 3) {
            const auto sender = static_cast<std::uint16_t>(sender_row * 64 + position);
            for (std::uint16_t receiver = 1984; receiver < 2048; ++receiver) {
                const std::uint16_t pair[] = {receiver, static_cast<std::uint16_t>(receiver ^ 2u)};
                for (const std::uint32_t count : {1u, 3u, 129u, 4148u}) {
                    const auto plan = topology.paired_multicast(sender, pair, count);
                    ASSERT_TRUE(plan.has_value()) << sender << " -> " << receiver << " x" << count;
                    EXPECT_EQ(plan->receivers[0][8], 0u);
                    EXPECT_EQ(plan->receivers[1][8], 0u);
                }
            }
        }
    }
}

}  // namespace
