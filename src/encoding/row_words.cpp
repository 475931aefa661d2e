#include "vorl_exchange/row_words.hpp"

#include <algorithm>

namespace vorl_exchange {

void RowWords::push_spilled(std::uint32_t word) { spilled_.push_back(word); }

std::size_t RowWords::copy_to(std::span<std::uint32_t> out) const noexcept {
    const std::size_t count = std::min(out.size(), length_);
    for (std::size_t index = 0; index < count; ++index) {
        out[index] = (*this)[index];
    }
    return count;
}

std::vector<std::uint32_t> RowWords::to_vector() const {
    std::vector<std::uint32_t> words(length_);
    copy_to(words);
    return words;
}

}  // namespace vorl_exchange
