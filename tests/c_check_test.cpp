// The C calls that check rows: each agrees with the library's check on planned
// and corrupted plans of every kind, one by one and in bulk, and refuses bad
// arguments before writing anything.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plan_check_cases.hpp"
#include "vorl_exchange/vorl_exchange.h"

namespace {

using namespace plan_check_cases;

vx_row c_row(const vorl_exchange::Row& row) {
    vx_row out{};
    for (std::size_t index = 0; index < row.size(); ++index) {
        out.words[index] = row[index];
    }
    return out;
}

// The same rows with one bit of one word flipped; the bit walks the plan with `which`.
Rows corrupted(Rows rows, std::size_t which) {
    const std::size_t total = (rows.receivers.size() + 1) * vorl_exchange::row_length;
    const std::size_t word = which % total;
    rows.at(word / vorl_exchange::row_length)[word % vorl_exchange::row_length] ^= 1u << (which % 32);
    return rows;
}

struct CTopology {
    vx_topology* topology = nullptr;
    explicit CTopology(std::size_t table) {
        const auto entries = plan_check_cases::topology(table).logical_to_physical();
        EXPECT_EQ(vx_topology_from_table(entries.data(), entries.size(), &topology, nullptr), VX_OK);
    }
    CTopology(const CTopology&) = delete;
    CTopology& operator=(const CTopology&) = delete;
    ~CTopology() { vx_topology_free(topology); }
};

// One call of the kind's single check.
int c_holds(const vx_topology* topology, const Request& request, const Rows& rows) {
    const vx_row sender = c_row(rows.sender);
    std::vector<vx_row> receivers;
    for (const auto& row : rows.receivers) {
        receivers.push_back(c_row(row));
    }
    int holds = -1;
    vx_status status = VX_OK;
    switch (request.kind) {
        case Kind::PointToPoint:
            status = vx_check_point_to_point(topology, request.sender, request.receivers[0], request.count, &sender,
                                             receivers.data(), &holds, nullptr);
            break;
        case Kind::Multicast:
            status = vx_check_multicast(topology, request.sender, request.receivers.data(), request.receivers.size(),
                                        request.count, request.offset, &sender, receivers.data(), &holds, nullptr);
            break;
        case Kind::Paired:
            status =
                vx_check_paired_multicast(topology, request.sender, request.receivers.data(), request.receivers.size(),
                                          request.count, &sender, receivers.data(), &holds, nullptr);
            break;
    }
    EXPECT_EQ(status, VX_OK);
    return holds;
}

TEST(CCheck, AgreesWithTheLibraryOnPlannedAndCorruptedPlans) {
    for (std::size_t table = 0; table < topology_count; ++table) {
        const CTopology c{table};
        std::size_t which = 0;
        for (const Case& plan : corruption_cases()) {
            if (plan.table != table) {
                continue;
            }
            EXPECT_EQ(c_holds(c.topology, plan.request, plan.rows), 1) << plan.name();
            EXPECT_EQ(c_holds(c.topology, plan.request, corrupted(plan.rows, which += 37)), 0) << plan.name();
        }
    }
}

// Every case of a kind in one bulk call, every other one corrupted.
TEST(CCheck, BulkCallsAnswerEachRequest) {
    const CTopology c{0};
    std::vector<const Case*> cases[3];
    for (const Case& plan : corruption_cases()) {
        if (plan.table == 0) {
            cases[static_cast<int>(plan.request.kind)].push_back(&plan);
        }
    }
    for (int kind = 0; kind < 3; ++kind) {
        std::vector<std::uint16_t> senders;
        std::vector<std::uint16_t> receivers;
        std::vector<std::size_t> offsets{0};
        std::vector<std::uint32_t> counts;
        std::vector<std::uint32_t> schedule_offsets;
        std::vector<vx_row> sender_rows;
        std::vector<vx_row> receiver_rows;
        std::vector<vx_row> pairs;  // point-to-point: sender row, receiver row
        std::vector<int> expected;
        for (std::size_t index = 0; index < cases[kind].size(); ++index) {
            const Case& plan = *cases[kind][index];
            const Rows rows = index % 2 == 0 ? plan.rows : corrupted(plan.rows, index * 101);
            expected.push_back(index % 2 == 0 ? 1 : 0);
            senders.push_back(plan.request.sender);
            receivers.insert(receivers.end(), plan.request.receivers.begin(), plan.request.receivers.end());
            offsets.push_back(receivers.size());
            counts.push_back(plan.request.count);
            schedule_offsets.push_back(plan.request.offset);
            sender_rows.push_back(c_row(rows.sender));
            pairs.push_back(c_row(rows.sender));
            for (const auto& row : rows.receivers) {
                receiver_rows.push_back(c_row(row));
                pairs.push_back(c_row(row));
            }
        }
        std::vector<int> holds(expected.size(), -1);
        vx_status status = VX_OK;
        if (kind == static_cast<int>(Kind::PointToPoint)) {
            status = vx_check_point_to_point_many(c.topology, senders.size(), senders.data(), receivers.data(),
                                                  counts.data(), pairs.data(), holds.data(), nullptr);
        } else if (kind == static_cast<int>(Kind::Multicast)) {
            status = vx_check_multicast_many(c.topology, senders.size(), senders.data(), offsets.data(),
                                             receivers.data(), counts.data(), schedule_offsets.data(),
                                             sender_rows.data(), receiver_rows.data(), holds.data(), nullptr);
        } else {
            status = vx_check_paired_multicast_many(c.topology, senders.size(), senders.data(), offsets.data(),
                                                    receivers.data(), counts.data(), sender_rows.data(),
                                                    receiver_rows.data(), holds.data(), nullptr);
        }
        EXPECT_EQ(status, VX_OK);
        EXPECT_EQ(holds, expected) << "kind " << kind;
    }
}

TEST(CCheck, RefusesBadArgumentsBeforeWriting) {
    const CTopology c{0};
    const vx_row row{};
    const std::uint16_t tiles[] = {2, 3};
    const std::uint16_t senders[] = {0, 0};
    const std::uint32_t counts[] = {1, 1};
    const std::size_t decreasing[] = {0, 2, 1};
    int holds[2] = {-1, -1};
    vx_error error{};
    EXPECT_EQ(vx_check_point_to_point(nullptr, 0, 2, 1, &row, &row, holds, &error), VX_BAD_ARGUMENT);
    EXPECT_EQ(error.status, VX_BAD_ARGUMENT);
    EXPECT_EQ(vx_check_point_to_point(c.topology, 0, 2, 1, &row, nullptr, holds, nullptr), VX_BAD_ARGUMENT);
    EXPECT_EQ(vx_check_multicast(c.topology, 0, tiles, 2, 1, 0, &row, nullptr, holds, nullptr), VX_BAD_ARGUMENT);
    EXPECT_EQ(vx_check_paired_multicast(c.topology, 0, nullptr, 2, 1, &row, &row, holds, nullptr), VX_BAD_ARGUMENT);
    EXPECT_EQ(vx_check_point_to_point_many(c.topology, 2, senders, tiles, counts, nullptr, holds, nullptr),
              VX_BAD_ARGUMENT);
    EXPECT_EQ(
        vx_check_multicast_many(c.topology, 2, senders, decreasing, tiles, counts, counts, &row, &row, holds, nullptr),
        VX_BAD_ARGUMENT);
    EXPECT_EQ(
        vx_check_paired_multicast_many(c.topology, 2, senders, nullptr, tiles, counts, &row, &row, holds, nullptr),
        VX_BAD_ARGUMENT);
    EXPECT_EQ(holds[0], -1);
    // Rows of zeros are no plan; nothing at all is a bulk call with nothing to check.
    EXPECT_EQ(vx_check_point_to_point(c.topology, 0, 2, 1, &row, &row, holds, nullptr), VX_OK);
    EXPECT_EQ(holds[0], 0);
    EXPECT_EQ(vx_check_multicast_many(c.topology, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr),
              VX_OK);
}

}  // namespace
