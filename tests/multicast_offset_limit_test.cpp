// Topology::multicast_offset_limit against the multicast itself: at the limit the
// multicast plans, one cycle later it fails with a Schedule error, and where no
// offset plans the limit reports the multicast's error at offset 0.
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "case_table.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/topology.hpp"

namespace {

using vorl_exchange::ErrorKind;
using vorl_exchange::Topology;
using Tiles = std::vector<std::uint16_t>;

// Returns whether the property held, so that random loops stop at the first failure.
bool limit_is_exact(const Topology& topology, std::uint16_t sender, const Tiles& receivers, std::uint32_t count) {
    SCOPED_TRACE(::testing::Message() << "sender " << sender << ", " << receivers.size() << " receivers, count "
                                      << count);
    const auto limit = topology.multicast_offset_limit(sender, receivers, count);
    if (!limit) {
        const auto at_zero = topology.multicast(sender, receivers, count, 0);
        EXPECT_FALSE(at_zero.has_value());
        EXPECT_EQ(at_zero ? vorl_exchange::ExchangeError::host_packet() : at_zero.error(), limit.error());
        return !at_zero && at_zero.error() == limit.error();
    }
    const auto at_limit = topology.multicast(sender, receivers, count, *limit);
    const auto past_limit = topology.multicast(sender, receivers, count, *limit + 1);
    EXPECT_TRUE(at_limit.has_value()) << "limit " << *limit << ": " << at_limit.error();
    EXPECT_FALSE(past_limit.has_value()) << "limit " << *limit;
    const bool past_is_schedule = !past_limit && past_limit.error().kind() == ErrorKind::Schedule;
    EXPECT_TRUE(past_is_schedule);
    return at_limit.has_value() && past_is_schedule;
}

TEST(MulticastOffsetLimit, ExactForEveryCaseTableSenderAndReceiverList) {
    const Topology topology = Topology::tarn();
    std::vector<Tiles> lists;
    for (const auto& entry : sablemark::entries) {
        lists.emplace_back(entry.receivers.begin(), entry.receivers.end());
    }
    for (const auto& pair : sablemark::receiver_pairs) {
        lists.emplace_back(pair.begin(), pair.end());
    }
    lists.emplace_back();  // no receivers: the receiver-set error
    for (const auto& entry : sablemark::entries) {
        for (const Tiles& receivers : lists) {
            for (const std::uint32_t count : {0u, 1u, 100u, vorl_exchange::maximum_count, 4149u}) {
                limit_is_exact(topology, entry.source, receivers, count);
            }
        }
    }
}

TEST(MulticastOffsetLimit, KnownLimits) {
    const Topology topology = Topology::tarn();
    // Sender 0 to tile 2: mux time -31, so the start is 31 and the limit 4095 - 31.
    EXPECT_EQ(topology.multicast_offset_limit(0, Tiles{2}, 1), 4064u);
    EXPECT_EQ(topology.multicast_offset_limit(0, Tiles{2, 1}, 1), 4064u);
    EXPECT_EQ(topology.multicast_offset_limit(0, Tiles{0}, 1).error(), vorl_exchange::ExchangeError::receiver_set());
    EXPECT_EQ(topology.multicast_offset_limit(1472, Tiles{2}, 0).error(), vorl_exchange::ExchangeError::count(0));
    EXPECT_EQ(topology.multicast_offset_limit(1472, Tiles{2}, 1).error(), vorl_exchange::ExchangeError::tile(1472));
}

// Random lists with repeats and tiles outside the topology, on the 1472-tile
// numbering and on a sparse one whose far-apart identifiers (up to the largest a
// row carries) give long route times.
TEST(MulticastOffsetLimit, ExactOnRandomLists) {
    std::mt19937 random{12};
    std::vector<std::uint16_t> sparse(300);
    for (std::uint16_t& physical : sparse) {
        physical = static_cast<std::uint16_t>(random() % (vorl_exchange::maximum_physical_identifier + 1u));
    }
    const Topology topologies[] = {Topology::tarn(), Topology{sparse}};
    for (const Topology& topology : topologies) {
        const auto tile = [&] {
            const auto top = static_cast<std::uint32_t>(topology.tile_count() + 2);
            return static_cast<std::uint16_t>(random() % top);
        };
        for (int trial = 0; trial < 3000; ++trial) {
            Tiles receivers(random() % 6);
            for (std::uint16_t& receiver : receivers) {
                receiver = tile();
            }
            const std::uint32_t count = random() % 64 == 0 ? 0u : 1u + static_cast<std::uint32_t>(random() % 4148);
            if (!limit_is_exact(topology, tile(), receivers, count)) {
                return;
            }
        }
    }
}

}  // namespace
