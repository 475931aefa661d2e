#include "timeline.hpp"

namespace vorl_plan {

using vorl_exchange::DecodedWord;
using vorl_exchange::WordFamily;

std::string_view to_string(WordRole role) noexcept {
    switch (role) {
        case WordRole::Mark: return "mark";
        case WordRole::Instruction: return "instruction";
        case WordRole::Payload: return "payload";
        case WordRole::Fill: return "fill";
        case WordRole::Stray: return "stray";
    }
    return "stray";
}

std::uint64_t cycles_taken(const DecodedWord& decoded) noexcept {
    if (decoded.family == WordFamily::SendControlPair) {
        return std::uint64_t{decoded.count_minus_one} + 1u;
    }
    return decoded.advance();
}

bool is_receive_control(const DecodedWord& decoded) noexcept {
    return decoded.family == WordFamily::PicDelay || decoded.family == WordFamily::XpicDelay ||
           decoded.family == WordFamily::SendControlPair;
}

Timeline read_timeline(const vorl_exchange::Row& row) noexcept {
    enum class Place { BeforeOpening, Body, AfterClosing };

    Timeline timeline;
    Place place = Place::BeforeOpening;
    bool payload_due = false;
    std::uint64_t cycle = 0;
    for (std::uint32_t index = 0; index < row.size(); ++index) {
        TimelineWord& entry = timeline.words[index];
        entry.index = index;
        entry.decoded = vorl_exchange::decode(row[index]);
        entry.start = entry.end = cycle;
        const WordFamily family = entry.decoded.family;
        if (place == Place::BeforeOpening) {
            if (family == WordFamily::Opening) {
                entry.role = WordRole::Instruction;
                place = Place::Body;
            } else {
                const bool mark = index == 0 && row[0] == mark_word && row[1] == vorl_exchange::opening_word;
                entry.role = mark ? WordRole::Mark : WordRole::Stray;
            }
        } else if (place == Place::Body) {
            if (payload_due) {
                entry.role = WordRole::Payload;
                payload_due = false;
                continue;
            }
            entry.role = WordRole::Instruction;
            cycle += cycles_taken(entry.decoded);
            entry.end = cycle;
            payload_due = family == WordFamily::SendControlPair;
            if (family == WordFamily::Closing) {
                place = Place::AfterClosing;
            }
        } else {
            entry.role = row[index] == vorl_exchange::fill_word ? WordRole::Fill : WordRole::Stray;
        }
    }
    return timeline;
}

std::optional<std::uint64_t> Timeline::first_send_start() const noexcept {
    for (const TimelineWord& entry : words) {
        if (entry.is_instruction() && vorl_exchange::is_payload_send(entry.decoded.word)) {
            return entry.start;
        }
    }
    return std::nullopt;
}

const TimelineWord* Timeline::first_xpic() const noexcept {
    for (const TimelineWord& entry : words) {
        if (entry.is_instruction() && entry.decoded.family == WordFamily::XpicDelay) {
            return &entry;
        }
    }
    return nullptr;
}

std::uint64_t Timeline::length() const noexcept {
    std::uint64_t end = 0;
    for (const TimelineWord& entry : words) {
        if (entry.is_instruction()) {
            end = entry.end;
        }
    }
    return end;
}

}  // namespace vorl_plan
