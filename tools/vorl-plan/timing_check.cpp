#include "timing_check.hpp"

#include "timeline.hpp"
#include "vorl_exchange/route_timing.hpp"

namespace vorl_plan {

namespace {

std::string receiver_name(std::size_t position, std::uint16_t receiver) {
    return "receiver " + std::to_string(receiver) + " (row " + std::to_string(position + 1) + ")";
}

}  // namespace

std::string describe(const ReceiverTiming& timing, std::uint64_t send_start) {
    const std::string sum = "send start " + std::to_string(send_start) + " + mux time " +
                            std::to_string(timing.mux_time);
    if (!timing.carried) {
        return "no XPIC word, expected one with field " + std::to_string(timing.expected) + " = " + sum;
    }
    if (timing.matches()) {
        return "XPIC field " + std::to_string(*timing.carried) + " = " + sum;
    }
    return "XPIC field " + std::to_string(*timing.carried) + " != " + sum + " = " + std::to_string(timing.expected);
}

TimingReport check_timing(const vorl_exchange::Topology& topology, std::uint16_t sender,
                          std::span<const std::uint16_t> receivers, const vorl_exchange::Row& sender_row,
                          std::span<const vorl_exchange::Row> receiver_rows) {
    TimingReport report;
    report.send_start = read_timeline(sender_row).first_send_start();
    if (!report.send_start) {
        report.problem = "the sender row has no send word";
        return report;
    }
    if (receivers.size() != receiver_rows.size()) {
        report.problem = std::to_string(receivers.size()) + " receivers but " +
                         std::to_string(receiver_rows.size()) + " receiver rows";
        return report;
    }
    const auto sender_physical = topology.physical(sender);
    if (!sender_physical) {
        report.problem = "sender " + std::to_string(sender) + " is not in the topology";
        return report;
    }
    for (std::size_t position = 0; position < receivers.size(); ++position) {
        const auto receiver_physical = topology.physical(receivers[position]);
        if (!receiver_physical) {
            report.problem = receiver_name(position, receivers[position]) + " is not in the topology";
            return report;
        }
        ReceiverTiming timing;
        timing.position = position;
        timing.receiver = receivers[position];
        timing.mux_time = vorl_exchange::time_to_mux(*sender_physical, *receiver_physical);
        timing.expected = static_cast<std::int64_t>(*report.send_start) + timing.mux_time;
        const Timeline timeline = read_timeline(receiver_rows[position]);
        if (const TimelineWord* xpic = timeline.first_xpic()) {
            timing.carried = xpic->decoded.advance_field;
        }
        report.receivers.push_back(timing);
        if (!timing.matches()) {
            report.problem = receiver_name(position, timing.receiver) + ": " + describe(timing, *report.send_start);
            return report;
        }
    }
    return report;
}

}  // namespace vorl_plan
