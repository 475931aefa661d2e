/// @file
/// The plan digest: streaming SipHash-1-3 with an all-zero key, and the byte
/// layout in which rows, row lists and texts are fed to it.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"

namespace vorl_exchange {

/// Streaming SipHash-1-3 with an all-zero key: the digest `sablemark` prints.
/// Writes of any size in any split hash alike; nothing is allocated.
class VORL_EXCHANGE_EXPORT DefaultHasher {
public:
    /// A hasher that has hashed nothing yet.
    DefaultHasher() noexcept = default;

    void write(std::span<const std::byte> bytes) noexcept;  ///< Hashes `bytes`.
    /// Hashes the text's bytes (no terminator).
    void write(std::string_view bytes) noexcept { write(std::as_bytes(std::span{bytes.data(), bytes.size()})); }
    /// `n` as 8 little-endian bytes.
    void write_length_prefix(std::uint64_t n) noexcept;
    /// The text's bytes, then one 0xFF byte.
    void write_str(std::string_view text) noexcept;
    /// The digest of everything written so far; the state is left as it was.
    [[nodiscard]] std::uint64_t finish() const noexcept;

private:
    /// Everything written goes into one staging buffer first and is hashed in
    /// whole blocks when the buffer fills, with the hash state in locals for the
    /// length of the buffer. Writes of any length and alignment take the same
    /// path: bytes are copied to the end of what is staged, so no write ever
    /// merges a partial block with the next one (only a bulk write that meets an
    /// empty buffer is hashed in place, a buffer's length at a time). The buffer
    /// has room past its capacity for one piece of up to `piece_limit` bytes, or
    /// for a whole plan of up to `plan_limit` bytes, so that a piece or a plan
    /// is stored before the fill is checked. A kilobyte: each fill costs a call
    /// and the state's loads and stores.
    static constexpr std::size_t stage_capacity = 1024;
    static constexpr std::size_t piece_limit = 64;
    /// Plans of up to this many receivers are staged whole.
    static constexpr std::size_t whole_plan_receivers = 2;
    /// A sender row, a list length and the receiver rows of such a plan (a
    /// point-to-point plan's two rows take less).
    static constexpr std::size_t plan_limit = (1 + whole_plan_receivers) * (8 + 4 * row_length) + 8;
    static constexpr std::size_t stage_slack = plan_limit > piece_limit ? plan_limit : piece_limit;

    struct Stager;
    friend void feed_row(DefaultHasher& hasher, const Row& row) noexcept;
    friend void feed_rows(DefaultHasher& hasher, std::span<const Row> rows) noexcept;
    friend void feed(DefaultHasher& hasher, const Plan& plan) noexcept;
    friend void feed(DefaultHasher& hasher, const MulticastPlan& plan) noexcept;
    friend void feed(DefaultHasher& hasher, const ExchangeError& error) noexcept;

    /// Hashes `stage_capacity` bytes from `bytes`.
    void absorb(const std::byte* bytes) noexcept;

    std::uint64_t v0_ = 0x736f6d6570736575ULL;
    std::uint64_t v1_ = 0x646f72616e646f6dULL;
    std::uint64_t v2_ = 0x6c7967656e657261ULL;
    std::uint64_t v3_ = 0x7465646279746573ULL;
    std::uint64_t absorbed_length_ = 0;  ///< bytes hashed so far; the staged ones follow them
    std::size_t staged_length_ = 0;      ///< below stage_capacity between writes
    alignas(8) std::byte stage_[stage_capacity + stage_slack]{};
};

/// One row: the length prefix 9, then the nine words little-endian (44 bytes).
VORL_EXCHANGE_EXPORT void feed_row(DefaultHasher& hasher, const Row& row) noexcept;
/// A list of rows: its length, then each row as above.
VORL_EXCHANGE_EXPORT void feed_rows(DefaultHasher& hasher, std::span<const Row> rows) noexcept;
/// A text: its bytes and the terminator 0xFF.
VORL_EXCHANGE_EXPORT void feed_text(DefaultHasher& hasher, std::string_view text) noexcept;

/// A planner's result as the digest driver feeds it (inline, below).
void feed(DefaultHasher& hasher, const Plan& plan) noexcept;
/// A multicast plan: its sender row, then its receiver rows as a list (inline, below).
void feed(DefaultHasher& hasher, const MulticastPlan& plan) noexcept;
/// An error: its display text, as `feed_text`.
VORL_EXCHANGE_EXPORT void feed(DefaultHasher& hasher, const ExchangeError& error) noexcept;

// Inline below: the staging that feeding a plan goes through. A driver feeds
// every plan it makes; out of line, each plan would also pay for a call and for
// the staged length's trip through memory.

namespace detail {

template <class Word>
void store_little_endian(std::byte* place, Word value) noexcept {
    if constexpr (std::endian::native != std::endian::little) {
        value = std::byteswap(value);
    }
    std::memcpy(place, &value, sizeof value);
}

}  // namespace detail

// Appends to the stage: each piece is stored at the end of what is staged (the
// slack past the capacity takes any piece, or a whole plan of up to two
// receivers), and the stage is hashed once it has reached its capacity. Pieces
// are words, rows and byte runs of at most `piece_limit`. The staged length is
// kept in a local for the stager's life: stores into the stage may alias any
// byte, so the member would be reloaded after every piece.
struct DefaultHasher::Stager {
    explicit Stager(DefaultHasher& into) noexcept : hasher{into}, staged{into.staged_length_} {}
    Stager(const Stager&) = delete;
    Stager& operator=(const Stager&) = delete;
    ~Stager() { hasher.staged_length_ = staged; }

