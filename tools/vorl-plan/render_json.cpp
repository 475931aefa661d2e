#include <algorithm>

#include <nlohmann/json.hpp>

#include "hints.hpp"
#include "render.hpp"

namespace vorl_plan {

namespace {

using nlohmann::ordered_json;
using vorl_exchange::WordFamily;

std::string_view kind_name(vorl_exchange::ErrorKind kind) {
    using vorl_exchange::ErrorKind;
    switch (kind) {
        case ErrorKind::ValidationBudgetExceeded: return "ValidationBudgetExceeded";
        case ErrorKind::Tile: return "Tile";
        case ErrorKind::DuplicateTile: return "DuplicateTile";
        case ErrorKind::Count: return "Count";
        case ErrorKind::ReceiverSet: return "ReceiverSet";
        case ErrorKind::Schedule: return "Schedule";
        case ErrorKind::PlanOffsetRange: return "PlanOffsetRange";
        case ErrorKind::Address: return "Address";
        case ErrorKind::HostPacket: return "HostPacket";
    }
    return "Unknown";
}

// The raw fields the word's family has, under the names of the word layouts.
ordered_json fields(const TimelineWord& entry) {
    const auto& decoded = entry.decoded;
    const std::uint32_t word = decoded.word;
    ordered_json out = ordered_json::object();
    if (entry.role == WordRole::Payload) {
        namespace payload = vorl_exchange::send_control_pair_payload;
        out["xpic_bits"] = payload::xpic_bits.get(word);
        out["pic_bits"] = payload::pic_bits.get(word);
        return out;
    }
    switch (decoded.family) {
        case WordFamily::Send:
            out["count_minus_one"] = vorl_exchange::send_word::count_minus_one.get(word);
            out["base_word"] = vorl_exchange::send_word::base_word.get(word);
            out["control"] = vorl_exchange::send_word::control.get(word);
            break;
        case WordFamily::SendOff:
            out["count_low"] = vorl_exchange::send_off_word::count_low.get(word);
            out["count_high"] = vorl_exchange::send_off_word::count_high.get(word);
            out["base_word"] = vorl_exchange::send_off_word::base_word.get(word);
            out["control"] = vorl_exchange::send_off_word::control.get(word);
            break;
        case WordFamily::SendControlPair:
            out["pointer_selector"] = vorl_exchange::send_control_pair_word::pointer_selector.get(word);
            out["count_minus_one"] = vorl_exchange::send_control_pair_word::count_minus_one.get(word);
            out["source_word_address"] = vorl_exchange::send_control_pair_word::source_word_address.get(word);
            out["control"] = vorl_exchange::send_control_pair_word::control.get(word);
            break;
        case WordFamily::PlainDelay:
            out["cycles"] = vorl_exchange::plain_delay_word::cycles.get(word);
            break;
        case WordFamily::PicDelay:
            out["advance"] = vorl_exchange::pic_delay_word::advance.get(word);
            out["flag"] = vorl_exchange::pic_delay_word::flag.get(word);
            out["control"] = vorl_exchange::pic_delay_word::control.get(word);
            break;
        case WordFamily::XpicDelay:
            out["advance"] = vorl_exchange::xpic_delay_word::advance.get(word);
            out["flag"] = vorl_exchange::xpic_delay_word::flag.get(word);
            out["control"] = vorl_exchange::xpic_delay_word::control.get(word);
            break;
        case WordFamily::Opening:
        case WordFamily::Closing:
        case WordFamily::SendControl:
        case WordFamily::Unknown:
            break;
    }
    return out;
}

bool is_send(WordFamily family) {
    return family == WordFamily::Send || family == WordFamily::SendOff || family == WordFamily::SendControlPair;
}

ordered_json word_json(const TimelineWord& entry) {
    ordered_json out;
    out["index"] = entry.index;
    out["word"] = entry.decoded.word;
    out["hex"] = hex_word(entry.decoded.word);
    out["role"] = to_string(entry.role);
    if (entry.is_instruction()) {
        const WordFamily family = entry.decoded.family;
        out["mnemonic"] = vorl_exchange::mnemonic(family);
        out["fields"] = fields(entry);
        // Derived values, named as the text listing names them.
        if (is_send(family)) {
            out["count"] = entry.decoded.count_minus_one + 1u;
        } else if (entry.decoded.advance() > 0) {
            out["advance_cycles"] = entry.decoded.advance();
        }
        out["start_cycle"] = entry.start;
        out["end_cycle"] = entry.end;
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
    out["send_start_cycle"] = send_start ? ordered_json(*send_start) : ordered_json(nullptr);
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
        entry["expected_advance"] = receiver.expected;
        entry["advance"] = receiver.carried ? ordered_json(*receiver.carried) : ordered_json(nullptr);
        out["receivers"].push_back(std::move(entry));
    }
    return out;
}

// A file name need not be UTF-8; JSON text must be, so a stray byte becomes U+FFFD
// rather than ending the run.
std::string dump(const ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
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
        out += dump(value);
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
            out += dump(ordered_json(item.key())) + ": ";
        }
        write(item.value(), depth + 1, out);
    }
    out += "\n" + std::string(static_cast<std::size_t>(depth) * 2, ' ') + (value.is_object() ? "}" : "]");
}


