/// @file
/// Logical-to-physical tile numbering, and the planners that work on it.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstdint>
#include <expected>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/topology_error.hpp"

namespace vorl_exchange {

namespace detail {
struct RouteTerms;
struct LogicalRouteTerms;
}  // namespace detail

/// Number of tiles of the one processor configuration, `Topology::tarn`.
inline constexpr std::uint16_t tarn_tile_count = 1472;

/// The physical identifier of a logical tile in the 1472-tile numbering: pairs of
/// tiles in blocks of 23 rows, odd blocks running their rows backwards. Total over
/// every 16-bit input; only 0..1471 are meaningful.
[[nodiscard]] constexpr std::uint16_t tarn_logical_to_physical(std::uint16_t logical) noexcept {
    constexpr unsigned rows = 23;
    const unsigned pair = logical / 2u;
    const unsigned lane = logical % 2u;
    const unsigned block = pair / rows;
    unsigned row = pair % rows;
    if (block % 2u == 1u) {
        row = rows - 1u - row;
    }
    const unsigned column = (block / 2u) * 4u + block % 2u;
    return static_cast<std::uint16_t>(row * 64u + column + lane * 2u);
}

/// The map from logical tile numbers to physical identifiers, and the planners
/// that work on it. Immutable: any number of threads may plan on one topology
/// at once.
class VORL_EXCHANGE_EXPORT Topology {
public:
    /// The 1472-tile configuration.
    [[nodiscard]] static Topology tarn();

    /// A topology over a table that comes from outside the program: a table that
    /// breaks the constructor's precondition, or that holds one identifier in two
    /// entries (two logical tiles in one physical place), is refused, naming its
    /// first offending entry (the length is tested first, then every identifier's
    /// width, then repeats; a repeat names the earlier entry too).
    [[nodiscard]] static std::expected<Topology, TopologyError> from_table(
        std::vector<std::uint16_t> logical_to_physical);

    /// A topology over a table of physical identifiers, indexed by logical tile.
    /// Precondition: at most `maximum_topology_tiles` entries, and no identifier
    /// above `maximum_physical_identifier`, since every row carries identifiers
    /// in 11 bits. Identifiers may repeat here (`from_table` refuses that); the
    /// partner of a tile is then the lowest logical number holding the partner
    /// identifier. A table that breaks
    /// the precondition stops the program here, before a row could name the
    /// wrong tile.
    explicit Topology(std::vector<std::uint16_t> logical_to_physical);

    /// The table, indexed by logical tile.
    [[nodiscard]] std::span<const std::uint16_t> logical_to_physical() const noexcept { return logical_to_physical_; }
    /// The number of logical tiles.
    [[nodiscard]] std::size_t tile_count() const noexcept { return logical_to_physical_.size(); }

    /// The physical identifier of `logical`, or `Tile(logical)`.
    [[nodiscard]] Result<std::uint16_t> physical(std::uint16_t logical) const noexcept {
        if (logical < logical_to_physical_.size()) {
            return logical_to_physical_[logical];
        }
        return std::unexpected(ExchangeError::tile(logical));
    }

    /// The logical number of the tile whose physical identifier differs from that of
    /// `logical` in the lane bit alone (the lowest such number), or `Tile(logical)`.
    [[nodiscard]] Result<std::uint16_t> paired_logical(std::uint16_t logical) const noexcept {
        // Inline: the planners' receiver checks call it for every receiver, and
        // a call would hand the result back through memory.
        if (logical >= partner_logical_.size() || partner_logical_[logical] == no_tile) {
            return std::unexpected(ExchangeError::tile(logical));
        }
        const auto partner = partner_logical_[logical];
        if (partner > std::numeric_limits<std::uint16_t>::max()) {
            invariant_failure(invariant::logical_tile_count_fits_u16);
        }
        return static_cast<std::uint16_t>(partner);
    }

