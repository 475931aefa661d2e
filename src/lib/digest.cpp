#include "vorl_exchange/digest.hpp"

#include <bit>
#include <cstring>

namespace vorl_exchange {

namespace {

constexpr std::uint8_t text_terminator = 0xff;
constexpr std::uint64_t finalization_marker = 0xff;

// Little-endian load of up to eight bytes.
std::uint64_t load_le(const std::byte* bytes, std::size_t count) noexcept {
    std::uint64_t value = 0;
    for (std::size_t index = 0; index < count; ++index) {
        value |= std::uint64_t{std::to_integer<std::uint8_t>(bytes[index])} << (8u * index);
    }
    return value;
}

std::uint64_t load_block(const std::byte* bytes) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t value = 0;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    } else {
        return load_le(bytes, 8);
    }
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
};

// Little-endian bytes of the nine words, after the length prefix 9.
void row_bytes(const Row& row, std::byte* out) noexcept {
    for (std::size_t index = 0; index < row.size(); ++index) {
        const std::uint32_t word = row[index];
        for (std::size_t shift = 0; shift < 4; ++shift) {
            out[index * 4 + shift] = static_cast<std::byte>(word >> (8u * shift));
        }
    }
}

}  // namespace

void DefaultHasher::compress(std::uint64_t block) noexcept {
    SipState state{v0_, v1_, v2_, v3_};
    state.v3 ^= block;
    state.round();
    state.v0 ^= block;
    v0_ = state.v0;
    v1_ = state.v1;
    v2_ = state.v2;
    v3_ = state.v3;
}

void DefaultHasher::write(std::span<const std::byte> bytes) noexcept {
    total_length_ += bytes.size();
    std::size_t offset = 0;
    if (tail_length_ != 0) {
        const std::size_t needed = 8 - tail_length_;
        const std::size_t taken = bytes.size() < needed ? bytes.size() : needed;
        tail_ |= load_le(bytes.data(), taken) << (8u * tail_length_);
        tail_length_ += taken;
        offset = taken;
        if (tail_length_ < 8) {
            return;
        }
        compress(tail_);
        tail_ = 0;
        tail_length_ = 0;
    }
    for (; offset + 8 <= bytes.size(); offset += 8) {
        compress(load_block(bytes.data() + offset));
    }
    tail_length_ = bytes.size() - offset;
    tail_ = load_le(bytes.data() + offset, tail_length_);
}

void DefaultHasher::write_length_prefix(std::uint64_t n) noexcept {
    std::byte bytes[8];
    for (std::size_t index = 0; index < 8; ++index) {
        bytes[index] = static_cast<std::byte>(n >> (8u * index));
    }
    write(bytes);
}

void DefaultHasher::write_str(std::string_view text) noexcept {
    write(text);
    const std::byte terminator[1] = {std::byte{text_terminator}};
    write(terminator);
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
    // One 44-byte write: the prefix 9 as a 64-bit length, then the words.
    std::byte bytes[8 + row_length * 4]{};
    bytes[0] = std::byte{row_length};
    row_bytes(row, bytes + 8);
    hasher.write(bytes);
}

void feed_rows(DefaultHasher& hasher, std::span<const Row> rows) noexcept {
    hasher.write_length_prefix(rows.size());
    for (const Row& row : rows) {
        feed_row(hasher, row);
    }
}

void feed_text(DefaultHasher& hasher, std::string_view text) noexcept { hasher.write_str(text); }

void feed(DefaultHasher& hasher, const Plan& plan) noexcept {
    feed_row(hasher, plan.sender);
    feed_row(hasher, plan.receiver);
}

void feed(DefaultHasher& hasher, const MulticastPlan& plan) noexcept {
    feed_row(hasher, plan.sender);
    feed_rows(hasher, plan.receivers);
}

void feed(DefaultHasher& hasher, const ExchangeError& error) noexcept { feed_text(hasher, error.display().view()); }

}  // namespace vorl_exchange
