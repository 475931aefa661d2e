// Route timing from the bit fields of two physical identifiers.
#include <algorithm>
#include <cstdint>
#include <random>

#include <gtest/gtest.h>

#include "vorl_exchange/route_timing.hpp"
#include "vorl_exchange/topology.hpp"

namespace {

using namespace vorl_exchange;

static_assert(route_displacement(0, 64) == 1);
static_assert(route_displacement(32, 0) == -47);
static_assert(direction(32, 0) == 2);
static_assert(time_to_mux(0, 64) == -31);
static_assert(time_to_mux(32, 0) == 68);
static_assert(paired_time_to_mux(0, 64) == -30);
static_assert(validate_count(4148).has_value() && !validate_count(4149).has_value());

TEST(RouteTiming, WorkedExamples) {
    struct Case {
        std::uint32_t source;
        std::uint32_t destination;
        std::int32_t displacement;
        std::uint32_t direction;
        std::int32_t mux;
        std::int32_t paired_mux;
    };
    const Case cases[] = {
        {0, 64, 1, 1, -31, -30},  // the partner 66 is one cycle later
        {0, 2, 2, 1, -28, -28},   // the tile's own pair: 0 itself is at -29
        {0, 0, 1, 1, -29, -28},    {32, 0, -47, 2, 68, 68},  // column group 8 folds to 7; the partner 2 is at 67
        {32, 2, -46, 2, 67, 68},   {1471, 0, 1, 1, 31, 32},  // row 22, column group 15 folds to 0
        {0, 1471, 2, 1, -72, -72}, {0, 1469, 1, 1, -73, -72},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " -> " << c.destination);
        EXPECT_EQ(route_displacement(c.source, c.destination), c.displacement);
        EXPECT_EQ(direction(c.source, c.destination), c.direction);
        EXPECT_EQ(time_to_mux(c.source, c.destination), c.mux);
        EXPECT_EQ(paired_time_to_mux(c.source, c.destination), c.paired_mux);
    }
}

TEST(RouteTiming, RangesOverEveryOrderedPairOfTheTopology) {
    const Topology topology = Topology::tarn();
    const auto tiles = topology.logical_to_physical();
    std::int32_t displacement_min = 0, displacement_max = 0;
    std::int32_t mux_min = 1000, mux_max = -1000;
    std::int32_t paired_min = 1000, paired_max = -1000;
    std::uint64_t zero_displacements = 0, eastward = 0, distinct = 0;
    for (const std::uint32_t source : tiles) {
        for (const std::uint32_t destination : tiles) {
            const std::int32_t displacement = route_displacement(source, destination);
            const std::int32_t mux = time_to_mux(source, destination);
            const std::int32_t paired = paired_time_to_mux(source, destination);
            zero_displacements += displacement == 0 ? 1 : 0;
            displacement_min = std::min(displacement_min, displacement);
            displacement_max = std::max(displacement_max, displacement);
            mux_min = std::min(mux_min, mux);
            mux_max = std::max(mux_max, mux);
            paired_min = std::min(paired_min, paired);
            paired_max = std::max(paired_max, paired);
            if (paired < mux || (direction(source, destination) == 1) != (displacement > 0)) {
                FAIL() << source << " -> " << destination;
            }
            if (source != destination) {
                ++distinct;
                eastward += direction(source, destination) == 1 ? 1u : 0u;
            }
        }
    }
    EXPECT_EQ(zero_displacements, 0u);
    EXPECT_EQ(displacement_min, -47);
    EXPECT_EQ(displacement_max, 47);
    EXPECT_EQ(mux_min, -78);
    EXPECT_EQ(mux_max, 112);
    EXPECT_EQ(paired_min, -77);
    EXPECT_EQ(paired_max, 112);
    EXPECT_EQ(distinct, 1472u * 1471u);
    EXPECT_EQ(eastward * 2, distinct);
}

TEST(RouteTiming, BitsAboveBitTenAreIgnored) {
    std::mt19937 random{1472};
    std::uniform_int_distribution<std::uint32_t> low{0, 0x7ff};
    std::uniform_int_distribution<std::uint32_t> high{1, 0x1fffff};
    for (int sample = 0; sample < 20000; ++sample) {
        const std::uint32_t source = low(random), destination = low(random);
        const std::uint32_t noisy_source = source | (high(random) << 11);
        const std::uint32_t noisy_destination = destination | (high(random) << 11);
        ASSERT_EQ(route_displacement(noisy_source, noisy_destination), route_displacement(source, destination));
        ASSERT_EQ(direction(noisy_source, noisy_destination), direction(source, destination));
        ASSERT_EQ(time_to_mux(noisy_source, noisy_destination), time_to_mux(source, destination));
        ASSERT_EQ(paired_time_to_mux(noisy_source, noisy_destination), paired_time_to_mux(source, destination));
    }
}

TEST(ValidateCount, AcceptsOneTo4148AndCarriesTheRejectedCount) {
    for (const std::uint32_t count : {1u, 2u, 64u, 4147u, 4148u}) {
        EXPECT_TRUE(validate_count(count).has_value()) << count;
    }
    for (const std::uint32_t count : {0u, 4149u, 65536u, 4294967295u}) {
        const auto result = validate_count(count);
        ASSERT_FALSE(result.has_value()) << count;
        EXPECT_EQ(result.error(), ExchangeError::count(count));
    }
}

}  // namespace
