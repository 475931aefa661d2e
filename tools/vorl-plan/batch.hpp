// The line protocol of `vorl-plan batch`: one JSON request in, one JSON response out.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

// Answers one request line with one compact response line (without newline):
// {"ok":...}, {"err":...,"debug":...} or {"bad_request":"<why>"}.
[[nodiscard]] std::string answer_request(const vorl_exchange::Topology& topology, std::string_view line);

// Answers every non-blank line of `in` on `out`, in order, and returns the exit
// status (always 0: a bad line gets a bad_request answer, never ends the run).
int run_batch(const vorl_exchange::Topology& topology, std::istream& in, std::ostream& out);

}  // namespace vorl_plan
