// The paired planner's direct row encoder against the same row described as
// receive events and put through the general receive-event encoder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz_support.hpp"
#include "paired_row_reference.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

using namespace vorl_exchange;
using vorl_fuzz::require;
using vorl_test::reference_paired_receiver_row;

namespace {

// The display text, which every kind of error has and which names the reason.
std::string text(const Result<Row>& result) {
    return result ? std::string{"ok"} : std::string{result.error().display().view()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Topology topology = Topology::tarn();
    vorl_fuzz::ByteReader input{{data, size}};
    const auto sender = static_cast<std::uint16_t>(input.u16() % (tarn_tile_count + 1u));
    const auto receiver = static_cast<std::uint16_t>(input.u16() % (tarn_tile_count + 1u));
    const std::uint32_t count = input.flag() ? input.u32() : input.below_or_at(300);
    const auto minimum_double_mux =
        input.flag() ? static_cast<std::int32_t>(input.u32()) : static_cast<std::int32_t>(input.below_or_at(600)) - 300;

    const auto actual = topology.paired_receiver_row(sender, receiver, count, minimum_double_mux);
    const auto expected = reference_paired_receiver_row(topology, sender, receiver, count, minimum_double_mux);
    require(text(actual) == text(expected), "the direct encoder fails exactly when the general one does");
    require(!actual || *actual == *expected, "the direct encoder writes the general encoder's row");
    if (actual) {
        require(vorl_fuzz::row_has_shape(*actual), "a paired receiver row has the row shape");
    }
    return 0;
}
