// Time per call of each planner on the driver's own arguments, and the heap
// allocations each call makes.
//
// Every benchmark cycles through all calls of its kind that one walk of the
// case table makes, in walk order, so the figures are averages over the real
// mix of counts, routes and failures rather than over one lucky argument set.
#include <cstddef>
#include <cstdlib>
#include <new>
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

}  // namespace

BENCHMARK_MAIN();
