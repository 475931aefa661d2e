/// @file
/// The one error type of the library and the fixed texts it carries.
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

/// The variants, in tag order (the tag values are part of the type's contract).
enum class ErrorKind : std::uint8_t {
    ValidationBudgetExceeded = 0,  ///< "exchange incremental-encoding work budget exhausted".
    Tile = 1,  ///< "logical tile N is out of range": a tile the topology does not have.
    DuplicateTile = 2,  ///< "exchange endpoints must be distinct": the sender is its own receiver.
    Count = 3,  ///< "exchange count N is outside 1..=4148".
    ReceiverSet = 4,  ///< "invalid multicast receiver set": a receiver list the planner refuses.
    Schedule = 5,  ///< "exchange schedule is not encodable: REASON", with one of the `ScheduleReason` texts.
    PlanOffsetRange =
        6,  ///< "exchange event offset N cycles from the phase-entry sync exceeds the encodable maximum of M cycles".
    Address = 7,  ///< "tile address 0xN is not encodable".
    HostPacket = 8,  ///< "host exchange address or length is not encodable".
};

/// How many `ErrorKind` values there are.
inline constexpr std::size_t error_kind_count = 9;

/// The variant's name as the debug form writes it, for example "ReceiverSet": the
/// name C's `vx_error_kind_name` and Python's `ExchangeError.kind` give too.
[[nodiscard]] constexpr std::string_view kind_name(ErrorKind kind) noexcept;

/// Why a schedule cannot be encoded: the 29 fixed reasons of a `Schedule` error.
enum class ScheduleReason : std::uint8_t {
    PlanDelayOrder,  ///< "plan delay order".
    SendpicpInstructionAlignment,  ///< "SENDPICP instruction alignment".
    ReceiveEventOrder,  ///< "receive event order".
    ReceiveControlIssueInterval,  ///< "receive control issue interval".
    ReceiveTimedEvent,  ///< "receive timed event".
    ReceiveControlAtPhaseEntry,  ///< "receive control at phase entry".
    ReceiveControlOrder,  ///< "receive control order".
    EmptySendpicpInterval,  ///< "empty SENDPICP interval".
    IncompatibleSimultaneousReceiveControls,  ///< "incompatible simultaneous receive controls".
    SendpicpOperand,  ///< "SENDPICP operand".
    SendpicpPicControl,  ///< "SENDPICP PIC control".
    SendpicpXpicControl,  ///< "SENDPICP XPIC control".
    SendpicpEventTime,  ///< "SENDPICP event time".
    ZeroEventAdvance,  ///< "zero event advance".
    FirstScheduledEventIsNotADelay,  ///< "first scheduled event is not a delay".
    ScheduledOffsetTruncatesASend,  ///< "scheduled offset truncates a send".
    XpicDelayAdvanceOverflow,  ///< "XPIC delay advance overflow".
    PicDelayAdvanceOverflow,  ///< "PIC delay advance overflow".
    DelayAdvanceOverflow,  ///< "delay advance overflow".
    SendInstructionOperand,  ///< "send instruction operand".
    SendControl,  ///< "send control".
    SenderPayload,  ///< "sender payload".
    SenderDelay,  ///< "sender delay".
    MulticastStartCycle,  ///< "multicast start cycle".
    MulticastReceiveCycle,  ///< "multicast receive cycle".
    PairedSourceTiming,  ///< "paired source timing".
    PairedReceiveCoincidentControls,  ///< "paired receive coincident controls".
    PairedReceiveHorizonOverflow,  ///< "paired receive horizon overflow".
    PairedReceiveRowCapacity,  ///< "paired receive row capacity".
};

/// How many `ScheduleReason` values there are.
inline constexpr std::size_t schedule_reason_count = 29;

/// The fixed text of `reason`, for example "sender delay".
[[nodiscard]] constexpr std::string_view reason_text(ScheduleReason reason) noexcept;

/// A display text rendered into a fixed buffer, so that callers can stream an
/// error's text (into a hasher, a log line) without touching the heap.
class VORL_EXCHANGE_EXPORT ErrorText {
public:
    /// The longest text kept; longer texts are cut here, shown and hashed alike.
    static constexpr std::size_t capacity = 160;

