// The logical-to-physical numbering of the 1472-tile processor and pair lookup.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/topology.hpp"

namespace {

using vorl_exchange::ExchangeError;
using vorl_exchange::Topology;

static_assert(vorl_exchange::tarn_logical_to_physical(46) == 1409);
static_assert(vorl_exchange::tarn_logical_to_physical(1471) == 63);

TEST(TarnNumbering, WorkedRows) {
    struct Row {
        std::uint16_t logical;
        std::uint16_t physical;
        std::uint16_t partner;
    };
    const Row rows[] = {
        {0, 0, 1},        {1, 2, 0},        {2, 64, 3},       {3, 66, 2},       {44, 1408, 45},
        {45, 1410, 44},   {46, 1409, 47},   {47, 1411, 46},   {90, 1, 91},      {91, 3, 90},
        {92, 4, 93},      {137, 1414, 136}, {138, 1413, 139}, {274, 9, 275},    {736, 32, 737},
        {1286, 53, 1287}, {1287, 55, 1286}, {1470, 61, 1471}, {1471, 63, 1470},
    };
    const Topology topology = Topology::tarn();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.logical);
        EXPECT_EQ(vorl_exchange::tarn_logical_to_physical(row.logical), row.physical);
        EXPECT_EQ(topology.physical(row.logical), row.physical);
        EXPECT_EQ(topology.paired_logical(row.logical), row.partner);
    }
}

TEST(TarnNumbering, OutOfRangeTilesNameTheTileAsked) {
    const Topology topology = Topology::tarn();
    EXPECT_EQ(topology.tile_count(), 1472u);
    for (const std::uint16_t logical : {std::uint16_t{1472}, std::uint16_t{1473}, std::uint16_t{65535}}) {
        EXPECT_EQ(topology.physical(logical).error(), ExchangeError::tile(logical));
        EXPECT_EQ(topology.paired_logical(logical).error(), ExchangeError::tile(logical));
    }
}

TEST(TarnNumbering, IsABijectionOntoTheFirst1472Identifiers) {
    const Topology topology = Topology::tarn();
    std::vector<std::uint16_t> physical(topology.logical_to_physical().begin(), topology.logical_to_physical().end());
    std::ranges::sort(physical);
    for (std::size_t index = 0; index < physical.size(); ++index) {
        ASSERT_EQ(physical[index], index);
    }
}

TEST(TarnNumbering, EveryTilesPartnerIsItsNeighbourInLogicalOrder) {
    const Topology topology = Topology::tarn();
    for (std::uint16_t logical = 0; logical < vorl_exchange::tarn_tile_count; ++logical) {
        const auto partner = topology.paired_logical(logical);
        ASSERT_EQ(partner, logical ^ 1u) << logical;
        ASSERT_EQ(*topology.physical(logical) ^ *topology.physical(*partner), 2u) << logical;
        ASSERT_TRUE(topology.are_partners(logical, *partner)) << logical;
        ASSERT_FALSE(topology.are_partners(logical, logical)) << logical;
        ASSERT_FALSE(topology.are_partners(logical, *partner ^ 2u)) << logical;
    }
}

TEST(TarnNumbering, ReadBackwardsFromPhysical) {
    const Topology topology = Topology::tarn();
    const auto table = topology.logical_to_physical();
    const auto owner = [&](std::uint16_t physical) { return std::ranges::find(table, physical) - table.begin(); };
    const std::uint16_t expected[] = {0, 90, 1, 91, 92, 182, 93, 183};
    for (std::uint16_t physical = 0; physical < 8; ++physical) {
        EXPECT_EQ(owner(physical), expected[physical]) << physical;
    }
    EXPECT_EQ(owner(1408), 44);
    // The ends of blocks 0 and 1 meet side by side in row 22 (the serpentine turn).
    EXPECT_EQ(*topology.physical(44) >> 6, 22);
    EXPECT_EQ(*topology.physical(46) >> 6, 22);
    EXPECT_EQ(*topology.physical(44) & 63, 0);
    EXPECT_EQ(*topology.physical(46) & 63, 1);
}

TEST(CustomTopology, PartnerIsTheLowestTileHoldingTheFlippedIdentifier) {
    // Identifier 2 has a partner; 4 lacks one inside the table; 9's partner 11
    // lies beyond the largest identifier.
    const Topology topology{{0, 4, 9, 2, 0}};
    struct Row {
        std::uint16_t logical;
        vorl_exchange::Result<std::uint16_t> partner;
    };
    const Row rows[] = {
        {0, 3}, {1, std::unexpected(ExchangeError::tile(1))}, {2, std::unexpected(ExchangeError::tile(2))}, {3, 0},
        {4, 3}, {5, std::unexpected(ExchangeError::tile(5))},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(topology.paired_logical(row.logical), row.partner) << row.logical;
    }
    const Topology empty{{}};
    EXPECT_EQ(empty.physical(0).error(), ExchangeError::tile(0));
    EXPECT_EQ(empty.paired_logical(0).error(), ExchangeError::tile(0));
}

}  // namespace
