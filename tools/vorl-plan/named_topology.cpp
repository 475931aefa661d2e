#include "named_topology.hpp"

namespace vorl_plan {

NamedTopology tarn_topology() { return {vorl_exchange::Topology::tarn(), std::nullopt}; }

std::string describe(const NamedTopology& named) {
    const std::string name = !named.file ? "tarn" : *named.file == "-" ? "standard input" : *named.file;
    const std::size_t tiles = named.topology.tile_count();
    return name + ", " + std::to_string(tiles) + (tiles == 1 ? " tile" : " tiles");
}

}  // namespace vorl_plan