    /// The text so far.
    [[nodiscard]] std::string_view view() const noexcept { return {chars_, length_}; }
    /// Appends `text`, as much of it as fits.
    void append(std::string_view text) noexcept;
    /// Appends `value` in decimal.
    void append_decimal(std::uint32_t value) noexcept;
    /// Appends `value` in lower-case hexadecimal, without a prefix.
    void append_hex(std::uint32_t value) noexcept;

private:
    char chars_[capacity]{};
    std::size_t length_ = 0;
};

/// Why a planner refused: one of nine variants (`kind()`), with its payload.
/// A plain 16-byte value: copying, comparing and showing it never allocates
/// (but `debug()` and `to_string`, which build a `std::string`).
class VORL_EXCHANGE_EXPORT ExchangeError {
public:
    /// The `ValidationBudgetExceeded` error.
    [[nodiscard]] static constexpr ExchangeError validation_budget_exceeded() noexcept {
        return ExchangeError{ErrorKind::ValidationBudgetExceeded};
    }
    /// The `Tile` error: `logical` is not a tile of the topology.
    [[nodiscard]] static constexpr ExchangeError tile(std::uint16_t logical) noexcept {
        return ExchangeError{ErrorKind::Tile, logical};
    }
    /// The `DuplicateTile` error: the sender is its own receiver.
    [[nodiscard]] static constexpr ExchangeError duplicate_tile() noexcept {
        return ExchangeError{ErrorKind::DuplicateTile};
    }
    /// The `Count` error: `count` is outside 1..4148.
    [[nodiscard]] static constexpr ExchangeError count(std::uint32_t count) noexcept {
        return ExchangeError{ErrorKind::Count, count};
    }
    /// The `ReceiverSet` error: the receiver list is refused.
    [[nodiscard]] static constexpr ExchangeError receiver_set() noexcept {
        return ExchangeError{ErrorKind::ReceiverSet};
    }
    /// The `Schedule` error: the plan cannot be encoded, for `reason`.
    [[nodiscard]] static constexpr ExchangeError schedule(ScheduleReason reason) noexcept {
        ExchangeError error{ErrorKind::Schedule};
        error.reason_ = reason;
        return error;
    }
    /// The `PlanOffsetRange` error.
    [[nodiscard]] static constexpr ExchangeError plan_offset_range(std::uint32_t cycles,
                                                                   std::uint32_t maximum) noexcept {
        return ExchangeError{ErrorKind::PlanOffsetRange, cycles, maximum};
    }
    /// The `Address` error.
    [[nodiscard]] static constexpr ExchangeError address(std::uint32_t address) noexcept {
        return ExchangeError{ErrorKind::Address, address};
    }
    /// The `HostPacket` error.
    [[nodiscard]] static constexpr ExchangeError host_packet() noexcept { return ExchangeError{ErrorKind::HostPacket}; }

    /// The variant.
    [[nodiscard]] constexpr ErrorKind kind() const noexcept { return kind_; }
    // The payload accessors below are each meaningful only for the kinds named.
    /// The tile of a `Tile` error.
    [[nodiscard]] constexpr std::uint16_t tile_number() const noexcept { return static_cast<std::uint16_t>(first_); }
    /// The count of a `Count` error.
    [[nodiscard]] constexpr std::uint32_t count_value() const noexcept { return first_; }
    /// The reason of a `Schedule` error.
    [[nodiscard]] constexpr ScheduleReason reason() const noexcept { return reason_; }
    /// The cycles of a `PlanOffsetRange` error.
    [[nodiscard]] constexpr std::uint32_t cycles() const noexcept { return first_; }
    /// The maximum of a `PlanOffsetRange` error.
    [[nodiscard]] constexpr std::uint32_t maximum() const noexcept { return second_; }
    /// The address of an `Address` error.
    [[nodiscard]] constexpr std::uint32_t address_value() const noexcept { return first_; }

    /// The fixed display text with the payload inserted.
    [[nodiscard]] ErrorText display() const noexcept;
    /// The structured form, for example `Tile(5)` or `Schedule("sender delay")`.
    [[nodiscard]] std::string debug() const;

    /// Same variant and payload.
    friend constexpr bool operator==(const ExchangeError&, const ExchangeError&) noexcept = default;

private:
    constexpr explicit ExchangeError(ErrorKind kind, std::uint32_t first = 0, std::uint32_t second = 0) noexcept
        : kind_{kind}, first_{first}, second_{second} {}

    ErrorKind kind_;
    std::uint32_t first_;
    std::uint32_t second_;
    ScheduleReason reason_{};  // after the payload words: see errors.cpp
};

