#include "batch.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

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

template <class T>
T unsigned_field(const nlohmann::json& request, const char* name) {
    const auto found = request.find(name);
    if (found == request.end()) {
        throw BadRequest{std::string{"missing field \""} + name + "\""};
    }
    if (!found->is_number_unsigned()) {
        throw BadRequest{std::string{"field \""} + name + "\" is not a non-negative integer"};
    }
    const auto value = found->get<std::uint64_t>();
    if (value > std::numeric_limits<T>::max()) {
        throw BadRequest{std::string{"field \""} + name + "\" is out of range 0.." +
                         std::to_string(std::numeric_limits<T>::max())};
    }
    return static_cast<T>(value);
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
        if (!tile.is_number_unsigned() || tile.get<std::uint64_t>() > std::numeric_limits<std::uint16_t>::max()) {
            throw BadRequest{std::string{"field \""} + name + "\" holds a value that is not a tile 0..65535"};
        }
        tiles.push_back(static_cast<std::uint16_t>(tile.get<std::uint64_t>()));
    }
    return tiles;
}

ordered_json row_json(const Row& row) { return ordered_json(row); }

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
        const auto offset = unsigned_field<std::uint32_t>(request, "offset");
        return response_json(topology.multicast(sender, receivers, count, offset));
    }
    if (name == "paired_multicast") {
        const auto sender = unsigned_field<std::uint16_t>(request, "sender");
        const auto receivers = tile_list(request, "receivers");
        const auto count = unsigned_field<std::uint32_t>(request, "count");
        return response_json(topology.paired_multicast(sender, receivers, count));
    }
    throw BadRequest{"unknown op \"" + name + "\""};
}

std::string bad_request(std::string why) {
    ordered_json response;
    response["bad_request"] = std::move(why);
    return response.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string answer_request(const vorl_exchange::Topology& topology, std::string_view line) {
    const auto request = nlohmann::json::parse(line, nullptr, false);
    if (request.is_discarded()) {
        return bad_request("not valid JSON");
    }
    try {
        return answer(topology, request).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    } catch (const BadRequest& bad) {
        return bad_request(bad.why);
    }
}

}  // namespace vorl_plan
