// The line protocol of `vorl-plan batch`: one JSON request in, one JSON response out.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

// Answers one request line with one compact response line (without newline):
// {"ok":...}, {"err":...,"debug":...} or {"bad_request":"<why>"}. The operations:
// point_to_point, multicast (offset 0 when left out), paired_multicast, and
// multicast_offset_limit, answered {"ok":N} with the largest offset that plans.
// A request names only the fields of its op, each once (request_reader.hpp).
[[nodiscard]] std::string answer_request(const vorl_exchange::Topology& topology, std::string_view line);

// Answers every non-blank line of `in` on `out`, in order, and returns the exit
// status (always 0: a bad line gets a bad_request answer, never ends the run).
// Stops early once `out` has failed; the caller reports that failure. Answers
// are written in blocks, and before each read that may wait for input.
int run_batch(const vorl_exchange::Topology& topology, std::istream& in, std::ostream& out);

// Where refused lines are named by number, "vorl-plan: SOURCE:3: missing field "op"",
// for input that a person edits and can look up by line.
struct LineNotes {
    std::string_view source;
    std::ostream& out;
};
int run_batch(const vorl_exchange::Topology& topology, std::istream& in, std::ostream& out, LineNotes notes);

}  // namespace vorl_plan
