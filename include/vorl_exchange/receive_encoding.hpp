/// @file
/// Turning a sorted, validated list of receive events into row words.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/receive_events.hpp"
#include "vorl_exchange/row_words.hpp"

namespace vorl_exchange {

/// Progress after one group of events has been encoded.
struct ReceiveEncodingProgress {
    std::size_t events_done = 0;    ///< Index just past the group.
    std::size_t words = 0;          ///< Words in the sink after the group.
    std::uint32_t event_cycles = 0;  ///< Cycle at which the next word starts.
    std::optional<std::uint32_t> next_start;  ///< For a SENDPICP pair: the cycle it may hold up to.
};

/// A non-owning reference to the progress callback; cheap to pass by value.
class ReceiveEncodingRecord {
public:
    /// Binds any callable taking the progress; the callable must outlive the call
    /// it is passed to (a lambda written in the argument list does).
    template <class F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, ReceiveEncodingRecord> &&
                 std::is_invocable_v<F&, const ReceiveEncodingProgress&>)
    ReceiveEncodingRecord(F&& callback) noexcept  // NOLINT(google-explicit-constructor)
        : object_{const_cast<void*>(static_cast<const void*>(std::addressof(callback)))},
          call_{[](void* object, const ReceiveEncodingProgress& progress) {
              (*static_cast<std::remove_reference_t<F>*>(object))(progress);
          }} {}

    /// Records one step of the encoder.
    void operator()(const ReceiveEncodingProgress& progress) const { call_(object_, progress); }

private:
    void* object_;
    void (*call_)(void*, const ReceiveEncodingProgress&);
};

/// Appends the words of `events` (sorted by cycle) and fills with plain delays up
/// to `horizon_cycles`. A single event becomes its own timed word ending exactly
/// on its cycle; a Pointer/ordinary pair on one cycle becomes a SENDPICP pair
/// starting one cycle earlier. With `align_control_pairs` every SENDPICP
/// instruction word lands on an even word index. Groups of three or more events
/// cannot be issued and are refused with "incompatible simultaneous receive controls".
[[nodiscard]] VORL_EXCHANGE_EXPORT Result<void> append_receive_events(RowWords& words, std::uint32_t& event_cycles,
                                                                      std::span<const ReceiveEvent> events,
                                                                      std::uint32_t horizon_cycles,
                                                                      bool align_control_pairs);

/// As `append_receive_events`, calling `record` after every group.
[[nodiscard]] VORL_EXCHANGE_EXPORT Result<void> append_receive_events_record(
    RowWords& words, std::uint32_t& event_cycles, std::span<const ReceiveEvent> events, std::uint32_t horizon_cycles,
    bool align_control_pairs, ReceiveEncodingRecord record);

/// The SENDPICP pair (instruction word, payload word) for one PIC and one XPIC
/// event on the same cycle.
[[nodiscard]] VORL_EXCHANGE_EXPORT Result<std::pair<std::uint32_t, std::uint32_t>> encode_send_control_pair(
    std::uint32_t count_minus_one, std::uint32_t source_word_address, std::uint32_t send_control,
    std::span<const ReceiveEvent> events) noexcept;

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
