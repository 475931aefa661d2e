#include "vorl_exchange/topology.hpp"

#include <algorithm>
#include <limits>

namespace vorl_exchange {

Topology Topology::tarn() {
    std::vector<std::uint16_t> table(tarn_tile_count);
    for (std::uint16_t logical = 0; logical < tarn_tile_count; ++logical) {
        table[logical] = tarn_logical_to_physical(logical);
    }
    return Topology{std::move(table)};
}

Topology::Topology(std::vector<std::uint16_t> logical_to_physical)
    : logical_to_physical_{std::move(logical_to_physical)} {
    if (logical_to_physical_.empty()) {
        return;
    }
    physical_to_logical_.assign(std::size_t{std::ranges::max(logical_to_physical_)} + 1u, no_tile);
    // Walk downwards so that the lowest logical number holding a physical
    // identifier is the one remembered, as a front-to-back search would find.
    for (std::size_t logical = logical_to_physical_.size(); logical-- > 0;) {
        physical_to_logical_[logical_to_physical_[logical]] = static_cast<std::int32_t>(
            std::min<std::size_t>(logical, std::numeric_limits<std::int32_t>::max()));
    }
}

Result<std::uint16_t> Topology::paired_logical(std::uint16_t logical) const noexcept {
    // Indexed directly rather than through `physical`, whose expected<uint16_t>
    // GCC writes in two bytes and reloads in eight.
    if (logical >= logical_to_physical_.size()) {
        return std::unexpected(ExchangeError::tile(logical));
    }
    const std::size_t partner_physical = std::size_t{logical_to_physical_[logical]} ^ 2u;
    if (partner_physical >= physical_to_logical_.size() || physical_to_logical_[partner_physical] == no_tile) {
        return std::unexpected(ExchangeError::tile(logical));
    }
    const auto partner = physical_to_logical_[partner_physical];
    if (partner > std::numeric_limits<std::uint16_t>::max()) {
        invariant_failure(invariant::logical_tile_count_fits_u16);
    }
    return static_cast<std::uint16_t>(partner);
}

}  // namespace vorl_exchange
