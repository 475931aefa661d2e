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

// Why a schedule cannot be encoded: the 29 fixed reasons of a `Schedule` error.
enum class ScheduleReason : std::uint8_t {
    PlanDelayOrder,
    SendpicpInstructionAlignment,
    ReceiveEventOrder,
    ReceiveControlIssueInterval,
    ReceiveTimedEvent,
    ReceiveControlAtPhaseEntry,
    ReceiveControlOrder,
    EmptySendpicpInterval,
    IncompatibleSimultaneousReceiveControls,
    SendpicpOperand,
    SendpicpPicControl,
    SendpicpXpicControl,
    SendpicpEventTime,
    ZeroEventAdvance,
    FirstScheduledEventIsNotADelay,
    ScheduledOffsetTruncatesASend,
    XpicDelayAdvanceOverflow,
    PicDelayAdvanceOverflow,
    DelayAdvanceOverflow,
    SendInstructionOperand,
    SendControl,
    SenderPayload,
    SenderDelay,
    MulticastStartCycle,
    MulticastReceiveCycle,
    PairedSourceTiming,
    PairedReceiveCoincidentControls,
    PairedReceiveHorizonOverflow,
    PairedReceiveRowCapacity,
};

inline constexpr std::size_t schedule_reason_count = 29;

// The fixed text of `reason`, e.g. "sender delay".
[[nodiscard]] constexpr std::string_view reason_text(ScheduleReason reason) noexcept;

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
    [[nodiscard]] static constexpr ExchangeError schedule(ScheduleReason reason) noexcept {
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
    [[nodiscard]] constexpr ScheduleReason reason() const noexcept { return reason_; }  // Schedule
    [[nodiscard]] constexpr std::uint32_t cycles() const noexcept { return first_; }  // PlanOffsetRange
    [[nodiscard]] constexpr std::uint32_t maximum() const noexcept { return second_; }  // PlanOffsetRange
    [[nodiscard]] constexpr std::uint32_t address_value() const noexcept { return first_; }  // Address

    // The fixed display text with the payload inserted.
    [[nodiscard]] ErrorText display() const noexcept;
    // The structured form, e.g. `Tile(5)` or `Schedule("sender delay")`.
    [[nodiscard]] std::string debug() const;

    friend constexpr bool operator==(const ExchangeError&, const ExchangeError&) noexcept = default;

private:
    constexpr explicit ExchangeError(ErrorKind kind, std::uint32_t first = 0,
                                     std::uint32_t second = 0) noexcept
        : kind_{kind}, first_{first}, second_{second} {}

    ErrorKind kind_;
    std::uint32_t first_;
    std::uint32_t second_;
    // After the payload words: beside the tag, which packs the error into 12
    // bytes, the planners ran 8.6 % more instructions.
    ScheduleReason reason_{};
};

[[nodiscard]] VORL_EXCHANGE_EXPORT std::string to_string(const ExchangeError& error);
VORL_EXCHANGE_EXPORT std::ostream& operator<<(std::ostream& out, const ExchangeError& error);
// The reason's text.
VORL_EXCHANGE_EXPORT std::ostream& operator<<(std::ostream& out, ScheduleReason reason);

template <class T>
using Result = std::expected<T, ExchangeError>;

// The largest word count an exchange may carry.
inline constexpr std::uint32_t maximum_count = 4148;

// Texts of the internal invariants: conditions valid input cannot reach.
namespace invariant {
inline constexpr std::string_view logical_tile_count_fits_u16 = "logical tile count fits u16";
inline constexpr std::string_view send_control_is_three_bits = "send control is three bits";
inline constexpr std::string_view paired_multicast_has_receivers = "paired multicast has receivers";
inline constexpr std::string_view paired_receive_always_has_format_events =
    "paired receive always has format events";
inline constexpr std::string_view sender_row_count_in_range = "sender row count is within 1..=4148";
inline constexpr std::string_view sender_row_delay_in_range = "sender row delay is within -1..=524287";
inline constexpr std::string_view sender_row_direction_fits_send_word = "sender row direction fits the send word";
inline constexpr std::string_view aligned_plain_delay_meets_target = "aligned plain delay meets its target and parity";
inline constexpr std::string_view error_tag_is_a_variant = "exchange error tag is one of the nine variants";
inline constexpr std::string_view schedule_reason_is_listed = "schedule reason is one of the 29 reasons";
inline constexpr std::string_view topology_table_is_valid =
    "topology table holds at most 65536 identifiers of 11 bits";
inline constexpr std::string_view topology_rule_is_listed = "topology rule is one of the two rules";
}  // namespace invariant

