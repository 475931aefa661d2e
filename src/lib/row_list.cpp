// The out-of-line paths of RowList: everything that touches the heap.
#include "vorl_exchange/row_list.hpp"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace vorl_exchange {

namespace {

Row* allocate(std::size_t capacity) {
    if (capacity > RowList::max_size()) {
        throw std::length_error("RowList cannot hold that many rows");
    }
    return std::allocator<Row>{}.allocate(capacity);
}

}  // namespace

void RowList::deallocate(Row* block, std::size_t capacity) noexcept {
    std::allocator<Row>{}.deallocate(block, capacity);
}

void RowList::grow() {
    // Doubling keeps the rows copied while appending n of them below 2n.
    if (capacity_ == max_size()) {
        throw std::length_error("RowList cannot hold that many rows");
    }
    reallocate(std::min(std::size_t{capacity_} * 2, max_size()));
}

void RowList::reallocate(std::size_t capacity) {
    Row* block = allocate(capacity);
    std::copy_n(data_, size_, block);
    release();
    data_ = block;
    capacity_ = static_cast<std::uint32_t>(capacity);
}

void RowList::assign_rows(const Row* rows, std::size_t count) {
    if (count > capacity_) {
        Row* block = allocate(count);
        std::copy_n(rows, count, block);
        release();
        data_ = block;
        capacity_ = static_cast<std::uint32_t>(count);
    } else {
        std::copy_n(rows, count, data_);
    }
    size_ = static_cast<std::uint32_t>(count);
}

}  // namespace vorl_exchange
