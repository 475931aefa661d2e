// sablemark without its digest: plans every case of the table in the driver's
// order and hashes nothing. Its whole-process wall time, less that of a process
// that does nothing, is what planning costs in sablemark; digest_floor's is
// what hashing costs. It folds the first word of each plan's sender row (and a
// constant for each refusal) into a checksum and prints it, so that no call
// can be left out.
#include <cstdint>
#include <cstdio>

#include "case_table.hpp"

namespace {

constexpr std::uint64_t refusal_mark = 7;

// A cheap fold that depends on every value in order.
std::uint64_t fold(std::uint64_t sum, std::uint64_t value) { return sum * 31 + value; }

}  // namespace

int main() {
    const auto topology = vorl_exchange::Topology::tarn();
    std::uint64_t sum = 0;
    std::int32_t cases = 0;
    // One fold for both kinds of result.
    const auto keep = [&](const sablemark::Call&, const auto& plan) {
        sum = fold(sum, plan ? plan->sender[0] : refusal_mark);
        ++cases;
        return true;
    };
    const bool complete = sablemark::walk_case_table(topology, keep, keep);
    if (!complete || cases != sablemark::total_cases) {
        std::fprintf(stderr, "plan_only: planned %d cases, not %d\n", cases, sablemark::total_cases);
        return 1;
    }
    std::printf("%d cases: %016llx\n", cases, static_cast<unsigned long long>(sum));
    return 0;
}
