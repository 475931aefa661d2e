// The one error type of the library and the fixed texts it carries.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstddef>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <string>
#include <string_view>

namespace vorl_exchange {

// The variants, in tag order (the tag values are part of the type's contract).
enum class ErrorKind : std::uint8_t {
    ValidationBudgetExceeded = 0,
    Tile = 1,
    DuplicateTile = 2,
    Count = 3,
    ReceiverSet = 4,
    Schedule = 5,
    PlanOffsetRange = 6,
    Address = 7,
    HostPacket = 8,
};

// A display text rendered into a fixed buffer, so that callers can stream an
// error's text (into a hasher, a log line) without touching the heap.
class VORL_EXCHANGE_EXPORT ErrorText {
public:
    static constexpr std::size_t capacity = 160;

    [[nodiscard]] std::string_view view() const noexcept { return {chars_, length_}; }
    void append(std::string_view text) noexcept;
    void append_decimal(std::uint32_t value) noexcept;
    void append_hex(std::uint32_t value) noexcept;

private:
    char chars_[capacity]{};
    std::size_t length_ = 0;
};

class VORL_EXCHANGE_EXPORT ExchangeError {
public:
    [[nodiscard]] static constexpr ExchangeError validation_budget_exceeded() noexcept {
        return ExchangeError{ErrorKind::ValidationBudgetExceeded};
    }
    [[nodiscard]] static constexpr ExchangeError tile(std::uint16_t logical) noexcept {
        return ExchangeError{ErrorKind::Tile, logical};
    }
    [[nodiscard]] static constexpr ExchangeError duplicate_tile() noexcept {
        return ExchangeError{ErrorKind::DuplicateTile};
    }
    [[nodiscard]] static constexpr ExchangeError count(std::uint32_t count) noexcept {
        return ExchangeError{ErrorKind::Count, count};
    }
    [[nodiscard]] static constexpr ExchangeError receiver_set() noexcept {
        return ExchangeError{ErrorKind::ReceiverSet};
    }
    // `reason` must be one of the texts of `namespace reason` below.
    [[nodiscard]] static constexpr ExchangeError schedule(std::string_view reason) noexcept {
        ExchangeError error{ErrorKind::Schedule};
        error.reason_ = reason;
        return error;
    }
    [[nodiscard]] static constexpr ExchangeError plan_offset_range(std::uint32_t cycles,
                                                                   std::uint32_t maximum) noexcept {
        return ExchangeError{ErrorKind::PlanOffsetRange, cycles, maximum};
    }
    [[nodiscard]] static constexpr ExchangeError address(std::uint32_t address) noexcept {
        return ExchangeError{ErrorKind::Address, address};
    }
    [[nodiscard]] static constexpr ExchangeError host_packet() noexcept {
        return ExchangeError{ErrorKind::HostPacket};
    }

    [[nodiscard]] constexpr ErrorKind kind() const noexcept { return kind_; }
    // Payload accessors; each is meaningful only for the variants named.
    [[nodiscard]] constexpr std::uint16_t tile_number() const noexcept {  // Tile
        return static_cast<std::uint16_t>(first_);
    }
    [[nodiscard]] constexpr std::uint32_t count_value() const noexcept { return first_; }  // Count
    [[nodiscard]] constexpr std::string_view reason() const noexcept { return reason_; }  // Schedule
    [[nodiscard]] constexpr std::uint32_t cycles() const noexcept { return first_; }  // PlanOffsetRange
    [[nodiscard]] constexpr std::uint32_t maximum() const noexcept { return second_; }  // PlanOffsetRange
    [[nodiscard]] constexpr std::uint32_t address_value() const noexcept { return first_; }  // Address

    // The fixed display text with the payload inserted.
    [[nodiscard]] ErrorText display() const noexcept;
    // The structured form, e.g. `Tile(5)` or `Schedule("sender delay")`.
    [[nodiscard]] std::string debug() const;

    // Reasons compare by text, so two Schedule errors are equal when their texts are.
    friend constexpr bool operator==(const ExchangeError&, const ExchangeError&) noexcept = default;

private:
    constexpr explicit ExchangeError(ErrorKind kind, std::uint32_t first = 0,
                                     std::uint32_t second = 0) noexcept
        : kind_{kind}, first_{first}, second_{second} {}

