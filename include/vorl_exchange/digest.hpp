// The plan digest: streaming SipHash-1-3 with an all-zero key, and the byte
// layout in which rows, row lists and texts are fed to it.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstddef>
#include <cstdint>
#include <memory>
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

// The digest's input recorded instead of hashed: the same bytes in the same
// order, so that planning and hashing can happen at different times or on
// different threads. Writing `bytes()` to a hasher leaves it exactly as
// feeding the same values to it would have.
class VORL_EXCHANGE_EXPORT FeedRecorder {
public:
    FeedRecorder() noexcept = default;
    FeedRecorder(const FeedRecorder& other);
    FeedRecorder& operator=(const FeedRecorder& other);
    FeedRecorder(FeedRecorder&& other) noexcept;
    FeedRecorder& operator=(FeedRecorder&& other) noexcept;
    ~FeedRecorder() = default;

    [[nodiscard]] std::span<const std::byte> bytes() const noexcept { return {data_.get(), size_}; }
    // Forgets the bytes and keeps the storage, so a reused recorder stops allocating.
    void clear() noexcept { size_ = 0; }
    void reserve(std::size_t bytes);

private:
    friend void feed_row(FeedRecorder&, const Row&);
    friend void feed_rows(FeedRecorder&, std::span<const Row>);
    friend void feed_text(FeedRecorder&, std::string_view);
    friend void feed(FeedRecorder&, const Plan&);
    friend void feed(FeedRecorder&, const MulticastPlan&);
    friend void feed(FeedRecorder&, const ExchangeError&);

    // Room for `bytes` more at the end; the size grows by that much.
    std::byte* extend(std::size_t bytes);
    void grow(std::size_t needed);

    std::unique_ptr<std::byte[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

VORL_EXCHANGE_EXPORT void feed_row(FeedRecorder& recorder, const Row& row);
VORL_EXCHANGE_EXPORT void feed_rows(FeedRecorder& recorder, std::span<const Row> rows);
VORL_EXCHANGE_EXPORT void feed_text(FeedRecorder& recorder, std::string_view text);
VORL_EXCHANGE_EXPORT void feed(FeedRecorder& recorder, const Plan& plan);
VORL_EXCHANGE_EXPORT void feed(FeedRecorder& recorder, const MulticastPlan& plan);
VORL_EXCHANGE_EXPORT void feed(FeedRecorder& recorder, const ExchangeError& error);

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
