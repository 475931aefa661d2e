// Heap use of the planners and the digest over the driver's whole case table:
// rows are fixed values and a receiver list keeps two rows inline, so no call of
// the table allocates; only a longer receiver list does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <span>

#include <gtest/gtest.h>

#include "case_table.hpp"
#include "vorl_exchange/digest.hpp"
#include "vorl_exchange/vorl_exchange.h"

namespace {

// Counts every allocation of this executable; tests read differences.
std::size_t allocations = 0;

void* allocate(std::size_t size) {
    ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc{};
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
    ++allocations;
    const auto align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    if (void* memory = std::aligned_alloc(align, rounded == 0 ? align : rounded)) {
        return memory;
    }
    throw std::bad_alloc{};
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) { return allocate_aligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return allocate_aligned(size, alignment); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }

namespace {

using vorl_exchange::MulticastPlan;
using vorl_exchange::Plan;
using vorl_exchange::Result;

// Walks the driver's table; each callback sees the allocations made since the
// previous one returned, which is the planner call it is handed.
TEST(Allocation, PlannersOverTheDriverCaseTable) {
    const auto topology = vorl_exchange::Topology::tarn();
    vorl_exchange::DefaultHasher digest;
    std::size_t mark = allocations;
    std::size_t worst_point_to_point = 0;
    std::size_t worst_multicast[3] = {};  // by receiver count 1, 2; paired at [2]
    std::size_t worst_feed = 0;
    std::size_t calls = 0;

    const auto feed_counted = [&](const auto& result) {
        const std::size_t before = allocations;
        if (result) {
            vorl_exchange::feed(digest, *result);
        } else {
            vorl_exchange::feed(digest, result.error());
        }
        worst_feed = std::max(worst_feed, allocations - before);
    };
    const bool complete = sablemark::walk_case_table(
        topology,
        [&](const sablemark::Call&, const Result<Plan>& plan) {
            worst_point_to_point = std::max(worst_point_to_point, allocations - mark);
            feed_counted(plan);
            ++calls;
            mark = allocations;
            return true;
        },
        [&](const sablemark::Call& call, const Result<MulticastPlan>& plan) {
            const std::size_t slot = call.kind == sablemark::CallKind::PairedMulticast ? 2 : call.receivers.size() - 1;
            worst_multicast[slot] = std::max(worst_multicast[slot], allocations - mark);
            feed_counted(plan);
            ++calls;
            mark = allocations;
            return true;
        });
    ASSERT_TRUE(complete);
    EXPECT_EQ(calls, static_cast<std::size_t>(sablemark::total_cases));
    EXPECT_EQ(worst_point_to_point, 0u);
    EXPECT_EQ(worst_multicast[0], 0u) << "multicast to one receiver";
    EXPECT_EQ(worst_multicast[1], 0u) << "multicast to two receivers";
    EXPECT_EQ(worst_multicast[2], 0u) << "paired multicast to one pair";
    EXPECT_EQ(worst_feed, 0u);
}

// The counter itself must see the library's allocations, or the test above
// proves nothing: a list longer than the inline rows takes exactly one block,
// sized up front, however long it is.
TEST(Allocation, CounterSeesTheReceiverList) {
    const auto topology = vorl_exchange::Topology::tarn();
    const std::uint16_t tiles[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11};  // five whole pairs
    const struct {
        bool paired;
        std::size_t receivers;
    } cases[] = {{false, 3}, {false, 10}, {true, 4}, {true, 10}};
    for (const auto& c : cases) {
        const std::span<const std::uint16_t> receivers(tiles, c.receivers);
        const std::size_t before = allocations;
        const auto plan =
            c.paired ? topology.paired_multicast(0, receivers, 1) : topology.multicast(0, receivers, 1, 0);
        EXPECT_EQ(allocations - before, 1u) << (c.paired ? "paired, " : "") << c.receivers << " receivers";
        ASSERT_TRUE(plan.has_value()) << plan.error();
        EXPECT_EQ(plan->receivers.size(), c.receivers);
    }
}

// The C bulk calls allocate nothing of their own: short receiver lists plan
// without the heap, however many requests one call holds.
TEST(Allocation, BulkCallsOfShortListsAllocateNothing) {
    vx_topology* tarn = nullptr;
    ASSERT_EQ(vx_topology_tarn(&tarn, nullptr), VX_OK);
    const std::uint16_t senders[] = {0, 274, 736, 9};
    const std::uint16_t receivers[] = {2, 736, 1286, 0, 1471, 3};  // 9 -> 3 is refused: not a pair
    const std::size_t offsets[] = {0, 1, 3, 5, 6};
    const std::uint32_t counts[] = {1, 100, 4148, 7};
    const std::uint32_t schedule_offsets[] = {0, 1, 51, 4095};
    vx_row rows[8];
    vx_row receiver_rows[6];
    std::int32_t statuses[4];
    vx_error errors[4];
    const std::size_t before = allocations;
    EXPECT_EQ(vx_point_to_point_many(tarn, 4, senders, receivers, counts, rows, statuses, errors, nullptr), VX_OK);
    EXPECT_EQ(vx_multicast_many(tarn, 4, senders, offsets, receivers, counts, schedule_offsets, rows, receiver_rows, 6,
                                statuses, errors, nullptr),
              VX_OK);
    EXPECT_EQ(vx_paired_multicast_many(tarn, 4, senders, offsets, receivers, counts, rows, receiver_rows, 6, statuses,
                                       errors, nullptr),
              VX_OK);
    EXPECT_EQ(allocations - before, 0u);
    vx_topology_free(tarn);
}

}  // namespace