    /// Whether `first` and `second` are each other's partner: `paired_logical` of
    /// each is the other. Cheaper than asking `paired_logical` of both.
    [[nodiscard]] bool are_partners(std::uint16_t first, std::uint16_t second) const noexcept {
        // Both tables have a row per tile; bounded by the first, which the
        // planners bound their lookups by as well. A partner found is a tile
        // of the table, so the second lookup holds.
        return first < logical_to_physical_.size() && partner_logical_[first] == std::int32_t{second} &&
               partner_logical_[second] == std::int32_t{first};
    }

    /// One sender, one receiver: `count` words from `sender_logical` to
    /// `receiver_logical`.
    ///
    /// Refused, in this order of checks, with `Count` for a count outside
    /// 1..4148, `DuplicateTile` when the sender is its own receiver, and `Tile`
    /// for a tile the topology lacks.
    /// @code{.cpp}
    /// const Topology topology = Topology::tarn();
    /// if (const Result<Plan> plan = topology.point_to_point(0, 2, 100)) {
    ///     std::cout << describe(plan->sender[1]) << '\n';  // delay advance_cycles=143
    /// } else {
    ///     std::cerr << plan.error() << '\n';
    /// }
    /// @endcode
    [[nodiscard]] Result<Plan> point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                                              std::uint32_t count) const;

    /// One sender, several receivers on one shared timeline, started
    /// `schedule_offset` cycles after the earliest possible start.
    ///
    /// The plan holds one receiver row per receiver, in the order given.
    /// `multicast_offset_limit` gives the largest `schedule_offset` that plans.
    /// @code{.cpp}
    /// const std::uint16_t receivers[] = {2, 1};
    /// const Result<MulticastPlan> plan = Topology::tarn().multicast(0, receivers, 1, 10);
    /// // plan->receivers[0] is the row of tile 2, plan->receivers[1] that of tile 1.
    /// @endcode
    [[nodiscard]] Result<MulticastPlan> multicast(std::uint16_t sender_logical,
                                                  std::span<const std::uint16_t> receiver_logical, std::uint32_t count,
                                                  std::uint32_t schedule_offset) const;

    /// The largest `schedule_offset` for which `multicast` plans with these
    /// arguments, so that a scheduler knows its slack without trying offsets: every
    /// offset from 0 to the limit plans, and none above it. When no offset plans,
    /// the error `multicast` returns at offset 0.
    [[nodiscard]] Result<std::uint32_t> multicast_offset_limit(std::uint16_t sender_logical,
                                                               std::span<const std::uint16_t> receiver_logical,
                                                               std::uint32_t count) const;

    /// One sender, receivers in whole pairs receiving in the 64-bit paired mode.
    ///
    /// Every receiver's partner (`paired_logical`) must be listed too, or the
    /// list is refused with `ReceiverSet`.
    /// @code{.cpp}
    /// const std::uint16_t pair[] = {2, 3};
    /// const Result<MulticastPlan> plan = Topology::tarn().paired_multicast(0, pair, 64);
    /// @endcode
    [[nodiscard]] Result<MulticastPlan> paired_multicast(std::uint16_t sender_logical,
                                                         std::span<const std::uint16_t> receivers,
                                                         std::uint32_t count) const;

    /// The row of one receiver of a paired multicast; `minimum_double_mux` is the
    /// smallest paired mux time from the sender to any receiver of that multicast.
    [[nodiscard]] Result<Row> paired_receiver_row(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                                                  std::uint32_t count, std::int32_t minimum_double_mux) const;

    /// Whether `receiver_logical` is the early tile of its pair: its own mux time from
    /// the sender is smaller than its partner's.
    [[nodiscard]] Result<bool> paired_receiver_is_early(std::uint16_t receiver_logical,
                                                        std::uint16_t sender_logical) const;

private:
    static constexpr std::int32_t no_tile = -1;

    std::vector<std::uint16_t> logical_to_physical_;
    /// logical number -> `paired_logical` of it, or `no_tile`: a partner query
    /// is one lookup.
    std::vector<std::int32_t> partner_logical_;
    /// logical number -> the route terms of its physical identifier, derived
    /// once when the topology is built, so that a planner finds a tile's terms
    /// in one lookup. Shared by copies, since a topology never changes.
    std::shared_ptr<const detail::RouteTerms[]> route_terms_;
    friend struct detail::LogicalRouteTerms;
};

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
