// Plans one point-to-point exchange with the installed library and prints both rows.
#include <cstdio>

#include <vorl_exchange/vorl_exchange.hpp>

int main() {
    const auto topology = vorl_exchange::Topology::tarn();
    const auto plan = topology.point_to_point(0, 2, 1);
    if (!plan) {
        std::printf("%.*s\n", static_cast<int>(plan.error().display().view().size()),
                    plan.error().display().view().data());
        return 1;
    }
    for (const auto& row : {plan->sender, plan->receiver}) {
        for (const auto word : row) {
            std::printf("%08x ", word);
        }
        std::printf("\n");
    }
    return 0;
}
