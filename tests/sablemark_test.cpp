// The digest driver as a whole: its one output line, and the case table it walks.
#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "case_table.hpp"

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

}  // namespace
