// A set of logical tile numbers for receiver-list checks. The planners' lists are
// mostly one or two tiles long, so small sets are a linear scan over inline
// storage; a long list moves to a 65536-bit map.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vorl_exchange::detail {

class TileSet {
public:
    // Adds `tile`; false when it was already present.
    bool insert(std::uint16_t tile) {
        if (bits_) {
            if (!insert_bit(tile)) {
                return false;
            }
            ++size_;
            return true;
        }
        if (std::find(small_.begin(), small_.begin() + static_cast<std::ptrdiff_t>(size_), tile) !=
            small_.begin() + static_cast<std::ptrdiff_t>(size_)) {
            return false;
        }
        if (size_ < small_.size()) {
            small_[size_++] = tile;
            return true;
        }
        bits_ = std::make_unique<std::uint64_t[]>(bitmap_words);
        for (const std::uint16_t held : small_) {
            insert_bit(held);
        }
        insert_bit(tile);
        ++size_;
        return true;
    }

    [[nodiscard]] bool contains(std::uint16_t tile) const noexcept {
        if (bits_) {
            return ((bits_[tile / 64u] >> (tile % 64u)) & 1u) != 0;
        }
        return std::find(small_.begin(), small_.begin() + static_cast<std::ptrdiff_t>(size_), tile) !=
               small_.begin() + static_cast<std::ptrdiff_t>(size_);
    }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }

private:
    static constexpr std::size_t bitmap_words = 65536 / 64;

    bool insert_bit(std::uint16_t tile) {
        std::uint64_t& word = bits_[tile / 64u];
        const std::uint64_t bit = std::uint64_t{1} << (tile % 64u);
        if ((word & bit) != 0) {
            return false;
        }
        word |= bit;
        return true;
    }

    std::array<std::uint16_t, 16> small_{};
    std::size_t size_ = 0;
    std::unique_ptr<std::uint64_t[]> bits_;
};

}  // namespace vorl_exchange::detail
