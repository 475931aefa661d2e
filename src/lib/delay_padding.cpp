#include "vorl_exchange/delay_padding.hpp"

#include "receive_encoding_impl.hpp"

namespace vorl_exchange {

Result<void> append_plain_delay(RowWords& words, std::uint32_t& event_cycles, std::uint32_t target_cycles) {
    return detail::append_plain_delay_to(words, event_cycles, target_cycles);
}

Result<void> append_plain_delay_aligned(RowWords& words, std::uint32_t& event_cycles, std::uint32_t target_cycles,
                                        std::size_t word_parity) {
    return detail::append_plain_delay_aligned_to(words, event_cycles, target_cycles, word_parity);
}

}  // namespace vorl_exchange
