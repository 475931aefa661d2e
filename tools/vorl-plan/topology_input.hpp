// The table of `--topology FILE`: physical identifiers indexed by logical tile,
// written as a JSON array or one decimal identifier a line. A bad entry is
// refused with its place, never skipped, cut or guessed.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vorl_plan {

// The identifiers of `text`, read but not yet validated as a topology: a JSON
// array when the first character that is not white space is '[', else exactly
// one number a line (white space around it allowed, no blank lines, no comments),
// so that line n always holds logical tile n - 1. Reading stops one entry past
// the largest table, which `Topology::from_table` then refuses. `source` names
// the input in messages. Throws UsageError, also for a text with no entries.
[[nodiscard]] std::vector<std::uint16_t> parse_topology_text(std::string_view text, std::string_view source);

}  // namespace vorl_plan
