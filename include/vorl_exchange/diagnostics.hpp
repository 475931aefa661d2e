/// @file
/// Structured diagnostic events: level, target, message and named fields, handed to
/// a sink the caller installs. With no sink installed an event costs one relaxed
/// atomic load and is dropped.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace vorl_exchange {

/// The level of a diagnostic event.
enum class Level : std::uint8_t {
    Trace,  ///< The finest detail.
    Debug,  ///< What a developer follows a call by: the planners' events are at this level.
    Info,   ///< Normal operation worth noting.
    Warn,   ///< Something unexpected that did not stop the call.
    Error,  ///< A failure.
};

/// The level's name, for example "DEBUG".
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string_view to_string(Level level) noexcept;

/// A field value: a number, or a list of tiles.
using FieldValue = std::variant<std::uint64_t, std::span<const std::uint16_t>>;

/// One named argument of a diagnostic event.
struct Field {
    std::string_view name;  ///< The field's name.
    FieldValue value;  ///< Its value.
};

/// Valid only for the duration of the sink call; copy what you keep.
struct Event {
    Level level;  ///< The event's level.
    std::string_view target;  ///< Where it comes from: "vorl_exchange".
    std::string_view message;  ///< A fixed message.
    std::span<const Field> fields;  ///< The planner's arguments.
};

/// Renders a field value: numbers in decimal, lists as "[2, 1]".
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string render(const FieldValue& value);
/// One line: "DEBUG vorl_exchange: assembled ... sender_logical=0 receiver_logical=2 count=1".
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string render(const Event& event);

/// What `set_event_sink` installs: called once per event, from the planning thread.
using EventSink = std::function<void(const Event&)>;

/// Installs `sink` for all threads (an empty function removes it). Safe while
/// planners run on other threads: an event in flight finishes with the sink it
/// started with, and a planner call looks for a sink when it begins.
VORL_EXCHANGE_EXPORT void set_event_sink(EventSink sink);

namespace detail {
extern VORL_EXCHANGE_EXPORT std::atomic<bool> event_sink_installed;
VORL_EXCHANGE_EXPORT void dispatch_event(const Event& event);
}  // namespace detail

/// Whether a sink is installed (one relaxed atomic load).
[[nodiscard]] inline bool event_sink_installed() noexcept {
    return detail::event_sink_installed.load(std::memory_order_relaxed);
}

/// The events of this library go to target "vorl_exchange".
inline constexpr std::string_view event_target = "vorl_exchange";

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