// Stops the program: writes `text` and a newline to standard error, then aborts.
[[noreturn]] VORL_EXCHANGE_EXPORT void invariant_failure(std::string_view text) noexcept;

namespace detail {

struct ScheduleReasonText {
    ScheduleReason reason;
    std::string_view text;
};

// The one table of reason texts; they reach the digest, so they are fixed byte for byte.
inline constexpr ScheduleReasonText schedule_reason_texts[] = {
    {ScheduleReason::PlanDelayOrder, "plan delay order"},
    {ScheduleReason::SendpicpInstructionAlignment, "SENDPICP instruction alignment"},
    {ScheduleReason::ReceiveEventOrder, "receive event order"},
    {ScheduleReason::ReceiveControlIssueInterval, "receive control issue interval"},
    {ScheduleReason::ReceiveTimedEvent, "receive timed event"},
    {ScheduleReason::ReceiveControlAtPhaseEntry, "receive control at phase entry"},
    {ScheduleReason::ReceiveControlOrder, "receive control order"},
    {ScheduleReason::EmptySendpicpInterval, "empty SENDPICP interval"},
    {ScheduleReason::IncompatibleSimultaneousReceiveControls, "incompatible simultaneous receive controls"},
    {ScheduleReason::SendpicpOperand, "SENDPICP operand"},
    {ScheduleReason::SendpicpPicControl, "SENDPICP PIC control"},
    {ScheduleReason::SendpicpXpicControl, "SENDPICP XPIC control"},
    {ScheduleReason::SendpicpEventTime, "SENDPICP event time"},
    {ScheduleReason::ZeroEventAdvance, "zero event advance"},
    {ScheduleReason::FirstScheduledEventIsNotADelay, "first scheduled event is not a delay"},
    {ScheduleReason::ScheduledOffsetTruncatesASend, "scheduled offset truncates a send"},
    {ScheduleReason::XpicDelayAdvanceOverflow, "XPIC delay advance overflow"},
    {ScheduleReason::PicDelayAdvanceOverflow, "PIC delay advance overflow"},
    {ScheduleReason::DelayAdvanceOverflow, "delay advance overflow"},
    {ScheduleReason::SendInstructionOperand, "send instruction operand"},
    {ScheduleReason::SendControl, "send control"},
    {ScheduleReason::SenderPayload, "sender payload"},
    {ScheduleReason::SenderDelay, "sender delay"},
    {ScheduleReason::MulticastStartCycle, "multicast start cycle"},
    {ScheduleReason::MulticastReceiveCycle, "multicast receive cycle"},
    {ScheduleReason::PairedSourceTiming, "paired source timing"},
    {ScheduleReason::PairedReceiveCoincidentControls, "paired receive coincident controls"},
    {ScheduleReason::PairedReceiveHorizonOverflow, "paired receive horizon overflow"},
    {ScheduleReason::PairedReceiveRowCapacity, "paired receive row capacity"},
};

static_assert(std::size(schedule_reason_texts) == schedule_reason_count);
static_assert([] {
    for (std::size_t index = 0; index < schedule_reason_count; ++index) {
        if (schedule_reason_texts[index].reason != static_cast<ScheduleReason>(index)) {
            return false;
        }
    }
    return true;
}(), "the text table lists the reasons in their enumeration order");

// A built-in array inside, so that `reason::all` is one: std::size, std::end
// and array-reference parameters all take it.
struct ScheduleReasonList {
    ScheduleReason reasons[schedule_reason_count];
};

inline constexpr ScheduleReasonList every_schedule_reason = [] {
    ScheduleReasonList list{};
    for (std::size_t index = 0; index < schedule_reason_count; ++index) {
        list.reasons[index] = schedule_reason_texts[index].reason;
    }
    return list;
}();

}  // namespace detail

