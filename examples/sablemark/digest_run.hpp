// One complete digest run over the case table: what sablemark prints, shared
// with the tests and the benchmark that measure it.
//
// The digest is one SipHash chain, so hashing is serial; planning is not. On a
// machine with two or more cores the run is pipelined: the table is cut into
// blocks of consecutive counts, both threads plan blocks into byte records,
// and the calling thread hashes the records strictly in block order, planning
// a block itself only when the next record is not ready. The hasher sees
// exactly the bytes of the one-thread run, in the same order.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <system_error>
#include <thread>

#include "case_table.hpp"
#include "vorl_exchange/digest.hpp"

namespace sablemark {

struct PointToPointFailure {
    Call call;
    vorl_exchange::ExchangeError error;
};

struct DigestRun {
    std::int32_t cases = 0;
    std::uint64_t digest = 0;
    std::optional<PointToPointFailure> failure;  // the run stops at a failed point-to-point plan
};

enum class Threading {
    Single,     // plan, feed and hash on the calling thread
    Pipelined,  // plan on two threads while the calling thread hashes
};

// Consecutive counts of one entry: the unit of work of a pipelined run.
struct CaseBlock {
    const CaseEntry* entry;
    std::uint32_t first_count;
    std::uint32_t last_count;
};

// Small enough that the records in flight stay in the cache, large enough that
// handing them over costs little next to planning them.
inline constexpr std::uint32_t counts_per_block = 64;
inline constexpr std::uint32_t blocks_per_entry = (last_count - first_count + counts_per_block) / counts_per_block;
inline constexpr std::uint32_t block_count = static_cast<std::uint32_t>(entries.size()) * blocks_per_entry;

[[nodiscard]] constexpr CaseBlock case_block(std::uint32_t index) noexcept {
    const std::uint32_t first = first_count + (index % blocks_per_entry) * counts_per_block;
    const std::uint32_t last = first + counts_per_block - 1 < last_count ? first + counts_per_block - 1 : last_count;
    return {&entries[index / blocks_per_entry], first, last};
}

// The cases of one block and how the block ended.
struct BlockOutcome {
    std::int32_t cases = 0;
    std::optional<PointToPointFailure> failure;
};

// Plans the cases of `entry` for the counts `first..=last`, feeding each plan,
// or the display text of each failed multicast and paired multicast, into
// `sink` (a hasher or a recorder), and adds them to `outcome`. False once a
// point-to-point plan has failed: the run ends there.
template <class Sink>
bool plan_counts(const vorl_exchange::Topology& topology, const CaseEntry& entry, std::uint32_t first,
                 std::uint32_t last, Sink& sink, BlockOutcome& outcome) {
    return walk_entry(
        topology, entry, first, last,
        [&](const Call& call, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
            if (!plan) {
                outcome.failure = PointToPointFailure{call, plan.error()};
                return false;
            }
            vorl_exchange::feed(sink, *plan);
            ++outcome.cases;
            return true;
        },
        [&](const Call&, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
            if (plan) {
                vorl_exchange::feed(sink, *plan);
            } else {
                vorl_exchange::feed(sink, plan.error());
            }
            ++outcome.cases;
            return true;
        });
}

template <class Sink>
BlockOutcome plan_block(const vorl_exchange::Topology& topology, const CaseBlock& block, Sink& sink) {
    BlockOutcome outcome;
    plan_counts(topology, *block.entry, block.first_count, block.last_count, sink, outcome);
    return outcome;
}

namespace detail {

// Adds a block's outcome to the run; false once the run has stopped.
inline bool account(DigestRun& run, BlockOutcome&& outcome) {
    if (outcome.cases > std::numeric_limits<std::int32_t>::max() - run.cases) {
        vorl_exchange::invariant_failure("case counter fits i32");
    }
    run.cases += outcome.cases;
    if (outcome.failure) {
        run.failure = std::move(outcome.failure);
        return false;
    }
    return true;
}

inline DigestRun run_single(const vorl_exchange::Topology& topology) {
    DigestRun run;
    vorl_exchange::DefaultHasher digest;
    for (std::uint32_t index = 0; index < block_count; ++index) {
        if (!account(run, plan_block(topology, case_block(index), digest))) {
            break;
        }
    }
    run.digest = digest.finish();
    return run;
}

// The calling thread hashes every record in block order and frees its slot;
// the planner thread plans blocks in order, skipping those already claimed.
// Whenever the next record is not ready, the calling thread plans a piece of
// a block of its own, claimed at the far end of the blocks in flight so that
// it is rarely needed before it is finished. How much it plans therefore
// follows how far the planner thread lags, on any machine and under any load.
class PipelinedRun {
public:
    explicit PipelinedRun(const vorl_exchange::Topology& topology) : topology_{topology} {
        for (Slot& slot : slots_) {
            slot.record.reserve(slot_reserve_bytes);
        }
    }