ordered_json topology_json(const NamedTopology& named) {
    ordered_json out;
    if (named.file) {
        out["file"] = *named.file;
    } else {
        out["name"] = "tarn";
    }
    out["tiles"] = named.topology.tile_count();
    return out;
}

// The topology and the request: the part of every document, failed or not.
ordered_json request_json(const NamedTopology& topology, const PlanRequest& request) {
    ordered_json out;
    out["format_version"] = json_format_version;
    out["topology"] = topology_json(topology);
    out["exchange"] = to_string(request.kind);
    out["sender"] = request.sender;
    out["receivers"] = request.receivers;
    out["count"] = request.count;
    if (request.kind == ExchangeKind::Multicast) {
        out["offset"] = request.offset;
    }
    return out;
}

std::string document(const ordered_json& value) {
    std::string text;
    write(value, 0, text);
    return text + "\n";
}

}  // namespace

std::string render_json(const NamedTopology& topology, const PlanView& view) {
    ordered_json out = request_json(topology, view.request);
    out["rows"] = ordered_json::array();
    for (const Lane& lane : lanes(topology.topology, view)) {
        out["rows"].push_back(lane_json(lane));
    }
    out["timing"] = timing_json(plan_timing(topology.topology, view), view.sender_row);
    return document(out);
}

std::string render_json_offset_limit(const NamedTopology& topology, const PlanRequest& request,
                                     std::uint32_t limit) {
    ordered_json out = request_json(topology, request);
    out.erase("offset");  // the request asks for it
    out["offset_limit"] = limit;
    return document(out);
}

namespace {

ordered_json failure_json(const vorl_exchange::ExchangeError& error, const std::vector<std::string>& hints) {
    ordered_json failure;
    failure["kind"] = kind_name(error.kind());
    failure["display"] = std::string{error.display().view()};
    failure["debug"] = error.debug();
    failure["hints"] = ordered_json::array();
    for (const std::string& hint : hints) {
        failure["hints"].push_back(hint.starts_with(hint_prefix) ? hint.substr(hint_prefix.size()) : hint);
    }
    return failure;
}

}  // namespace

std::string render_json_failure(const NamedTopology& topology, const PlanRequest& request,
                                const vorl_exchange::ExchangeError& error, const std::vector<std::string>& hints) {
    ordered_json out = request_json(topology, request);
    out["error"] = failure_json(error, hints);
    return document(out);
}

std::string render_json_offset_limit_failure(const NamedTopology& topology, const PlanRequest& request,
                                             const vorl_exchange::ExchangeError& error,
                                             const std::vector<std::string>& hints) {
    ordered_json out = request_json(topology, request);
    out.erase("offset");
    out["error"] = failure_json(error, hints);
    return document(out);
}

}  // namespace vorl_plan