/// The display text, for example "exchange count 0 is outside 1..=4148".
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string to_string(const ExchangeError& error);
/// Writes the display text.
VORL_EXCHANGE_EXPORT std::ostream& operator<<(std::ostream& out, const ExchangeError& error);
/// The reason's text.
VORL_EXCHANGE_EXPORT std::ostream& operator<<(std::ostream& out, ScheduleReason reason);

/// What every fallible operation returns: its value, or the error that ended it.
template <class T>
using Result = std::expected<T, ExchangeError>;

/// The largest word count an exchange may carry.
inline constexpr std::uint32_t maximum_count = 4148;

/// Texts of the internal invariants: conditions valid input cannot reach.
namespace invariant {
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view logical_tile_count_fits_u16 = "logical tile count fits u16";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view send_control_is_three_bits = "send control is three bits";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view paired_multicast_has_receivers = "paired multicast has receivers";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view paired_receive_always_has_format_events = "paired receive always has format events";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view sender_row_count_in_range = "sender row count is within 1..=4148";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view sender_row_delay_in_range = "sender row delay is within -1..=524287";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view sender_row_direction_fits_send_word = "sender row direction fits the send word";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view aligned_plain_delay_meets_target = "aligned plain delay meets its target and parity";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view error_tag_is_a_variant = "exchange error tag is one of the nine variants";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view schedule_reason_is_listed = "schedule reason is one of the 29 reasons";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view topology_table_is_valid = "topology table holds at most 65536 identifiers of 11 bits";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view topology_rule_is_listed = "topology rule is one of the three rules";
/// An invariant's stop text (see `invariant_failure`).
inline constexpr std::string_view receiver_rule_is_listed = "receiver rule is one of the seven rules";
}  // namespace invariant

/// Stops the program: writes `text` and a newline to standard error, then aborts.
[[noreturn]] VORL_EXCHANGE_EXPORT void invariant_failure(std::string_view text) noexcept;

