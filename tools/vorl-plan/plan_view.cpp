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

std::optional<TimingReport> plan_timing(const vorl_exchange::Topology& topology, const PlanView& view) {
    if (view.request.kind == ExchangeKind::PairedMulticast) {
        return std::nullopt;
    }
    return check_timing(topology, view.request.sender, view.request.receivers, view.sender_row, view.receiver_rows);
}

TimingSummary summarize_timing(const vorl_exchange::Topology& topology, const PlanView& view) {
    TimingSummary summary;
    const auto send_start = read_timeline(view.sender_row).first_send_start();
    if (send_start) {
        summary.lines.push_back("first send starts at cycle " + std::to_string(*send_start));
    }
    if (view.request.kind == ExchangeKind::PairedMulticast) {
        const PairedTimingReport report = check_paired_timing(topology, view.request.sender, view.request.receivers,
                                                              view.request.count, view.sender_row, view.receiver_rows);
        const auto lines = report_lines(report);
        summary.lines.insert(summary.lines.end(), lines.begin(), lines.end());
        summary.problem = report.problem;
        return summary;
    }
    const TimingReport report =
        check_timing(topology, view.request.sender, view.request.receivers, view.sender_row, view.receiver_rows);
    for (const ReceiverTiming& receiver : report.receivers) {
        summary.lines.push_back("receiver " + std::to_string(receiver.receiver) + ": " +
                                describe(receiver, report.send_start.value_or(0)));
    }
    summary.problem = report.problem;
    return summary;
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
