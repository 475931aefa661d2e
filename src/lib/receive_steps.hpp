// The two steps receive rows are written with, once for any word sink: plain
// delays up to a cycle, and one receive control as its own timed word. The
// general receive-event encoder writes into RowWords; the paired receiver row
// writes straight into its nine-word row through RowWriter.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "vorl_exchange/delay_padding.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan.hpp"

namespace vorl_exchange::detail {

// A row written in its final place, whatever it held: its words in order,
// then zeros after the last. The caller has counted the words first; any past
// the ninth would be dropped, never written outside the row. The caller also
// names the fewest words its rows have: only the words past those can be left
// over, and they are cleared up front by fixed stores (some then overwritten),
// not by a loop after the closing word whose length changes from row to row.
class RowWriter {
public:
    RowWriter(Row& row, std::size_t shortest) noexcept : row_{row}, shortest_{std::min(shortest, row.size())} {
        for (std::size_t index = shortest_; index < row_.size(); ++index) {
            row_[index] = 0;
        }
    }

    void push(std::uint32_t word) noexcept {
        if (length_ < row_.size()) {
            row_[length_++] = word;
        }
    }
    // The closing word; the words after it are zero already, or are cleared
    // here should a row come out shorter than its writer was told.
    void close() noexcept {
        push(closing_word);
        while (length_ < shortest_) {
            row_[length_++] = 0;
        }
    }

private:
    Row& row_;
    std::size_t shortest_;
    std::size_t length_ = 0;
};

// Plain delays from `event_cycles` up to `target_cycles`, which is not before
// it, fewest words first: whole words of the longest delay, then the rest in
// one word. (Gaps longer than one word are rare: the rest is tested once,
// instead of the word's length being chosen on every pass.)
template <class Sink>
void fill_plain_delays(Sink& words, std::uint32_t& event_cycles, std::uint32_t target_cycles) {
    while (target_cycles - event_cycles > maximum_plain_delay_advance) {
        words.push(delay(maximum_plain_delay_advance - 1u));
        event_cycles += maximum_plain_delay_advance;
    }
    if (event_cycles != target_cycles) {
        words.push(delay(target_cycles - event_cycles - 1u));
        event_cycles = target_cycles;
    }
}

// `append_plain_delay` for any sink.
template <class Sink>
[[nodiscard]] Result<void> append_plain_delay_to(Sink& words, std::uint32_t& event_cycles,
                                                 std::uint32_t target_cycles) {
    if (target_cycles < event_cycles) {
        return std::unexpected(ExchangeError::schedule(reason::plan_delay_order));
    }
    fill_plain_delays(words, event_cycles, target_cycles);
    return {};
}

// One receive control `gap` cycles (at least one) after the row's last
// event, as a PIC or XPIC delay word `instruction`: the word becomes its own
// timed word ending exactly on that cycle, with plain delays in front where
// the gap is longer than the word can reach. Asked about the gap alone, so
// that a caller whose gap has a known bound has the tests that bound settles
// folded away. Inlined into each caller: out of line, the sink and the cycle
// count go through memory on every control (8 % of sablemark's instructions).
template <class Sink>
[[gnu::always_inline]] inline void place_control_after(Sink& words, std::uint32_t gap, std::uint32_t instruction) {
    // The field and its reach are chosen from the two constants, not looked up
    // as an optional field: a field returned that way goes through the stack
    // on every control.
    const bool on_pic = is_pic_delay(instruction);
    const std::uint32_t reach = on_pic ? maximum_pic_delay_advance : maximum_xpic_delay_advance;
    if (gap > reach) {
        // Whole words of the longest plain delay, then the rest (at least a
        // cycle) in one word.
        std::uint32_t plain = gap - reach;
        while (plain > maximum_plain_delay_advance) {
            words.push(delay(maximum_plain_delay_advance - 1u));
            plain -= maximum_plain_delay_advance;
        }
        words.push(delay(plain - 1u));
        gap = reach;
    }
    const BitField advance = on_pic ? pic_delay_word::advance : xpic_delay_word::advance;
    words.push(advance.replace(instruction, gap - 1u));
}

// The same control taking effect at `cycles`, after `event_cycles`, which it
// then advances to: the step that cannot fail, for callers that have made
// the checks already.
template <class Sink>
[[gnu::always_inline]] inline void place_single_control(Sink& words, std::uint32_t& event_cycles, std::uint32_t cycles,
                                                        std::uint32_t instruction) {
    place_control_after(words, cycles - event_cycles, instruction);
    event_cycles = cycles;
}

// `place_single_control` with its checks: the control must come after the
// cycle the row has reached and be a PIC or XPIC delay word. On failure
// nothing is appended.
template <class Sink>
[[nodiscard]] Result<void> append_single_control(Sink& words, std::uint32_t& event_cycles, std::uint32_t cycles,
                                                 std::uint32_t instruction) {
    if (cycles < event_cycles) {
        return std::unexpected(ExchangeError::schedule(reason::receive_event_order));
    }
    // A control on the cycle the row has reached (cycle 0 at the latest) has
    // no cycle left to issue in.
    if (cycles == event_cycles) {
        return std::unexpected(ExchangeError::schedule(reason::receive_control_issue_interval));
    }
    if (!is_pic_delay(instruction) && !is_xpic_delay(instruction)) {
        return std::unexpected(ExchangeError::schedule(reason::receive_timed_event));
    }
    place_single_control(words, event_cycles, cycles, instruction);
    return {};
}

}  // namespace vorl_exchange::detail
