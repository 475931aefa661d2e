// Diagnostic events of the planners: one per successful point-to-point or
// multicast plan, none on failure, and a sink that can come and go while other
// threads plan.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/diagnostics.hpp"
#include "vorl_exchange/topology.hpp"

namespace {

using vorl_exchange::Level;
using vorl_exchange::Topology;
using Tiles = std::vector<std::uint16_t>;
using Fields = std::vector<std::pair<std::string, std::string>>;

// An owned copy of an event (the event itself lives only for the sink call).
struct Captured {
    Level level;
    std::string target;
    std::string message;
    Fields fields;
    std::string line;
};

class Diagnostics : public ::testing::Test {
protected:
    void SetUp() override {
        vorl_exchange::set_event_sink([this](const vorl_exchange::Event& event) {
            Captured copy{
                event.level, std::string{event.target}, std::string{event.message}, {}, vorl_exchange::render(event)};
            for (const auto& field : event.fields) {
                copy.fields.emplace_back(std::string{field.name}, vorl_exchange::render(field.value));
            }
            const std::lock_guard lock{mutex_};
            events_.push_back(std::move(copy));
        });
    }
    void TearDown() override { vorl_exchange::set_event_sink({}); }

    std::vector<Captured> take() {
        const std::lock_guard lock{mutex_};
        return std::exchange(events_, {});
    }

    const Topology topology_ = Topology::tarn();

private:
    std::mutex mutex_;
    std::vector<Captured> events_;
};

TEST_F(Diagnostics, PointToPointEmitsOneEventOnSuccessOnly) {
    ASSERT_TRUE(topology_.point_to_point(0, 2, 100).has_value());
    const auto events = take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].level, Level::Debug);
    EXPECT_EQ(events[0].target, "vorl_exchange");
    EXPECT_EQ(events[0].message, "assembled point-to-point exchange");
    EXPECT_EQ(events[0].fields, (Fields{{"sender_logical", "0"}, {"receiver_logical", "2"}, {"count", "100"}}));
    EXPECT_EQ(events[0].line,
              "DEBUG vorl_exchange: assembled point-to-point exchange sender_logical=0 receiver_logical=2 count=100");

    EXPECT_FALSE(topology_.point_to_point(0, 2, 0).has_value());
    EXPECT_FALSE(topology_.point_to_point(2, 2, 1).has_value());
    EXPECT_FALSE(topology_.point_to_point(0, 1472, 1).has_value());
    EXPECT_TRUE(take().empty());
}

TEST_F(Diagnostics, MulticastEmitsOneEventOnSuccessOnly) {
    ASSERT_TRUE(topology_.multicast(0, Tiles{2, 1}, 1, 10).has_value());
    const auto events = take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].level, Level::Debug);
    EXPECT_EQ(events[0].target, "vorl_exchange");
    EXPECT_EQ(events[0].message, "assembled multicast exchange");
    EXPECT_EQ(
        events[0].fields,
        (Fields{{"sender_logical", "0"}, {"receiver_logical", "[2, 1]"}, {"count", "1"}, {"schedule_offset", "10"}}));
    EXPECT_EQ(events[0].line.find('\n'), std::string::npos);

    EXPECT_FALSE(topology_.multicast(0, Tiles{2, 2}, 1, 0).has_value());
    EXPECT_FALSE(topology_.multicast(0, Tiles{2}, 1, 4095).has_value());
    EXPECT_FALSE(topology_.multicast(781, Tiles{0}, 1, 4000).has_value());  // fails at the receive cycle
    EXPECT_TRUE(take().empty());
}

