// Why a receiver list is refused: the first offending entry and its rule, in
// the planners' order of checks, and always in agreement with the planners.
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;
using Tiles = std::vector<std::uint16_t>;

const Topology& tarn() {
    static const Topology topology = Topology::tarn();
    return topology;
}

ReceiverFault of_list(ReceiverRule rule) { return {.rule = rule, .entry = std::nullopt}; }
ReceiverFault at(ReceiverRule rule, std::size_t position, std::uint16_t tile) {
    return {.rule = rule, .entry = ReceiverEntry{.position = position, .tile = tile}};
}

// Seventeen distinct tiles and then a repeat: past the set's inline storage.
Tiles long_list_repeating(std::uint16_t repeated) {
    Tiles tiles;
    for (std::uint16_t tile = 100; tile < 117; ++tile) tiles.push_back(tile);
    tiles.push_back(repeated);
    return tiles;
}

TEST(ReceiverFault, MulticastNamesTheFirstOffenderInItsOrderOfChecks) {
    const struct {
        const char* name;
        std::uint16_t sender;
        Tiles receivers;
        std::optional<ReceiverFault> fault;
    } cases[] = {
        {"empty", 0, {}, of_list(ReceiverRule::EmptyList)},
        {"the sender alone", 7, {7}, at(ReceiverRule::SenderAlone, 0, 7)},
        {"the sender alone, outside the topology", 5000, {5000}, at(ReceiverRule::SenderAlone, 0, 5000)},
        {"the sender among others", 0, {0, 2}, std::nullopt},
        {"one other tile", 0, {2}, std::nullopt},
        {"a repeat, named at its second place", 0, {2, 5, 2}, at(ReceiverRule::Repeated, 2, 2)},
        {"two receivers, one tile", 0, {9, 9}, at(ReceiverRule::Repeated, 1, 9)},
        {"outside the topology", 0, {2, 5000}, at(ReceiverRule::OutsideTopology, 1, 5000)},
        {"the walk stops at the first offender", 0, {2, 1472, 2}, at(ReceiverRule::OutsideTopology, 1, 1472)},
        {"outside, then repeated", 0, {1472, 1472}, at(ReceiverRule::OutsideTopology, 0, 1472)},
        {"a repeat in a long list", 0, long_list_repeating(116), at(ReceiverRule::Repeated, 17, 116)},
        {"a long list", 0, long_list_repeating(117), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(multicast_receiver_fault(tarn(), c.sender, c.receivers), c.fault);
    }
}

TEST(ReceiverFault, PairedNamesTheFirstOffenderInItsOrderOfChecks) {
    // Tile 0 has no partner here: nothing holds physical 2.
    const Topology unpaired = Topology::from_table({0, 64, 66}).value();
    const struct {
        const char* name;
        const Topology& topology;
        Tiles receivers;
        std::optional<ReceiverFault> fault;
    } cases[] = {
        {"empty", tarn(), {}, of_list(ReceiverRule::EmptyList)},
        {"one tile", tarn(), {2}, of_list(ReceiverRule::OddCount)},
        {"the count before a repeat", tarn(), {2, 3, 2}, of_list(ReceiverRule::OddCount)},
        {"one pair", tarn(), {3, 2}, std::nullopt},
        {"two pairs, interleaved", tarn(), {2, 4, 5, 3}, std::nullopt},
        {"a tile twice", tarn(), {2, 2}, at(ReceiverRule::Repeated, 1, 2)},
        {"a pair twice", tarn(), {2, 3, 2, 3}, at(ReceiverRule::Repeated, 2, 2)},
        {"every repeat before any partner", tarn(), {2, 4, 6, 6}, at(ReceiverRule::Repeated, 3, 6)},
        {"outside the topology", tarn(), {1500, 2}, at(ReceiverRule::OutsideTopology, 0, 1500)},
        {"a partner missing", tarn(), {2, 5}, at(ReceiverRule::PartnerMissing, 0, 2)},
        {"the second pair broken", tarn(), {2, 3, 4, 7}, at(ReceiverRule::PartnerMissing, 2, 4)},
        {"no partner in the table", unpaired, {0, 1}, at(ReceiverRule::NoPartner, 0, 0)},
        {"a partner in the table", unpaired, {2, 1}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(paired_receiver_fault(c.topology, c.receivers), c.fault);
    }
}

// The planners test their lists with their own fast checks; the fault must be
// there exactly when they refuse the list, whatever the list's length and the
// table (missing partners, identifiers held twice).
TEST(ReceiverFault, ExplainsExactlyTheListsThePlannersRefuse) {
    const Topology tables[] = {
        Topology::tarn(),
        Topology{Tiles{0, 0, 2, 64, 66, 66, 130, 5}},  // repeats: only the unchecked constructor takes them
        Topology::from_table({0, 64, 66, 2, 128}).value(),
    };
    std::mt19937 random{37};
    for (const Topology& topology : tables) {
        const auto tiles = static_cast<std::uint16_t>(topology.tile_count());
        std::uniform_int_distribution<int> tile(0, tiles + 1);  // a few outside the topology
        std::uniform_int_distribution<int> length(0, 6);
        for (int trial = 0; trial < 20'000; ++trial) {
            Tiles receivers(static_cast<std::size_t>(trial % 50 == 0 ? 20 : length(random)));
            for (std::uint16_t& receiver : receivers) receiver = static_cast<std::uint16_t>(tile(random));
            const auto sender = static_cast<std::uint16_t>(random() % tiles);
            SCOPED_TRACE(::testing::PrintToString(receivers) + " from " + std::to_string(sender));

            const auto multicast = topology.multicast(sender, receivers, 1, 0);
            const bool multicast_refused = !multicast && multicast.error().kind() == ErrorKind::ReceiverSet;
            EXPECT_EQ(multicast_refused, multicast_receiver_fault(topology, sender, receivers).has_value());

            const auto paired = topology.paired_multicast(sender, receivers, 1);
            const bool paired_refused = !paired && paired.error().kind() == ErrorKind::ReceiverSet;
            EXPECT_EQ(paired_refused, paired_receiver_fault(topology, receivers).has_value());
        }
    }
}

TEST(ReceiverFault, EveryRuleHasItsOwnNameAndText) {
    for (std::size_t first = 0; first < receiver_rule_count; ++first) {
        for (std::size_t second = first + 1; second < receiver_rule_count; ++second) {
            const auto one = static_cast<ReceiverRule>(first);
            const auto other = static_cast<ReceiverRule>(second);
            EXPECT_NE(rule_name(one), rule_name(other));
            EXPECT_NE(rule_text(one), rule_text(other));
        }
    }
}

}  // namespace
