// One complete digest run over the case table: what sablemark prints, shared
// with the benchmark that measures it.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

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

// Plans every case in the driver's order and feeds each plan, or the display
// text of each failed multicast and paired multicast, into one digest.
inline DigestRun run_digest(const vorl_exchange::Topology& topology) {
    DigestRun run;
    vorl_exchange::DefaultHasher digest;
    // Counted in a local: the returned run lives in the caller's memory, so a
    // count kept there would be loaded and stored around every feed call. In
    // 64 bits, which no walk can overflow, so that the count is checked against
    // the printed i32 once, at the end, not at every case.
    std::int64_t cases = 0;
    const auto count_case = [&cases] { ++cases; };
    walk_case_table(
        topology,
        [&](const Call& call, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
            if (!plan) {
                run.failure = PointToPointFailure{call, plan.error()};
                return false;
            }
            vorl_exchange::feed(digest, *plan);
            count_case();
            return true;
        },
        [&](const Call&, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
            if (plan) {
                vorl_exchange::feed(digest, *plan);
            } else {
                vorl_exchange::feed(digest, plan.error());
            }
            count_case();
            return true;
        });
    if (cases > std::numeric_limits<std::int32_t>::max()) {
        vorl_exchange::invariant_failure("case counter fits i32");
    }
    run.cases = static_cast<std::int32_t>(cases);
    run.digest = digest.finish();
    return run;
}

}  // namespace sablemark
