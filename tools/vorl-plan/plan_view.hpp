// One planner call of the tool and the plan it produced, kept together so that
// every output format can name the tiles beside their rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "timeline.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/plan_check.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

enum class ExchangeKind : std::uint8_t { PointToPoint, Multicast, PairedMulticast };

// "point_to_point", "multicast", "paired_multicast": the one name of each kind,
// in titles and help as in JSON documents and batch requests.
[[nodiscard]] std::string_view to_string(ExchangeKind kind) noexcept;

struct PlanRequest {
    ExchangeKind kind = ExchangeKind::PointToPoint;
    std::uint16_t sender = 0;
    std::vector<std::uint16_t> receivers;  // exactly one for point-to-point
    std::uint32_t count = 0;
    std::uint32_t offset = 0;  // multicast only
};

struct PlanView {
    PlanRequest request;
    vorl_exchange::Row sender_row{};
    vorl_exchange::RowList receiver_rows;  // in the order of request.receivers
};

// One row of a plan with the tile that runs it, as the renderers show it.
struct Lane {
    std::string role;  // "sender" or "receiver"
    std::uint16_t tile = 0;
    std::optional<std::uint16_t> physical;
    vorl_exchange::Row row{};
    Timeline timeline;
};

// The sender's lane, then one lane per receiver in list order.
[[nodiscard]] std::vector<Lane> lanes(const vorl_exchange::Topology& topology, const PlanView& view);

// "point_to_point exchange: sender 0, receiver 2, 1 word", the title of the text
// listing and of the picture. A receiver list longer than a line shows its first
// tiles and its length: "receivers [1, 2, ..., 14, ... (1471 receivers)]".
[[nodiscard]] std::string title(const PlanRequest& request);

// The library's check of the rows against the request they answer, for any kind:
// `check`, the listing and every plan document show it.
[[nodiscard]] vorl_exchange::PlanCheck check_plan(const vorl_exchange::Topology& topology, const PlanView& view);

// Whose fact it is: "request", "sender", "receiver 2".
[[nodiscard]] std::string fact_owner(const PlanView& view, const vorl_exchange::PlanFact& fact);

// The check as the listing and `check` print it: one line per fact,
// "receiver 2: word 2 xpic-delay advance field 112 = send start 143 + mux time -31: ...".
[[nodiscard]] std::vector<std::string> check_lines(const PlanView& view, const vorl_exchange::PlanCheck& check);

// The first fact that does not hold, with its row: "receiver 2 (row 1): word 2 ...";
// empty when the check passes.
[[nodiscard]] std::string check_problem(const PlanView& view, const vorl_exchange::PlanCheck& check);

// Runs the planner the request names.
[[nodiscard]] vorl_exchange::Result<PlanView> make_plan(const vorl_exchange::Topology& topology,
                                                        const PlanRequest& request);

}  // namespace vorl_plan
