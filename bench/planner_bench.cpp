// Time per call of each planner on the driver's own arguments, and the heap
// allocations each call makes.
//
// Every benchmark cycles through all calls of its kind that one walk of the
// case table makes, in walk order, so the figures are averages over the real
// mix of counts, routes and failures rather than over one lucky argument set.
// The floor benchmarks run the same loop over the multicast calls with no
// planning at all, so that a multicast figure can be read as the loop and
// its result plus what planning adds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <expected>
#include <new>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "case_table.hpp"

namespace {

// A plain counter: the benchmarks run on one thread, and an atomic increment
// would itself cost more than the allocation it counts.
std::size_t allocations = 0;

}  // namespace

// Counting replacements of the global allocation functions: the benchmarks
// report allocations per call next to the time. The array and nothrow forms of
// the standard library forward to these two.
void* operator new(std::size_t size) {
    ++allocations;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc{};
}
// GCC pairs the inlined free() with the new-expression of the caller and warns;
// the block did come from malloc() above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace {

using sablemark::Call;
using sablemark::CallKind;
using vorl_exchange::Topology;

// The calls of one kind in walk order; `receivers` of 0 takes every multicast.
std::vector<Call> driver_calls(CallKind kind, std::size_t receivers = 0) {
    std::vector<Call> calls;
    const auto keep = [&](const Call& call) {
        if (call.kind == kind && (receivers == 0 || call.receivers.size() == receivers)) {
            calls.push_back(call);
        }
        return true;
    };
    const auto topology = Topology::tarn();
    sablemark::walk_case_table(
        topology, [&](const Call& call, const auto&) { return keep(call); },
        [&](const Call& call, const auto&) { return keep(call); });
    return calls;
}

template <class Plan>
void run_calls(benchmark::State& state, const std::vector<Call>& calls, Plan&& plan) {
    const auto topology = Topology::tarn();
    std::size_t next = 0;
    std::size_t failures = 0;
    const std::size_t allocations_before = allocations;
    for (auto _ : state) {
        const auto result = plan(topology, calls[next]);
        benchmark::DoNotOptimize(result);
        failures += result ? 0u : 1u;
        next = next + 1 == calls.size() ? 0 : next + 1;
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_call"] = static_cast<double>(allocations - allocations_before) / iterations;
    state.counters["failed_share"] = static_cast<double>(failures) / iterations;
    state.counters["distinct_calls"] = static_cast<double>(calls.size());
}

void BM_PointToPoint(benchmark::State& state) {
    const auto calls = driver_calls(CallKind::PointToPoint);
    run_calls(state, calls, [](const Topology& topology, const Call& call) {
        return topology.point_to_point(call.source, call.receivers.front(), call.count);
    });
}
BENCHMARK(BM_PointToPoint);

// Argument: the number of receivers (the table's lists hold one or two).
void BM_Multicast(benchmark::State& state) {
    const auto calls = driver_calls(CallKind::Multicast, static_cast<std::size_t>(state.range(0)));
    run_calls(state, calls, [](const Topology& topology, const Call& call) {
        return topology.multicast(call.source, call.receivers, call.count, call.offset);
    });
}
BENCHMARK(BM_Multicast)->ArgName("receivers")->Arg(1)->Arg(2);

void BM_PairedMulticast(benchmark::State& state) {
    const auto calls = driver_calls(CallKind::PairedMulticast);
    run_calls(state, calls, [](const Topology& topology, const Call& call) {
        return topology.paired_multicast(call.source, call.receivers, call.count);
    });
}
BENCHMARK(BM_PairedMulticast);

// The floor under the multicast figures: what this loop and handing back a
// result cost, with no planning. A plan of the same shape (a sender row of five
// words and a row of six per receiver, the lengths of the common planned rows),
// its words made from the count alone, for the same calls; and a refusal. The
// rows are appended through `RowList`'s public interface, which zeroes each
// first, so the plan's floor is an upper bound by a few stores.
template <std::size_t Receivers>
[[gnu::noinline]] vorl_exchange::Result<vorl_exchange::MulticastPlan> count_only_plan(const Call& call) {
    vorl_exchange::Result<vorl_exchange::MulticastPlan> result{std::in_place, vorl_exchange::Row{}};
    const std::uint32_t count = call.count;
    for (std::uint32_t word = 0; word < 5; ++word) {
        result->sender[word] = count + word;
    }
    for (std::size_t receiver = 0; receiver < Receivers; ++receiver) {
        vorl_exchange::Row& row = result->receivers.emplace_back();
        for (std::uint32_t word = 0; word < 6; ++word) {
            row[word] = count + 5 + word;
        }
    }
    return result;
}

[[gnu::noinline]] vorl_exchange::Result<vorl_exchange::MulticastPlan> count_only_refusal(const Call& call) {
    return std::unexpected(vorl_exchange::ExchangeError::tile(call.source));
}

// One benchmark for each list length that BM_Multicast takes as its argument.
template <std::size_t Receivers>
void BM_MulticastFloorPlan(benchmark::State& state) {
    const auto calls = driver_calls(CallKind::Multicast, Receivers);
    run_calls(state, calls, [](const Topology&, const Call& call) { return count_only_plan<Receivers>(call); });
}
BENCHMARK(BM_MulticastFloorPlan<1>);
BENCHMARK(BM_MulticastFloorPlan<2>);

void BM_MulticastFloorRefusal(benchmark::State& state) {
    const auto calls = driver_calls(CallKind::Multicast, 2);
    run_calls(state, calls, [](const Topology&, const Call& call) { return count_only_refusal(call); });
}
BENCHMARK(BM_MulticastFloorRefusal);

}  // namespace

BENCHMARK_MAIN();
