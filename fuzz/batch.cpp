// Any bytes as one request line of `vorl-plan batch`: exactly one response line,
// valid JSON of a documented shape, and when it answers with a plan or an error,
// the one the library gives for the same request, asked with only the fields of
// its op, each once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "batch.hpp"
#include "fuzz_support.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

using namespace vorl_exchange;
using nlohmann::json;
using vorl_fuzz::require;

namespace {

// The words of a row; the caller checks its shape.
Row words_of(const json& value) {
    require(value.is_array() && value.size() == row_length, "a row is an array of nine words");
    Row row{};
    for (std::size_t index = 0; index < row_length; ++index) {
        require(value[index].is_number_unsigned() && value[index].get<std::uint64_t>() <= 0xffffffffu,
                "a row word is a 32-bit unsigned number");
        row[index] = value[index].get<std::uint32_t>();
    }
    return row;
}

Row row_of(const json& value) {
    const Row row = words_of(value);
    require(vorl_fuzz::row_has_shape(row), "a row has the row shape");
    return row;
}

std::vector<std::uint16_t> tiles_of(const json& value) { return value.get<std::vector<std::uint16_t>>(); }

void require_same_error(const json& response, const ExchangeError& error) {
    require(response.size() == 2 && response.contains("debug"), "an error response has err and debug");
    require(response["err"] == std::string{error.display().view()} && response["debug"] == error.debug(),
            "an error response carries the library's error");
}

template <class P>
const P& require_same_plan(const json& response, const Result<P>& plan) {
    if (!plan) {
        require(response.contains("err"), "a request the library refuses is answered with its error");
        require_same_error(response, plan.error());
        static const P none{};
        return none;
    }
    require(response.size() == 1 && response.contains("ok") && response["ok"].is_object(),
            "a planned request is answered with ok");
    return *plan;
}

// The request was accepted, so its fields are present and in range; plan it
// again directly and compare.
void require_library_answer(const Topology& topology, const json& request, const json& response) {
    const std::string op = request["op"].get<std::string>();
    const auto sender = request["sender"].get<std::uint16_t>();
    const auto count = request["count"].get<std::uint32_t>();
    if (op == "point_to_point") {
        const auto receiver = request["receiver"].get<std::uint16_t>();
        const auto planned = topology.point_to_point(sender, receiver, count);
        const Plan& plan = require_same_plan(response, planned);
        if (planned) {
            const json& body = response["ok"];
            require(body.size() == 2 && row_of(body["sender"]) == plan.sender &&
                        words_of(body["receiver"]) == plan.receiver &&
                        vorl_fuzz::point_to_point_receiver_row_has_shape(plan.receiver),
                    "a point-to-point answer carries the library's rows");
            require(check_point_to_point(topology, sender, receiver, count, plan.sender, plan.receiver).ok(),
                    "a point-to-point plan passes the plan check");
        }
        return;
    }
    const auto receivers = tiles_of(request["receivers"]);
    const bool paired = op == "paired_multicast";
    const auto planned = paired ? topology.paired_multicast(sender, receivers, count)
                                : topology.multicast(sender, receivers, count, request.value("offset", 0u));
    const MulticastPlan& plan = require_same_plan(response, planned);
    if (!planned) {
        return;
    }
    const json& body = response["ok"];
    require(body.size() == 2 && row_of(body["sender"]) == plan.sender && body["receivers"].is_array() &&
                body["receivers"].size() == plan.receivers.size(),
            "a multicast answer has the sender row and one row per receiver");
    for (std::size_t index = 0; index < plan.receivers.size(); ++index) {
        require(row_of(body["receivers"][index]) == plan.receivers[index],
                "a multicast answer carries the library's rows");
    }
    const PlanCheck check =
        paired ? check_paired_multicast(topology, sender, receivers, count, plan.sender, plan.receivers)
               : check_multicast(topology, sender, receivers, count, request.value("offset", 0u), plan.sender,
                                 plan.receivers);
    require(check.ok(), "a multicast plan passes the plan check");
}

// The batch loop answers every non-blank line once, in order; a single line as
// answer_request does.
void require_batch_loop_agrees(const Topology& topology, std::string_view bytes, const std::string& answer) {
    std::size_t requests = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
        if (bytes.substr(start, end - start).find_first_not_of(" \t\r\n\v\f") != std::string_view::npos) {
            ++requests;
        }
        start = end + 1;
    }
    std::istringstream in{std::string{bytes}};
    std::ostringstream out;
    require(vorl_plan::run_batch(topology, in, out) == 0, "the batch loop always exits with 0");
    const std::string responses = out.str();
    require(static_cast<std::size_t>(std::ranges::count(responses, '\n')) == requests &&
                (responses.empty() || responses.back() == '\n'),
            "the batch loop answers every non-blank line with one line");
    if (requests == 1 && bytes.find('\n') == std::string_view::npos) {
        require(responses == answer + "\n", "the batch loop answers a line as answer_request does");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Topology topology = Topology::tarn();
    const std::string_view line{reinterpret_cast<const char*>(data), size};
    const std::string answer = vorl_plan::answer_request(topology, line);
    require(answer.find('\n') == std::string::npos, "a response is one line");
    require_batch_loop_agrees(topology, line, answer);
    const json response = json::parse(answer, nullptr, false);
    require(!response.is_discarded() && response.is_object() && !response.empty(), "a response is a JSON object");

    if (response.contains("bad_request")) {
        require(response.size() == 1 && response["bad_request"].is_string(), "a bad request names why");
        return 0;
    }
    if (response.contains("err")) {
        require(response["err"].is_string() && response["debug"].is_string(), "an error has its text and form");
    } else {
        require(response.size() == 1 && response.contains("ok"), "a response is ok, err or bad_request");
    }
    // Not a bad request: the line is a request the tool understood, each of its
    // fields one its op takes, named once.
    std::size_t keys_written = 0;
    const json request = json::parse(
        line,
        [&](int depth, json::parse_event_t event, json&) {
            keys_written += event == json::parse_event_t::key && depth == 1 ? 1 : 0;
            return true;
        },
        false);
    require(request.is_object() && request.contains("op"), "an answered request is an object with an op");
    require(keys_written == request.size(), "an answered request names no field twice");
    const std::string op = request["op"].get<std::string>();
    for (const auto& [key, value] : request.items()) {
        const bool tiles = key == "receivers" && op != "point_to_point";
        require(key == "op" || key == "sender" || key == "count" || tiles ||
                    (key == "receiver" && op == "point_to_point") || (key == "offset" && op == "multicast"),
                "an answered request has only the fields of its op");
    }
    if (op != "point_to_point" && op != "multicast" && op != "paired_multicast") {
        return 0;  // requests other than plans answer with numbers or errors of their own
    }
    require_library_answer(topology, request, response);
    return 0;
}
