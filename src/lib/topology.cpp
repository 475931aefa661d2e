#include "vorl_exchange/topology.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

#include "route_terms.hpp"

namespace vorl_exchange {

namespace {

// What the unchecked constructor needs of a table: a length and identifiers
// that rows can carry.
std::optional<TopologyError> first_unservable_entry(std::span<const std::uint16_t> table) noexcept {
    if (table.size() > maximum_topology_tiles) {
        return TopologyError{TopologyRule::TableTooLong, static_cast<std::uint32_t>(maximum_topology_tiles)};
    }
    const auto beyond = std::ranges::find_if(table, [](std::uint16_t id) { return id > maximum_physical_identifier; });
    if (beyond != table.end()) {
        const auto entry = static_cast<std::uint32_t>(beyond - table.begin());
        return TopologyError{TopologyRule::IdentifierBeyondRowField, entry};
    }
    return std::nullopt;
}

// Everything `from_table` asks of a table: besides what the constructor needs,
// one tile per identifier. A repeated identifier would let two logical tiles
// name one physical tile, so that a point-to-point between them (refused when
// sender and receiver are the same tile) would plan a tile sending to itself.
std::optional<TopologyError> first_table_error(std::span<const std::uint16_t> table) noexcept {
    if (auto unservable = first_unservable_entry(table)) {
        return unservable;
    }
    // Every identifier is at most 0x7ff here: identifier -> first entry holding it.
    std::array<std::uint32_t, std::size_t{maximum_physical_identifier} + 1u> holder{};
    constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
    holder.fill(none);
    for (std::size_t entry = 0; entry < table.size(); ++entry) {
        std::uint32_t& first = holder[table[entry]];
        if (first != none) {
            return TopologyError::repeated_identifier(static_cast<std::uint32_t>(entry), first);
        }
        first = static_cast<std::uint32_t>(entry);
    }
    return std::nullopt;
}

}  // namespace

Topology Topology::tarn() {
    std::vector<std::uint16_t> table(tarn_tile_count);
    for (std::uint16_t logical = 0; logical < tarn_tile_count; ++logical) {
        table[logical] = tarn_logical_to_physical(logical);
    }
    return Topology{std::move(table)};
}

std::expected<Topology, TopologyError> Topology::from_table(std::vector<std::uint16_t> logical_to_physical) {
    if (const auto refused = first_table_error(logical_to_physical)) {
        return std::unexpected(*refused);
    }
    return Topology{std::move(logical_to_physical)};
}

Topology::Topology(std::vector<std::uint16_t> logical_to_physical)
    : logical_to_physical_{std::move(logical_to_physical)} {
    if (first_unservable_entry(logical_to_physical_)) {
        invariant_failure(invariant::topology_table_is_valid);
    }
    if (logical_to_physical_.empty()) {
        return;
    }
    // physical identifier -> lowest logical number holding it. Walked
    // downwards so that the lowest number is the one remembered, as a
    // front-to-back search would find.
    std::vector<std::int32_t> physical_to_logical(std::size_t{std::ranges::max(logical_to_physical_)} + 1u, no_tile);
    for (std::size_t logical = logical_to_physical_.size(); logical-- > 0;) {
        physical_to_logical[logical_to_physical_[logical]] =
            static_cast<std::int32_t>(std::min<std::size_t>(logical, std::numeric_limits<std::int32_t>::max()));
    }
    auto route_terms = std::make_shared<detail::RouteTerms[]>(logical_to_physical_.size());
    std::ranges::transform(logical_to_physical_, route_terms.get(),
                           [](std::uint16_t physical) { return detail::route_terms(physical); });
    route_terms_ = std::move(route_terms);
    partner_logical_.reserve(logical_to_physical_.size());
    for (const std::uint16_t physical : logical_to_physical_) {
        const std::size_t partner_physical = std::size_t{physical} ^ 2u;
        partner_logical_.push_back(partner_physical < physical_to_logical.size() ? physical_to_logical[partner_physical]
                                                                                 : no_tile);
    }
}

}  // namespace vorl_exchange