    ErrorKind kind_;
    std::uint32_t first_;
    std::uint32_t second_;
    std::string_view reason_{};
};

[[nodiscard]] VORL_EXCHANGE_EXPORT std::string to_string(const ExchangeError& error);
VORL_EXCHANGE_EXPORT std::ostream& operator<<(std::ostream& out, const ExchangeError& error);

template <class T>
using Result = std::expected<T, ExchangeError>;

// The largest word count an exchange may carry.
inline constexpr std::uint32_t maximum_count = 4148;

// The complete set of `Schedule` reasons.
namespace reason {
inline constexpr std::string_view plan_delay_order = "plan delay order";
inline constexpr std::string_view sendpicp_instruction_alignment = "SENDPICP instruction alignment";
inline constexpr std::string_view receive_event_order = "receive event order";
inline constexpr std::string_view receive_control_issue_interval = "receive control issue interval";
inline constexpr std::string_view receive_timed_event = "receive timed event";
inline constexpr std::string_view receive_control_at_phase_entry = "receive control at phase entry";
inline constexpr std::string_view receive_control_order = "receive control order";
inline constexpr std::string_view empty_sendpicp_interval = "empty SENDPICP interval";
inline constexpr std::string_view incompatible_simultaneous_receive_controls =
    "incompatible simultaneous receive controls";
inline constexpr std::string_view sendpicp_operand = "SENDPICP operand";
inline constexpr std::string_view sendpicp_pic_control = "SENDPICP PIC control";
inline constexpr std::string_view sendpicp_xpic_control = "SENDPICP XPIC control";
inline constexpr std::string_view sendpicp_event_time = "SENDPICP event time";
inline constexpr std::string_view zero_event_advance = "zero event advance";
inline constexpr std::string_view first_scheduled_event_is_not_a_delay =
    "first scheduled event is not a delay";
inline constexpr std::string_view scheduled_offset_truncates_a_send = "scheduled offset truncates a send";
inline constexpr std::string_view xpic_delay_advance_overflow = "XPIC delay advance overflow";
inline constexpr std::string_view pic_delay_advance_overflow = "PIC delay advance overflow";
inline constexpr std::string_view delay_advance_overflow = "delay advance overflow";
inline constexpr std::string_view send_instruction_operand = "send instruction operand";
inline constexpr std::string_view send_control = "send control";
inline constexpr std::string_view sender_payload = "sender payload";
inline constexpr std::string_view sender_delay = "sender delay";
inline constexpr std::string_view multicast_start_cycle = "multicast start cycle";
inline constexpr std::string_view multicast_receive_cycle = "multicast receive cycle";
inline constexpr std::string_view paired_source_timing = "paired source timing";
inline constexpr std::string_view paired_receive_coincident_controls = "paired receive coincident controls";
inline constexpr std::string_view paired_receive_horizon_overflow = "paired receive horizon overflow";
inline constexpr std::string_view paired_receive_row_capacity = "paired receive row capacity";

inline constexpr std::string_view all[] = {
    plan_delay_order, sendpicp_instruction_alignment, receive_event_order,
    receive_control_issue_interval, receive_timed_event, receive_control_at_phase_entry,
    receive_control_order, empty_sendpicp_interval, incompatible_simultaneous_receive_controls,
    sendpicp_operand, sendpicp_pic_control, sendpicp_xpic_control, sendpicp_event_time,
    zero_event_advance, first_scheduled_event_is_not_a_delay, scheduled_offset_truncates_a_send,
    xpic_delay_advance_overflow, pic_delay_advance_overflow, delay_advance_overflow,
    send_instruction_operand, send_control, sender_payload, sender_delay, multicast_start_cycle,
    multicast_receive_cycle, paired_source_timing, paired_receive_coincident_controls,
    paired_receive_horizon_overflow, paired_receive_row_capacity,
};
}  // namespace reason

// Texts of the internal invariants: conditions valid input cannot reach.
namespace invariant {
inline constexpr std::string_view logical_tile_count_fits_u16 = "logical tile count fits u16";
inline constexpr std::string_view send_control_is_three_bits = "send control is three bits";
inline constexpr std::string_view paired_multicast_has_receivers = "paired multicast has receivers";
inline constexpr std::string_view paired_receive_always_has_format_events =
    "paired receive always has format events";
inline constexpr std::string_view sender_row_count_in_range = "sender row count is within 1..=4148";
inline constexpr std::string_view sender_row_delay_in_range = "sender row delay is within -1..=524287";
inline constexpr std::string_view cycle_arithmetic_overflow = "exchange cycle arithmetic overflow";
}  // namespace invariant

// Stops the program: writes `text` and a newline to standard error, then aborts.
[[noreturn]] VORL_EXCHANGE_EXPORT void invariant_failure(std::string_view text) noexcept;

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
