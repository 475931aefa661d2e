// Route timing by table. `time_to_mux` and `direction` read five bit fields of
// each tile and combine them with a dozen operations and branches; planners
// call them several times per receiver. The result splits into a part that
// depends on the source alone, a part that depends on the destination alone,
// a turn that depends on the source and on whether both tiles are in the same
// half, and the distance |D(destination) - S(source)|. Each tile's parts are
// computed once, at compile time, for the 2048 values of the bits the timing
// reads (bits 0..10); a route is then two loads and a few additions. Each
// topology copies the terms of its tiles into a table by logical number, so
// that the planners need not look up a tile's identifier to find them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "vorl_exchange/route_timing.hpp"
#include "vorl_exchange/topology.hpp"
#include "vorl_exchange/topology_error.hpp"

namespace vorl_exchange::detail {

struct RouteTerms {
    // As the source of a route: its crossing and edge terms, less the constant
    // 34, plus the turn towards a destination in half 0 [0] or half 1 [1].
    std::int8_t source_turn[2];
    std::int8_t source_step;  // 6 x the source's mux column
    // As the destination of a route.
    std::int8_t destination_base;  // its column group, edge and row terms
    std::int8_t destination_step;  // 6 x its folded column group plus its lane step
    std::uint8_t half;  // as a destination: which of the source's turns applies
    // The pair partner's destination step. The partner differs in the lane bit
    // alone, which only the lane step reads: its other terms are these.
    std::int8_t partner_destination_step;
    std::uint8_t unused = 0;
};
// Eight bytes a tile, so that a tile's terms are found by one scaled index.
static_assert(sizeof(RouteTerms) == 8);

// The bits of a physical identifier that route timing reads.
inline constexpr std::uint32_t route_bits_mask = 0x7ff;

[[nodiscard]] constexpr RouteTerms route_terms_of(std::uint32_t tile) noexcept {
    using namespace tile_bits;
    const std::int32_t raw = column_group(tile);
    const std::int32_t low = low_column_group(tile);
    const std::int32_t mux_column = folded(raw) + ((raw >> 3) ^ parity(tile));
    // As a destination: 6 x the folded column group plus a lane step.
    const auto destination_step = [raw](std::uint32_t destination) {
        const std::int32_t lane = lane_and_parity(destination);
        const std::int32_t step =
            lane <= 1 ? ((raw >> 3) == lane ? 1 : 5) : ((raw >> 3) == parity(destination) ? 2 : 4);
        return static_cast<std::int8_t>(6 * folded(raw) + step);
    };
    const std::int32_t local = half(tile) * 8 + (low >> 1);
    const std::int32_t source_base = local + ((low >> 1) ^ 3) + 4 * folded(raw) + 2 * row(tile) - 34;
    const std::int32_t same_half_turn = low + 1;
    const std::int32_t other_half_turn = 16 - low;
    return RouteTerms{
        .source_turn = {static_cast<std::int8_t>(source_base + (half(tile) == 0 ? same_half_turn : other_half_turn)),
                        static_cast<std::int8_t>(source_base + (half(tile) == 1 ? same_half_turn : other_half_turn))},
        .source_step = static_cast<std::int8_t>(6 * mux_column),
        .destination_base = static_cast<std::int8_t>(-raw - 4 * folded(raw) - 2 * row(tile)),
        .destination_step = destination_step(tile),
        .half = static_cast<std::uint8_t>(half(tile)),
        .partner_destination_step = destination_step(partner(tile)),
    };
}

inline constexpr std::array<RouteTerms, route_bits_mask + 1> route_terms_table = [] {
    std::array<RouteTerms, route_bits_mask + 1> table{};
    for (std::uint32_t tile = 0; tile <= route_bits_mask; ++tile) {
        table[tile] = route_terms_of(tile);
    }
    return table;
}();

[[nodiscard]] constexpr const RouteTerms& route_terms(std::uint32_t tile) noexcept {
    return route_terms_table[tile & route_bits_mask];
}

// A topology keeps each logical tile's terms, `route_terms` of its physical
// identifier: a planner then reads a tile's terms by its logical number, one
// load, where looking up the identifier first puts a second load (and a mask)
// in front of every route. `of` gives them indexed by logical number.
struct LogicalRouteTerms {
    [[nodiscard]] static std::span<const RouteTerms> of(const Topology& topology) noexcept {
        return {topology.route_terms_.get(), topology.tile_count()};
    }
};

// The phase a receiver's row waits out: 2 x its row. Read from the route bits
// alone, which hold every identifier of a topology: the compiler then knows the
// phase is small and drops the field mask of the word that carries it.
[[nodiscard]] constexpr std::uint32_t receiver_phase(std::uint32_t tile) noexcept {
    return ((tile & route_bits_mask) >> 6) * 2u;
}
static_assert(maximum_physical_identifier <= route_bits_mask);

// `route_displacement(source, destination)`.
[[nodiscard]] constexpr std::int32_t fast_route_displacement(const RouteTerms& source,
                                                             const RouteTerms& destination) noexcept {
    return std::int32_t{destination.destination_step} - std::int32_t{source.source_step};
}

// `direction(source, destination)`.
[[nodiscard]] constexpr std::uint32_t fast_direction(const RouteTerms& source, const RouteTerms& destination) noexcept {
    return fast_route_displacement(source, destination) > 0 ? 1u : 2u;
}

// `time_to_mux` is the sum of two parts. The terms that do not depend on the
// distance: the source's base and its turn, which the destination's half
// selects (indexed rather than chosen, since it varies from receiver to
// receiver), and the destination's base.
[[nodiscard]] constexpr std::int32_t mux_terms(const RouteTerms& source, const RouteTerms& destination) noexcept {
    return source.source_turn[destination.half] + std::int32_t{destination.destination_base};
}
// The distance from the source to a destination step: |D(destination) - S(source)|.
[[nodiscard]] constexpr std::int32_t mux_distance(const RouteTerms& source, std::int32_t destination_step) noexcept {
    const std::int32_t displacement = destination_step - std::int32_t{source.source_step};
    return displacement < 0 ? -displacement : displacement;
}

// `time_to_mux(source, destination)`.
[[nodiscard]] constexpr std::int32_t fast_time_to_mux(const RouteTerms& source,
                                                      const RouteTerms& destination) noexcept {
    return mux_terms(source, destination) + mux_distance(source, destination.destination_step);
}

// `time_to_mux` to a destination and to its pair partner, from one table entry:
// the two routes share every term but the distance.
struct PairMuxTimes {
    std::int32_t own;
    std::int32_t partner;
};

[[nodiscard]] constexpr PairMuxTimes fast_pair_times_to_mux(const RouteTerms& source,
                                                            const RouteTerms& destination) noexcept {
    const std::int32_t shared = mux_terms(source, destination);
    return {shared + mux_distance(source, destination.destination_step),
            shared + mux_distance(source, destination.partner_destination_step)};
}

// Both answers for one route, from one displacement.
struct RouteFacts {
    std::int32_t mux;         // `time_to_mux`
    std::uint32_t direction;  // `direction`
};

[[nodiscard]] constexpr RouteFacts fast_route(const RouteTerms& source, const RouteTerms& destination) noexcept {
    return {fast_time_to_mux(source, destination), fast_direction(source, destination)};
}

// Bounds of `time_to_mux` over every pair of identifiers, from each term at
// its extreme (loose, but enough for what the planners derive from them).
struct MuxTimeBounds {
    std::int32_t least;
    std::int32_t most;
};

inline constexpr MuxTimeBounds mux_time_bounds = [] {
    std::int32_t least_turn = 0;
    std::int32_t most_turn = 0;
    std::int32_t least_base = 0;
    std::int32_t most_base = 0;
    std::int32_t least_step = 0;
    std::int32_t most_step = 0;
    for (const RouteTerms& terms : route_terms_table) {
        least_turn = std::min({least_turn, std::int32_t{terms.source_turn[0]}, std::int32_t{terms.source_turn[1]}});
        most_turn = std::max({most_turn, std::int32_t{terms.source_turn[0]}, std::int32_t{terms.source_turn[1]}});
        least_base = std::min(least_base, std::int32_t{terms.destination_base});
        most_base = std::max(most_base, std::int32_t{terms.destination_base});
        least_step = std::min({least_step, std::int32_t{terms.source_step}, std::int32_t{terms.destination_step},
                               std::int32_t{terms.partner_destination_step}});
        most_step = std::max({most_step, std::int32_t{terms.source_step}, std::int32_t{terms.destination_step},
                              std::int32_t{terms.partner_destination_step}});
    }
    return MuxTimeBounds{.least = least_turn + least_base, .most = most_turn + most_base + most_step - least_step};
}();

// Spot checks against the field formulas; the test suite compares every pair.
static_assert(fast_time_to_mux(route_terms(0), route_terms(64)) == time_to_mux(0, 64));
static_assert(fast_time_to_mux(route_terms(32), route_terms(0)) == time_to_mux(32, 0));
static_assert(fast_time_to_mux(route_terms(1471), route_terms(0)) == time_to_mux(1471, 0));
static_assert(fast_time_to_mux(route_terms(0), route_terms(1469)) == time_to_mux(0, 1469));
static_assert(fast_direction(route_terms(32), route_terms(0)) == direction(32, 0));
static_assert(fast_pair_times_to_mux(route_terms(1471), route_terms(0)).partner == time_to_mux(1471, 2));

}  // namespace vorl_exchange::detail
