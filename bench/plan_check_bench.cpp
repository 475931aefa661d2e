// What checking a plan costs beside planning it: for each kind, the planner on
// the driver's own successful calls, the verdict (`..._holds`) and the full
// report (`check_...`, every fact kept) on the rows those calls return, cycling
// through the same calls in walk order. The verdict's goal is at most three
// times the planner's time.
#include <cstddef>
#include <vector>

#include <benchmark/benchmark.h>

#include "case_table.hpp"
#include "vorl_exchange/plan_check.hpp"

namespace {

using sablemark::Call;
using sablemark::CallKind;
using vorl_exchange::Topology;

struct Planned {
    Call call;
    vorl_exchange::Row sender{};
    std::vector<vorl_exchange::Row> receivers;
};

const Topology& tarn() {
    static const Topology topology = Topology::tarn();
    return topology;
}

// Every planned call of one kind in walk order (a refusal has nothing to check).
const std::vector<Planned>& planned(CallKind kind) {
    static std::vector<Planned> kinds[3];
    std::vector<Planned>& calls = kinds[static_cast<int>(kind)];
    if (calls.empty()) {
        sablemark::walk_case_table(
            tarn(),
            [&](const Call& call, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
                if (call.kind == kind && plan) {
                    calls.push_back({call, plan->sender, {plan->receiver}});
                }
                return true;
            },
            [&](const Call& call, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
                if (call.kind == kind && plan) {
                    calls.push_back({call, plan->sender, {plan->receivers.begin(), plan->receivers.end()}});
                }
                return true;
            });
    }
    return calls;
}

template <class Run>
void cycle(benchmark::State& state, CallKind kind, Run&& run) {
    const std::vector<Planned>& calls = planned(kind);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(run(calls[next]));
        next = next + 1 == calls.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["distinct_calls"] = static_cast<double>(calls.size());
}

void BM_PlanPointToPoint(benchmark::State& state) {
    cycle(state, CallKind::PointToPoint, [](const Planned& plan) {
        return tarn().point_to_point(plan.call.source, plan.call.receivers.front(), plan.call.count);
    });
}
BENCHMARK(BM_PlanPointToPoint);

void BM_CheckPointToPoint(benchmark::State& state) {
    cycle(state, CallKind::PointToPoint, [](const Planned& plan) {
        return vorl_exchange::check_point_to_point(tarn(), plan.call.source, plan.call.receivers.front(),
                                                   plan.call.count, plan.sender, plan.receivers.front())
            .ok();
    });
}
BENCHMARK(BM_CheckPointToPoint);

void BM_HoldsPointToPoint(benchmark::State& state) {
    cycle(state, CallKind::PointToPoint, [](const Planned& plan) {
        return vorl_exchange::point_to_point_holds(tarn(), plan.call.source, plan.call.receivers.front(),
                                                   plan.call.count, plan.sender, plan.receivers.front());
    });
}
BENCHMARK(BM_HoldsPointToPoint);

void BM_PlanMulticast(benchmark::State& state) {
    cycle(state, CallKind::Multicast, [](const Planned& plan) {
        return tarn().multicast(plan.call.source, plan.call.receivers, plan.call.count, plan.call.offset);
    });
}
BENCHMARK(BM_PlanMulticast);

void BM_CheckMulticast(benchmark::State& state) {
    cycle(state, CallKind::Multicast, [](const Planned& plan) {
        return vorl_exchange::check_multicast(tarn(), plan.call.source, plan.call.receivers, plan.call.count,
                                              plan.call.offset, plan.sender, plan.receivers)
            .ok();
    });
}
BENCHMARK(BM_CheckMulticast);

void BM_HoldsMulticast(benchmark::State& state) {
    cycle(state, CallKind::Multicast, [](const Planned& plan) {
        return vorl_exchange::multicast_holds(tarn(), plan.call.source, plan.call.receivers, plan.call.count,
                                              plan.call.offset, plan.sender, plan.receivers);
    });
}
BENCHMARK(BM_HoldsMulticast);

void BM_PlanPairedMulticast(benchmark::State& state) {
    cycle(state, CallKind::PairedMulticast, [](const Planned& plan) {
        return tarn().paired_multicast(plan.call.source, plan.call.receivers, plan.call.count);
    });
}
BENCHMARK(BM_PlanPairedMulticast);

void BM_CheckPairedMulticast(benchmark::State& state) {
    cycle(state, CallKind::PairedMulticast, [](const Planned& plan) {
        return vorl_exchange::check_paired_multicast(tarn(), plan.call.source, plan.call.receivers, plan.call.count,
                                                     plan.sender, plan.receivers)
            .ok();
    });
}
BENCHMARK(BM_CheckPairedMulticast);

void BM_HoldsPairedMulticast(benchmark::State& state) {
    cycle(state, CallKind::PairedMulticast, [](const Planned& plan) {
        return vorl_exchange::paired_multicast_holds(tarn(), plan.call.source, plan.call.receivers, plan.call.count,
                                                     plan.sender, plan.receivers);
    });
}
BENCHMARK(BM_HoldsPairedMulticast);

}  // namespace

BENCHMARK_MAIN();
