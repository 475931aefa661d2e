// Internal invariants a direct call can reach: the program stops with the fixed
// text instead of returning a row built from a value that cannot be encoded.
// (The sender-row count and delay bounds themselves are covered with the sender row.)
#include <csignal>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;

#ifdef VORL_EXCHANGE_COVERAGE
// A stopped program never writes its coverage counters; write them when the
// stop's abort signal arrives, so that the lines that stop it are counted.
extern "C" void __gcov_dump();
const bool counters_written_on_abort = [] {
    std::signal(SIGABRT, [](int) {
        __gcov_dump();
        std::signal(SIGABRT, SIG_DFL);
        std::raise(SIGABRT);
    });
    return true;
}();
#endif

std::string stop_text(std::string_view invariant) { return "internal invariant failed: " + std::string{invariant}; }

// A table longer than the 16-bit logical range: the partner of tile 0 (identifier
// 0, partner identifier 2) would be held only by entry 65536, which no logical
// tile number can name. The table stops the program when it is made, before a
// pair lookup could answer with a cut-off number.
TEST(InvariantDeathTest, PartnerPastTheLogicalRangeStopsTheTopology) {
    std::vector<std::uint16_t> table(65537, 1000);
    table[0] = 0;
    table[65536] = 2;
    EXPECT_DEATH((void)Topology{table}, stop_text(invariant::topology_table_is_valid));

    // The last nameable entry still answers.
    table.pop_back();
    table[65535] = 2;
    EXPECT_EQ(Topology{table}.paired_logical(0), 65535);
}

// The extremes of each argument type stop the sender-row builder too, and an
// out-of-contract call stops even when its direction would also be refused.
TEST(InvariantDeathTest, SenderRowStopsAtTheExtremesOfEveryArgumentType) {
    const std::string count_text = stop_text(invariant::sender_row_count_in_range);
    const std::string delay_text = stop_text(invariant::sender_row_delay_in_range);
    constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
    constexpr auto highest = std::numeric_limits<std::int32_t>::max();
    EXPECT_DEATH((void)primitive_sender_row(std::numeric_limits<std::uint32_t>::max(), 1, 0), count_text);
    EXPECT_DEATH((void)primitive_sender_row(0x80000000u, 1, 0), count_text);
    EXPECT_DEATH((void)primitive_sender_row(1, 1, lowest), delay_text);
    EXPECT_DEATH((void)primitive_sender_row(1, 1, highest), delay_text);
    EXPECT_DEATH((void)primitive_sender_row(0, 8, 0), count_text);
    EXPECT_DEATH((void)primitive_sender_row(1, 8, -2), delay_text);
}

}  // namespace
