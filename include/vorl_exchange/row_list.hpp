/// @file
/// The receiver-row list of a multicast plan.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <span>

namespace vorl_exchange {

namespace detail {
struct RowListWriter;
}  // namespace detail

inline constexpr std::size_t row_length = 9;  ///< Words in every row.

/// One tile's instruction row: an opening word, timed words, the closing word,
/// then zeros up to the ninth word.
using Row = std::array<std::uint32_t, row_length>;

/// A growable list of rows that holds its first two rows in the object itself.
/// Nearly every multicast names one or two receivers, so planning one then costs
/// no heap allocation at all; a longer list moves to one heap block that grows
/// geometrically. Iterators are plain pointers: the list is a contiguous range
/// and converts to `std::span<const Row>`.
///
/// A moved-from list is always empty (and usable); a heap block is handed over,
/// inline rows are copied.
class VORL_EXCHANGE_EXPORT RowList {
public:
    using value_type = Row;  ///< Standard container type.
    using size_type = std::size_t;  ///< Standard container type.
    using difference_type = std::ptrdiff_t;  ///< Standard container type.
    using reference = Row&;  ///< Standard container type.
    using const_reference = const Row&;  ///< Standard container type.
    using pointer = Row*;  ///< Standard container type.
    using const_pointer = const Row*;  ///< Standard container type.
    using iterator = Row*;  ///< A plain pointer: the rows are contiguous.
    using const_iterator = const Row*;  ///< A plain pointer: the rows are contiguous.
    using reverse_iterator = std::reverse_iterator<iterator>;  ///< Standard container type.
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;  ///< Standard container type.

    static constexpr std::size_t inline_capacity = 2;  ///< Held in the object itself before the heap is used.

    /// An empty list. User-provided so that it never zeroes its inline rows.
    // NOLINTNEXTLINE(modernize-use-equals-default): `= default` would zero them in `RowList{}`.
    RowList() noexcept {}
    /// A list of `rows`.
    RowList(std::initializer_list<Row> rows) { assign_rows(rows.begin(), rows.size()); }
    /// A list of `rows`.
    explicit RowList(std::span<const Row> rows) { assign_rows(rows.data(), rows.size()); }
    /// A list of the rows in [first, last).
    template <std::input_iterator Iterator, std::sentinel_for<Iterator> Sentinel>
        requires std::convertible_to<std::iter_reference_t<Iterator>, Row>
    RowList(Iterator first, Sentinel last) : RowList() {  // delegating: a throw mid-way frees the block
        if constexpr (std::sized_sentinel_for<Sentinel, Iterator>) {
            reserve(static_cast<std::size_t>(last - first));
        }
        for (; first != last; ++first) {
            push_back(*first);
        }
    }

    /// A copy.
    RowList(const RowList& other) { assign_rows(other.data_, other.size_); }
    /// Takes the rows; `other` is left empty.
    RowList(RowList&& other) noexcept { take(other); }
    /// Copies the rows.
    RowList& operator=(const RowList& other) {
        if (this != &other) {
            assign_rows(other.data_, other.size_);
        }
        return *this;
    }
    /// Takes the rows; `other` is left empty.
    RowList& operator=(RowList&& other) noexcept {
        if (this != &other) {
            if (other.on_heap()) {
                release();
                data_ = inline_rows_;
                capacity_ = inline_capacity;
            }
            take(other);
        }
        return *this;
    }
    /// Frees the rows held on the heap, if any.
    ~RowList() { release(); }

    /// Rows in the list.
    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    /// Whether the list is empty.
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
    /// Rows the list holds before it grows.
    [[nodiscard]] std::size_t capacity() const noexcept { return capacity_; }
    /// The most rows a list can hold.
    [[nodiscard]] static constexpr std::size_t max_size() noexcept { return std::numeric_limits<std::uint32_t>::max(); }

    /// The first row.
    [[nodiscard]] Row* data() noexcept { return data_; }
    /// The first row.
    [[nodiscard]] const Row* data() const noexcept { return data_; }
    /// The first row.
    [[nodiscard]] iterator begin() noexcept { return data_; }
    /// The first row.
    [[nodiscard]] const_iterator begin() const noexcept { return data_; }
    /// The first row.
    [[nodiscard]] const_iterator cbegin() const noexcept { return data_; }
    /// Past the last row.
    [[nodiscard]] iterator end() noexcept { return data_ + size_; }
    /// Past the last row.
    [[nodiscard]] const_iterator end() const noexcept { return data_ + size_; }
    /// Past the last row.
    [[nodiscard]] const_iterator cend() const noexcept { return data_ + size_; }
    /// The last row, for reverse iteration.
    [[nodiscard]] reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
    /// The last row, for reverse iteration.
    [[nodiscard]] const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
    /// Before the first row, for reverse iteration.
    [[nodiscard]] reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
    /// Before the first row, for reverse iteration.
    [[nodiscard]] const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }

