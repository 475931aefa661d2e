#include "vorl_exchange/digest.hpp"

#include <bit>
#include <cstring>

#include "display_text.hpp"

namespace vorl_exchange {

namespace {

constexpr std::uint8_t text_terminator = 0xff;
constexpr std::uint64_t finalization_marker = 0xff;


// The row feed below packs the nine words as four 64-bit blocks and one half block.
static_assert(row_length == 9);

std::uint64_t load_u32(const std::byte* bytes) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    } else {
        std::uint64_t value = 0;
        for (std::size_t index = 0; index < 4; ++index) {
            value |= std::uint64_t{std::to_integer<std::uint8_t>(bytes[index])} << (8u * index);
        }
        return value;
    }
}

std::uint64_t load_block(const std::byte* bytes) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    } else {
        return load_u32(bytes) | (load_u32(bytes + 4) << 32);
    }
}

// Little-endian load of 0..7 bytes without a byte loop: two overlapping loads
// for 4..7 bytes, three single bytes (some of them the same one) for 1..3.
// Overlapping bytes land on the same bit positions from both loads.
std::uint64_t load_partial(const std::byte* bytes, std::size_t count) noexcept {
    if (count >= 4) {
        return load_u32(bytes) | (load_u32(bytes + count - 4) << (8u * (count - 4)));
    }
    if (count == 0) {
        return 0;
    }
    const auto byte_at = [bytes](std::size_t index) {
        return std::uint64_t{std::to_integer<std::uint8_t>(bytes[index])} << (8u * index);
    };
    return byte_at(0) | byte_at(count / 2) | byte_at(count - 1);
}

// One word of a row, loaded on its own. A planner has usually written the row a
// moment ago, word by word; a load of two words at once could not take its
// value from those pending stores and would wait for them to reach the cache.
std::uint32_t word_of(const Row& row, std::size_t index) noexcept {
    std::uint32_t word = row[index];
#if defined(__GNUC__)
    asm("" : "+r"(word));  // keeps the compiler from merging neighbouring loads
#endif
    return word;
}

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    void round() noexcept {
        v0 += v1;
        v1 = std::rotl(v1, 13);
        v1 ^= v0;
        v0 = std::rotl(v0, 32);
        v2 += v3;
        v3 = std::rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = std::rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = std::rotl(v1, 17);
        v1 ^= v2;
        v2 = std::rotl(v2, 32);
    }

    void compress(std::uint64_t block) noexcept {
        v3 ^= block;
        round();
        v0 ^= block;
    }
};

}  // namespace

// The hash state held in locals for the length of one feed, so that a whole plan
// is absorbed without the state going through memory between blocks. Input
// arrives as little-endian 64- and 32-bit values; the pending bytes of an
// incomplete block are kept as `tail_bits` bits of `tail`.
struct DefaultHasher::Absorber {
    explicit Absorber(const DefaultHasher& hasher) noexcept
        : state{hasher.v0_, hasher.v1_, hasher.v2_, hasher.v3_},
          tail{hasher.tail_},
          tail_bits{8u * static_cast<unsigned>(hasher.tail_length_)},
          total{hasher.total_length_} {}

    void store(DefaultHasher& hasher) const noexcept {
        hasher.v0_ = state.v0;
        hasher.v1_ = state.v1;
        hasher.v2_ = state.v2;
        hasher.v3_ = state.v3;
        hasher.tail_ = tail;
        hasher.tail_length_ = tail_bits / 8u;
        hasher.total_length_ = total;
    }

    // Eight bytes: they complete the pending block, and as many of them as were
    // pending stay behind. The shift is split in two so that an empty tail
    // (a shift by 64) needs no branch.
    // Kept inline in every feed: out of line, the hash state would go through
    // memory between the steps.
    [[gnu::always_inline]] inline void block(std::uint64_t bytes) noexcept {
        state.compress(tail | (bytes << tail_bits));
        tail = (bytes >> 1) >> (63u - tail_bits);
        total += 8;
    }

    // Four bytes.
    [[gnu::always_inline]] inline void half(std::uint64_t bytes) noexcept {
        if (tail_bits < 32) {
            tail |= bytes << tail_bits;
            tail_bits += 32;
        } else {
            state.compress(tail | (bytes << tail_bits));
            tail = bytes >> (64u - tail_bits);
            tail_bits -= 32;
        }
        total += 4;
    }

