// The planners' table-driven route timing against the field formulas of
// route_timing.hpp, for every pair of values of the bits that timing reads,
// and within the bounds the planners derive from the table.
#include <cstdint>

#include <gtest/gtest.h>

#include "route_terms.hpp"

namespace {

using namespace vorl_exchange;

TEST(RouteTerms, EveryTilePairMatchesTheFieldFormulas) {
    constexpr std::uint32_t tiles = detail::route_bits_mask + 1;
    int mismatches = 0;
    for (std::uint32_t source = 0; source < tiles; ++source) {
        for (std::uint32_t destination = 0; destination < tiles; ++destination) {
            const auto& from = detail::route_terms(source);
            const auto& to = detail::route_terms(destination);
            const auto pair = detail::fast_pair_times_to_mux(from, to);
            const bool same = detail::fast_route_displacement(from, to) == route_displacement(source, destination) &&
                              detail::fast_direction(from, to) == direction(source, destination) &&
                              detail::fast_time_to_mux(from, to) == time_to_mux(source, destination) &&
                              pair.own == time_to_mux(source, destination) &&
                              pair.partner == time_to_mux(source, tile_bits::partner(destination)) &&
                              pair.own >= detail::mux_time_bounds.least && pair.own <= detail::mux_time_bounds.most;
            if (!same && ++mismatches <= 5) {
                ADD_FAILURE() << "source " << source << " destination " << destination << ": mux "
                              << detail::fast_time_to_mux(from, to) << " vs " << time_to_mux(source, destination);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Bits above the timing fields select nothing: the table folds them away exactly
// as the field accessors ignore them.
TEST(RouteTerms, HighBitsAreIgnored) {
    const std::uint32_t pairs[][2] = {{0x800, 64}, {0xffff, 0}, {0x12345, 0xfedcb}, {1471, 0xf800 | 2}};
    for (const auto& [source, destination] : pairs) {
        const auto& from = detail::route_terms(source);
        const auto& to = detail::route_terms(destination);
        EXPECT_EQ(detail::fast_time_to_mux(from, to), time_to_mux(source, destination))
            << source << " -> " << destination;
        EXPECT_EQ(detail::fast_direction(from, to), direction(source, destination)) << source << " -> " << destination;
    }
}

}  // namespace
