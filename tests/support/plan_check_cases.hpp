// Requests and their plans for the tests of the plan check: fixed-seed random
// requests of every kind on tarn and on two custom tables, the planners' rows for
// them, and the one call that checks rows against a request of any kind.
#pragma once

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "vorl_exchange/plan_check.hpp"
#include "vorl_exchange/topology.hpp"

namespace plan_check_cases {

enum class Kind : std::uint8_t { PointToPoint, Multicast, Paired };

struct Request {
    Kind kind = Kind::PointToPoint;
    std::uint16_t sender = 0;
    std::vector<std::uint16_t> receivers;
    std::uint32_t count = 1;
    std::uint32_t offset = 0;  // multicast only
};

struct Rows {
    vorl_exchange::Row sender{};
    std::vector<vorl_exchange::Row> receivers;

    vorl_exchange::Row& at(std::size_t row) { return row == 0 ? sender : receivers.at(row - 1); }
    [[nodiscard]] const vorl_exchange::Row& at(std::size_t row) const {
        return row == 0 ? sender : receivers.at(row - 1);
    }
    friend bool operator==(const Rows&, const Rows&) = default;
};

inline std::string describe(const Request& request) {
    static const char* const names[] = {"point_to_point", "multicast", "paired_multicast"};
    std::string text = names[static_cast<int>(request.kind)];
    text += " " + std::to_string(request.sender) + " [";
    for (const std::uint16_t receiver : request.receivers) {
        text += std::to_string(receiver) + ",";
    }
    return text + "] count " + std::to_string(request.count) + " offset " + std::to_string(request.offset);
}

// The planners' rows for a request, or none when they refuse it.
inline std::optional<Rows> make_rows(const vorl_exchange::Topology& topology, const Request& request) {
    if (request.kind == Kind::PointToPoint) {
        if (request.receivers.size() != 1) {
            return std::nullopt;
        }
        const auto plan = topology.point_to_point(request.sender, request.receivers[0], request.count);
        return plan ? std::optional{Rows{plan->sender, {plan->receiver}}} : std::nullopt;
    }
    const auto plan = request.kind == Kind::Multicast
                          ? topology.multicast(request.sender, request.receivers, request.count, request.offset)
                          : topology.paired_multicast(request.sender, request.receivers, request.count);
    if (!plan) {
        return std::nullopt;
    }
    return Rows{plan->sender, {plan->receivers.begin(), plan->receivers.end()}};
}

// The library's check of `rows` against `request`.
inline vorl_exchange::PlanCheck check(const vorl_exchange::Topology& topology, const Request& request,
                                      const Rows& rows) {
    switch (request.kind) {
        case Kind::PointToPoint: {
            const vorl_exchange::Row none{};
            return vorl_exchange::check_point_to_point(topology, request.sender, request.receivers.at(0), request.count,
                                                       rows.sender, rows.receivers.empty() ? none : rows.receivers[0]);
        }
        case Kind::Multicast:
            return vorl_exchange::check_multicast(topology, request.sender, request.receivers, request.count,
                                                  request.offset, rows.sender, rows.receivers);
        case Kind::Paired:
            return vorl_exchange::check_paired_multicast(topology, request.sender, request.receivers, request.count,
                                                         rows.sender, rows.receivers);
    }
    return {};
}

// The library's verdict alone, which must agree with `check(...).ok()`.
inline bool holds(const vorl_exchange::Topology& topology, const Request& request, const Rows& rows) {
    switch (request.kind) {
        case Kind::PointToPoint: {
            const vorl_exchange::Row none{};
            return vorl_exchange::point_to_point_holds(topology, request.sender, request.receivers.at(0), request.count,
                                                       rows.sender, rows.receivers.empty() ? none : rows.receivers[0]);
        }
        case Kind::Multicast:
            return vorl_exchange::multicast_holds(topology, request.sender, request.receivers, request.count,
                                                  request.offset, rows.sender, rows.receivers);
        case Kind::Paired:
            return vorl_exchange::paired_multicast_holds(topology, request.sender, request.receivers, request.count,
                                                         rows.sender, rows.receivers);
    }
    return false;
}

// tarn; 600 distinct identifiers in random order (rows 0 to 31, pairs where both
// lanes happen to be drawn); 64 tiles in 32 pairs spread over the rows.
inline constexpr std::size_t topology_count = 3;

inline const vorl_exchange::Topology& topology(std::size_t table) {
    static const std::vector<vorl_exchange::Topology> topologies = [] {
        std::vector<vorl_exchange::Topology> made{vorl_exchange::Topology::tarn()};
        std::mt19937 random{35};
        std::vector<std::uint16_t> identifiers(vorl_exchange::maximum_physical_identifier + 1u);
        std::iota(identifiers.begin(), identifiers.end(), std::uint16_t{0});
        std::ranges::shuffle(identifiers, random);
        identifiers.resize(600);
        made.push_back(vorl_exchange::Topology::from_table(identifiers).value());
        std::vector<std::uint16_t> paired;
        for (unsigned tile = 0; tile < 64; ++tile) {
            // 32 pairs 61 identifiers apart, so over most rows; the lane in bit 1.
            const unsigned pair = tile / 2;
            paired.push_back(static_cast<std::uint16_t>(((pair * 61) & ~3u) | (tile % 2) * 2));
        }
        made.push_back(vorl_exchange::Topology::from_table(paired).value());
        return made;
    }();
    return topologies.at(table);
}

inline std::uint16_t random_tile(std::size_t table, std::mt19937& random) {
    return static_cast<std::uint16_t>(
        std::uniform_int_distribution<std::size_t>{0, topology(table).tile_count() - 1}(random));
}

// Receivers for a request: `tiles` random distinct tiles, each followed by its
// partner for a paired multicast (tiles without one are skipped).
inline std::vector<std::uint16_t> random_receivers(std::size_t table, Kind kind, std::size_t tiles,
                                                   std::mt19937& random) {
    std::vector<std::uint16_t> receivers;
    for (std::size_t attempt = 0; receivers.size() < tiles && attempt < 64; ++attempt) {
        const std::uint16_t tile = random_tile(table, random);
        if (std::ranges::find(receivers, tile) != receivers.end()) {
            continue;
        }
        if (kind != Kind::Paired) {
            receivers.push_back(tile);
            continue;
        }
        const auto partner = topology(table).paired_logical(tile);
        if (partner && *partner != tile && std::ranges::find(receivers, *partner) == receivers.end()) {
            receivers.push_back(tile);
            receivers.push_back(*partner);
        }
    }
    return receivers;
}

inline Request random_request_of(std::size_t table, Kind kind, std::uint32_t count, bool offset_at_limit,
                                 std::mt19937& random) {
    Request request{kind, random_tile(table, random), {}, count, 0};
    // One to eight receivers; a paired multicast's come in whole pairs.
    const std::size_t receivers =
        kind == Kind::PointToPoint ? 1 : std::uniform_int_distribution<std::size_t>{1, 8}(random);
    request.receivers = random_receivers(table, kind, receivers, random);
    if (kind == Kind::Multicast && offset_at_limit) {
        const auto limit = topology(table).multicast_offset_limit(request.sender, request.receivers, count);
        request.offset = limit ? *limit : 0;
    }
    return request;
}

inline Request random_request(std::size_t table, std::mt19937& random) {
    const auto kind = static_cast<Kind>(std::uniform_int_distribution<int>{0, 2}(random));
    const auto count = std::uniform_int_distribution<std::uint32_t>{1, 4148}(random);
    Request request = random_request_of(table, kind, count, false, random);
    if (kind == Kind::Multicast) {
        const auto limit = topology(table).multicast_offset_limit(request.sender, request.receivers, count);
        request.offset = limit ? std::uniform_int_distribution<std::uint32_t>{0, *limit}(random) : 0;
    }
    return request;
}

struct Case {
    std::size_t table = 0;
    Request request;
    Rows rows;

