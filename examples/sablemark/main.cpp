// sablemark: plans every case of the fixed table and prints one digest of all
// rows and error texts, so two builds of the library compare by one line.
#include <cstdio>

#include "digest_run.hpp"

namespace {

constexpr int point_to_point_failure_status = 101;

}  // namespace

int main() {
    const auto run = sablemark::run_digest(vorl_exchange::Topology::tarn());
    if (run.failure) {
        const sablemark::Call& call = run.failure->call;
        std::fprintf(stderr, "sablemark: point-to-point plan %u -> %u (count %u) failed: %s\n", call.source,
                     call.receivers.front(), call.count, run.failure->error.debug().c_str());
        return point_to_point_failure_status;
    }
    std::printf("%d cases: %016llx\n", run.cases, static_cast<unsigned long long>(run.digest));
    return 0;
}
