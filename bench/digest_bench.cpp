// SipHash-1-3 throughput, and the whole case-table run against its floor: the
// same byte stream captured once into memory and hashed in one write. The
// ratio run / floor says how much the planners and the feeding cost on top of
// the hashing that no implementation can avoid.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "case_table.hpp"
#include "digest_run.hpp"
#include "vorl_exchange/digest.hpp"

namespace {

using vorl_exchange::DefaultHasher;
using vorl_exchange::Topology;

// Bytes one complete walk feeds to the digest, and the digest the driver prints.
constexpr std::size_t case_table_stream_bytes = 23'996'602;
constexpr std::uint64_t case_table_digest = 0x97f93ad92081c91bULL;

// The bytes the driver feeds to the digest, recorded instead of hashed. The
// layout is written out again here, for the floor alone; the benchmark checks
// that the recorded stream gives the driver's digest before timing anything.
class StreamRecorder {
public:
    [[nodiscard]] std::span<const std::byte> bytes() const noexcept { return bytes_; }

    void record(const vorl_exchange::Plan& plan) {
        row(plan.sender);
        row(plan.receiver);
    }
    void record(const vorl_exchange::MulticastPlan& plan) {
        row(plan.sender);
        little_endian(plan.receivers.size(), 8);
        for (const vorl_exchange::Row& receiver : plan.receivers) {
            row(receiver);
        }
    }
    void record(const vorl_exchange::ExchangeError& error) {
        for (const char c : error.display().view()) {
            bytes_.push_back(static_cast<std::byte>(c));
        }
        bytes_.push_back(std::byte{0xff});
    }

private:
    void little_endian(std::uint64_t value, std::size_t width) {
        for (std::size_t index = 0; index < width; ++index) {
            bytes_.push_back(static_cast<std::byte>(value >> (8u * index)));
        }
    }
    void row(const vorl_exchange::Row& words) {
        little_endian(words.size(), 8);
        for (const std::uint32_t word : words) {
            little_endian(word, 4);
        }
    }

    std::vector<std::byte> bytes_;
};

const StreamRecorder& case_table_stream() {
    static const StreamRecorder stream = [] {
        StreamRecorder out;
        const auto topology = Topology::tarn();
        sablemark::walk_case_table(
            topology,
            [&](const sablemark::Call&, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
                if (!plan) {
                    return false;
                }
                out.record(*plan);
                return true;
            },
            [&](const sablemark::Call&, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
                if (plan) {
                    out.record(*plan);
                } else {
                    out.record(plan.error());
                }
                return true;
            });
        return out;
    }();
    return stream;
}

std::uint64_t hash_bytes(std::span<const std::byte> bytes) {
    DefaultHasher hasher;
    hasher.write(bytes);
    return hasher.finish();
}

// The driver's loop: plan every case, feed it, finish.
std::uint64_t full_run(const Topology& topology) { return sablemark::run_digest(topology).digest; }

// A faster wrong answer is worth nothing: every benchmark of the run checks it.
bool stream_is_the_drivers(benchmark::State& state) {
    const auto bytes = case_table_stream().bytes();
    if (bytes.size() != case_table_stream_bytes || hash_bytes(bytes) != case_table_digest) {
        state.SkipWithError("captured byte stream does not reproduce the driver's digest");
        return false;
    }
    return true;
}

std::vector<std::byte> pattern(std::size_t size) {
    std::vector<std::byte> bytes(size);
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<std::byte>(index * 131u + 7u);
    }
    return bytes;
}

// One write per buffer: the whole-block loop.
void BM_SipHashBulk(benchmark::State& state) {
    const auto bytes = pattern(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(hash_bytes(bytes));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SipHashBulk)->Arg(4 << 10)->Arg(64 << 10)->Arg(16 << 20);

// The same input in 44-byte writes, the size of one fed row.
void BM_SipHash44ByteWrites(benchmark::State& state) {
    constexpr std::size_t piece = 44;
    const auto bytes = pattern(piece * 1024);
    const std::span<const std::byte> all{bytes};
    for (auto _ : state) {
        DefaultHasher hasher;
        for (std::size_t offset = 0; offset < all.size(); offset += piece) {
            hasher.write(all.subspan(offset, piece));
        }
        benchmark::DoNotOptimize(hasher.finish());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(all.size()));
}
BENCHMARK(BM_SipHash44ByteWrites);

// Rows through `feed_row`, the path every plan takes.
void BM_FeedRow(benchmark::State& state) {
    std::array<vorl_exchange::Row, 1024> rows{};
    for (std::size_t index = 0; index < rows.size(); ++index) {
        rows[index] = {0x41800003u, static_cast<std::uint32_t>(index), 0x78000001u, 0x43a00000u};
    }
    for (auto _ : state) {
        DefaultHasher hasher;
        for (const auto& row : rows) {
            vorl_exchange::feed_row(hasher, row);
        }
        benchmark::DoNotOptimize(hasher.finish());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rows.size() * 44));
}
BENCHMARK(BM_FeedRow);

// The floor: the case table's whole byte stream, hashed from memory.
void BM_Floor(benchmark::State& state) {
    if (!stream_is_the_drivers(state)) {
        return;
    }
    const auto bytes = case_table_stream().bytes();
    for (auto _ : state) {
        benchmark::DoNotOptimize(hash_bytes(bytes));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_Floor)->Unit(benchmark::kMillisecond);

// Plan + feed + hash for every case, as the driver does it.
void BM_FullRun(benchmark::State& state) {
    if (!stream_is_the_drivers(state)) {
        return;
    }
    const auto topology = Topology::tarn();
    for (auto _ : state) {
        if (full_run(topology) != case_table_digest) {
            state.SkipWithError("full run gives a different digest");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * sablemark::total_cases);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(case_table_stream_bytes));
}
BENCHMARK(BM_FullRun)->Unit(benchmark::kMillisecond);

// CPU time of the calling thread: on a machine shared with other work the
// wall clock also counts the time this thread waits for a core.
double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
    std::ranges::sort(values);
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Floor and full run alternating in one loop, so that both see the same machine
// load; the reported time is the full run's. The ratio is that of the medians
// of the two, each timed in thread CPU time.
void BM_RunOverFloor(benchmark::State& state) {
    if (!stream_is_the_drivers(state)) {
        return;
    }
    const auto bytes = case_table_stream().bytes();
    const auto topology = Topology::tarn();
    std::vector<double> floors;
    std::vector<double> runs;
    for (auto _ : state) {
        const double floor_start = thread_seconds();
        benchmark::DoNotOptimize(hash_bytes(bytes));
        const double run_start = thread_seconds();
        benchmark::DoNotOptimize(full_run(topology));
        const double run_end = thread_seconds();
        floors.push_back(run_start - floor_start);
        runs.push_back(run_end - run_start);
        state.SetIterationTime(run_end - run_start);
    }
    if (runs.empty()) {
        return;
    }
    const double floor_seconds = median(floors);
    const double run_seconds = median(runs);
    state.counters["floor_ms"] = floor_seconds * 1e3;
    state.counters["run_ms"] = run_seconds * 1e3;
    state.counters["run_over_floor"] = run_seconds / floor_seconds;
}
BENCHMARK(BM_RunOverFloor)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
