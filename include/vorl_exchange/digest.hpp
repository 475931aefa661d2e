// The plan digest: streaming SipHash-1-3 with an all-zero key, and the byte
// layout in which rows, row lists and texts are fed to it.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"

namespace vorl_exchange {

class VORL_EXCHANGE_EXPORT DefaultHasher {
public:
    DefaultHasher() noexcept = default;

    void write(std::span<const std::byte> bytes) noexcept;
    void write(std::string_view bytes) noexcept { write(std::as_bytes(std::span{bytes.data(), bytes.size()})); }
    // `n` as 8 little-endian bytes.
    void write_length_prefix(std::uint64_t n) noexcept;
    // The text's bytes, then one 0xFF byte.
    void write_str(std::string_view text) noexcept;
    // The digest of everything written so far; the state is left as it was.
    [[nodiscard]] std::uint64_t finish() const noexcept;

private:
    // Absorbs bytes in registers and stores the state back once; defined where
    // the feed functions live, which hand it whole rows as 64-bit blocks.
    struct Absorber;
    friend void feed_row(DefaultHasher&, const Row&) noexcept;
    friend void feed_rows(DefaultHasher&, std::span<const Row>) noexcept;
    friend void feed(DefaultHasher&, const Plan&) noexcept;
    friend void feed(DefaultHasher&, const MulticastPlan&) noexcept;
    friend void feed(DefaultHasher&, const ExchangeError&) noexcept;

    std::uint64_t v0_ = 0x736f6d6570736575ULL;
    std::uint64_t v1_ = 0x646f72616e646f6dULL;
    std::uint64_t v2_ = 0x6c7967656e657261ULL;
    std::uint64_t v3_ = 0x7465646279746573ULL;
    std::uint64_t tail_ = 0;      // pending bytes of an incomplete block, little-endian
    std::size_t tail_length_ = 0;  // 0..7
    std::uint64_t total_length_ = 0;
};

// One row: the length prefix 9, then the nine words little-endian (44 bytes).
VORL_EXCHANGE_EXPORT void feed_row(DefaultHasher& hasher, const Row& row) noexcept;
// A list of rows: its length, then each row as above.
VORL_EXCHANGE_EXPORT void feed_rows(DefaultHasher& hasher, std::span<const Row> rows) noexcept;
// A text: its bytes and the terminator 0xFF.
VORL_EXCHANGE_EXPORT void feed_text(DefaultHasher& hasher, std::string_view text) noexcept;

// A planner's result as the digest driver feeds it.
VORL_EXCHANGE_EXPORT void feed(DefaultHasher& hasher, const Plan& plan) noexcept;
VORL_EXCHANGE_EXPORT void feed(DefaultHasher& hasher, const MulticastPlan& plan) noexcept;
VORL_EXCHANGE_EXPORT void feed(DefaultHasher& hasher, const ExchangeError& error) noexcept;

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