[[nodiscard]] constexpr std::string_view reason_text(ScheduleReason reason) noexcept {
    const auto index = static_cast<std::size_t>(reason);
    if (index >= schedule_reason_count) {
        invariant_failure(invariant::schedule_reason_is_listed);
    }
    return detail::schedule_reason_texts[index].text;
}

// The complete set of `Schedule` reasons under their short names, e.g.
// `ExchangeError::schedule(reason::sender_delay)`.
namespace reason {
inline constexpr ScheduleReason plan_delay_order = ScheduleReason::PlanDelayOrder;
inline constexpr ScheduleReason sendpicp_instruction_alignment = ScheduleReason::SendpicpInstructionAlignment;
inline constexpr ScheduleReason receive_event_order = ScheduleReason::ReceiveEventOrder;
inline constexpr ScheduleReason receive_control_issue_interval = ScheduleReason::ReceiveControlIssueInterval;
inline constexpr ScheduleReason receive_timed_event = ScheduleReason::ReceiveTimedEvent;
inline constexpr ScheduleReason receive_control_at_phase_entry = ScheduleReason::ReceiveControlAtPhaseEntry;
inline constexpr ScheduleReason receive_control_order = ScheduleReason::ReceiveControlOrder;
inline constexpr ScheduleReason empty_sendpicp_interval = ScheduleReason::EmptySendpicpInterval;
inline constexpr ScheduleReason incompatible_simultaneous_receive_controls =
    ScheduleReason::IncompatibleSimultaneousReceiveControls;
inline constexpr ScheduleReason sendpicp_operand = ScheduleReason::SendpicpOperand;
inline constexpr ScheduleReason sendpicp_pic_control = ScheduleReason::SendpicpPicControl;
inline constexpr ScheduleReason sendpicp_xpic_control = ScheduleReason::SendpicpXpicControl;
inline constexpr ScheduleReason sendpicp_event_time = ScheduleReason::SendpicpEventTime;
inline constexpr ScheduleReason zero_event_advance = ScheduleReason::ZeroEventAdvance;
inline constexpr ScheduleReason first_scheduled_event_is_not_a_delay = ScheduleReason::FirstScheduledEventIsNotADelay;
inline constexpr ScheduleReason scheduled_offset_truncates_a_send = ScheduleReason::ScheduledOffsetTruncatesASend;
inline constexpr ScheduleReason xpic_delay_advance_overflow = ScheduleReason::XpicDelayAdvanceOverflow;
inline constexpr ScheduleReason pic_delay_advance_overflow = ScheduleReason::PicDelayAdvanceOverflow;
inline constexpr ScheduleReason delay_advance_overflow = ScheduleReason::DelayAdvanceOverflow;
inline constexpr ScheduleReason send_instruction_operand = ScheduleReason::SendInstructionOperand;
inline constexpr ScheduleReason send_control = ScheduleReason::SendControl;
inline constexpr ScheduleReason sender_payload = ScheduleReason::SenderPayload;
inline constexpr ScheduleReason sender_delay = ScheduleReason::SenderDelay;
inline constexpr ScheduleReason multicast_start_cycle = ScheduleReason::MulticastStartCycle;
inline constexpr ScheduleReason multicast_receive_cycle = ScheduleReason::MulticastReceiveCycle;
inline constexpr ScheduleReason paired_source_timing = ScheduleReason::PairedSourceTiming;
inline constexpr ScheduleReason paired_receive_coincident_controls = ScheduleReason::PairedReceiveCoincidentControls;
inline constexpr ScheduleReason paired_receive_horizon_overflow = ScheduleReason::PairedReceiveHorizonOverflow;
inline constexpr ScheduleReason paired_receive_row_capacity = ScheduleReason::PairedReceiveRowCapacity;

// Every reason, in the order of `ScheduleReason`.
inline constexpr const auto& all = detail::every_schedule_reason.reasons;
}  // namespace reason

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
