// The table of `--topology FILE`: physical identifiers indexed by logical tile,
// written as a JSON array or one decimal identifier a line. A bad entry is
// refused with its place, never skipped, cut or guessed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io.hpp"

namespace vorl_plan {

// A table of 65536 identifiers needs well under a megabyte, however it is spaced;
// a longer file is refused after this many bytes rather than read to its end
// (a device such as /dev/zero has none).
inline constexpr std::size_t longest_topology_text = std::size_t{64} << 20;

// All of `file`; throws UsageError once it holds more than `longest_topology_text`
// bytes, InputError if a read fails.
[[nodiscard]] std::string read_topology_text(InputFile& file);

// The identifiers of `text`, read but not yet validated as a topology: a JSON
// array when the first character that is not white space is '[', else exactly
// one number a line (white space around it allowed, no blank lines, no comments),
// so that line n always holds logical tile n - 1. Reading stops one entry past
// the largest table, which `Topology::from_table` then refuses. A UTF-8 byte-order
// mark in front is skipped. `source` names the input in messages. Throws UsageError, also for a text with no entries.
[[nodiscard]] std::vector<std::uint16_t> parse_topology_text(std::string_view text, std::string_view source);

}  // namespace vorl_plan
