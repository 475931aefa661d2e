// sablemark: plans every case of the fixed table and prints one digest of all
// rows and error texts, so two builds of the library compare by one line.
#include <cstdint>
#include <cstdio>
#include <limits>

#include "case_table.hpp"
#include "vorl_exchange/digest.hpp"

namespace {

constexpr int point_to_point_failure_status = 101;

}  // namespace

int main() {
    const auto topology = vorl_exchange::Topology::tarn();
    vorl_exchange::DefaultHasher digest;
    std::int32_t cases = 0;
    const auto count_case = [&cases] {
        if (cases == std::numeric_limits<std::int32_t>::max()) {
            vorl_exchange::invariant_failure("case counter fits i32");
        }
        ++cases;
    };

    const bool complete = sablemark::walk_case_table(
        topology,
        [&](const sablemark::Call& call, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
            if (!plan) {
                std::fprintf(stderr, "sablemark: point-to-point plan %u -> %u (count %u) failed: %s\n", call.source,
                             call.receivers.front(), call.count, plan.error().debug().c_str());
                return false;
            }
            vorl_exchange::feed(digest, *plan);
            count_case();
            return true;
        },
        [&](const sablemark::Call&, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
            if (plan) {
                vorl_exchange::feed(digest, *plan);
            } else {
                vorl_exchange::feed(digest, plan.error());
            }
            count_case();
            return true;
        });
    if (!complete) {
        return point_to_point_failure_status;
    }
    std::printf("%d cases: %016llx\n", cases, static_cast<unsigned long long>(digest.finish()));
    return 0;
}
