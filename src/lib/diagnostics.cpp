#include "vorl_exchange/diagnostics.hpp"

#include <mutex>
#include <utility>

namespace vorl_exchange {

namespace detail {
std::atomic<bool> event_sink_installed{false};
}  // namespace detail

namespace {

// The installed sink is shared so that a dispatch already under way keeps the
// sink it started with alive while another thread replaces it.
std::mutex sink_mutex;
std::shared_ptr<const EventSink> installed_sink;

}  // namespace

std::string_view to_string(Level level) noexcept {
    switch (level) {
        case Level::Trace: return "TRACE";
        case Level::Debug: return "DEBUG";
        case Level::Info: return "INFO";
        case Level::Warn: return "WARN";
        case Level::Error: return "ERROR";
    }
    return "UNKNOWN";
}

std::string render(const FieldValue& value) {
    if (const auto* number = std::get_if<std::uint64_t>(&value)) {
        return std::to_string(*number);
    }
    std::string out = "[";
    const auto tiles = std::get<std::span<const std::uint16_t>>(value);
    for (std::size_t index = 0; index < tiles.size(); ++index) {
        if (index != 0) {
            out += ", ";
        }
        out += std::to_string(tiles[index]);
    }
    out += "]";
    return out;
}

std::string render(const Event& event) {
    std::string line{to_string(event.level)};
    line += ' ';
    line += event.target;
    line += ": ";
    line += event.message;
    for (const Field& field : event.fields) {
        line += ' ';
        line += field.name;
        line += '=';
        line += render(field.value);
    }
    return line;
}

void set_event_sink(EventSink sink) {
    std::shared_ptr<const EventSink> replacement;
    if (sink) {
        replacement = std::make_shared<const EventSink>(std::move(sink));
    }
    std::shared_ptr<const EventSink> previous;
    {
        const std::lock_guard lock{sink_mutex};
        previous = std::exchange(installed_sink, std::move(replacement));
        detail::event_sink_installed.store(installed_sink != nullptr, std::memory_order_relaxed);
    }
    // `previous` is released outside the lock, after any dispatch that copied it.
}

namespace detail {

void dispatch_event(const Event& event) {
    std::shared_ptr<const EventSink> sink;
    {
        const std::lock_guard lock{sink_mutex};
        sink = installed_sink;
    }
    if (sink) {
        (*sink)(event);
    }
}

}  // namespace detail

}  // namespace vorl_exchange