namespace detail {

struct ErrorKindName {
    ErrorKind kind;
    std::string_view name;
};

/// The one table of variant names, in tag order.
inline constexpr ErrorKindName error_kind_names[] = {
    {ErrorKind::ValidationBudgetExceeded, "ValidationBudgetExceeded"},
    {ErrorKind::Tile, "Tile"},
    {ErrorKind::DuplicateTile, "DuplicateTile"},
    {ErrorKind::Count, "Count"},
    {ErrorKind::ReceiverSet, "ReceiverSet"},
    {ErrorKind::Schedule, "Schedule"},
    {ErrorKind::PlanOffsetRange, "PlanOffsetRange"},
    {ErrorKind::Address, "Address"},
    {ErrorKind::HostPacket, "HostPacket"},
};

static_assert(std::size(error_kind_names) == error_kind_count);
static_assert(
    [] {
        for (std::size_t index = 0; index < error_kind_count; ++index) {
            if (error_kind_names[index].kind != static_cast<ErrorKind>(index)) {
                return false;
            }
        }
        return true;
    }(),
    "the name table lists the variants in tag order");

struct ScheduleReasonText {
    ScheduleReason reason;
    std::string_view text;
};

/// The one table of reason texts; they reach the digest, so they are fixed byte for byte.
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
static_assert(
    [] {
        for (std::size_t index = 0; index < schedule_reason_count; ++index) {
            if (schedule_reason_texts[index].reason != static_cast<ScheduleReason>(index)) {
                return false;
            }
        }
        return true;
    }(),
    "the text table lists the reasons in their enumeration order");

/// A built-in array inside, so that `reason::all` is one: std::size, std::end
/// and array-reference parameters all take it.
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

[[nodiscard]] constexpr std::string_view kind_name(ErrorKind kind) noexcept {
    const auto index = static_cast<std::size_t>(kind);
    if (index >= error_kind_count) {
        invariant_failure(invariant::error_tag_is_a_variant);
    }
    return detail::error_kind_names[index].name;
}

[[nodiscard]] constexpr std::string_view reason_text(ScheduleReason reason) noexcept {
    const auto index = static_cast<std::size_t>(reason);
    if (index >= schedule_reason_count) {
        invariant_failure(invariant::schedule_reason_is_listed);
    }
    return detail::schedule_reason_texts[index].text;
}

/// The complete set of `Schedule` reasons under their short names, for example
/// `ExchangeError::schedule(reason::sender_delay)`.
namespace reason {
/// The reason "plan delay order".
inline constexpr ScheduleReason plan_delay_order = ScheduleReason::PlanDelayOrder;
/// The reason "SENDPICP instruction alignment".
inline constexpr ScheduleReason sendpicp_instruction_alignment = ScheduleReason::SendpicpInstructionAlignment;
/// The reason "receive event order".
inline constexpr ScheduleReason receive_event_order = ScheduleReason::ReceiveEventOrder;
/// The reason "receive control issue interval".
inline constexpr ScheduleReason receive_control_issue_interval = ScheduleReason::ReceiveControlIssueInterval;
/// The reason "receive timed event".
inline constexpr ScheduleReason receive_timed_event = ScheduleReason::ReceiveTimedEvent;
/// The reason "receive control at phase entry".
inline constexpr ScheduleReason receive_control_at_phase_entry = ScheduleReason::ReceiveControlAtPhaseEntry;
/// The reason "receive control order".
inline constexpr ScheduleReason receive_control_order = ScheduleReason::ReceiveControlOrder;
/// The reason "empty SENDPICP interval".
inline constexpr ScheduleReason empty_sendpicp_interval = ScheduleReason::EmptySendpicpInterval;
/// The reason "incompatible simultaneous receive controls".
inline constexpr ScheduleReason incompatible_simultaneous_receive_controls =
    ScheduleReason::IncompatibleSimultaneousReceiveControls;
/// The reason "SENDPICP operand".
inline constexpr ScheduleReason sendpicp_operand = ScheduleReason::SendpicpOperand;
/// The reason "SENDPICP PIC control".
inline constexpr ScheduleReason sendpicp_pic_control = ScheduleReason::SendpicpPicControl;
/// The reason "SENDPICP XPIC control".
inline constexpr ScheduleReason sendpicp_xpic_control = ScheduleReason::SendpicpXpicControl;
/// The reason "SENDPICP event time".
inline constexpr ScheduleReason sendpicp_event_time = ScheduleReason::SendpicpEventTime;
/// The reason "zero event advance".
inline constexpr ScheduleReason zero_event_advance = ScheduleReason::ZeroEventAdvance;
/// The reason "first scheduled event is not a delay".
inline constexpr ScheduleReason first_scheduled_event_is_not_a_delay = ScheduleReason::FirstScheduledEventIsNotADelay;
/// The reason "scheduled offset truncates a send".
inline constexpr ScheduleReason scheduled_offset_truncates_a_send = ScheduleReason::ScheduledOffsetTruncatesASend;
/// The reason "XPIC delay advance overflow".
inline constexpr ScheduleReason xpic_delay_advance_overflow = ScheduleReason::XpicDelayAdvanceOverflow;
/// The reason "PIC delay advance overflow".
inline constexpr ScheduleReason pic_delay_advance_overflow = ScheduleReason::PicDelayAdvanceOverflow;
/// The reason "delay advance overflow".
inline constexpr ScheduleReason delay_advance_overflow = ScheduleReason::DelayAdvanceOverflow;
/// The reason "send instruction operand".
inline constexpr ScheduleReason send_instruction_operand = ScheduleReason::SendInstructionOperand;
/// The reason "send control".
inline constexpr ScheduleReason send_control = ScheduleReason::SendControl;
/// The reason "sender payload".
inline constexpr ScheduleReason sender_payload = ScheduleReason::SenderPayload;
/// The reason "sender delay".
inline constexpr ScheduleReason sender_delay = ScheduleReason::SenderDelay;
/// The reason "multicast start cycle".
inline constexpr ScheduleReason multicast_start_cycle = ScheduleReason::MulticastStartCycle;
/// The reason "multicast receive cycle".
inline constexpr ScheduleReason multicast_receive_cycle = ScheduleReason::MulticastReceiveCycle;
/// The reason "paired source timing".
inline constexpr ScheduleReason paired_source_timing = ScheduleReason::PairedSourceTiming;
/// The reason "paired receive coincident controls".
inline constexpr ScheduleReason paired_receive_coincident_controls = ScheduleReason::PairedReceiveCoincidentControls;
/// The reason "paired receive horizon overflow".
inline constexpr ScheduleReason paired_receive_horizon_overflow = ScheduleReason::PairedReceiveHorizonOverflow;
/// The reason "paired receive row capacity".
inline constexpr ScheduleReason paired_receive_row_capacity = ScheduleReason::PairedReceiveRowCapacity;

/// Every reason, in the order of `ScheduleReason`.
inline constexpr const auto& all = detail::every_schedule_reason.reasons;
}  // namespace reason

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
