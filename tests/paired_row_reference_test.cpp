// The paired receiver row is built by a direct encoder for speed. This checks it
// against the row described as receive events and put through the general
// receive-event encoder, over many routes, counts and timeline shifts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "case_table.hpp"
#include "paired_row_reference.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;
using vorl_test::reference_paired_receiver_row;

TEST(PairedRowReference, DirectEncoderAgreesWithTheGeneralEncoder) {
    const auto topology = Topology::tarn();
    std::mt19937 random{20261208};
    std::uniform_int_distribution<int> tile{0, tarn_tile_count - 1};
    const std::int32_t shifts[] = {std::numeric_limits<std::int32_t>::min(), -200, -78, -30, 0, 1, 2, 60, 113, 400,
                                   std::numeric_limits<std::int32_t>::max()};
    const std::uint32_t large_counts[] = {4148, 4149, 65535, 1u << 31, std::numeric_limits<std::uint32_t>::max()};
    int compared = 0;
    for (int route = 0; route < 24; ++route) {
        const auto sender = static_cast<std::uint16_t>(tile(random));
        const auto receiver = static_cast<std::uint16_t>(tile(random));
        for (const std::int32_t shift : shifts) {
            std::vector<std::uint32_t> counts(large_counts, large_counts + 5);
            for (std::uint32_t count = 0; count <= 200; ++count) {
                counts.push_back(count);
            }
            // Where the neutral control falls the XPIC reach after the pointer
            // (count L + 4098, L = 51..113), and where a late row's closing
            // control needs a second plain delay word (count 524419).
            for (std::uint32_t count = 4145; count <= 4215; ++count) {
                counts.push_back(count);
            }
            counts.insert(counts.end(), {524417, 524418, 524419, 524420});
            for (const std::uint32_t count : counts) {
                const auto expected = reference_paired_receiver_row(topology, sender, receiver, count, shift);
                const auto actual = topology.paired_receiver_row(sender, receiver, count, shift);
                ASSERT_EQ(actual, expected) << "sender " << sender << " receiver " << receiver << " count " << count
                                            << " minimum_double_mux " << shift;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 50000);
}

// Every paired multicast of the driver's table: each receiver row is the
// general encoder's, and a refused plan is refused for the reason of the
// multicast checks or of the first row the general encoder refuses.
TEST(PairedRowReference, EveryPairedCaseOfTheTableIsTheGeneralEncodersRow) {
    const auto topology = Topology::tarn();
    const auto table = topology.logical_to_physical();
    int compared = 0;
    sablemark::walk_case_table(
        topology, [](const sablemark::Call&, const Result<Plan>&) { return true; },
        [&](const sablemark::Call& call, const Result<MulticastPlan>& plan) {
            if (call.kind != sablemark::CallKind::PairedMulticast) {
                return true;
            }
            const auto checks = topology.multicast(call.source, call.receivers, call.count, 0);
            if (!checks) {
                EXPECT_EQ(plan, Result<MulticastPlan>{std::unexpected(checks.error())});
                return true;
            }
            std::int32_t minimum_double_mux = std::numeric_limits<std::int32_t>::max();
            for (const std::uint16_t receiver : call.receivers) {
                minimum_double_mux =
                    std::min(minimum_double_mux, paired_time_to_mux(table[call.source], table[receiver]));
            }
            MulticastPlan expected{.sender = plan ? plan->sender : Row{}, .receivers = {}};
            for (const std::uint16_t receiver : call.receivers) {
                const auto row =
                    reference_paired_receiver_row(topology, call.source, receiver, call.count, minimum_double_mux);
                if (!row) {
                    EXPECT_EQ(plan, Result<MulticastPlan>{std::unexpected(row.error())}) << "count " << call.count;
                    return !::testing::Test::HasFailure();
                }
                expected.receivers.push_back(*row);
            }
            EXPECT_EQ(plan, Result<MulticastPlan>{expected}) << "source " << call.source << " count " << call.count;
            compared += static_cast<int>(call.receivers.size());
            return !::testing::Test::HasFailure();
        });
    EXPECT_GT(compared, 50000);
}

// Rows are written in place over whatever the plan's memory held, so a word the
// writer failed to set would show the old contents instead of a zero. The plan
// is built in storage filled with a pattern first, for rows of every shape:
// late and early, and counts on each side of the format lead.
TEST(PairedRowReference, RowsWrittenOverOldContentsHoldNoneOfThem) {
    const auto topology = Topology::tarn();
    const auto table = topology.logical_to_physical();
    const std::uint32_t counts[] = {1, 3, 40, 52, 53, 54, 56, 200, 4148};
    int compared = 0;
    for (const sablemark::CaseEntry& entry : sablemark::entries) {
        for (const auto& pair : sablemark::receiver_pairs) {
            for (const std::uint32_t count : counts) {
                alignas(Result<MulticastPlan>) std::byte storage[sizeof(Result<MulticastPlan>)];
                std::memset(storage, 0xa5, sizeof storage);
                auto* const plan =
                    ::new (storage) Result<MulticastPlan>(topology.paired_multicast(entry.source, pair, count));
                if (*plan) {
                    const std::int32_t minimum_double_mux =
                        std::min(paired_time_to_mux(table[entry.source], table[pair[0]]),
                                 paired_time_to_mux(table[entry.source], table[pair[1]]));
                    ASSERT_EQ((*plan)->receivers.size(), 2u);
                    for (std::size_t index = 0; index < 2; ++index) {
                        EXPECT_EQ((*plan)->receivers[index],
                                  reference_paired_receiver_row(topology, entry.source, pair[index], count,
                                                                minimum_double_mux))
                            << "source " << entry.source << " receiver " << pair[index] << " count " << count;
                        ++compared;
                    }
                }
                std::destroy_at(plan);
            }
        }
    }
    EXPECT_GT(compared, 200);
}

}  // namespace
