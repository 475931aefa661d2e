// The planners only read their topology, so threads may share one: every thread
// must see exactly the results of a single-threaded run, with no event sink,
// with one installed, and while sinks are being installed and removed.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;

enum class Kind { PointToPoint, Multicast, PairedMulticast };

struct Request {
    Kind kind;
    std::uint16_t sender;
    std::vector<std::uint16_t> receivers;
    std::uint32_t count;
    std::uint32_t offset;
};

// Successes and every kind of refusal, including a receiver list long enough to
// take the planners' large-set path.
std::vector<Request> requests() {
    std::vector<std::uint16_t> many_pairs;
    for (std::uint16_t tile = 400; tile < 600; ++tile) many_pairs.push_back(tile);
    const std::vector<std::vector<std::uint16_t>> receiver_sets = {
        {2}, {736, 1286}, {0, 1471}, {2, 3}, {274, 275, 1286, 1287}, {0, 1}, many_pairs, {}, {5000, 5001}};
    std::vector<Request> list;
    for (const std::uint16_t sender : std::initializer_list<std::uint16_t>{0, 274, 736, 1286, 1471, 2000}) {
        for (const std::uint32_t count : {0u, 1u, 2u, 51u, 52u, 64u, 65u, 100u, 1000u, 4148u, 4149u}) {
            for (const auto& receivers : receiver_sets) {
                list.push_back({Kind::PointToPoint, sender, receivers, count, 0});
                for (const std::uint32_t offset : {0u, 51u, 4095u}) {
                    list.push_back({Kind::Multicast, sender, receivers, count, offset});
                }
                list.push_back({Kind::PairedMulticast, sender, receivers, count, 0});
            }
        }
    }
    return list;
}

// The digest of one call's result: rows word for word, or the error's text.
std::uint64_t answer(const Topology& topology, const Request& request) {
    DefaultHasher hasher;
    const auto fed = [&](const auto& result) {
        result ? feed(hasher, *result) : feed(hasher, result.error());
        return result.has_value();
    };
    switch (request.kind) {
        case Kind::PointToPoint:
            fed(topology.point_to_point(request.sender, request.receivers.empty() ? 0 : request.receivers[0],
                                        request.count));
            break;
        case Kind::Multicast:
            fed(topology.multicast(request.sender, request.receivers, request.count, request.offset));
            break;
        case Kind::PairedMulticast:
            fed(topology.paired_multicast(request.sender, request.receivers, request.count));
            break;
    }
    return hasher.finish();
}

class Concurrency : public ::testing::Test {
protected:
    static constexpr int threads = 4;
    static constexpr int walks_per_thread = 2;

    void SetUp() override {
        set_event_sink({});
        for (const Request& request : requests_) expected_.push_back(answer(topology_, request));
    }
    void TearDown() override { set_event_sink({}); }

    // Runs `threads` workers, each walking the requests from its own starting
    // point; returns the number of results that differ from the single-threaded run.
    int mismatches_across_threads() {
        std::atomic<int> mismatches{0};
        std::vector<std::thread> workers;
        for (int worker = 0; worker < threads; ++worker) {
            workers.emplace_back([&, worker] {
                const std::size_t size = requests_.size();
                for (std::size_t step = 0; step < size * walks_per_thread; ++step) {
                    const std::size_t index = (step + size * static_cast<std::size_t>(worker) / threads) % size;
                    if (answer(topology_, requests_[index]) != expected_[index]) ++mismatches;
                }
            });
        }
        for (auto& worker : workers) worker.join();
        return mismatches;
    }

    const Topology topology_ = Topology::tarn();
    const std::vector<Request> requests_ = requests();
    std::vector<std::uint64_t> expected_;
};

TEST_F(Concurrency, ThreadsWithoutASinkSeeTheSingleThreadedResults) { EXPECT_EQ(mismatches_across_threads(), 0); }

TEST_F(Concurrency, EverySuccessfulPlanReachesASharedSinkOnce) {
    std::atomic<std::uint64_t> events{0};
    std::atomic<std::uint64_t> malformed{0};
    set_event_sink([&](const Event& event) {
        ++events;
        if (!render(event).starts_with("DEBUG vorl_exchange: assembled ")) ++malformed;
    });
    // One walk on this thread gives the number of events per walk.
    for (const Request& request : requests_) (void)answer(topology_, request);
    const std::uint64_t per_walk = events.exchange(0);
    ASSERT_GT(per_walk, 0u);

    EXPECT_EQ(mismatches_across_threads(), 0);
    EXPECT_EQ(events.load(), per_walk * threads * walks_per_thread);
    EXPECT_EQ(malformed.load(), 0u);
}

// A sink being replaced while planners emit: each event finishes with the sink it
// started with, which must stay alive for it (the sinks own heap state that the
// sanitizers watch).
TEST_F(Concurrency, InstallingAndRemovingSinksWhileThreadsPlanChangesNoResult) {
    std::atomic<bool> done{false};
    std::atomic<std::uint64_t> seen{0};
    std::thread switcher([&] {
        for (std::uint64_t round = 0; !done.load(); ++round) {
            if (round % 3 == 2) {
                set_event_sink({});
                continue;
            }
            const std::string owned(64, static_cast<char>('a' + round % 26));
            set_event_sink([owned, &seen](const Event& event) {
                if (owned.size() == 64 && !event.message.empty()) ++seen;
            });
            std::this_thread::yield();
        }
    });
    const int mismatches = mismatches_across_threads();
    done = true;
    switcher.join();
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
