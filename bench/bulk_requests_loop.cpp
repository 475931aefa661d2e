// The C++ loop that bench/python_bulk.py holds the Python bulk calls against:
// plans the requests it wrote to a directory, one C++ planner call each, and
// prints the best wall time of several passes.
//   bulk_requests_loop point_to_point|multicast|paired_multicast DIR [PASSES]
// DIR holds raw little-endian arrays: `senders` (uint16), `receivers` (uint16;
// one per request for point_to_point), `counts` (uint32), and for the
// multicasts `receiver_offsets` (uint64, one more than the requests) and
// `schedule_offsets` (uint32, multicast only).
// Output: "<seconds> <requests> <planned>".
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <vorl_exchange/vorl_exchange.hpp>

namespace {

template <class T>
std::vector<T> read_array(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "bulk_requests_loop: cannot read %s\n", path.c_str());
        std::exit(2);
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::vector<T> values(bytes.size() / sizeof(T));
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(values.size() * sizeof(T)),
              reinterpret_cast<char*>(values.data()));
    return values;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bulk_requests_loop point_to_point|multicast|paired_multicast DIR [PASSES]\n");
        return 2;
    }
    const std::string_view kind = argv[1];
    const std::string dir = argv[2];
    const int passes = argc > 3 ? std::atoi(argv[3]) : 5;
    const auto senders = read_array<std::uint16_t>(dir + "/senders");
    const auto receivers = read_array<std::uint16_t>(dir + "/receivers");
    const auto counts = read_array<std::uint32_t>(dir + "/counts");
    std::vector<std::uint64_t> receiver_offsets;
    std::vector<std::uint32_t> schedule_offsets;
    if (kind != "point_to_point") {
        receiver_offsets = read_array<std::uint64_t>(dir + "/receiver_offsets");
    }
    if (kind == "multicast") {
        schedule_offsets = read_array<std::uint32_t>(dir + "/schedule_offsets");
    }
    const vorl_exchange::Topology tarn = vorl_exchange::Topology::tarn();
    const std::size_t n = senders.size();
    auto listed = [&](std::size_t index) {
        const std::size_t first = receiver_offsets[index];
        return std::span{receivers}.subspan(first, receiver_offsets[index + 1] - first);
    };

    // The best of `passes` runs of `plan(index)` over every request; the
    // planner is chosen outside the timed loop.
    double best = 1e30;
    std::size_t planned = 0;
    auto time_loop = [&](auto&& plan) {
        for (int pass = 0; pass < passes; ++pass) {
            planned = 0;
            const auto start = std::chrono::steady_clock::now();
            for (std::size_t index = 0; index < n; ++index) {
                planned += plan(index).has_value();
            }
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    };
    if (kind == "point_to_point") {
        time_loop([&](std::size_t i) { return tarn.point_to_point(senders[i], receivers[i], counts[i]); });
    } else if (kind == "multicast") {
        time_loop([&](std::size_t i) { return tarn.multicast(senders[i], listed(i), counts[i], schedule_offsets[i]); });
    } else {
        time_loop([&](std::size_t i) { return tarn.paired_multicast(senders[i], listed(i), counts[i]); });
    }
    std::printf("%.6f %zu %zu\n", best, n, planned);
    return 0;
}
