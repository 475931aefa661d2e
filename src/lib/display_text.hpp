// The display texts of ExchangeError, written once for any text sink with
// append(std::string_view): ErrorText collects them in its buffer, the digest
// hashes the pieces as they come without collecting them first. Every text fits
// ErrorText (see `longest_display_text`), so neither sink has to cut one.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vorl_exchange/errors.hpp"

namespace vorl_exchange::detail {

// The digits of a number, most significant first, in a small owned buffer.
class Digits {
public:
    static constexpr Digits decimal(std::uint32_t value) noexcept {
        Digits digits;
        do {
            digits.push(static_cast<char>('0' + value % 10u));
            value /= 10u;
        } while (value != 0);
        return digits;
    }
    static constexpr Digits hex(std::uint32_t value) noexcept {
        constexpr std::string_view hex_digits = "0123456789abcdef";
        Digits digits;
        do {
            digits.push(hex_digits[value & 0xfu]);
            value >>= 4;
        } while (value != 0);
        return digits;
    }
    [[nodiscard]] constexpr std::string_view view() const noexcept {
        return {chars_.data() + (chars_.size() - count_), count_};
    }

private:
    // Filled from the end, so that the digits come out in reading order.
    constexpr void push(char digit) noexcept { chars_[chars_.size() - ++count_] = digit; }

    std::array<char, 10> chars_{};
    std::size_t count_ = 0;
};

template <class Append>
constexpr void write_display_text(const ExchangeError& error, Append&& append) {
    switch (error.kind()) {
        case ErrorKind::ValidationBudgetExceeded: append("exchange incremental-encoding work budget exhausted"); break;
        case ErrorKind::Tile:
            append("logical tile ");
            append(Digits::decimal(error.tile_number()).view());
            append(" is out of range");
            break;
        case ErrorKind::DuplicateTile: append("exchange endpoints must be distinct"); break;
        case ErrorKind::Count:
            append("exchange count ");
            append(Digits::decimal(error.count_value()).view());
            append(" is outside 1..=");
            append(Digits::decimal(maximum_count).view());
            break;
        case ErrorKind::ReceiverSet: append("invalid multicast receiver set"); break;
        case ErrorKind::Schedule:
            append("exchange schedule is not encodable: ");
            append(reason_text(error.reason()));
            break;
        case ErrorKind::PlanOffsetRange:
            append("exchange event offset ");
            append(Digits::decimal(error.cycles()).view());
            append(" cycles from the phase-entry sync exceeds the encodable maximum of ");
            append(Digits::decimal(error.maximum()).view());
            append(" cycles");
            break;
        case ErrorKind::Address:
            append("tile address 0x");
            append(Digits::hex(error.address_value()).view());
            append(" is not encodable");
            break;
        case ErrorKind::HostPacket: append("host exchange address or length is not encodable"); break;
    }
}

// The length of the longest display text: the widest payloads, every reason.
[[nodiscard]] constexpr std::size_t longest_display_text() noexcept {
    const auto length = [](const ExchangeError& error) {
        std::size_t total = 0;
        write_display_text(error, [&total](std::string_view piece) { total += piece.size(); });
        return total;
    };
    constexpr std::uint32_t widest = 0xffffffffu;  // the most decimal and hex digits
    std::size_t longest = std::max({
        length(ExchangeError::validation_budget_exceeded()),
        length(ExchangeError::tile(0xffffu)),
        length(ExchangeError::duplicate_tile()),
        length(ExchangeError::count(widest)),
        length(ExchangeError::receiver_set()),
        length(ExchangeError::plan_offset_range(widest, widest)),
        length(ExchangeError::address(widest)),
        length(ExchangeError::host_packet()),
    });
    for (const ScheduleReason reason : reason::all) {
        longest = std::max(longest, length(ExchangeError::schedule(reason)));
    }
    return longest;
}

static_assert(longest_display_text() <= ErrorText::capacity, "every display text fits ErrorText uncut");

}  // namespace vorl_exchange::detail
