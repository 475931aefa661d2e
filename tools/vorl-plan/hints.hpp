// What the tool adds below a failed plan's fixed text where the cause is not
// plain: which entry of a receiver list breaks which rule, the largest offset that
// plans, the size of the topology.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plan_view.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

// What begins every hint line on standard error; JSON documents hold the text after it.
inline constexpr std::string_view hint_prefix = "hint: ";

// Lines beginning with `hint_prefix`, none when the library's text says it all.
[[nodiscard]] std::vector<std::string> hints(const vorl_exchange::Topology& topology, const PlanRequest& request,
                                             const vorl_exchange::ExchangeError& error);

}  // namespace vorl_plan
