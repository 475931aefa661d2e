#include "hints.hpp"
#include "json_writer.hpp"
#include "render.hpp"

namespace vorl_plan {

namespace {

using vorl_exchange::WordFamily;

// The raw fields the word's family has, under the names of the word layouts.
void fields(json::Document& out, const TimelineWord& entry) {
    const std::uint32_t word = entry.decoded.word;
    out.inline_object();
    if (entry.role == WordRole::Payload) {
        namespace payload = vorl_exchange::send_control_pair_payload;
        out.key("xpic_bits").number(payload::xpic_bits.get(word));
        out.key("pic_bits").number(payload::pic_bits.get(word));
        out.close();
        return;
    }
    switch (entry.decoded.family) {
        case WordFamily::Send:
            out.key("count_minus_one").number(vorl_exchange::send_word::count_minus_one.get(word));
            out.key("base_word").number(vorl_exchange::send_word::base_word.get(word));
            out.key("control").number(vorl_exchange::send_word::control.get(word));
            break;
        case WordFamily::SendOff:
            out.key("count_low").number(vorl_exchange::send_off_word::count_low.get(word));
            out.key("count_high").number(vorl_exchange::send_off_word::count_high.get(word));
            out.key("base_word").number(vorl_exchange::send_off_word::base_word.get(word));
            out.key("control").number(vorl_exchange::send_off_word::control.get(word));
            break;
        case WordFamily::SendControlPair:
            out.key("pointer_selector").number(vorl_exchange::send_control_pair_word::pointer_selector.get(word));
            out.key("count_minus_one").number(vorl_exchange::send_control_pair_word::count_minus_one.get(word));
            out.key("source_word_address").number(vorl_exchange::send_control_pair_word::source_word_address.get(word));
            out.key("control").number(vorl_exchange::send_control_pair_word::control.get(word));
            break;
        case WordFamily::PlainDelay: out.key("cycles").number(vorl_exchange::plain_delay_word::cycles.get(word)); break;
        case WordFamily::PicDelay:
            out.key("advance").number(vorl_exchange::pic_delay_word::advance.get(word));
            out.key("flag").number(vorl_exchange::pic_delay_word::flag.get(word));
            out.key("control").number(vorl_exchange::pic_delay_word::control.get(word));
            break;
        case WordFamily::XpicDelay:
            out.key("advance").number(vorl_exchange::xpic_delay_word::advance.get(word));
            out.key("flag").number(vorl_exchange::xpic_delay_word::flag.get(word));
            out.key("control").number(vorl_exchange::xpic_delay_word::control.get(word));
            break;
        case WordFamily::Opening:
        case WordFamily::Closing:
        case WordFamily::SendControl:
        case WordFamily::Unknown: break;
    }
    out.close();
}

bool is_send(WordFamily family) {
    return family == WordFamily::Send || family == WordFamily::SendOff || family == WordFamily::SendControlPair;
}

// One word on one line.
void word(json::Document& out, const TimelineWord& entry) {
    out.inline_object();
    out.key("index").number(entry.index);
    out.key("word").number(entry.decoded.word);
    out.key("hex").string(hex_word(entry.decoded.word));
    out.key("role").string(to_string(entry.role));
    if (entry.is_instruction()) {
        const WordFamily family = entry.decoded.family;
        out.key("mnemonic").string(vorl_exchange::mnemonic(family));
        out.key("fields");
        fields(out, entry);
        // Derived values, named as the text listing names them.
        if (is_send(family)) {
            out.key("count").number(entry.decoded.count_minus_one + 1u);
        } else if (entry.decoded.advance() > 0) {
            out.key("advance_cycles").number(entry.decoded.advance());
        }
        out.key("start_cycle").number(entry.start);
        out.key("end_cycle").number(entry.end);
    } else if (entry.role == WordRole::Payload) {
        out.key("fields");
        fields(out, entry);
    }
    out.close();
}

void lane(json::Document& out, const Lane& lane) {
    out.indented_object();
    out.key("role").string(lane.role);
    out.key("tile").number(lane.tile);
    if (lane.physical) {
        out.key("physical").number(*lane.physical);
    } else {
        out.key("physical").null();
    }
    out.key("row").row(lane.row);
    out.key("words").indented_array();
    for (const TimelineWord& entry : lane.timeline.words) {
        word(out, entry);
    }
    out.close();
    out.close();
}

// The check's verdict in a plan document; `vorl-plan check --format json` has every fact.
void timing(json::Document& out, const vorl_exchange::PlanCheck& check, const PlanView& view) {
    out.indented_object();
    const auto send_start = read_timeline(view.sender_row).first_send_start();
    if (send_start) {
        out.key("send_start_cycle").number(*send_start);
    } else {
        out.key("send_start_cycle").null();
    }
    out.key("checked").boolean(true);
    out.key("ok").boolean(check.ok());
    if (!check.ok()) {
        out.key("problem").string(check_problem(view, check));
    }
    out.key("facts").number(check.facts.size());
    out.key("mismatches").number(check.mismatches);
    out.close();
}

void optional_number(json::Document& out, const char* key, std::optional<std::int64_t> value) {
    out.key(key);
    if (value) {
        out.number(*value);
    } else {
        out.null();
    }
}

void fact(json::Document& out, const PlanView& view, const vorl_exchange::PlanFact& fact) {
    out.inline_object();
    optional_number(out, "row", fact.row ? std::optional{static_cast<std::int64_t>(*fact.row)} : std::nullopt);
    std::optional<std::int64_t> tile;
    if (fact.row && *fact.row == 0) {
        tile = view.request.sender;
    } else if (fact.row && *fact.row <= view.request.receivers.size()) {
        tile = view.request.receivers[*fact.row - 1];
    }
    optional_number(out, "tile", tile);
    optional_number(out, "word", fact.word ? std::optional{static_cast<std::int64_t>(*fact.word)} : std::nullopt);
    out.key("name").string(fact.name);
    optional_number(out, "found", fact.found);
    out.key("expected").number(fact.expected);
    out.key("holds").boolean(fact.holds());
    out.key("reason").string(vorl_exchange::reason_text(fact));
    out.close();
}

void topology_fields(json::Document& out, const NamedTopology& named) {
    out.indented_object();
    if (named.file) {
        out.key("file").string(*named.file);
    } else {
        out.key("name").string("tarn");
    }
    out.key("tiles").number(named.topology.tile_count());
    out.close();
}

// The topology and the request: the part of every document, failed or not. Opens
// the document, which the caller closes.
void request_fields(json::Document& out, const NamedTopology& topology, const PlanRequest& request) {
    out.indented_object();
    out.key("format_version").number(json_format_version);
    out.key("topology");
    topology_fields(out, topology);
    out.key("exchange").string(to_string(request.kind));
    out.key("sender").number(request.sender);
    out.key("receivers").inline_array();
    for (const std::uint16_t receiver : request.receivers) {
        out.number(receiver);
    }
    out.close();
    out.key("count").number(request.count);
}

// A plan's offset; the offset-limit documents leave it out, since they ask for it.
void offset_field(json::Document& out, const PlanRequest& request) {
    if (request.kind == ExchangeKind::Multicast) {
        out.key("offset").number(request.offset);
    }
}

void failure(json::Document& out, const vorl_exchange::ExchangeError& error, const std::vector<std::string>& hints) {
    out.key("error").indented_object();
    out.key("kind").string(vorl_exchange::kind_name(error.kind()));
    out.key("display").string(error.display().view());
    out.key("debug").string(error.debug());
    out.key("hints").inline_array();
    for (const std::string& hint : hints) {
        // Standard error's prefix is for people; the document holds the hint itself.
        out.string(hint.starts_with(hint_prefix) ? std::string_view{hint}.substr(hint_prefix.size()) : hint);
    }
    out.close();
    out.close();
}

}  // namespace

std::string render_json(const NamedTopology& topology, const PlanView& view) {
    std::string text;
    json::Document out{text};
    request_fields(out, topology, view.request);
    offset_field(out, view.request);
    out.key("rows").indented_array();
    for (const Lane& entry : lanes(topology.topology, view)) {
        lane(out, entry);
    }
    out.close();
    out.key("timing");
    timing(out, check_plan(topology.topology, view), view);
    out.close();
    return text + "\n";
}

std::string render_json_check(const NamedTopology& topology, const PlanView& view,
                              const vorl_exchange::PlanCheck& check) {
    std::string text;
    json::Document out{text};
    request_fields(out, topology, view.request);
    offset_field(out, view.request);
    out.key("ok").boolean(check.ok());
    if (!check.ok()) {
        out.key("problem").string(check_problem(view, check));
    }
    out.key("mismatches").number(check.mismatches);
    out.key("facts").indented_array();
    for (const vorl_exchange::PlanFact& entry : check.facts) {
        fact(out, view, entry);
    }
    out.close();
    out.close();
    return text + "\n";
}

std::string render_json_offset_limit(const NamedTopology& topology, const PlanRequest& request, std::uint32_t limit) {
    std::string text;
    json::Document out{text};
    request_fields(out, topology, request);
    out.key("offset_limit").number(limit);
    out.close();
    return text + "\n";
}

std::string render_json_failure(const NamedTopology& topology, const PlanRequest& request,
                                const vorl_exchange::ExchangeError& error, const std::vector<std::string>& hints) {
    std::string text;
    json::Document out{text};
    request_fields(out, topology, request);
    offset_field(out, request);
    failure(out, error, hints);
    out.close();
    return text + "\n";
}

std::string render_json_offset_limit_failure(const NamedTopology& topology, const PlanRequest& request,
                                             const vorl_exchange::ExchangeError& error,
                                             const std::vector<std::string>& hints) {
    std::string text;
    json::Document out{text};
    request_fields(out, topology, request);
    failure(out, error, hints);
    out.close();
    return text + "\n";
}

}  // namespace vorl_plan
