#include "plan_view.hpp"

#include <utility>

namespace vorl_plan {

std::string_view to_string(ExchangeKind kind) noexcept {
    switch (kind) {
        case ExchangeKind::PointToPoint: return "point_to_point";
        case ExchangeKind::Multicast: return "multicast";
        case ExchangeKind::PairedMulticast: return "paired_multicast";
    }
    return "point_to_point";
}

std::vector<Lane> lanes(const vorl_exchange::Topology& topology, const PlanView& view) {
    const auto lane = [&](std::string role, std::uint16_t tile, const vorl_exchange::Row& row) {
        const auto physical = topology.physical(tile);
        return Lane{std::move(role), tile, physical ? std::optional{*physical} : std::nullopt, row, read_timeline(row)};
    };
    std::vector<Lane> result;
    result.reserve(view.receiver_rows.size() + 1);
    result.push_back(lane("sender", view.request.sender, view.sender_row));
    for (std::size_t index = 0; index < view.receiver_rows.size(); ++index) {
        const std::uint16_t tile = index < view.request.receivers.size() ? view.request.receivers[index] : 0;
        result.push_back(lane("receiver", tile, view.receiver_rows[index]));
    }
    return result;
}

std::string title(const PlanRequest& request) {
    std::string text{to_string(request.kind)};
    text += " exchange: sender " + std::to_string(request.sender);
    if (request.kind == ExchangeKind::PointToPoint) {
        text += ", receiver " + std::to_string(request.receivers.at(0));
    } else {
        // A long list would run off the line; the rows below name every tile.
        constexpr std::size_t longest_list = 48;
        std::string list;
        for (std::size_t index = 0; index < request.receivers.size(); ++index) {
            const std::string entry = (index == 0 ? "" : ", ") + std::to_string(request.receivers[index]);
            if (list.size() + entry.size() > longest_list) {
                list += ", ... (" + std::to_string(request.receivers.size()) + " receivers)";
                break;
            }
            list += entry;
        }
        text += ", receivers [" + list + "]";
    }
    text += ", " + std::to_string(request.count) + (request.count == 1 ? " word" : " words");
    if (request.kind == ExchangeKind::Multicast) {
        text += ", offset " + std::to_string(request.offset);
    }
    return text;
}

vorl_exchange::PlanCheck check_plan(const vorl_exchange::Topology& topology, const PlanView& view) {
    const PlanRequest& request = view.request;
    switch (request.kind) {
        case ExchangeKind::PointToPoint: {
            // A point-to-point view has one receiver and one receiver row; the
            // check of a request without them refuses it, on empty words.
            const vorl_exchange::Row none{};
            return vorl_exchange::check_point_to_point(
                topology, request.sender, request.receivers.empty() ? 0 : request.receivers[0], request.count,
                view.sender_row, view.receiver_rows.empty() ? none : view.receiver_rows[0]);
        }
        case ExchangeKind::Multicast:
            return vorl_exchange::check_multicast(topology, request.sender, request.receivers, request.count,
                                                  request.offset, view.sender_row, view.receiver_rows);
        case ExchangeKind::PairedMulticast:
            return vorl_exchange::check_paired_multicast(topology, request.sender, request.receivers, request.count,
                                                         view.sender_row, view.receiver_rows);
    }
    return {};
}

std::string fact_owner(const PlanView& view, const vorl_exchange::PlanFact& fact) {
    if (!fact.row) {
        return "request";
    }
    if (*fact.row == 0) {
        return "sender";
    }
    const std::size_t position = *fact.row - 1;
    return position < view.request.receivers.size() ? "receiver " + std::to_string(view.request.receivers[position])
                                                    : "row " + std::to_string(*fact.row);
}

std::vector<std::string> check_lines(const PlanView& view, const vorl_exchange::PlanCheck& check) {
    std::vector<std::string> lines;
    lines.reserve(check.facts.size());
    for (const vorl_exchange::PlanFact& fact : check.facts) {
        lines.push_back(fact_owner(view, fact) + ": " + vorl_exchange::describe(fact));
    }
    return lines;
}

std::string check_problem(const PlanView& view, const vorl_exchange::PlanCheck& check) {
    const vorl_exchange::PlanFact* mismatch = check.first_mismatch();
    if (mismatch == nullptr) {
        return "";
    }
    std::string owner = fact_owner(view, *mismatch);
    if (mismatch->row && *mismatch->row > 0) {
        owner += " (row " + std::to_string(*mismatch->row) + ")";
    }
    return owner + ": " + vorl_exchange::describe(*mismatch);
}

vorl_exchange::Result<PlanView> make_plan(const vorl_exchange::Topology& topology, const PlanRequest& request) {
    PlanView view{request, {}, {}};
    if (request.kind == ExchangeKind::PointToPoint) {
        auto plan = topology.point_to_point(request.sender, request.receivers.at(0), request.count);
        if (!plan) {
            return std::unexpected(plan.error());
        }
        view.sender_row = plan->sender;
        view.receiver_rows.push_back(plan->receiver);
        return view;
    }
    auto plan = request.kind == ExchangeKind::Multicast
                    ? topology.multicast(request.sender, request.receivers, request.count, request.offset)
                    : topology.paired_multicast(request.sender, request.receivers, request.count);
    if (!plan) {
        return std::unexpected(plan.error());
    }
    view.sender_row = plan->sender;
    view.receiver_rows = std::move(plan->receivers);
    return view;
}

}  // namespace vorl_plan