    /// Unchecked, like std::vector's.
    [[nodiscard]] Row& operator[](std::size_t index) noexcept { return data_[index]; }
    /// The row at `index`, which must be below `size()`.
    [[nodiscard]] const Row& operator[](std::size_t index) const noexcept { return data_[index]; }
    /// The first row; the list must not be empty.
    [[nodiscard]] Row& front() noexcept { return data_[0]; }
    /// The first row; the list must not be empty.
    [[nodiscard]] const Row& front() const noexcept { return data_[0]; }
    /// The last row; the list must not be empty.
    [[nodiscard]] Row& back() noexcept { return data_[size_ - 1]; }
    /// The last row; the list must not be empty.
    [[nodiscard]] const Row& back() const noexcept { return data_[size_ - 1]; }

    /// Room for `capacity` rows without growing again.
    void reserve(std::size_t capacity) {
        if (capacity > capacity_) {
            reallocate(capacity);
        }
    }
    /// Drops every row; keeps the storage.
    void clear() noexcept { size_ = 0; }

    /// Appends a row of zeros and returns it, for the caller to fill in place.
    Row& emplace_back() {
        if (size_ == capacity_) [[unlikely]] {
            grow();
        }
        Row& row = data_[size_++];
        row = Row{};
        return row;
    }
    /// Appends `row`.
    void push_back(const Row& row) {
        if (size_ == capacity_) [[unlikely]] {
            // `row` may be one of this list's own rows, which growing moves.
            const Row copy = row;
            grow();
            data_[size_++] = copy;
            return;
        }
        data_[size_++] = row;
    }
    /// Drops the last row; the list must not be empty.
    void pop_back() noexcept { --size_; }

    /// The same rows in the same order.
    friend bool operator==(const RowList& left, const RowList& right) noexcept {
        return std::equal(left.begin(), left.end(), right.begin(), right.end());
    }

private:
    friend struct detail::RowListWriter;

    /// Appends `count` rows left as they were, for the library's row writers,
    /// which set all nine words of each: zeroing them first would store every
    /// word twice. The length is stored once for them all; stored after each
    /// row, it would be reloaded around the next, since a row word's store may
    /// alias it.
    std::span<Row> append_for_overwrite(std::size_t count) {
        reserve(size() + count);
        const std::span<Row> appended{data_ + size_, count};
        size_ += static_cast<std::uint32_t>(count);
        return appended;
    }

    /// A heap block always holds more rows than the inline ones: a list moves
    /// to the heap only to grow. Tested by the capacity, a load and a compare,
    /// since every destruction asks.
    [[nodiscard]] bool on_heap() const noexcept { return capacity_ > inline_capacity; }

    /// Takes `other`'s rows and leaves it empty: its heap block if it has one
    /// (this list must then hold none), else a copy of its inline rows, which fit
    /// in whatever this list holds.
    void take(RowList& other) noexcept {
        if (other.on_heap()) {
            data_ = other.data_;
            capacity_ = other.capacity_;
            other.data_ = other.inline_rows_;
            other.capacity_ = inline_capacity;
        } else {
            std::copy_n(other.inline_rows_, other.size_, data_);
        }
        size_ = other.size_;
        other.size_ = 0;
    }

    /// The growth paths stay out of line so that appending stays small where it
    /// is inlined.
    [[gnu::noinline]] void grow();
    [[gnu::noinline]] void reallocate(std::size_t capacity);
    void assign_rows(const Row* rows, std::size_t count);
    void release() noexcept {
        if (on_heap()) {
            deallocate(data_, capacity_);
        }
    }
    static void deallocate(Row* block, std::size_t capacity) noexcept;

    Row* data_ = inline_rows_;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = inline_capacity;
    Row inline_rows_[inline_capacity];
};

/// The inline rows, a pointer and two counts: 88 bytes on a 64-bit target.
static_assert(sizeof(RowList) <= sizeof(Row) * RowList::inline_capacity + sizeof(Row*) + 2 * sizeof(std::uint32_t));

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
