/// @file
/// The word sink the delay and receive-event encoders append to.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vorl_exchange {

/// A growable list of instruction words. The first `inline_capacity` words live in
/// the object itself, so building a row costs no heap allocation; longer lists
/// move to the heap.
class VORL_EXCHANGE_EXPORT RowWords {
public:
    static constexpr std::size_t inline_capacity = 16;  ///< Held in the object itself before the heap is used.

    /// An empty list, holding its first `inline_capacity` words in the object.
    RowWords() = default;

    /// Words so far.
    [[nodiscard]] std::size_t len() const noexcept { return length_; }
    /// Whether the list is empty.
    [[nodiscard]] bool empty() const noexcept { return length_ == 0; }

    /// Appends `word`.
    void push(std::uint32_t word) {
        if (length_ < inline_capacity) {
            inline_words_[length_] = word;
        } else {
            push_spilled(word);
        }
        ++length_;
    }

    /// Appends two words, in order (a SENDPICP instruction and its payload).
    void push_pair(std::uint32_t first, std::uint32_t second) {
        push(first);
        push(second);
    }

    /// The word at `index`.
    [[nodiscard]] std::uint32_t operator[](std::size_t index) const noexcept {
        return index < inline_capacity ? inline_words_[index] : spilled_[index - inline_capacity];
    }

    /// Copies the words into `out`, in order; returns how many were copied.
    // NOLINTNEXTLINE(modernize-use-nodiscard): a caller that sized `out` need not read the count.
    std::size_t copy_to(std::span<std::uint32_t> out) const noexcept;

    [[nodiscard]] std::vector<std::uint32_t> to_vector() const;  ///< The words as a vector.

private:
    void push_spilled(std::uint32_t word);

    std::array<std::uint32_t, inline_capacity> inline_words_{};
    std::vector<std::uint32_t> spilled_;
    std::size_t length_ = 0;
};

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
