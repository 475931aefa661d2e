#include "batch.hpp"

#include <algorithm>
#include <cstdint>
#include <istream>
#include <ostream>
#include <limits>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_depth.hpp"

namespace vorl_plan {

namespace {

using nlohmann::ordered_json;
using vorl_exchange::ExchangeError;
using vorl_exchange::MulticastPlan;
using vorl_exchange::Plan;
using vorl_exchange::Result;
using vorl_exchange::Row;

// A request field that is missing or does not fit its type.
struct BadRequest {
    std::string why;
};

// Why a JSON value is not an unsigned number of at most `maximum`, or empty if it is one.
std::string number_problem(const nlohmann::json& value, std::uint64_t maximum) {
    const std::string range = "0.." + std::to_string(maximum);
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() > maximum ? "is outside " + range : std::string{};
    }
    if (value.is_number_integer()) {
        return "is negative; expected " + range;
    }
    if (value.is_number_float()) {
        // Integers too long for 64 bits arrive here as well.
        const double number = value.get<double>();
        if (number < 0) {
            return "is negative; expected " + range;
        }
        return number > static_cast<double>(maximum) ? "is outside " + range : "is not an integer within " + range;
    }
    return std::string{"is a "} + value.type_name() + ", not a number " + range;
}

template <class T>
T unsigned_value(const char* name, const nlohmann::json::const_iterator& found) {
    if (const std::string problem = number_problem(*found, std::numeric_limits<T>::max()); !problem.empty()) {
        throw BadRequest{std::string{"field \""} + name + "\" " + problem};
    }
    return static_cast<T>(found->get<std::uint64_t>());
}

template <class T>
T unsigned_field(const nlohmann::json& request, const char* name) {
    const auto found = request.find(name);
    if (found == request.end()) {
        throw BadRequest{std::string{"missing field \""} + name + "\""};
    }
    return unsigned_value<T>(name, found);
}

// A field that may be left out, as the command line's options may.
template <class T>
T unsigned_field_or_zero(const nlohmann::json& request, const char* name) {
    const auto found = request.find(name);
    return found == request.end() ? T{0} : unsigned_value<T>(name, found);
}

std::vector<std::uint16_t> tile_list(const nlohmann::json& request, const char* name) {
    const auto found = request.find(name);
    if (found == request.end()) {
        throw BadRequest{std::string{"missing field \""} + name + "\""};
    }
    if (!found->is_array()) {
        throw BadRequest{std::string{"field \""} + name + "\" is not an array"};
    }
    std::vector<std::uint16_t> tiles;
    tiles.reserve(found->size());
    for (const auto& tile : *found) {
        if (const std::string problem = number_problem(tile, std::numeric_limits<std::uint16_t>::max());
            !problem.empty()) {
            throw BadRequest{std::string{"field \""} + name + "\" entry " + std::to_string(tiles.size() + 1) +
                             " " + problem};
        }
        tiles.push_back(static_cast<std::uint16_t>(tile.get<std::uint64_t>()));
    }
    return tiles;
}

// Parentheses, not braces: a braced json of an array is a list holding the array.
ordered_json row_json(const Row& row) { return ordered_json(row); }  // NOLINT(modernize-return-braced-init-list)

ordered_json error_json(const ExchangeError& error) {
    ordered_json response;
    response["err"] = std::string{error.display().view()};
    response["debug"] = error.debug();
    return response;
}

ordered_json response_json(const Result<Plan>& plan) {
    if (!plan) {
        return error_json(plan.error());
    }
    ordered_json body;
    body["sender"] = row_json(plan->sender);
    body["receiver"] = row_json(plan->receiver);
    ordered_json response;
    response["ok"] = std::move(body);
    return response;
}

ordered_json response_json(const Result<MulticastPlan>& plan) {
    if (!plan) {
        return error_json(plan.error());
    }
    ordered_json body;
    body["sender"] = row_json(plan->sender);
    body["receivers"] = ordered_json::array();
    for (const Row& row : plan->receivers) {
        body["receivers"].push_back(row_json(row));
    }
    ordered_json response;
    response["ok"] = std::move(body);
    return response;
}

ordered_json answer(const vorl_exchange::Topology& topology, const nlohmann::json& request) {
    if (!request.is_object()) {
        throw BadRequest{"request is not a JSON object"};
    }
    const auto op = request.find("op");
    if (op == request.end() || !op->is_string()) {
        throw BadRequest{"missing field \"op\""};
    }
    const auto& name = op->get_ref<const std::string&>();
    if (name == "point_to_point") {
        const auto sender = unsigned_field<std::uint16_t>(request, "sender");
        const auto receiver = unsigned_field<std::uint16_t>(request, "receiver");
        const auto count = unsigned_field<std::uint32_t>(request, "count");
        return response_json(topology.point_to_point(sender, receiver, count));
    }
    if (name == "multicast") {
        const auto sender = unsigned_field<std::uint16_t>(request, "sender");
        const auto receivers = tile_list(request, "receivers");
        const auto count = unsigned_field<std::uint32_t>(request, "count");
        const auto offset = unsigned_field_or_zero<std::uint32_t>(request, "offset");
        return response_json(topology.multicast(sender, receivers, count, offset));
    }
    if (name == "multicast_offset_limit") {
        const auto sender = unsigned_field<std::uint16_t>(request, "sender");
        const auto receivers = tile_list(request, "receivers");
        const auto count = unsigned_field<std::uint32_t>(request, "count");
        const auto limit = topology.multicast_offset_limit(sender, receivers, count);
        if (!limit) {
            return error_json(limit.error());
        }
        ordered_json response;
        response["ok"] = *limit;
        return response;
    }
    if (name == "paired_multicast") {
        const auto sender = unsigned_field<std::uint16_t>(request, "sender");
        const auto receivers = tile_list(request, "receivers");
        const auto count = unsigned_field<std::uint32_t>(request, "count");
        return response_json(topology.paired_multicast(sender, receivers, count));
    }
    constexpr std::size_t longest_echo = 40;
    throw BadRequest{"unknown op \"" + name.substr(0, longest_echo) + (name.size() > longest_echo ? "...\"" : "\"")};
}

std::string bad_request(std::string why) {
    ordered_json response;
    response["bad_request"] = std::move(why);
    return response.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Requests nest two levels deep; a deeper line is refused before parsing, so that
// a line of millions of brackets cannot build a value of millions of nodes.
bool nested_too_deep(std::string_view line) {
    constexpr int deepest = 8;
    JsonDepth depth;
    return std::ranges::any_of(line, [&](char c) { return depth.step(c) > deepest; });
}

// The answer to one line, and why the line was refused if it was.
struct Answer {
    std::string line;
    std::string refusal;
};

Answer answer_line(const vorl_exchange::Topology& topology, std::string_view line) {
    const auto refuse = [](const std::string& why) { return Answer{bad_request(why), why}; };
    if (nested_too_deep(line)) {
        return refuse("JSON nested too deeply for a request");
    }
    const auto request = nlohmann::json::parse(line, nullptr, false);
    if (request.is_discarded()) {
        return refuse("not valid JSON");
    }
    try {
        return {answer(topology, request).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), {}};
    } catch (const BadRequest& bad) {
        return refuse(bad.why);
    }
}

bool is_blank(std::string_view line) { return line.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos; }

}  // namespace

std::string answer_request(const vorl_exchange::Topology& topology, std::string_view line) {
    return answer_line(topology, line).line;
}

int run_batch(const vorl_exchange::Topology& topology, std::istream& in, std::ostream& out) {
    std::ostream discard{nullptr};
    return run_batch(topology, in, out, {"", discard});
}

int run_batch(const vorl_exchange::Topology& topology, std::istream& in, std::ostream& out, LineNotes notes) {
    std::size_t number = 0;
    for (std::string line; out && std::getline(in, line);) {
        ++number;
        if (is_blank(line)) {
            continue;
        }
        const Answer answer = answer_line(topology, line);
        out << answer.line << '\n';
        if (!answer.refusal.empty()) {
            notes.out << "vorl-plan: " << notes.source << ":" << number << ": " << answer.refusal << '\n';
        }
        // Flush before waiting for more input, so that a program talking to us
        // line by line sees each answer, without flushing after every line of a file.
        if (in.rdbuf()->in_avail() <= 0) {
            out.flush();
        }
    }
    out.flush();
    return 0;
}

}  // namespace vorl_plan
