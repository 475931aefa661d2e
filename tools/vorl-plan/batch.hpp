// The line protocol of `vorl-plan batch`: one JSON request in, one JSON response out.
#pragma once

#include <string>
#include <string_view>

#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

// Answers one request line with one compact response line (without newline):
// {"ok":...}, {"err":...,"debug":...} or {"bad_request":"<why>"}.
[[nodiscard]] std::string answer_request(const vorl_exchange::Topology& topology, std::string_view line);

}  // namespace vorl_plan
