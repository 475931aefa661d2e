// The display texts of ExchangeError, written once for any text sink with
// append(std::string_view): ErrorText collects them in its buffer, the digest
// hashes the pieces as they come without collecting them first.
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
    static Digits decimal(std::uint32_t value) noexcept {
        Digits digits;
        do {
            digits.push(static_cast<char>('0' + value % 10u));
            value /= 10u;
        } while (value != 0);
        return digits;
    }
    static Digits hex(std::uint32_t value) noexcept {
        constexpr std::string_view hex_digits = "0123456789abcdef";
        Digits digits;
        do {
            digits.push(hex_digits[value & 0xfu]);
            value >>= 4;
        } while (value != 0);
        return digits;
    }
    [[nodiscard]] std::string_view view() const noexcept { return {chars_.data() + (chars_.size() - count_), count_}; }

private:
    // Filled from the end, so that the digits come out in reading order.
    void push(char digit) noexcept { chars_[chars_.size() - ++count_] = digit; }

    std::array<char, 10> chars_{};
    std::size_t count_ = 0;
};

template <class Append>
void write_display_text(const ExchangeError& error, Append&& append) {
    switch (error.kind()) {
        case ErrorKind::ValidationBudgetExceeded:
            append("exchange incremental-encoding work budget exhausted");
            break;
        case ErrorKind::Tile:
            append("logical tile ");
            append(Digits::decimal(error.tile_number()).view());
            append(" is out of range");
            break;
        case ErrorKind::DuplicateTile:
            append("exchange endpoints must be distinct");
            break;
        case ErrorKind::Count:
            append("exchange count ");
            append(Digits::decimal(error.count_value()).view());
            append(" is outside 1..=");
            append(Digits::decimal(maximum_count).view());
            break;
        case ErrorKind::ReceiverSet:
            append("invalid multicast receiver set");
            break;
        case ErrorKind::Schedule:
            append("exchange schedule is not encodable: ");
            append(error.reason());
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
        case ErrorKind::HostPacket:
            append("host exchange address or length is not encodable");
            break;
    }
}

}  // namespace vorl_exchange::detail
