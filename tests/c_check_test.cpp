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

// Valid arguments of every check call: two requests of two receivers each, the
// single calls taking the first.
struct CheckArguments {
    const vx_topology* topology;
    const std::uint16_t* senders;
    const std::size_t* receiver_offsets;
    const std::uint16_t* receivers;
    const std::uint32_t* counts;
    const std::uint32_t* schedule_offsets;
    const vx_row* sender_rows;
    const vx_row* receiver_rows;
    const vx_row* rows;
    int* holds;
};

enum class CheckCall { PointToPoint, Multicast, Paired, PointToPointMany, MulticastMany, PairedMany };

vx_status call_check(CheckCall call, const CheckArguments& a, vx_error* error) {
    switch (call) {
        case CheckCall::PointToPoint:
            return vx_check_point_to_point(a.topology, 0, 2, 1, a.sender_rows, a.receiver_rows, a.holds, error);
        case CheckCall::Multicast:
            return vx_check_multicast(a.topology, 0, a.receivers, 2, 1, 0, a.sender_rows, a.receiver_rows, a.holds,
                                      error);
        case CheckCall::Paired:
            return vx_check_paired_multicast(a.topology, 0, a.receivers, 2, 1, a.sender_rows, a.receiver_rows, a.holds,
                                             error);
        case CheckCall::PointToPointMany:
            return vx_check_point_to_point_many(a.topology, 2, a.senders, a.receivers, a.counts, a.rows, a.holds,
                                                error);
        case CheckCall::MulticastMany:
            return vx_check_multicast_many(a.topology, 2, a.senders, a.receiver_offsets, a.receivers, a.counts,
                                           a.schedule_offsets, a.sender_rows, a.receiver_rows, a.holds, error);
        case CheckCall::PairedMany:
            return vx_check_paired_multicast_many(a.topology, 2, a.senders, a.receiver_offsets, a.receivers, a.counts,
                                                  a.sender_rows, a.receiver_rows, a.holds, error);
    }
    return VX_OK;
}

// Each argument of each check call made null, and the name its VX_BAD_ARGUMENT gives.
struct NullArgument {
    CheckCall call;
    void (*null)(CheckArguments&);
    vx_argument named;
};

constexpr NullArgument null_arguments[] = {
    {CheckCall::PointToPoint, [](CheckArguments& a) { a.topology = nullptr; }, VX_ARGUMENT_TOPOLOGY},
    {CheckCall::PointToPoint, [](CheckArguments& a) { a.sender_rows = nullptr; }, VX_ARGUMENT_SENDER_ROW},
    {CheckCall::PointToPoint, [](CheckArguments& a) { a.receiver_rows = nullptr; }, VX_ARGUMENT_RECEIVER_ROW},
    {CheckCall::PointToPoint, [](CheckArguments& a) { a.holds = nullptr; }, VX_ARGUMENT_HOLDS},
    {CheckCall::Multicast, [](CheckArguments& a) { a.topology = nullptr; }, VX_ARGUMENT_TOPOLOGY},
    {CheckCall::Multicast, [](CheckArguments& a) { a.receivers = nullptr; }, VX_ARGUMENT_RECEIVERS},
    {CheckCall::Multicast, [](CheckArguments& a) { a.sender_rows = nullptr; }, VX_ARGUMENT_SENDER_ROW},
    {CheckCall::Multicast, [](CheckArguments& a) { a.receiver_rows = nullptr; }, VX_ARGUMENT_RECEIVER_ROWS},
    {CheckCall::Multicast, [](CheckArguments& a) { a.holds = nullptr; }, VX_ARGUMENT_HOLDS},
    {CheckCall::Paired, [](CheckArguments& a) { a.topology = nullptr; }, VX_ARGUMENT_TOPOLOGY},
    {CheckCall::Paired, [](CheckArguments& a) { a.receivers = nullptr; }, VX_ARGUMENT_RECEIVERS},
    {CheckCall::Paired, [](CheckArguments& a) { a.sender_rows = nullptr; }, VX_ARGUMENT_SENDER_ROW},
    {CheckCall::Paired, [](CheckArguments& a) { a.receiver_rows = nullptr; }, VX_ARGUMENT_RECEIVER_ROWS},
    {CheckCall::Paired, [](CheckArguments& a) { a.holds = nullptr; }, VX_ARGUMENT_HOLDS},
    {CheckCall::PointToPointMany, [](CheckArguments& a) { a.topology = nullptr; }, VX_ARGUMENT_TOPOLOGY},
    {CheckCall::PointToPointMany, [](CheckArguments& a) { a.senders = nullptr; }, VX_ARGUMENT_SENDERS},
    {CheckCall::PointToPointMany, [](CheckArguments& a) { a.receivers = nullptr; }, VX_ARGUMENT_RECEIVERS},
    {CheckCall::PointToPointMany, [](CheckArguments& a) { a.counts = nullptr; }, VX_ARGUMENT_COUNTS},
    {CheckCall::PointToPointMany, [](CheckArguments& a) { a.rows = nullptr; }, VX_ARGUMENT_ROWS},
    {CheckCall::PointToPointMany, [](CheckArguments& a) { a.holds = nullptr; }, VX_ARGUMENT_HOLDS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.topology = nullptr; }, VX_ARGUMENT_TOPOLOGY},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.senders = nullptr; }, VX_ARGUMENT_SENDERS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.receiver_offsets = nullptr; }, VX_ARGUMENT_RECEIVER_OFFSETS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.receivers = nullptr; }, VX_ARGUMENT_RECEIVERS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.counts = nullptr; }, VX_ARGUMENT_COUNTS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.schedule_offsets = nullptr; }, VX_ARGUMENT_SCHEDULE_OFFSETS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.sender_rows = nullptr; }, VX_ARGUMENT_SENDER_ROWS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.receiver_rows = nullptr; }, VX_ARGUMENT_RECEIVER_ROWS},
    {CheckCall::MulticastMany, [](CheckArguments& a) { a.holds = nullptr; }, VX_ARGUMENT_HOLDS},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.topology = nullptr; }, VX_ARGUMENT_TOPOLOGY},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.senders = nullptr; }, VX_ARGUMENT_SENDERS},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.receiver_offsets = nullptr; }, VX_ARGUMENT_RECEIVER_OFFSETS},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.receivers = nullptr; }, VX_ARGUMENT_RECEIVERS},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.counts = nullptr; }, VX_ARGUMENT_COUNTS},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.sender_rows = nullptr; }, VX_ARGUMENT_SENDER_ROWS},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.receiver_rows = nullptr; }, VX_ARGUMENT_RECEIVER_ROWS},
    {CheckCall::PairedMany, [](CheckArguments& a) { a.holds = nullptr; }, VX_ARGUMENT_HOLDS},
};

