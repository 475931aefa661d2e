// What the fuzz targets share: reading typed values off the input bytes, and the
// properties every plan and every error must have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/row_list.hpp"

namespace vorl_fuzz {

// Stops the run: prints the broken property, then aborts, so that libFuzzer
// keeps the input and a corpus replay fails.
[[noreturn]] void fail(std::string_view property);

inline void require(bool holds, std::string_view property) {
    if (!holds) {
        fail(property);
    }
}

// Takes values off the front of the input; once it runs dry every value is 0,
// so any input decodes to something.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) noexcept : bytes_{bytes} {}

    [[nodiscard]] std::uint8_t u8() noexcept;
    [[nodiscard]] std::uint16_t u16() noexcept;
    [[nodiscard]] std::uint32_t u32() noexcept;
    [[nodiscard]] bool flag() noexcept { return (u8() & 1u) != 0; }
    // A value in 0..limit (inclusive), from as few bytes as `limit` needs.
    [[nodiscard]] std::uint32_t below_or_at(std::uint32_t limit) noexcept;
    // Everything not read yet.
    [[nodiscard]] std::span<const std::uint8_t> rest() noexcept;
    [[nodiscard]] bool empty() const noexcept { return bytes_.empty(); }

private:
    std::span<const std::uint8_t> bytes_;
};

// An opening word, timed words, the closing word, then zeros.
[[nodiscard]] bool row_has_shape(std::span<const std::uint32_t> row) noexcept;
// A point-to-point receiver row has the word 1 in front of that shape.
[[nodiscard]] bool point_to_point_receiver_row_has_shape(const vorl_exchange::Row& row) noexcept;

// One of the nine variants, with its fixed display text (a Schedule error's
// reason one of the fixed reasons).
void require_known_error(const vorl_exchange::ExchangeError& error);

}  // namespace vorl_fuzz
