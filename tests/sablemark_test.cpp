// The digest driver as a whole: its one output line, and the case table it walks.
#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_table.hpp"
#include "digest_run.hpp"
#include "floor_write_sizes.hpp"

namespace {

TEST(Sablemark, PrintsTheCaseCountAndDigestAndIgnoresArguments) {
    // Arguments are ignored, so passing some must not change the line.
    FILE* pipe = popen("'" SABLEMARK_PATH "' --verbose extra 42 2>/dev/null", "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
        output += buffer.data();
    }
    const int status = pclose(pipe);
    EXPECT_EQ(output, "211548 cases: 97f93ad92081c91b\n");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The floor program writes in the sizes the driver feeds, call by call.
TEST(Sablemark, FloorWriteSizesAreWhatTheDriverFeeds) {
    std::vector<std::size_t> floor_sizes;
    sablemark_floor::for_each_write_size([&](std::size_t size) { floor_sizes.push_back(size); });
    std::vector<std::size_t> fed_sizes;
    const auto multicast_size = [](const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
        return plan ? 44 + 8 + 44 * plan->receivers.size() : plan.error().display().view().size() + 1;
    };
    sablemark::walk_case_table(
        vorl_exchange::Topology::tarn(),
        [&](const sablemark::Call&, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
            fed_sizes.push_back(plan ? 88u : 0u);
            return true;
        },
        [&](const sablemark::Call&, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
            fed_sizes.push_back(multicast_size(plan));
            return true;
        });
    EXPECT_EQ(floor_sizes, fed_sizes);
}

TEST(Sablemark, CaseTableCallsAndPointToPointSuccess) {
    const auto topology = vorl_exchange::Topology::tarn();
    std::int64_t point_to_point = 0;
    std::int64_t point_to_point_failed = 0;
    std::int64_t multicast = 0;
    std::int64_t paired = 0;
    const bool complete = sablemark::walk_case_table(
        topology,
        [&](const sablemark::Call& call, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
            EXPECT_EQ(call.kind, sablemark::CallKind::PointToPoint);
            ++point_to_point;
            if (!plan && ++point_to_point_failed <= 5) {
                ADD_FAILURE() << call.source << " -> " << call.receivers.front() << " count " << call.count << ": "
                              << plan.error().debug();
            }
            return true;
        },
        [&](const sablemark::Call& call, const vorl_exchange::Result<vorl_exchange::MulticastPlan>&) {
            (call.kind == sablemark::CallKind::Multicast ? multicast : paired) += 1;
            return true;
        });
    EXPECT_TRUE(complete);
    // Per count: nine point-to-point routes, six entries at four offsets, six entries with three pairs.
    EXPECT_EQ(point_to_point, 9 * 4148);
    EXPECT_EQ(multicast, 6 * 4 * 4148);
    EXPECT_EQ(paired, 6 * 3 * 4148);
    EXPECT_EQ(point_to_point + multicast + paired, sablemark::total_cases);
    EXPECT_EQ(point_to_point_failed, 0);
}

// A failed point-to-point plan ends the run: the cases before it are counted
// and hashed, the failure names the call.
TEST(Sablemark, RunStopsAtTheFirstFailedPointToPointPlan) {
    // Without the last tile, the fourth entry's plan 736 -> 1471 fails at once.
    const auto tarn = vorl_exchange::Topology::tarn();
    const auto tarn_table = tarn.logical_to_physical();
    const vorl_exchange::Topology shorter{std::vector<std::uint16_t>(tarn_table.begin(), tarn_table.end() - 1)};
    const auto run = sablemark::run_digest(shorter);
    ASSERT_TRUE(run.failure.has_value());
    EXPECT_EQ(run.failure->call.source, 736);
    EXPECT_EQ(run.failure->call.receivers.front(), 1471);
    EXPECT_EQ(run.failure->call.count, 1u);
    EXPECT_EQ(run.failure->error, vorl_exchange::ExchangeError::tile(1471));
    // Every case of the first three entries (8, 9 and 8 per count), then 736 -> 0.
    EXPECT_EQ(run.cases, 4148 * (8 + 9 + 8) + 1);
    EXPECT_NE(run.digest, vorl_exchange::DefaultHasher{}.finish());
}

}  // namespace
