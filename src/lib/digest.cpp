#include "vorl_exchange/digest.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "display_text.hpp"

namespace vorl_exchange {

namespace {

constexpr std::uint8_t text_terminator = 0xff;
constexpr std::uint64_t finalization_marker = 0xff;

std::uint64_t load_block(const std::byte* bytes) noexcept {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native != std::endian::little) {
        value = std::byteswap(value);
    }
    return value;
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

    void compress_all(const std::byte* bytes, std::size_t blocks) noexcept {
        // Unrolled: the loop's own counting is three of the twenty
        // instructions a block costs rolled up. Sixteen blocks a round; beyond
        // that the compiler lays out the feeding functions worse and they gain
        // what the hash loses.
#pragma GCC unroll 16
        for (std::size_t index = 0; index < blocks; ++index) {
            compress(load_block(bytes + 8 * index));
        }
    }
};

}  // namespace

inline void DefaultHasher::Stager::bytes(std::span<const std::byte> input) noexcept {
    while (input.size() > piece_limit) {
        // With nothing staged, a whole stage's worth of input is hashed
        // where it lies: a bulk write is not copied first.
        if (staged == 0 && input.size() >= stage_capacity) {
            hasher.absorb(input.data());
            input = input.subspan(stage_capacity);
            continue;
        }
        std::memcpy(hasher.stage_ + staged, input.data(), piece_limit);
        staged += piece_limit;
        input = input.subspan(piece_limit);
        absorb_when_full();
    }
    copy_short(hasher.stage_ + staged, input.data(), input.size());
    staged += input.size();
    absorb_when_full();
}

// Copies `size` bytes, at most `piece_limit`, with fixed-size moves that
// the compiler keeps inline (two of them, overlapping where they must): a
// copy of a run-time length would be a library call costing more than
// the copy itself for writes of a few dozen bytes.
inline void DefaultHasher::Stager::copy_short(std::byte* to, const std::byte* from, std::size_t size) noexcept {
    if (size >= 32) {
        std::memcpy(to, from, 32);
        std::memcpy(to + size - 32, from + size - 32, 32);
    } else if (size >= 16) {
        std::memcpy(to, from, 16);
        std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + size - 4, from + size - 4, 4);
    } else if (size > 0) {
        to[0] = from[0];
        to[size / 2] = from[size / 2];
        to[size - 1] = from[size - 1];
    }
}

void DefaultHasher::absorb(const std::byte* bytes) noexcept {
    SipState state{v0_, v1_, v2_, v3_};
    state.compress_all(bytes, stage_capacity / 8);
    v0_ = state.v0;
    v1_ = state.v1;
    v2_ = state.v2;
    v3_ = state.v3;
    absorbed_length_ += stage_capacity;
}

void DefaultHasher::write(std::span<const std::byte> bytes) noexcept {
    Stager stager{*this};
    stager.bytes(bytes);
}

void DefaultHasher::write_length_prefix(std::uint64_t n) noexcept {
    Stager stager{*this};
    stager.u64(n);
    stager.absorb_when_full();
}

void DefaultHasher::write_str(std::string_view text) noexcept {
    const std::byte terminator[1] = {std::byte{text_terminator}};
    Stager stager{*this};
    stager.bytes(std::as_bytes(std::span{text.data(), text.size()}));
    stager.bytes(terminator);
}

std::uint64_t DefaultHasher::finish() const noexcept {
    SipState state{v0_, v1_, v2_, v3_};
    const std::size_t whole_blocks = staged_length_ / 8;
    state.compress_all(stage_, whole_blocks);
    std::byte last_bytes[8]{};
    std::memcpy(last_bytes, stage_ + 8 * whole_blocks, staged_length_ % 8);
    const std::uint64_t total_length = absorbed_length_ + staged_length_;
    const std::uint64_t last_block = ((total_length & 0xffu) << 56) | load_block(last_bytes);
    state.compress(last_block);
    state.v2 ^= finalization_marker;
    state.round();
    state.round();
    state.round();
    return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

void feed_row(DefaultHasher& hasher, const Row& row) noexcept {
    DefaultHasher::Stager stager{hasher};
    stager.row(row);
}

void feed_rows(DefaultHasher& hasher, std::span<const Row> rows) noexcept {
    DefaultHasher::Stager stager{hasher};
    stager.rows(rows);
}

void feed_text(DefaultHasher& hasher, std::string_view text) noexcept { hasher.write_str(text); }

void feed(DefaultHasher& hasher, const ExchangeError& error) noexcept {
    // The display text goes in piece by piece, as ErrorText would hold it.
    DefaultHasher::Stager stager{hasher};
    detail::write_display_text(error, [&stager](std::string_view piece) {
        stager.bytes(std::as_bytes(std::span{piece.data(), piece.size()}));
    });
    const std::byte terminator[1] = {std::byte{text_terminator}};
    stager.bytes(terminator);
}

}  // namespace vorl_exchange