    // The length prefix 9, then the words in pairs, then the ninth word.
    [[gnu::always_inline]] inline void row(const Row& row) noexcept {
        const auto pair = [&row](std::size_t index) {
            return std::uint64_t{word_of(row, index)} | (std::uint64_t{word_of(row, index + 1)} << 32);
        };
        block(row_length);
        block(pair(0));
        block(pair(2));
        block(pair(4));
        block(pair(6));
        half(row[8]);
    }

    [[gnu::always_inline]] inline void bytes(std::span<const std::byte> input) noexcept {
        const std::byte* cursor = input.data();
        std::size_t left = input.size();
        if (tail_bits == 0) {
            // Whole blocks straight from memory: the bulk path.
            for (; left >= 8; left -= 8, cursor += 8) {
                state.compress(load_block(cursor));
            }
            total += input.size() - left;
        } else {
            for (; left >= 8; left -= 8, cursor += 8) {
                block(load_block(cursor));
            }
        }
        if (left == 0) {
            return;
        }
        const std::uint64_t rest = load_partial(cursor, left);
        const unsigned merged_bits = tail_bits + 8u * static_cast<unsigned>(left);
        if (merged_bits < 64) {
            tail |= rest << tail_bits;
            tail_bits = merged_bits;
        } else {
            // A tail of 1..7 bytes took in 8 - tail bytes; the rest stay pending.
            state.compress(tail | (rest << tail_bits));
            tail = rest >> (64u - tail_bits);
            tail_bits = merged_bits - 64;
        }
        total += left;
    }

    SipState state;
    std::uint64_t tail;
    unsigned tail_bits;  // 0, 8, ..., 56
    std::uint64_t total;
};

void DefaultHasher::write(std::span<const std::byte> bytes) noexcept {
    Absorber absorber{*this};
    absorber.bytes(bytes);
    absorber.store(*this);
}

void DefaultHasher::write_length_prefix(std::uint64_t n) noexcept {
    Absorber absorber{*this};
    absorber.block(n);
    absorber.store(*this);
}

void DefaultHasher::write_str(std::string_view text) noexcept {
    const std::byte terminator[1] = {std::byte{text_terminator}};
    Absorber absorber{*this};
    absorber.bytes(std::as_bytes(std::span{text.data(), text.size()}));
    absorber.bytes(terminator);
    absorber.store(*this);
}

std::uint64_t DefaultHasher::finish() const noexcept {
    SipState state{v0_, v1_, v2_, v3_};
    const std::uint64_t last_block = ((total_length_ & 0xffu) << 56) | tail_;
    state.v3 ^= last_block;
    state.round();
    state.v0 ^= last_block;
    state.v2 ^= finalization_marker;
    state.round();
    state.round();
    state.round();
    return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

void feed_row(DefaultHasher& hasher, const Row& row) noexcept {
    DefaultHasher::Absorber absorber{hasher};
    absorber.row(row);
    absorber.store(hasher);
}

void feed_rows(DefaultHasher& hasher, std::span<const Row> rows) noexcept {
    DefaultHasher::Absorber absorber{hasher};
    absorber.block(rows.size());
    for (const Row& row : rows) {
        absorber.row(row);
    }
    absorber.store(hasher);
}

void feed_text(DefaultHasher& hasher, std::string_view text) noexcept { hasher.write_str(text); }

void feed(DefaultHasher& hasher, const Plan& plan) noexcept {
    DefaultHasher::Absorber absorber{hasher};
    absorber.row(plan.sender);
    absorber.row(plan.receiver);
    absorber.store(hasher);
}

void feed(DefaultHasher& hasher, const MulticastPlan& plan) noexcept {
    DefaultHasher::Absorber absorber{hasher};
    absorber.row(plan.sender);
    absorber.block(plan.receivers.size());
    for (const Row& row : plan.receivers) {
        absorber.row(row);
    }
    absorber.store(hasher);
}

void feed(DefaultHasher& hasher, const ExchangeError& error) noexcept {
    // The display text goes in piece by piece, as ErrorText would hold it.
    DefaultHasher::Absorber absorber{hasher};
    detail::write_display_text(error, [&absorber](std::string_view piece) {
        absorber.bytes(std::as_bytes(std::span{piece.data(), piece.size()}));
    });
    const std::byte terminator[1] = {std::byte{text_terminator}};
    absorber.bytes(terminator);
    absorber.store(hasher);
}

}  // namespace vorl_exchange
