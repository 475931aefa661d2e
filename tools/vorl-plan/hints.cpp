#include "hints.hpp"

#include "vorl_exchange/receiver_fault.hpp"

namespace vorl_plan {

namespace {

using vorl_exchange::ErrorKind;
using vorl_exchange::ExchangeError;
using vorl_exchange::Topology;

std::string tile_range(const Topology& topology) {
    return "the topology has " + std::to_string(topology.tile_count()) + " tiles, 0.." +
           std::to_string(topology.tile_count() - 1);
}

// The library's account of a refused list, in words: the offending entry's
// position (from 0) and tile, and the rule it breaks, with what helps to mend it.
std::string receiver_fault_text(const Topology& topology, const vorl_exchange::ReceiverFault& fault,
                                std::size_t listed) {
    const std::string rule{vorl_exchange::rule_text(fault.rule)};
    if (!fault.entry) {
        return fault.rule == vorl_exchange::ReceiverRule::OddCount ? rule + ": " + std::to_string(listed) : rule;
    }
    const vorl_exchange::ReceiverEntry& entry = *fault.entry;
    std::string text = "the receiver at position " + std::to_string(entry.position) + " (counting from 0), tile " +
                       std::to_string(entry.tile) + ", " + rule;
    switch (fault.rule) {
        case vorl_exchange::ReceiverRule::OutsideTopology: text += " (" + tile_range(topology) + ")"; break;
        case vorl_exchange::ReceiverRule::PartnerMissing:
            if (const auto partner = topology.paired_logical(entry.tile)) {
                text += " (tile " + std::to_string(*partner) + ")";
            }
            break;
        default: break;
    }
    return text;
}

std::vector<std::string> receiver_hint(const Topology& topology, const PlanRequest& request) {
    if (request.kind == ExchangeKind::PairedMulticast) {
        const auto fault = vorl_exchange::paired_receiver_fault(topology, request.receivers);
        if (!fault) {
            return {};
        }
        return {
            "hint: paired receivers come in whole pairs: an even number of tiles, no repeats, "
            "each tile's partner listed; " +
            receiver_fault_text(topology, *fault, request.receivers.size())};
    }
    const auto fault = vorl_exchange::multicast_receiver_fault(topology, request.sender, request.receivers);
    if (!fault) {
        return {};
    }
    return {"hint: " + receiver_fault_text(topology, *fault, request.receivers.size())};
}

std::string offset_limit_hint(const Topology& topology, const PlanRequest& request) {
    const auto limit = topology.multicast_offset_limit(request.sender, request.receivers, request.count);
    if (!limit) {
        return "hint: no offset plans for this sender, receivers and count";
    }
    return "hint: the largest offset that plans for this sender, receivers and count is " + std::to_string(*limit);
}

}  // namespace

std::vector<std::string> hints(const Topology& topology, const PlanRequest& request, const ExchangeError& error) {
    switch (error.kind()) {
        case ErrorKind::Tile:
            return {"hint: tile " + std::to_string(error.tile_number()) + " is outside the topology; " +
                    tile_range(topology)};
        case ErrorKind::ReceiverSet: return receiver_hint(topology, request);
        case ErrorKind::Schedule:
            if (request.kind == ExchangeKind::Multicast &&
                (error.reason() == vorl_exchange::reason::multicast_start_cycle ||
                 error.reason() == vorl_exchange::reason::multicast_receive_cycle)) {
                return {offset_limit_hint(topology, request)};
            }
            return {};
        default: return {};
    }
}

}  // namespace vorl_plan
