// The topology a run of the tool plans on, with the name its outputs give it:
// the built-in tarn, or a table read with --topology.
#pragma once

#include <optional>
#include <string>

#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

struct NamedTopology {
    vorl_exchange::Topology topology;
    std::optional<std::string> file;  // as given to --topology ("-": standard input); none for tarn
};

[[nodiscard]] NamedTopology tarn_topology();

// "tarn, 1472 tiles", "tiles.txt, 4 tiles" or "standard input, 4 tiles".
[[nodiscard]] std::string describe(const NamedTopology& named);

}  // namespace vorl_plan
