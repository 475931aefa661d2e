// An independent check of a plan's cycle arithmetic, read off the rows alone.
//
// The sender's first send starts at the sum of the cycles of the delays in front
// of it. Data leaves on that cycle and reaches a receiver's mux time_to_mux(sender,
// receiver) cycles later. In point-to-point and multicast rows the receiver's first
// XPIC word switches the mux for that data: its advance field (the raw 12-bit
// value `a`, not the a + 1 cycles the word lasts) must equal
//     send start + time_to_mux(sender physical, receiver physical).
// The word itself ends, and its control takes effect, one cycle after that.
// Paired receiver rows time their controls by the pair's later mux time and an
// epoch shared by all pairs, not by the single tile's route, so they are not
// checked here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_plan {

struct ReceiverTiming {
    std::size_t position = 0;  // in the receiver list
    std::uint16_t receiver = 0;
    std::int32_t mux_time = 0;
    std::int64_t expected = 0;               // send start + mux time
    std::optional<std::uint32_t> carried;    // advance field of the first XPIC word, if there is one

    [[nodiscard]] bool matches() const noexcept { return carried && std::int64_t{*carried} == expected; }
};

struct TimingReport {
    std::optional<std::uint64_t> send_start;
    std::vector<ReceiverTiming> receivers;  // the receivers examined, up to the first problem
    std::string problem;                    // the first mismatch; empty when the timing holds

    [[nodiscard]] bool ok() const noexcept { return problem.empty(); }
};

[[nodiscard]] TimingReport check_timing(const vorl_exchange::Topology& topology, std::uint16_t sender,
                                        std::span<const std::uint16_t> receivers,
                                        const vorl_exchange::Row& sender_row,
                                        std::span<const vorl_exchange::Row> receiver_rows);

// "XPIC field 112 = send start 143 + mux time -31", or what differs.
[[nodiscard]] std::string describe(const ReceiverTiming& timing, std::uint64_t send_start);

}  // namespace vorl_plan
