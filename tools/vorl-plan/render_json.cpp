#include <algorithm>

#include <nlohmann/json.hpp>

#include "render.hpp"

namespace vorl_plan {

namespace {

using nlohmann::ordered_json;
using vorl_exchange::WordFamily;

// The fields the word's family has, under the names of the word layouts.
ordered_json fields(const TimelineWord& entry) {
    const auto& decoded = entry.decoded;
    ordered_json out = ordered_json::object();
    if (entry.role == WordRole::Payload) {
        namespace payload = vorl_exchange::send_control_pair_payload;
        out["xpic_bits"] = payload::xpic_bits.get(decoded.word);
        out["pic_bits"] = payload::pic_bits.get(decoded.word);
        return out;
    }
    switch (decoded.family) {
        case WordFamily::Send:
        case WordFamily::SendOff:
            out["count_minus_one"] = decoded.count_minus_one;
            out["base_word"] = decoded.base_word;
            out["control"] = decoded.control;
            break;
        case WordFamily::SendControlPair:
            out["pointer_selector"] = decoded.flag;
            out["count_minus_one"] = decoded.count_minus_one;
            out["source_word_address"] = decoded.base_word;
            out["control"] = decoded.control;
            break;
        case WordFamily::PlainDelay:
            out["advance_field"] = decoded.advance_field;
            break;
        case WordFamily::PicDelay:
        case WordFamily::XpicDelay:
            out["advance_field"] = decoded.advance_field;
            out["flag"] = decoded.flag;
            out["control"] = decoded.control;
            break;
        case WordFamily::Opening:
        case WordFamily::Closing:
        case WordFamily::SendControl:
        case WordFamily::Unknown:
            break;
    }
    return out;
}

ordered_json word_json(const TimelineWord& entry) {
    ordered_json out;
    out["index"] = entry.index;
    out["word"] = entry.decoded.word;
    out["hex"] = hex_word(entry.decoded.word);
    out["role"] = to_string(entry.role);
    if (entry.is_instruction()) {
        out["mnemonic"] = vorl_exchange::mnemonic(entry.decoded.family);
        out["fields"] = fields(entry);
        out["start"] = entry.start;
        out["end"] = entry.end;
    } else if (entry.role == WordRole::Payload) {
        out["fields"] = fields(entry);
    }
    return out;
}

ordered_json lane_json(const Lane& lane) {
    ordered_json out;
    out["role"] = lane.role;
    out["tile"] = lane.tile;
    out["physical"] = lane.physical ? ordered_json(*lane.physical) : ordered_json(nullptr);
    out["row"] = lane.row;
    out["words"] = ordered_json::array();
    for (const TimelineWord& entry : lane.timeline.words) {
        out["words"].push_back(word_json(entry));
    }
    return out;
}

ordered_json timing_json(const std::optional<TimingReport>& report, const vorl_exchange::Row& sender_row) {
    ordered_json out;
    const auto send_start = read_timeline(sender_row).first_send_start();
    out["send_start"] = send_start ? ordered_json(*send_start) : ordered_json(nullptr);
    if (!report) {
        out["checked"] = false;
        return out;
    }
    out["checked"] = true;
    out["ok"] = report->ok();
    if (!report->ok()) {
        out["problem"] = report->problem;
    }
    out["receivers"] = ordered_json::array();
    for (const ReceiverTiming& receiver : report->receivers) {
        ordered_json entry;
        entry["tile"] = receiver.receiver;
        entry["mux_time"] = receiver.mux_time;
        entry["expected_xpic_field"] = receiver.expected;
        entry["xpic_field"] = receiver.carried ? ordered_json(*receiver.carried) : ordered_json(nullptr);
        out["receivers"].push_back(std::move(entry));
    }
    return out;
}

// Indented down to the level of single words and receivers, which stay on one
// line each, as do arrays of plain numbers such as a row.
void write(const ordered_json& value, int depth, std::string& out) {
    constexpr int one_line_objects_from = 3;
    const bool flat_array = value.is_array() && std::ranges::none_of(value, [](const ordered_json& element) {
                                return element.is_structured();
                            });
    if (!value.is_structured() || flat_array || (value.is_object() && depth >= one_line_objects_from) ||
        value.empty()) {
        out += value.dump();
        return;
    }
    const std::string indent(static_cast<std::size_t>(depth + 1) * 2, ' ');
    out += value.is_object() ? "{\n" : "[\n";
    bool first = true;
    for (auto item = value.begin(); item != value.end(); ++item) {
        out += first ? "" : ",\n";
        first = false;
        out += indent;
        if (value.is_object()) {
            out += ordered_json(item.key()).dump() + ": ";
        }
        write(item.value(), depth + 1, out);
    }
    out += "\n" + std::string(static_cast<std::size_t>(depth) * 2, ' ') + (value.is_object() ? "}" : "]");
}

}  // namespace

std::string render_json(const vorl_exchange::Topology& topology, const PlanView& view) {
    const PlanRequest& request = view.request;
    ordered_json out;
    out["exchange"] = to_string(request.kind);
    out["sender"] = request.sender;
    out["receivers"] = request.receivers;
    out["count"] = request.count;
    if (request.kind == ExchangeKind::Multicast) {
        out["offset"] = request.offset;
    }
    out["rows"] = ordered_json::array();
    for (const Lane& lane : lanes(topology, view)) {
        out["rows"].push_back(lane_json(lane));
    }
    out["timing"] = timing_json(plan_timing(topology, view), view.sender_row);
    std::string text;
    write(out, 0, text);
    return text + "\n";
}

}  // namespace vorl_plan
