// RowList: where the rows live changes at the third row; contents, copies, moves
// and comparisons must not notice. A moved-from list is empty and usable.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include <gtest/gtest.h>

#include "vorl_exchange/plan.hpp"

namespace {

using vorl_exchange::Row;
using vorl_exchange::RowList;

// Row `n`: every word distinct, so a misplaced or stale row shows.
Row row(std::size_t n) {
    Row out{};
    for (std::size_t word = 0; word < out.size(); ++word) {
        out[word] = static_cast<std::uint32_t>(n * 100 + word);
    }
    return out;
}

// Rows 0 .. count-1, appended one by one (in place for odd rows).
RowList first_rows(std::size_t count) {
    RowList list;
    for (std::size_t n = 0; n < count; ++n) {
        if (n % 2 == 0) {
            list.push_back(row(n));
        } else {
            Row& fresh = list.emplace_back();
            EXPECT_EQ(fresh, Row{}) << "emplace_back hands out zeros";
            fresh = row(n);
        }
    }
    return list;
}

bool holds_first_rows(const RowList& list, std::size_t count) {
    bool same = list.size() == count;
    for (std::size_t n = 0; same && n < count; ++n) {
        same = list[n] == row(n);
    }
    return same;
}

// Empty, inline, full inline, just moved to the heap, grown once on the heap.
constexpr std::size_t lengths[] = {0, 1, 2, 3, 5};

TEST(RowList, CopiesAndMovesKeepTheRowsWhereverTheyLive) {
    for (const std::size_t length : lengths) {
        SCOPED_TRACE(length);
        const RowList source = first_rows(length);
        ASSERT_TRUE(holds_first_rows(source, length));
        RowList copy(source);
        RowList moved(std::move(copy));
        EXPECT_TRUE(holds_first_rows(moved, length) && holds_first_rows(source, length));
        EXPECT_TRUE(copy.empty());
        copy.push_back(row(7));
        EXPECT_EQ(copy, RowList{row(7)});

        for (const std::size_t target : lengths) {
            RowList assigned = first_rows(target);
            assigned = source;
            RowList taken = first_rows(target);
            RowList giver(source);
            taken = std::move(giver);
            EXPECT_TRUE(holds_first_rows(assigned, length) && holds_first_rows(taken, length) && giver.empty())
                << "onto a list of " << target;
        }

        RowList self(source);
        const RowList& alias = self;
        self = alias;
        RowList& same = self;
        self = std::move(same);
        EXPECT_TRUE(holds_first_rows(self, length)) << "self-assignment";
    }
}

TEST(RowList, AppendingAnOwnRowWhileGrowing) {
    RowList list{row(0), row(1)};
    list.push_back(list[0]);  // out of the inline rows
    list.push_back(list[1]);  // fills the first block
    list.push_back(list[0]);  // out of that block, which is freed
    EXPECT_EQ(list, (RowList{row(0), row(1), row(0), row(1), row(0)}));
}

TEST(RowList, EqualityPopAndReuse) {
    RowList list = first_rows(3);
    list.pop_back();
    EXPECT_EQ(list, (RowList{row(0), row(1)})) << "a heap list equals an inline one";
    EXPECT_NE(list, RowList{row(0)});
    EXPECT_NE(list, (RowList{row(0), row(2)}));
    list.pop_back();
    EXPECT_EQ(list.emplace_back(), Row{}) << "a reused slot is zeroed again";
    list.back() = row(5);
    EXPECT_EQ(list, (RowList{row(0), row(5)}));
    list.clear();
    EXPECT_EQ(list, RowList{});
}

TEST(RowList, ReserveAndSpanView) {
    RowList list{row(0)};
    list.reserve(1);
    EXPECT_EQ(list.capacity(), RowList::inline_capacity);
    list.reserve(20);
    ASSERT_EQ(list.capacity(), 20u);
    const Row* block = list.data();
    for (std::size_t n = 1; n < 20; ++n) {
        list.push_back(row(n));
    }
    EXPECT_EQ(list.data(), block) << "reserved room needs no new block";
    EXPECT_TRUE(holds_first_rows(list, 20));

    const std::span<const Row> view = list;
    EXPECT_EQ(view.data(), list.data());
    EXPECT_EQ(view.size(), 20u);
    EXPECT_EQ(RowList(view.rbegin(), view.rend()).front(), row(19));
    const vorl_exchange::MulticastPlan plan{row(9), {row(1), row(2)}};
    EXPECT_EQ(plan, (vorl_exchange::MulticastPlan{row(9), RowList(view.subspan(1, 2))}));
}

}  // namespace
