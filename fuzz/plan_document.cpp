// `vorl-plan check FILE` on any plan document: whatever passes is the planners'
// plan for the request the document names, and nothing crashes.
//
// An input that opens with '{' is the document's text. Any other input builds
// one: a request of any kind on tarn, the planners' rows for it, then edits the
// rest of the input directs (a flipped bit of a word, a word replaced, the count,
// offset, sender or a receiver moved), written out as vorl-plan writes a plan
// document, so that the edits reach the check rather than the reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.hpp"
#include "fuzz_support.hpp"
#include "plan_document.hpp"
#include "render.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

using vorl_fuzz::require;

namespace {

const vorl_plan::NamedTopology& tarn() {
    static const vorl_plan::NamedTopology topology = vorl_plan::tarn_topology();
    return topology;
}

// A request the planners are likely to accept: tiles of tarn, a paired
// multicast's receivers in whole pairs.
vorl_plan::PlanRequest read_request(vorl_fuzz::ByteReader& input) {
    const auto& topology = tarn().topology;
    const auto tile = [&] { return static_cast<std::uint16_t>(input.below_or_at(vorl_exchange::tarn_tile_count - 1)); };
    vorl_plan::PlanRequest request;
    request.kind = static_cast<vorl_plan::ExchangeKind>(input.below_or_at(2));
    request.sender = tile();
    const std::uint32_t receivers =
        request.kind == vorl_plan::ExchangeKind::PointToPoint ? 1 : 1 + input.below_or_at(7);
    for (std::uint32_t index = 0; index < receivers; ++index) {
        const std::uint16_t receiver = tile();
        request.receivers.push_back(receiver);
        if (request.kind == vorl_plan::ExchangeKind::PairedMulticast) {
            request.receivers.push_back(topology.paired_logical(receiver).value_or(receiver));
        }
    }
    request.count = 1 + input.below_or_at(vorl_exchange::maximum_count - 1);
    if (request.kind == vorl_plan::ExchangeKind::Multicast) {
        request.offset = input.below_or_at(4095);
    }
    return request;
}

// One edit of the plan: a row word or a request field.
void edit(vorl_plan::PlanView& view, vorl_fuzz::ByteReader& input) {
    vorl_plan::PlanRequest& request = view.request;
    const std::uint8_t what = input.u8();
    const bool up = (what & 0x80u) != 0;
    const auto step = [up](auto value) { return static_cast<decltype(value)>(up ? value + 1 : value - 1); };
    switch (what % 8) {
        case 0: request.count = step(request.count); return;
        case 1: request.offset = step(request.offset); return;
        case 2: request.sender = step(request.sender); return;
        case 3:
            if (!request.receivers.empty()) {
                auto& receiver =
                    request.receivers[input.below_or_at(static_cast<std::uint32_t>(request.receivers.size() - 1))];
                receiver = step(receiver);
            }
            return;
        default: {
            const std::uint32_t row = input.below_or_at(static_cast<std::uint32_t>(view.receiver_rows.size()));
            vorl_exchange::Row changed = row == 0 ? view.sender_row : view.receiver_rows[row - 1];
            const std::uint32_t word = input.below_or_at(vorl_exchange::row_length - 1);
            changed[word] = what % 8 == 4 ? input.u32() : changed[word] ^ (std::uint32_t{1} << input.below_or_at(31));
            if (row == 0) {
                view.sender_row = changed;
            } else {
                vorl_exchange::RowList rows;
                for (std::size_t index = 0; index < view.receiver_rows.size(); ++index) {
                    rows.push_back(index + 1 == row ? changed : view.receiver_rows[index]);
                }
                view.receiver_rows = std::move(rows);
            }
        }
    }
}

std::string built_document(vorl_fuzz::ByteReader& input) {
    const auto planned = vorl_plan::make_plan(tarn().topology, read_request(input));
    if (!planned) {
        return "";
    }
    vorl_plan::PlanView view = *planned;
    for (std::uint32_t edits = input.below_or_at(3); edits > 0; --edits) {
        edit(view, input);
    }
    return vorl_plan::render_json(tarn(), view);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes{reinterpret_cast<const char*>(data), size};
    vorl_fuzz::ByteReader input{{data, size}};
    const std::string text = bytes.starts_with('{') ? std::string{bytes} : built_document(input);
    if (text.empty()) {
        return 0;
    }
    try {
        const vorl_plan::DocumentCheck checked = vorl_plan::check_plan_document(text, "input", tarn());
        if (checked.document.failure || !checked.ok()) {
            return 0;
        }
        const vorl_plan::PlanView& view = checked.document.view;
        const auto planned = vorl_plan::make_plan(tarn().topology, view.request);
        require(planned.has_value(), "a document that passes the check names a request the planners accept");
        require(planned->sender_row == view.sender_row && planned->receiver_rows == view.receiver_rows,
                "a document that passes the check holds the planners' rows for its request");
    } catch (const vorl_plan::UsageError&) {
        // Not a plan document: refused with status 2.
    }
    return 0;
}
