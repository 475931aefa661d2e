#include "hints.hpp"

#include <unordered_set>

namespace vorl_plan {

namespace {

using vorl_exchange::ErrorKind;
using vorl_exchange::ExchangeError;
using vorl_exchange::Topology;

std::string tile_range(const Topology& topology) {
    return "the topology has " + std::to_string(topology.tile_count()) + " tiles, 0.." +
           std::to_string(topology.tile_count() - 1);
}

// The paired planner's receiver rules, in the order it tests them.
std::string paired_receiver_hint(const Topology& topology, const std::vector<std::uint16_t>& receivers) {
    const std::string rules =
        "hint: paired receivers come in whole pairs: an even number of tiles, no repeats, "
        "each tile's partner listed; ";
    if (receivers.empty()) {
        return rules + "the list is empty";
    }
    std::unordered_set<std::uint16_t> listed;
    for (const std::uint16_t tile : receivers) {
        if (!listed.insert(tile).second) {
            return rules + "tile " + std::to_string(tile) + " is listed twice";
        }
    }
    for (const std::uint16_t tile : receivers) {
        const auto partner = topology.paired_logical(tile);
        if (!partner) {
            return rules + "tile " + std::to_string(tile) +
                   (topology.physical(tile) ? " has no partner"
                                            : " is outside the topology (" + tile_range(topology) + ")");
        }
        if (!listed.contains(*partner)) {
            return rules + "tile " + std::to_string(tile) + "'s partner " + std::to_string(*partner) + " is not listed";
        }
    }
    return rules + std::to_string(receivers.size()) + " tiles is an odd number";
}

// The multicast's receiver rules; an empty list needs no hint.
std::vector<std::string> multicast_receiver_hint(const Topology& topology, std::uint16_t sender,
                                                 const std::vector<std::uint16_t>& receivers) {
    if (receivers.size() == 1 && receivers.front() == sender) {
        return {"hint: the only receiver is the sender itself"};
    }
    std::unordered_set<std::uint16_t> listed;
    for (const std::uint16_t tile : receivers) {
        if (!listed.insert(tile).second) {
            return {"hint: tile " + std::to_string(tile) + " is listed twice"};
        }
        if (!topology.physical(tile)) {
            return {"hint: tile " + std::to_string(tile) + " is outside the topology; " + tile_range(topology)};
        }
    }
    return {};
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
        case ErrorKind::ReceiverSet:
            if (request.kind == ExchangeKind::PairedMulticast) {
                return {paired_receiver_hint(topology, request.receivers)};
            }
            return multicast_receiver_hint(topology, request.sender, request.receivers);
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
