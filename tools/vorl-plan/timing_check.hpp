// An independent check of a plan's cycle arithmetic, read off the rows alone.
//
// The sender's first send starts at the sum of the cycles of the delays in front
// of it. Data leaves on that cycle and reaches a receiver's mux time_to_mux(sender,
// receiver) cycles later. In point-to-point and multicast rows the receiver's first
// XPIC word switches the mux for that data: its advance field (the raw 12-bit
// value `a`, not the a + 1 cycles the word lasts) must equal
//     send start + time_to_mux(sender physical, receiver physical).
// The word itself ends, and its control takes effect, one cycle after that.
//
// Paired receiver rows are timed by their pair, not by one route: see
// check_paired_timing below.
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
                                        std::span<const std::uint16_t> receivers, const vorl_exchange::Row& sender_row,
                                        std::span<const vorl_exchange::Row> receiver_rows);

// "XPIC field 112 = send start 143 + mux time -31", or what differs.
[[nodiscard]] std::string describe(const ReceiverTiming& timing, std::uint64_t send_start);

// A paired multicast, read off its rows. The sender row is the multicast's at
// offset 0: its first send starts at 0 - the smallest time_to_mux (never below 0),
// it sends `count` words, and every send word carries the send control of the
// receiver list (4 + the direction towards the first receiver for one pair
// without the sender, else 4 + both directions, 7).
//
// The receiver rows share one timeline whose origin the pairs fix: epoch =
// 1 - the smallest paired_time_to_mux (never below 0), and a pair's source event
// lies at epoch + its paired_time_to_mux, the later of its two tiles' mux times.
// A control takes effect on the cycle at which its word ends:
//   source (XPIC)          source event           only on the early tile: the one
//   neutral (XPIC)         source event + count   whose own mux time is the smaller
//   format (PIC)           source event + 51 + 2 x the receiver's row field
//   pointer (PIC)          format + 2
//   closing format (PIC)   format + count
//   end of row             the last control + 7
// Controls are matched to these by stream and order, so a row's words are never
// trusted to say which control they are.

// One fact the check compares: a cycle on a row's timeline or a value the row carries.
enum class Measure : std::uint8_t { Cycle, Value };

struct Expectation {
    std::string name;  // "pointer control", "send start", "send control (word 2)"
    Measure measure = Measure::Cycle;
    std::optional<std::int64_t> found;  // none when the row lacks it
    std::int64_t expected = 0;
    std::string reason;  // how route timing gives `expected`: "format control 54 + 2"

    [[nodiscard]] bool matches() const noexcept { return found && *found == expected; }
};

struct PairedReceiverTiming {
    std::size_t position = 0;  // in the receiver list
    std::uint16_t receiver = 0;
    std::int32_t mux_time = 0;          // time_to_mux to this tile
    std::int32_t partner_mux_time = 0;  // and to the other tile of its pair
    std::vector<Expectation> controls;  // in time order, then the end of the row
    std::string problem;                // a word that has no place in the row; empty if none

    [[nodiscard]] bool early() const noexcept { return mux_time < partner_mux_time; }
};

struct PairedTimingReport {
    std::vector<Expectation> sender;  // send start, words sent, the control of each send word
    std::int64_t epoch = 0;
    std::int32_t smallest_pair_mux_time = 0;
    std::vector<PairedReceiverTiming> receivers;
    std::string problem;  // the first mismatch, receiver by receiver; empty when the timing holds

    [[nodiscard]] bool ok() const noexcept { return problem.empty(); }
};

[[nodiscard]] PairedTimingReport check_paired_timing(const vorl_exchange::Topology& topology, std::uint16_t sender,
                                                     std::span<const std::uint16_t> receivers, std::uint32_t count,
                                                     const vorl_exchange::Row& sender_row,
                                                     std::span<const vorl_exchange::Row> receiver_rows);

// "pointer control at cycle 56 = format control 54 + 2", or what differs.
[[nodiscard]] std::string describe(const Expectation& expectation);

// The report as the listing and `check` print it, one line per fact.
[[nodiscard]] std::vector<std::string> report_lines(const PairedTimingReport& report);

}  // namespace vorl_plan
