// The output formats of the planning subcommands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "named_topology.hpp"
#include "plan_view.hpp"

namespace vorl_plan {

// A listing per row: word index, hex word, decoded instruction, start and end cycle;
// a topology read from a file is named under the title.
[[nodiscard]] std::string render_text(const NamedTopology& named, const PlanView& view);
// Version of the documents below. It changes whenever a key is renamed, removed or
// changes meaning; a version only ever gains keys. Version 2: a plan document's
// "timing" is the plan check's verdict (in version 1 it listed each receiver's
// XPIC advance).
inline constexpr int json_format_version = 2;
// The oldest version `check FILE` reads: version 1 differs only in "timing",
// which it then does not compare.
inline constexpr int oldest_read_format_version = 1;
// Every document names its topology and the request; then the rows as numbers plus
// every word's raw fields, derived values and cycles.
[[nodiscard]] std::string render_json(const NamedTopology& topology, const PlanView& view);
// What `vorl-plan check --format json` prints: the request and every fact of the check.
[[nodiscard]] std::string render_json_check(const NamedTopology& topology, const PlanView& view,
                                            const vorl_exchange::PlanCheck& check);
// The largest offset that plans, as `vorl-plan offset-limit` shows it.
[[nodiscard]] std::string render_json_offset_limit(const NamedTopology& topology, const PlanRequest& request,
                                                   std::uint32_t limit);
// A plan that failed: the request and the error's kind, display text, debug form and hints.
[[nodiscard]] std::string render_json_failure(const NamedTopology& topology, const PlanRequest& request,
                                              const vorl_exchange::ExchangeError& error,
                                              const std::vector<std::string>& hints);
[[nodiscard]] std::string render_json_offset_limit_failure(const NamedTopology& topology, const PlanRequest& request,
                                                           const vorl_exchange::ExchangeError& error,
                                                           const std::vector<std::string>& hints);
// A timeline picture: one lane per row, one box per timed word.
[[nodiscard]] std::string render_svg(const NamedTopology& named, const PlanView& view);

// "0x41800003  open": one line of `vorl-plan disasm`.
[[nodiscard]] std::string disassemble(std::uint32_t word);
// One word of a row read as a row: an instruction as above, the other words by
// their role ("0x00000001  mark", "0x00000000  fill"); a stray word with what it
// would decode to.
[[nodiscard]] std::string disassemble(const TimelineWord& entry);

// "0x0000008e"
[[nodiscard]] std::string hex_word(std::uint32_t word);

}  // namespace vorl_plan
