/// @file
/// Timing of a route across the exchange fabric, read off the bit fields of two
/// physical tile identifiers (the sender first, the receiver second).
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstdint>

#include "vorl_exchange/errors.hpp"

namespace vorl_exchange {

/// The fields of a physical tile identifier that the timing rules read.
namespace tile_bits {
/// Bit 0: the parity bit.
[[nodiscard]] constexpr std::int32_t parity(std::uint32_t tile) noexcept {
    return static_cast<std::int32_t>(tile & 1u);
}
/// Bits 0 and 1: the lane and parity bits together.
[[nodiscard]] constexpr std::int32_t lane_and_parity(std::uint32_t tile) noexcept {
    return static_cast<std::int32_t>(tile & 3u);
}
/// Bits 2 to 5: the column group, 0 to 15.
[[nodiscard]] constexpr std::int32_t column_group(std::uint32_t tile) noexcept {
    return static_cast<std::int32_t>((tile >> 2) & 0xfu);
}
/// Bits 2 to 4: the column group modulo 8.
[[nodiscard]] constexpr std::int32_t low_column_group(std::uint32_t tile) noexcept {
    return static_cast<std::int32_t>((tile >> 2) & 0x7u);
}
/// Bit 5: whether the column group is 8 or more.
[[nodiscard]] constexpr std::int32_t half(std::uint32_t tile) noexcept {
    return static_cast<std::int32_t>((tile >> 5) & 1u);
}
/// Bits 6 to 10: the tile's row.
[[nodiscard]] constexpr std::int32_t row(std::uint32_t tile) noexcept {
    return static_cast<std::int32_t>((tile >> 6) & 0x1fu);
}
/// Column groups 8..15 mirror onto 7..0.
[[nodiscard]] constexpr std::int32_t folded(std::int32_t group) noexcept { return group <= 7 ? group : group ^ 15; }
/// Flipping the lane bit names the other tile of a pair.
[[nodiscard]] constexpr std::uint32_t partner(std::uint32_t tile) noexcept { return tile ^ 2u; }
}  // namespace tile_bits

/// Signed step count from `source` to `destination`; never 0, within -47..47.
[[nodiscard]] constexpr std::int32_t route_displacement(std::uint32_t source, std::uint32_t destination) noexcept {
    const std::int32_t source_raw = tile_bits::column_group(source);
    const std::int32_t destination_raw = tile_bits::column_group(destination);
    const std::int32_t source_mux = tile_bits::folded(source_raw) + ((source_raw >> 3) ^ tile_bits::parity(source));
    const std::int32_t base = (tile_bits::folded(destination_raw) - source_mux) * 6;
    const std::int32_t destination_lane = tile_bits::lane_and_parity(destination);
    const std::int32_t destination_half = destination_raw >> 3;
    std::int32_t step = 0;
    if (destination_lane <= 1) {
        step = destination_half == destination_lane ? 1 : 5;
    } else {
        step = destination_half == tile_bits::parity(destination) ? 2 : 4;
    }
    return base + step;
}

/// The send-direction operand for a single receiver: 1 east (positive
/// displacement), 2 west.
[[nodiscard]] constexpr std::uint32_t direction(std::uint32_t source, std::uint32_t destination) noexcept {
    return route_displacement(source, destination) > 0 ? 1u : 2u;
}

/// Cycles from the sender's start cycle to the cycle the receiver sets its mux.
[[nodiscard]] constexpr std::int32_t time_to_mux(std::uint32_t source, std::uint32_t destination) noexcept {
    const std::int32_t source_raw = tile_bits::column_group(source);
    const std::int32_t destination_raw = tile_bits::column_group(destination);
    const std::int32_t source_low = tile_bits::low_column_group(source);
    const std::int32_t displacement = route_displacement(source, destination);
    const std::int32_t source_edge = 4 * tile_bits::folded(source_raw);
    const std::int32_t destination_edge = 4 * tile_bits::folded(destination_raw);
    const std::int32_t local = tile_bits::half(source) * 8 + (source_low >> 1);
    const std::int32_t crossing = local - destination_raw + ((source_low >> 1) ^ 3);
    const bool same_region = tile_bits::half(source) == tile_bits::half(destination);
    const std::int32_t turn = same_region ? source_low + 1 : 16 - source_low;
    const std::int32_t group_delta = (tile_bits::row(source) - tile_bits::row(destination)) * 2;
    const std::int32_t distance = displacement < 0 ? -displacement : displacement;
    return crossing + source_edge + turn - destination_edge + group_delta + distance - 34;
}

/// The mux time of the destination's pair: the later of its two tiles.
[[nodiscard]] constexpr std::int32_t paired_time_to_mux(std::uint32_t source, std::uint32_t destination) noexcept {
    const std::int32_t own = time_to_mux(source, destination);
    const std::int32_t partner = time_to_mux(source, tile_bits::partner(destination));
    return own > partner ? own : partner;
}

/// Every planner accepts 1..=maximum_count words.
[[nodiscard]] constexpr Result<void> validate_count(std::uint32_t count) noexcept {
    if (count < 1 || count > maximum_count) {
        return std::unexpected(ExchangeError::count(count));
    }
    return {};
}

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