    DefaultHasher& hasher;
    std::size_t staged;

    void u64(std::uint64_t value) noexcept {
        detail::store_little_endian(hasher.stage_ + staged, value);
        staged += 8;
    }

    // The length prefix 9, then the nine words little-endian; the fill is
    // checked by the caller (`row` below, or once for a whole plan).
    void unchecked_row(const Row& row) noexcept {
        std::byte* place = hasher.stage_ + staged;
        detail::store_little_endian(place, std::uint64_t{row_length});
        if constexpr (std::endian::native == std::endian::little) {
            // In two moves, 32 bytes and the last word: a single 36-byte move
            // is sometimes laid out as a string instruction, which is slow at
            // this size.
            std::memcpy(place + 8, row.data(), 32);
            std::memcpy(place + 40, row.data() + 8, 4);
        } else {
            for (std::size_t index = 0; index < row_length; ++index) {
                detail::store_little_endian(place + 8 + 4 * index, row[index]);
            }
        }
        staged += 8 + 4 * row_length;
    }

    void row(const Row& row) noexcept {
        unchecked_row(row);
        absorb_when_full();
    }

    // The count, then each row.
    void rows(std::span<const Row> list) noexcept {
        u64(list.size());
        for (const Row& each : list) {
            row(each);
        }
        absorb_when_full();
    }

    // A plan: its sender row, then its receiver rows as a list. Up to two
    // receivers, the plan fits the slack and the fill is checked once.
    void plan(const Row& sender, std::span<const Row> receivers) noexcept {
        static_assert(whole_plan_receivers == 2);
        if (receivers.size() > whole_plan_receivers) {
            row(sender);
            rows(receivers);
            return;
        }
        unchecked_row(sender);
        u64(receivers.size());
        if (!receivers.empty()) {
            unchecked_row(receivers[0]);
            if (receivers.size() == 2) {
                unchecked_row(receivers[1]);
            }
        }
        absorb_plan_when_full();
    }

    // A run of bytes of any length, and a copy of at most `piece_limit` bytes
    // (out of line: text and bulk writes).
    void bytes(std::span<const std::byte> input) noexcept;
    static void copy_short(std::byte* to, const std::byte* from, std::size_t size) noexcept;

    // Once the stage is full, hashes its first `stage_capacity` bytes and
    // moves the rest to the front: `Overflow` bytes, the most that the last
    // piece or plan can have put past the capacity, whatever it did put.
    template <std::size_t Overflow>
    void absorb_when_full_moving() noexcept {
        if (staged >= stage_capacity) {
            hasher.absorb(hasher.stage_);
            std::memcpy(hasher.stage_, hasher.stage_ + stage_capacity, Overflow);
            staged -= stage_capacity;
        }
    }
    // After a piece.
    void absorb_when_full() noexcept { absorb_when_full_moving<piece_limit>(); }
    // After a whole plan staged unchecked.
    void absorb_plan_when_full() noexcept { absorb_when_full_moving<stage_slack>(); }
};

// A row, a count and the terminator byte each fit a piece.
static_assert(8 + 4 * row_length <= 64);

inline void feed(DefaultHasher& hasher, const Plan& plan) noexcept {
    DefaultHasher::Stager stager{hasher};
    stager.unchecked_row(plan.sender);
    stager.unchecked_row(plan.receiver);
    stager.absorb_plan_when_full();
}

inline void feed(DefaultHasher& hasher, const MulticastPlan& plan) noexcept {
    DefaultHasher::Stager stager{hasher};
    stager.plan(plan.sender, plan.receivers);
}

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