// With a sink installed, a planner plans out of line and then reports (a
// multicast through the general planner): its plans and refusals must be the
// ones made without a sink.
TEST_F(Diagnostics, PlansAreTheSameWithAndWithoutASink) {
    struct Case {
        std::uint16_t sender;
        Tiles receivers;
        std::uint32_t count;
        std::uint32_t offset;
    };
    // Plans, and refusals of every kind: count, tile, receiver set, start
    // cycle, receive cycle.
    const Case cases[] = {
        {0, {2}, 1, 0},    {0, {2}, 100, 51},    {0, {2}, 4148, 4095},    {781, {0}, 1, 4000},    {0, {0}, 1, 0},
        {0, {1472}, 1, 0}, {1472, {2}, 1, 0},    {0, {2}, 0, 0},          {0, {2, 1}, 64, 10},    {5, {0, 1471}, 65, 0},
        {0, {2, 2}, 1, 0}, {0, {2, 1472}, 1, 0}, {700, {3, 1200}, 52, 1}, {0, {2, 1, 3}, 100, 0}, {9, {2, 1, 9}, 7, 7},
    };
    std::vector<vorl_exchange::Result<vorl_exchange::MulticastPlan>> reported;
    // Point to point to the first receiver, for count plus offset: that reaches
    // past the largest count too.
    std::vector<vorl_exchange::Result<vorl_exchange::Plan>> reported_points;
    for (const Case& c : cases) {
        reported.push_back(topology_.multicast(c.sender, c.receivers, c.count, c.offset));
        reported_points.push_back(topology_.point_to_point(c.sender, c.receivers.front(), c.count + c.offset));
    }
    // Paired multicasts: a plan, refusals by count, tile, receiver set and by a
    // paired row, a pair holding the sender, and a list of two pairs.
    const Case paired_cases[] = {
        {0, {2, 3}, 100, 0}, {0, {2, 3}, 0, 0},    {1472, {2, 3}, 1, 0},         {0, {2, 4}, 1, 0},
        {0, {2, 3}, 2, 0},   {2, {2, 3}, 4148, 0}, {0, {2, 3, 274, 275}, 60, 0}, {1286, {1286, 1287}, 53, 0},
    };
    std::vector<vorl_exchange::Result<vorl_exchange::MulticastPlan>> reported_pairs;
    for (const Case& c : paired_cases) {
        reported_pairs.push_back(topology_.paired_multicast(c.sender, c.receivers, c.count));
    }
    vorl_exchange::set_event_sink({});
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const Case& c = cases[index];
        EXPECT_EQ(reported[index], topology_.multicast(c.sender, c.receivers, c.count, c.offset)) << "case " << index;
        EXPECT_EQ(reported_points[index], topology_.point_to_point(c.sender, c.receivers.front(), c.count + c.offset))
            << "case " << index;
    }
    for (std::size_t index = 0; index < std::size(paired_cases); ++index) {
        const Case& c = paired_cases[index];
        EXPECT_EQ(reported_pairs[index], topology_.paired_multicast(c.sender, c.receivers, c.count))
            << "paired case " << index;
    }
}

TEST_F(Diagnostics, PairedMulticastReportsItsInnerMulticast) {
    ASSERT_TRUE(topology_.paired_multicast(0, Tiles{2, 3}, 100).has_value());
    auto events = take();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].message, "assembled multicast exchange");
    EXPECT_EQ(
        events[0].fields,
        (Fields{{"sender_logical", "0"}, {"receiver_logical", "[2, 3]"}, {"count", "100"}, {"schedule_offset", "0"}}));

    // The inner multicast succeeded before the paired rows failed: its event stays.
    EXPECT_FALSE(topology_.paired_multicast(0, Tiles{2, 3}, 2).has_value());
    EXPECT_EQ(take().size(), 1u);
    // Refused before the multicast runs: no event.
    EXPECT_FALSE(topology_.paired_multicast(0, Tiles{2, 4}, 1).has_value());
    EXPECT_TRUE(take().empty());
}

TEST_F(Diagnostics, RemovingTheSinkStopsDelivery) {
    vorl_exchange::set_event_sink({});
    EXPECT_FALSE(vorl_exchange::event_sink_installed());
    ASSERT_TRUE(topology_.point_to_point(0, 2, 1).has_value());
    ASSERT_TRUE(topology_.multicast(0, Tiles{2}, 1, 0).has_value());
    EXPECT_TRUE(take().empty());
}

// One thread installs and removes the sink while others plan: no crash, and the
// plans do not depend on whether anyone listens.
TEST_F(Diagnostics, SinkChangesWhilePlanningAreSafe) {
    vorl_exchange::set_event_sink({});
    const Tiles receivers{2, 1};
    const auto plain_point = topology_.point_to_point(0, 2, 100);
    const auto plain_multicast = topology_.multicast(0, receivers, 100, 10);
    ASSERT_TRUE(plain_point.has_value() && plain_multicast.has_value());

    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> planners;
    for (int thread = 0; thread < 2; ++thread) {
        planners.emplace_back([&] {
            for (int round = 0; round < 2000; ++round) {
                if (topology_.point_to_point(0, 2, 100) != plain_point ||
                    topology_.multicast(0, receivers, 100, 10) != plain_multicast) {
                    ++mismatches;
                }
            }
        });
    }
    std::thread toggler{[&] {
        for (int round = 0; round < 500 && !stop; ++round) {
            vorl_exchange::set_event_sink([&](const vorl_exchange::Event&) { ++delivered; });
            std::this_thread::yield();
            vorl_exchange::set_event_sink({});
        }
    }};
    for (auto& planner : planners) {
        planner.join();
    }
    stop = true;
    toggler.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_FALSE(vorl_exchange::event_sink_installed());
}

}  // namespace
