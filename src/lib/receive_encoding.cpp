#include "vorl_exchange/receive_encoding.hpp"

#include <algorithm>

#include "receive_encoding_impl.hpp"
#include "vorl_exchange/instruction_words.hpp"

namespace vorl_exchange {

Result<void> append_receive_events_record(RowWords& words, std::uint32_t& event_cycles,
                                          std::span<const ReceiveEvent> events, std::uint32_t horizon_cycles,
                                          bool align_control_pairs, ReceiveEncodingRecord record) {
    return detail::append_receive_events_to(words, event_cycles, events, horizon_cycles, align_control_pairs, record);
}

Result<void> append_receive_events(RowWords& words, std::uint32_t& event_cycles, std::span<const ReceiveEvent> events,
                                   std::uint32_t horizon_cycles, bool align_control_pairs) {
    return detail::append_receive_events_to(words, event_cycles, events, horizon_cycles, align_control_pairs,
                                            detail::IgnoreProgress{});
}

Result<std::pair<std::uint32_t, std::uint32_t>> encode_send_control_pair(std::uint32_t count_minus_one,
                                                                         std::uint32_t source_word_address,
                                                                         std::uint32_t send_control,
                                                                         std::span<const ReceiveEvent> events) noexcept {
    using namespace send_control_pair_word;
    if (count_minus_one > send_control_pair_word::count_minus_one.max() ||
        source_word_address > send_control_pair_word::source_word_address.max() || send_control > control.max() ||
        events.size() != 2) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_operand));
    }
    const auto pic = std::ranges::find_if(events, [](const ReceiveEvent& e) { return is_pic(e.kind); });
    if (pic == events.end()) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_pic_control));
    }
    const auto xpic = std::ranges::find_if(events, [](const ReceiveEvent& e) { return is_xpic(e.kind); });
    if (xpic == events.end()) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_xpic_control));
    }
    if (pic->cycles != xpic->cycles) {
        return std::unexpected(ExchangeError::schedule(reason::sendpicp_event_time));
    }
    const std::uint32_t instruction = opcode.value | pointer_selector.place(pic_delay_word::flag.get(pic->instruction)) |
                                      send_control_pair_word::count_minus_one.place(count_minus_one) |
                                      send_control_pair_word::source_word_address.place(source_word_address) |
                                      control.place(send_control);
    const std::uint32_t payload = send_control_pair_payload::xpic_bits.place(xpic->instruction) |
                                  send_control_pair_payload::pic_bits.place(pic->instruction);
    return std::pair{instruction, payload};
}

}  // namespace vorl_exchange
