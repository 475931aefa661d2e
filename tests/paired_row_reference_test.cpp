// The paired receiver row is built by a direct encoder for speed. This checks it
// against the row described as receive events and put through the general
// receive-event encoder, over many routes, counts and timeline shifts.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

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

}  // namespace
