// The fixed case table of the digest driver and the order in which it is walked.
// Tests, tools and benchmarks walk the same table through `walk_case_table`.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "vorl_exchange/planners.hpp"
#include "vorl_exchange/topology.hpp"

namespace sablemark {

struct CaseEntry {
    std::uint16_t source;
    std::span<const std::uint16_t> receivers;
};

inline constexpr std::uint16_t entry1_receivers[] = {2};
inline constexpr std::uint16_t entry2_receivers[] = {736, 1286};
inline constexpr std::uint16_t entry3_receivers[] = {1286};
inline constexpr std::uint16_t entry4_receivers[] = {0, 1471};
inline constexpr std::uint16_t entry5_receivers[] = {274};
inline constexpr std::uint16_t entry6_receivers[] = {0, 2};

inline constexpr std::array<CaseEntry, 6> entries = {{
    {0, entry1_receivers},
    {0, entry2_receivers},
    {274, entry3_receivers},
    {736, entry4_receivers},
    {1286, entry5_receivers},
    {1471, entry6_receivers},
}};

inline constexpr std::uint32_t first_count = 1;
inline constexpr std::uint32_t last_count = vorl_exchange::maximum_count;
inline constexpr std::array<std::uint32_t, 4> schedule_offsets = {0, 1, 51, 4095};
inline constexpr std::array<std::array<std::uint16_t, 2>, 3> receiver_pairs = {{{2, 3}, {274, 275}, {1286, 1287}}};

// Planner calls in one complete walk.
inline constexpr std::int32_t total_cases = 211548;

enum class CallKind { PointToPoint, Multicast, PairedMulticast };

// One planner call of the walk and its arguments (`offset` is 0 where the call has none).
struct Call {
    CallKind kind;
    std::uint16_t source;
    std::span<const std::uint16_t> receivers;
    std::uint32_t count;
    std::uint32_t offset;
};

// Walks the table in the driver's order. `on_plan(call, const Result<Plan>&)` sees
// each point-to-point call, `on_multicast(call, const Result<MulticastPlan>&)` each
// multicast and paired multicast call. Either returns false to stop the walk;
// the walk then returns false.
template <class OnPlan, class OnMulticast>
bool walk_case_table(const vorl_exchange::Topology& topology, OnPlan&& on_plan, OnMulticast&& on_multicast) {
    for (const CaseEntry& entry : entries) {
        for (std::uint32_t count = first_count; count <= last_count; ++count) {
            for (std::size_t index = 0; index < entry.receivers.size(); ++index) {
                const Call call{CallKind::PointToPoint, entry.source, entry.receivers.subspan(index, 1), count, 0};
                if (!on_plan(call, topology.point_to_point(entry.source, entry.receivers[index], count))) {
                    return false;
                }
            }
            // The offsets and the pairs are few and fixed: written out, their
            // loops keep no position in memory across the planner calls.
#pragma GCC unroll 4
            for (const std::uint32_t offset : schedule_offsets) {
                const Call call{CallKind::Multicast, entry.source, entry.receivers, count, offset};
                if (!on_multicast(call, topology.multicast(entry.source, entry.receivers, count, offset))) {
                    return false;
                }
            }
#pragma GCC unroll 3
            for (const auto& pair : receiver_pairs) {
                const Call call{CallKind::PairedMulticast, entry.source, pair, count, 0};
                if (!on_multicast(call, topology.paired_multicast(entry.source, pair, count))) {
                    return false;
                }
            }
        }
    }
    return true;
}

}  // namespace sablemark
