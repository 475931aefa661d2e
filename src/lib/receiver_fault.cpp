#include "vorl_exchange/receiver_fault.hpp"

#include "tile_set.hpp"

namespace vorl_exchange {

namespace {

struct ReceiverRuleWords {
    ReceiverRule rule;
    std::string_view name;
    std::string_view text;
};

// The one table of the rules' names and texts, in the enumeration's order.
constexpr ReceiverRuleWords receiver_rule_words[] = {
    {ReceiverRule::EmptyList, "EmptyList", "the receiver list is empty"},
    {ReceiverRule::SenderAlone, "SenderAlone", "is the sender, listed as the only receiver"},
    {ReceiverRule::OddCount, "OddCount", "the receiver list holds an odd number of tiles"},
    {ReceiverRule::Repeated, "Repeated", "is listed earlier in the list too"},
    {ReceiverRule::OutsideTopology, "OutsideTopology", "is outside the topology"},
    {ReceiverRule::NoPartner, "NoPartner", "has no partner: no tile of the topology pairs with it"},
    {ReceiverRule::PartnerMissing, "PartnerMissing", "has a partner that is not in the list"},
};

static_assert(std::size(receiver_rule_words) == receiver_rule_count);
static_assert(
    [] {
        for (std::size_t index = 0; index < receiver_rule_count; ++index) {
            if (receiver_rule_words[index].rule != static_cast<ReceiverRule>(index)) {
                return false;
            }
        }
        return true;
    }(),
    "the table lists the rules in their enumeration order");

const ReceiverRuleWords& words_of(ReceiverRule rule) noexcept {
    const auto index = static_cast<std::size_t>(rule);
    if (index >= receiver_rule_count) {
        invariant_failure(invariant::receiver_rule_is_listed);
    }
    return receiver_rule_words[index];
}

constexpr ReceiverFault of_list(ReceiverRule rule) noexcept { return {.rule = rule, .entry = std::nullopt}; }

constexpr ReceiverFault at_entry(ReceiverRule rule, std::size_t position, std::uint16_t tile) noexcept {
    return {.rule = rule, .entry = ReceiverEntry{.position = position, .tile = tile}};
}

}  // namespace

std::string_view rule_name(ReceiverRule rule) noexcept { return words_of(rule).name; }

std::string_view rule_text(ReceiverRule rule) noexcept { return words_of(rule).text; }

// The planners check their lists with fast tests that only say yes or no (see
// multicast_schedule.hpp and paired_multicast.cpp); these walks make the same
// tests in the same order and keep where they stopped.

std::optional<ReceiverFault> multicast_receiver_fault(const Topology& topology, std::uint16_t sender_logical,
                                                      std::span<const std::uint16_t> receiver_logical) {
    if (receiver_logical.empty()) {
        return of_list(ReceiverRule::EmptyList);
    }
    if (receiver_logical.size() == 1 && receiver_logical.front() == sender_logical) {
        return at_entry(ReceiverRule::SenderAlone, 0, sender_logical);
    }
    // One walk: each entry is tested for a repeat, then for being a tile.
    detail::TileSet listed;
    for (std::size_t entry = 0; entry < receiver_logical.size(); ++entry) {
        const std::uint16_t tile = receiver_logical[entry];
        if (!listed.insert(tile)) {
            return at_entry(ReceiverRule::Repeated, entry, tile);
        }
        if (!topology.physical(tile)) {
            return at_entry(ReceiverRule::OutsideTopology, entry, tile);
        }
    }
    return std::nullopt;
}

std::optional<ReceiverFault> paired_receiver_fault(const Topology& topology, std::span<const std::uint16_t> receivers) {
    if (receivers.empty()) {
        return of_list(ReceiverRule::EmptyList);
    }
    if (receivers.size() % 2 != 0) {
        return of_list(ReceiverRule::OddCount);
    }
    // Two walks: every repeat is found before any partner is looked up.
    detail::TileSet listed;
    for (std::size_t entry = 0; entry < receivers.size(); ++entry) {
        if (!listed.insert(receivers[entry])) {
            return at_entry(ReceiverRule::Repeated, entry, receivers[entry]);
        }
    }
    for (std::size_t entry = 0; entry < receivers.size(); ++entry) {
        const std::uint16_t tile = receivers[entry];
        const auto partner = topology.paired_logical(tile);
        if (!partner) {
            return at_entry(topology.physical(tile) ? ReceiverRule::NoPartner : ReceiverRule::OutsideTopology, entry,
                            tile);
        }
        if (!listed.contains(*partner)) {
            return at_entry(ReceiverRule::PartnerMissing, entry, tile);
        }
    }
    return std::nullopt;
}

}  // namespace vorl_exchange