TEST(CCheck, EveryNullArgumentIsNamedAndNothingIsWritten) {
    const CTopology c{0};
    const std::uint16_t senders[] = {0, 0};
    const std::size_t offsets[] = {0, 2, 4};
    const std::uint16_t receivers[] = {2, 3, 274, 275};
    const std::uint32_t counts[] = {1, 1};
    const vx_row rows[4] = {};
    for (const NullArgument& argument : null_arguments) {
        const char* name = vx_argument_name(argument.named);
        ASSERT_NE(name, nullptr);
        int holds[2] = {-1, -1};
        CheckArguments arguments{c.topology, senders, offsets, receivers, counts, counts, rows, rows, rows, holds};
        // The same call with every argument given runs, so the null one is what it refuses.
        vx_error error{};
        ASSERT_EQ(call_check(argument.call, arguments, &error), VX_OK) << name;
        EXPECT_EQ(holds[0], 0) << name;  // rows of zeros are no plan
        holds[0] = holds[1] = -1;
        argument.null(arguments);
        ASSERT_EQ(call_check(argument.call, arguments, &error), VX_BAD_ARGUMENT) << name;
        EXPECT_EQ(error.status, VX_BAD_ARGUMENT) << name;
        EXPECT_EQ(error.rule, argument.named) << name;
        EXPECT_EQ(error.entry, 0u) << name;
        EXPECT_EQ(holds[0], -1) << name;
        EXPECT_EQ(holds[1], -1) << name;
    }
}

TEST(CCheck, BulkChecksNameTheDecreasingOffsetAndAnImpossibleRequestCount) {
    const CTopology c{0};
    const std::uint16_t senders[] = {0, 0};
    const std::size_t decreasing[] = {0, 2, 1};
    const std::uint16_t receivers[] = {2, 3};
    const std::uint32_t counts[] = {1, 1};
    const vx_row rows[4] = {};
    int holds[2] = {-1, -1};
    vx_error error{};
    EXPECT_EQ(vx_check_multicast_many(c.topology, 2, senders, decreasing, receivers, counts, counts, rows, rows, holds,
                                      &error),
              VX_BAD_ARGUMENT);
    EXPECT_EQ(error.rule, VX_ARGUMENT_RECEIVER_OFFSETS);
    EXPECT_EQ(error.entry, 2u);
    error = {};
    EXPECT_EQ(vx_check_paired_multicast_many(c.topology, 2, senders, decreasing, receivers, counts, rows, rows, holds,
                                             &error),
              VX_BAD_ARGUMENT);
    EXPECT_EQ(error.rule, VX_ARGUMENT_RECEIVER_OFFSETS);
    EXPECT_EQ(error.entry, 2u);
    EXPECT_EQ(vx_check_point_to_point_many(c.topology, SIZE_MAX / 2, senders, receivers, counts, rows, holds, &error),
              VX_BAD_ARGUMENT);
    EXPECT_EQ(error.rule, VX_ARGUMENT_REQUEST_COUNT);
    EXPECT_EQ(holds[0], -1);
    EXPECT_EQ(holds[1], -1);
}

}  // namespace