    [[nodiscard]] const vorl_exchange::Topology& topology() const { return plan_check_cases::topology(table); }
    [[nodiscard]] std::string name() const { return "table " + std::to_string(table) + " " + describe(request); }
};

// On every table, for every count of the list and one random count: a
// point-to-point plan, multicasts at offset 0 and at the offset limit, and a
// paired multicast, each for random tiles the planners accept.
inline const std::vector<Case>& corruption_cases() {
    static const std::vector<Case> cases = [] {
        std::vector<Case> made;
        std::mt19937 random{4148};
        for (std::size_t table = 0; table < topology_count; ++table) {
            std::vector<std::uint32_t> counts{1, 51, 52, 53, 113, 114, 4148};
            counts.push_back(std::uniform_int_distribution<std::uint32_t>{2, 4147}(random));
            for (const std::uint32_t count : counts) {
                for (const auto& [kind, at_limit] : {std::pair{Kind::PointToPoint, false},
                                                     {Kind::Multicast, false},
                                                     {Kind::Multicast, true},
                                                     {Kind::Paired, false}}) {
                    for (int attempt = 0; attempt < 200; ++attempt) {
                        const Request request = random_request_of(table, kind, count, at_limit, random);
                        if (auto rows = make_rows(topology(table), request)) {
                            made.push_back({table, request, std::move(*rows)});
                            break;
                        }
                    }
                }
            }
        }
        return made;
    }();
    return cases;
}

// The request with one number one higher or one lower: the count, the offset,
// the sender, each receiver.
inline std::vector<Request> request_edits(const Request& request) {
    std::vector<Request> edits;
    const auto both_ways = [&](auto&& change) {
        for (const int step : {-1, 1}) {
            Request edited = request;
            if (change(edited, step)) {
                edits.push_back(std::move(edited));
            }
        }
    };
    both_ways([](Request& edited, int step) {
        edited.count += static_cast<std::uint32_t>(step);
        return true;
    });
    if (request.kind == Kind::Multicast) {
        both_ways([](Request& edited, int step) {
            edited.offset += static_cast<std::uint32_t>(step);
            return true;
        });
    }
    const auto step_tile = [](std::uint16_t& tile, int step) {
        if ((step < 0 && tile == 0) || (step > 0 && tile == 0xffff)) {
            return false;
        }
        tile = static_cast<std::uint16_t>(tile + step);
        return true;
    };
    both_ways([&](Request& edited, int step) { return step_tile(edited.sender, step); });
    for (std::size_t position = 0; position < request.receivers.size(); ++position) {
        both_ways([&](Request& edited, int step) { return step_tile(edited.receivers[position], step); });
    }
    return edits;
}

}  // namespace plan_check_cases
