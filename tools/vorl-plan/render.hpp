// The output formats of the planning subcommands.
#pragma once

#include <cstdint>
#include <string>

#include "plan_view.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

// A listing per row: word index, hex word, decoded instruction, start and end cycle.
[[nodiscard]] std::string render_text(const vorl_exchange::Topology& topology, const PlanView& view);
// The rows as numbers plus every word's decoded fields and cycles.
[[nodiscard]] std::string render_json(const vorl_exchange::Topology& topology, const PlanView& view);
// A timeline picture: one lane per row, one box per timed word.
[[nodiscard]] std::string render_svg(const vorl_exchange::Topology& topology, const PlanView& view);

// "0x41800003  open": one line of `vorl-plan disasm`.
[[nodiscard]] std::string disassemble(std::uint32_t word);

// "0x0000008e"
[[nodiscard]] std::string hex_word(std::uint32_t word);

}  // namespace vorl_plan
