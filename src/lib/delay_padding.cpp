#include "vorl_exchange/delay_padding.hpp"

#include <algorithm>

#include "receive_steps.hpp"

namespace vorl_exchange {

namespace {

// A plain delay word covering `chunk` (1..=524288) cycles.
constexpr std::uint32_t plain_delay_for(std::uint32_t chunk) noexcept { return delay(chunk - 1u); }

Result<void> delay_order_error() { return std::unexpected(ExchangeError::schedule(reason::plan_delay_order)); }
Result<void> alignment_error() {
    return std::unexpected(ExchangeError::schedule(reason::sendpicp_instruction_alignment));
}

}  // namespace

Result<void> append_plain_delay(RowWords& words, std::uint32_t& event_cycles, std::uint32_t target_cycles) {
    return detail::append_plain_delay_to(words, event_cycles, target_cycles);
}

Result<void> append_plain_delay_aligned(RowWords& words, std::uint32_t& event_cycles, std::uint32_t target_cycles,
                                        std::size_t word_parity) {
    if (target_cycles < event_cycles) {
        return delay_order_error();
    }
    // A parity other than 0 or 1 can never be met.
    if (word_parity > 1) {
        return alignment_error();
    }
    const std::uint32_t distance = target_cycles - event_cycles;
    if (distance == 0) {
        return words.len() % 2 == word_parity ? Result<void>{} : alignment_error();
    }
    const std::uint32_t minimum_words =
        distance / maximum_plain_delay_advance + (distance % maximum_plain_delay_advance != 0 ? 1u : 0u);
    const std::uint32_t delay_words = minimum_words + ((words.len() + minimum_words) % 2 != word_parity ? 1u : 0u);
    if (delay_words > distance) {
        return alignment_error();
    }
    // Each word takes as much as it can while leaving one cycle for every word
    // still to come, so an extra word for parity is the short last one.
    std::uint32_t remaining = distance;
    for (std::uint32_t remaining_words = delay_words; remaining_words > 0; --remaining_words) {
        const std::uint32_t chunk = std::min(maximum_plain_delay_advance, remaining - (remaining_words - 1u));
        words.push(plain_delay_for(chunk));
        event_cycles += chunk;
        remaining -= chunk;
    }
    if (remaining != 0 || words.len() % 2 != word_parity) {
        invariant_failure(invariant::aligned_plain_delay_meets_target);
    }
    return {};
}

}  // namespace vorl_exchange
