#include "fuzz_support.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "vorl_exchange/instruction_words.hpp"

namespace vorl_fuzz {

using namespace vorl_exchange;

void fail(std::string_view property) {
    std::fprintf(stderr, "fuzz property failed: %.*s\n", static_cast<int>(property.size()), property.data());
    std::fflush(stderr);
    std::abort();
}

std::uint8_t ByteReader::u8() noexcept {
    if (bytes_.empty()) {
        return 0;
    }
    const std::uint8_t value = bytes_.front();
    bytes_ = bytes_.subspan(1);
    return value;
}

std::uint16_t ByteReader::u16() noexcept {
    const auto low = u8();
    return static_cast<std::uint16_t>(low | u8() << 8);
}

std::uint32_t ByteReader::u32() noexcept {
    const std::uint32_t low = u16();
    return low | std::uint32_t{u16()} << 16;
}

std::uint32_t ByteReader::below_or_at(std::uint32_t limit) noexcept {
    std::uint64_t value = 0;
    for (std::uint64_t span = limit; span != 0; span >>= 8) {
        value = value << 8 | u8();
    }
    return static_cast<std::uint32_t>(value % (std::uint64_t{limit} + 1));
}

std::span<const std::uint8_t> ByteReader::rest() noexcept { return std::exchange(bytes_, {}); }

bool row_has_shape(std::span<const std::uint32_t> row) noexcept {
    if (row.empty() || row[0] != opening_word) {
        return false;
    }
    const auto closing = std::find(row.begin() + 1, row.end(), closing_word);
    return closing != row.end() &&
           std::all_of(closing + 1, row.end(), [](std::uint32_t word) { return word == fill_word; });
}

bool point_to_point_receiver_row_has_shape(const Row& row) noexcept {
    return row[0] == 1 && row_has_shape(std::span{row}.subspan(1));
}

void require_known_error(const ExchangeError& error) {
    constexpr std::string_view debug_names[] = {
        "ValidationBudgetExceeded",   "Tile(",    "DuplicateTile", "Count(", "ReceiverSet", "Schedule(\"",
        "PlanOffsetRange { cycles: ", "Address(", "HostPacket"};
    const auto kind = static_cast<std::size_t>(error.kind());
    require(kind < std::size(debug_names) && error.debug().starts_with(debug_names[kind]),
            "an error's structured form names its variant");
    const ErrorText shown = error.display();
    const std::string_view text = shown.view();
    const auto number = [](std::uint32_t value) { return std::to_string(value); };
    std::string expected;
    switch (error.kind()) {
        case ErrorKind::ValidationBudgetExceeded:
            expected = "exchange incremental-encoding work budget exhausted";
            break;
        case ErrorKind::Tile: expected = "logical tile " + number(error.tile_number()) + " is out of range"; break;
        case ErrorKind::DuplicateTile: expected = "exchange endpoints must be distinct"; break;
        case ErrorKind::Count:
            expected = "exchange count " + number(error.count_value()) + " is outside 1..=" + number(maximum_count);
            break;
        case ErrorKind::ReceiverSet: expected = "invalid multicast receiver set"; break;
        case ErrorKind::Schedule: {
            constexpr std::string_view prefix = "exchange schedule is not encodable: ";
            require(text.starts_with(prefix) &&
                        std::ranges::any_of(
                            reason::all,
                            [&](ScheduleReason listed) { return reason_text(listed) == text.substr(prefix.size()); }),
                    "a schedule error carries one of the fixed reasons");
            return;
        }
        case ErrorKind::PlanOffsetRange:
            expected = "exchange event offset " + number(error.cycles()) +
                       " cycles from the phase-entry sync exceeds the encodable maximum of " + number(error.maximum()) +
                       " cycles";
            break;
        case ErrorKind::Address: {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%x", error.address_value());
            expected = std::string{"tile address 0x"} + hex + " is not encodable";
            break;
        }
        case ErrorKind::HostPacket: expected = "host exchange address or length is not encodable"; break;
        default: fail("an error is one of the nine variants");
    }
    require(text == expected, "an error shows its fixed text");
}

}  // namespace vorl_fuzz
