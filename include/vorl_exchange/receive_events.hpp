/// @file
/// Receive events: control changes that must take effect at exact cycles on a
/// receiving tile's PIC or XPIC control stream.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstddef>
#include <cstdint>
#include <span>

#include "vorl_exchange/errors.hpp"

namespace vorl_exchange {

/// The control a receive event changes. Values 0..3 act on the XPIC stream
/// (the mux), 4..6 on the PIC stream (where and how received words are stored).
enum class ReceiveEventKind : std::uint8_t {
    OrdinarySource = 0,  ///< XPIC control: the mux listens to the source, for an ordinary receive.
    OrdinaryNeutral = 1,  ///< XPIC control: the mux returns to neutral after an ordinary receive.
    PairedSource = 2,  ///< XPIC control: the mux listens to the source, for a paired receive.
    PairedNeutral = 3,  ///< XPIC control: the mux returns to neutral after a paired receive.
    PairedPointer = 4,  ///< PIC control: where the words of a paired receive are stored.
    Pointer = 5,  ///< PIC control: where received words are stored.
    Format = 6,  ///< PIC control: the format received words are stored in.
};

/// Whether events of `kind` go to the XPIC stream.
[[nodiscard]] constexpr bool is_xpic(ReceiveEventKind kind) noexcept { return kind <= ReceiveEventKind::PairedNeutral; }
/// Whether events of `kind` go to the PIC stream.
[[nodiscard]] constexpr bool is_pic(ReceiveEventKind kind) noexcept { return !is_xpic(kind); }

/// One receive-control change that must take effect at an exact cycle.
struct ReceiveEvent {
    std::uint32_t cycles = 0;       ///< When the control takes effect, from the row's time origin.
    std::uint32_t instruction = 0;  ///< PIC or XPIC delay word carrying the control; advance set when placed.
    ReceiveEventKind kind = ReceiveEventKind::OrdinarySource;  ///< Which control it is.
    /// Same cycle, word and kind.
    friend constexpr bool operator==(const ReceiveEvent&, const ReceiveEvent&) noexcept = default;
};

/// Only a Pointer control with an ordinary XPIC control on the same cycle can be
/// issued by one instruction.
[[nodiscard]] constexpr bool receive_events_can_share_instruction(ReceiveEvent left, ReceiveEvent right) noexcept {
    if (left.cycles != right.cycles) {
        return false;
    }
    const auto ordinary_pair = [](ReceiveEventKind pic, ReceiveEventKind xpic) {
        return pic == ReceiveEventKind::Pointer &&
               (xpic == ReceiveEventKind::OrdinarySource || xpic == ReceiveEventKind::OrdinaryNeutral);
    };
    return ordinary_pair(left.kind, right.kind) || ordinary_pair(right.kind, left.kind);
}

/// Size of the group starting at `start`: the run of neighbours sharing its cycle.
[[nodiscard]] constexpr std::size_t receive_event_group_size(std::span<const ReceiveEvent> events,
                                                             std::size_t start) noexcept {
    std::size_t end = start + 1;
    while (end < events.size() && events[end].cycles == events[start].cycles) {
        ++end;
    }
    return end - start;
}

/// Every group holds one event, or two that can share an instruction.
[[nodiscard]] constexpr Result<void> validate_receive_events(std::span<const ReceiveEvent> events) noexcept {
    for (std::size_t cursor = 0; cursor < events.size();) {
        const std::size_t size = receive_event_group_size(events, cursor);
        if (size > 2 || (size == 2 && !receive_events_can_share_instruction(events[cursor], events[cursor + 1]))) {
            return std::unexpected(ExchangeError::schedule(reason::incompatible_simultaneous_receive_controls));
        }
        cursor += size;
    }
    return {};
}

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
