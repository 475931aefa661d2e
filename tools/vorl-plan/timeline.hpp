// A row read back as a timeline: what each of its nine words is, and the cycles
// each instruction occupies counted from the opening word (cycle 0).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan.hpp"

namespace vorl_plan {

// The word in front of a point-to-point receiver row's opening word.
inline constexpr std::uint32_t mark_word = 1;

enum class WordRole : std::uint8_t {
    Mark,         // the 1 in front of a point-to-point receiver row's opening word
    Instruction,  // opening word, timed or untimed instruction, closing word
    Payload,      // second word of a SENDPICP pair (part of the instruction before it)
    Fill,         // zero after the closing word
    Stray,        // anything else outside the opening..closing span
};

[[nodiscard]] std::string_view to_string(WordRole role) noexcept;

struct TimelineWord {
    std::uint32_t index = 0;
    WordRole role = WordRole::Stray;
    vorl_exchange::DecodedWord decoded;
    // Cycles on the row's timeline; meaningful for instructions only. A delay takes
    // its field + 1 cycles, a SENDPICP pair count_minus_one + 1, anything else 0.
    std::uint64_t start = 0;
    std::uint64_t end = 0;

    [[nodiscard]] bool is_instruction() const noexcept { return role == WordRole::Instruction; }
    [[nodiscard]] bool takes_time() const noexcept { return is_instruction() && end > start; }
};

struct Timeline {
    std::array<TimelineWord, vorl_exchange::row_length> words{};

    // Start cycle of the first send or send-off word, if the row has one.
    [[nodiscard]] std::optional<std::uint64_t> first_send_start() const noexcept;
    // The first XPIC delay word among the instructions, if any.
    [[nodiscard]] const TimelineWord* first_xpic() const noexcept;
    // End cycle of the row's last instruction.
    [[nodiscard]] std::uint64_t length() const noexcept;
};

[[nodiscard]] Timeline read_timeline(const vorl_exchange::Row& row) noexcept;

// Cycles a single instruction occupies on its row's timeline.
[[nodiscard]] std::uint64_t cycles_taken(const vorl_exchange::DecodedWord& decoded) noexcept;

// Whether the word is a receive control (a PIC or XPIC delay or a SENDPICP pair),
// which takes effect on the cycle at which it ends.
[[nodiscard]] bool is_receive_control(const vorl_exchange::DecodedWord& decoded) noexcept;

}  // namespace vorl_plan