    // The planner thread is started here and joined before this returns.
    DigestRun run() {
        std::thread planner{[this] { plan_blocks_in_order(); }};
        const StopAndJoin stop_and_join{*this, planner};
        DigestRun run;
        vorl_exchange::DefaultHasher digest;
        std::uint32_t hashed = 0;
        OwnBlock own;
        while (hashed < block_count) {
            Slot& slot = slots_[hashed % slot_count];
            const std::uint32_t filled = slot.filled.load(std::memory_order_acquire);
            if (filled == hashed + 1) {
                digest.write(slot.record.bytes());
                const bool go_on = account(run, std::move(slot.outcome));
                ++hashed;
                if (!go_on) {
                    break;
                }
                hashed_.store(hashed, std::memory_order_release);
                hashed_.notify_all();
                continue;
            }
            if (own.planning) {
                // Once it is the next to hash, it is finished in one go.
                plan_piece(own, own.block == hashed ? counts_per_block : counts_per_piece);
                continue;
            }
            if (const auto block = claim_for_caller(hashed)) {
                own = start_block(*block);
                continue;
            }
            // Every block in flight is claimed, so the planner thread has block `hashed`.
            slot.filled.wait(filled, std::memory_order_acquire);
        }
        run.digest = digest.finish();
        return run;
    }

private:
    // Records in flight; this thread must free a slot before its block is planned.
    static constexpr std::uint32_t slot_count = 8;
    // Counts the calling thread plans between looks at the next record.
    static constexpr std::uint32_t counts_per_piece = 4;
    static constexpr std::uint32_t stopped = std::numeric_limits<std::uint32_t>::max();
    // Room for the largest block: per count two point-to-point plans and seven
    // multicast results, each at most one 161-byte error text or three rows.
    static constexpr std::size_t slot_reserve_bytes = counts_per_block * (2 * 88 + 7 * 161);

    struct Slot {
        vorl_exchange::FeedRecorder record;
        BlockOutcome outcome;
        std::atomic<std::uint32_t> filled{0};  // index + 1 of the block whose record is complete
    };

    // The block the calling thread is planning, and the first count it has not planned yet.
    struct OwnBlock {
        bool planning = false;
        std::uint32_t block = 0;
        std::uint32_t next_count = 0;
    };

    // Releases the planner thread from any wait and joins it, also when the
    // calling thread leaves early.
    struct StopAndJoin {
        PipelinedRun& run;
        std::thread& planner;
        StopAndJoin(PipelinedRun& owner, std::thread& thread) noexcept : run{owner}, planner{thread} {}
        StopAndJoin(const StopAndJoin&) = delete;
        StopAndJoin& operator=(const StopAndJoin&) = delete;
        ~StopAndJoin() {
            run.hashed_.store(stopped, std::memory_order_release);
            run.hashed_.notify_all();
            planner.join();
        }
    };

    bool claim(std::uint32_t block) { return !claimed_[block].exchange(true, std::memory_order_relaxed); }

    // The farthest unclaimed block whose slot is free, if any: blocks beyond
    // `hashed + slot_count` would need a slot only this thread can free.
    std::optional<std::uint32_t> claim_for_caller(std::uint32_t hashed) {
        const std::uint32_t end = std::min(hashed + slot_count, block_count);
        for (std::uint32_t block = end; block-- > hashed;) {
            if (!claimed_[block].load(std::memory_order_relaxed) && claim(block)) {
                return block;
            }
        }
        return std::nullopt;
    }

    OwnBlock start_block(std::uint32_t block) {
        Slot& slot = slots_[block % slot_count];
        slot.record.clear();
        slot.outcome = {};
        return {true, block, case_block(block).first_count};
    }

    void plan_piece(OwnBlock& own, std::uint32_t counts) {
        Slot& slot = slots_[own.block % slot_count];
        const CaseBlock block = case_block(own.block);
        const std::uint32_t last = std::min(own.next_count + counts - 1, block.last_count);
        const bool go_on = plan_counts(topology_, *block.entry, own.next_count, last, slot.record, slot.outcome);
        own.next_count = last + 1;
        if (!go_on || own.next_count > block.last_count) {
            own.planning = false;
            slot.filled.store(own.block + 1, std::memory_order_release);
        }
    }

    void plan_blocks_in_order() {
        for (std::uint32_t block = 0; block < block_count; ++block) {
            if (!claim(block)) {
                continue;
            }
            // Wait until the record that last used this block's slot is hashed.
            std::uint32_t hashed = hashed_.load(std::memory_order_acquire);
            while (hashed != stopped && block >= hashed + slot_count) {
                hashed_.wait(hashed, std::memory_order_acquire);
                hashed = hashed_.load(std::memory_order_acquire);
            }
            if (hashed == stopped) {
                return;
            }
            Slot& slot = slots_[block % slot_count];
            slot.record.clear();
            slot.outcome = plan_block(topology_, case_block(block), slot.record);
            slot.filled.store(block + 1, std::memory_order_release);
            slot.filled.notify_all();
        }
    }

    const vorl_exchange::Topology& topology_;
    Slot slots_[slot_count];
    std::array<std::atomic<bool>, block_count> claimed_{};
    std::atomic<std::uint32_t> hashed_{0};  // records hashed so far, or `stopped`
};

}  // namespace detail

// Pipelined where a second core exists to plan on.
[[nodiscard]] inline Threading default_threading() noexcept {
    return std::thread::hardware_concurrency() >= 2 ? Threading::Pipelined : Threading::Single;
}

// Plans every case in the driver's order and feeds each plan, or the display
// text of each failed multicast and paired multicast, into one digest. Both
// kinds of run give the same result; a pipelined run that cannot start its
// second thread runs on one.
inline DigestRun run_digest(const vorl_exchange::Topology& topology, Threading threading = default_threading()) {
    if (threading == Threading::Pipelined) {
        try {
            detail::PipelinedRun pipelined{topology};
            return pipelined.run();
        } catch (const std::system_error&) {
            // No thread to be had: plan on this one.
        }
    }
    return detail::run_single(topology);
}

}  // namespace sablemark
