#include "plan_document.hpp"

#include <limits>

#include <nlohmann/json.hpp>

#include "arguments.hpp"
#include "json_depth.hpp"
#include "render.hpp"

namespace vorl_plan {

namespace {

using nlohmann::json;

class Reader {
public:
    explicit Reader(std::string_view source) : source_{source} {}

    [[noreturn]] void refuse(const std::string& reason) const { throw UsageError{source_ + ": " + reason}; }

    const json& member(const json& object, const char* key, const std::string& where) const {
        const auto found = object.find(key);
        if (found == object.end()) {
            refuse(where + "\"" + key + "\" is missing");
        }
        return *found;
    }

    [[nodiscard]] std::uint64_t number(const json& value, std::uint64_t largest, const std::string& what) const {
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() > largest) {
            refuse(what + " " + value.dump().substr(0, 40) + " is not a number 0.." + std::to_string(largest));
        }
        return value.get<std::uint64_t>();
    }

    [[nodiscard]] std::uint16_t tile(const json& value, const std::string& what) const {
        return static_cast<std::uint16_t>(number(value, std::numeric_limits<std::uint16_t>::max(), what));
    }

    [[nodiscard]] vorl_exchange::Row row(const json& value, const std::string& what) const {
        if (!value.is_array() || value.size() != vorl_exchange::row_length) {
            refuse(what + " is not an array of " + std::to_string(vorl_exchange::row_length) + " words");
        }
        vorl_exchange::Row row{};
        for (std::size_t index = 0; index < row.size(); ++index) {
            row[index] = static_cast<std::uint32_t>(number(value[index], std::numeric_limits<std::uint32_t>::max(),
                                                           what + " entry " + std::to_string(index)));
        }
        return row;
    }

private:
    std::string source_;
};

ExchangeKind exchange_kind(const json& value, const Reader& reader) {
    for (const ExchangeKind kind :
         {ExchangeKind::PointToPoint, ExchangeKind::Multicast, ExchangeKind::PairedMulticast}) {
        if (value.is_string() && value.get<std::string>() == to_string(kind)) {
            return kind;
        }
    }
    reader.refuse("\"exchange\" " + value.dump().substr(0, 40) +
                  " is not point_to_point, multicast or paired_multicast");
}

}  // namespace

// One check per document field, in the order a reader meets them.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
PlanDocument parse_plan_document(std::string_view text, std::string_view source) {
    const Reader reader{source};
    // The documents nest five deep; refuse a deeper one before the parser builds it.
    constexpr int deepest_accepted = 8;
    JsonDepth depth;
    for (const char c : text) {
        if (depth.step(c) > deepest_accepted) {
            reader.refuse("JSON nested more than " + std::to_string(deepest_accepted) + " deep");
        }
    }
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        reader.refuse("not a plan document (a JSON object as --format json writes it)");
    }
    PlanDocument plan;
    if (const auto version = document.find("format_version"); version != document.end()) {
        if (!version->is_number_integer() || *version < oldest_read_format_version || *version > json_format_version) {
            reader.refuse("\"format_version\" " + version->dump().substr(0, 40) + " is not " +
                          std::to_string(oldest_read_format_version) + " to " + std::to_string(json_format_version) +
                          ", the versions this tool reads");
        }
        plan.format_version = version->get<int>();
    }
    if (document.contains("offset_limit")) {
        reader.refuse("an offset-limit document, which has no rows to check");
    }

    if (const auto topology = document.find("topology"); topology != document.end()) {
        if (!topology->is_object()) {
            reader.refuse("\"topology\" is not an object");
        }
        if (const auto file = topology->find("file"); file != topology->end()) {
            if (!file->is_string()) {
                reader.refuse("\"topology\" \"file\" is not a string");
            }
            plan.table = file->get<std::string>();
        }
        plan.tiles = reader.number(reader.member(*topology, "tiles", "\"topology\" "), 65536, "\"topology\" \"tiles\"");
    }

    PlanRequest& request = plan.view.request;
    request.kind = exchange_kind(reader.member(document, "exchange", ""), reader);
    request.sender = reader.tile(reader.member(document, "sender", ""), "\"sender\"");
    const json& receivers = reader.member(document, "receivers", "");
    if (!receivers.is_array()) {
        reader.refuse("\"receivers\" is not an array");
    }
    for (std::size_t index = 0; index < receivers.size(); ++index) {
        request.receivers.push_back(reader.tile(receivers[index], "\"receivers\" entry " + std::to_string(index)));
    }
    if (request.kind == ExchangeKind::PointToPoint && request.receivers.size() != 1) {
        reader.refuse("a point_to_point document names one receiver");
    }
    request.count = static_cast<std::uint32_t>(
        reader.number(reader.member(document, "count", ""), std::numeric_limits<std::uint32_t>::max(), "\"count\""));
    if (const auto offset = document.find("offset"); offset != document.end()) {
        plan.offset_given = true;
        request.offset =
            static_cast<std::uint32_t>(reader.number(*offset, std::numeric_limits<std::uint32_t>::max(), "\"offset\""));
    }

    if (const auto error = document.find("error"); error != document.end()) {
        const auto display = error->is_object() ? error->find("display") : error->end();
        plan.failure = display != error->end() && display->is_string() ? display->get<std::string>()
                                                                       : std::string{"(no display text)"};
        return plan;
    }
    const json& rows = reader.member(document, "rows", "");
    if (!rows.is_array() || rows.size() != request.receivers.size() + 1) {
        reader.refuse("\"rows\" is not an array of " + std::to_string(request.receivers.size() + 1) +
                      " rows, the sender's and one per receiver");
    }
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const std::string where = "\"rows\" entry " + std::to_string(index);
        // A row as the document writes it, {"role", "tile", "row", ...}, or a bare array of words.
        const json& entry = rows[index];
        const json* words = &entry;
        if (entry.is_object()) {
            if (const auto tile = entry.find("tile"); tile != entry.end()) {
                const std::uint16_t named = index == 0 ? request.sender : request.receivers[index - 1];
                if (reader.tile(*tile, where + " \"tile\"") != named) {
                    reader.refuse(where + " is the row of tile " + tile->dump() + ", not of " +
                                  (index == 0 ? "the sender " : "receiver ") + std::to_string(named));
                }
            }
            words = &reader.member(entry, "row", where + " ");
        }
        const auto row = reader.row(*words, entry.is_object() ? where + " \"row\"" : where);
        if (index == 0) {
            plan.view.sender_row = row;
        } else {
            plan.view.receiver_rows.push_back(row);
        }
    }
    return plan;
}

DocumentCheck check_plan_document(std::string_view text, std::string_view source, const NamedTopology& topology) {
    DocumentCheck checked{parse_plan_document(text, source), {}, std::nullopt};
    const PlanDocument& document = checked.document;
    if (document.failure) {
        return checked;
    }
    // A table read with --topology cannot be found again from the name a document
    // gives it (it may have been standard input), so it must be given again.
    if (document.table && !topology.file) {
        throw UsageError{std::string{source} + " was planned on the table \"" + *document.table +
                         "\"; give that table with --topology FILE"};
    }
    if (document.tiles && *document.tiles != topology.topology.tile_count()) {
        throw UsageError{std::string{source} + " was planned on " + std::to_string(*document.tiles) +
                         " tiles, but the check runs on " + describe(topology)};
    }
    checked.check = check_plan(topology.topology, document.view);
    if (checked.check.ok()) {
        checked.difference = derived_difference(text, document.format_version, render_json(topology, document.view));
    }
    return checked;
}

std::optional<std::string> derived_difference(std::string_view text, int format_version, std::string_view written) {
    const json given = json::parse(text, nullptr, false);
    const json ours = json::parse(written, nullptr, false);
    const auto differs = [](const json& object, const json& reference, const std::string& where,
                            std::initializer_list<std::string_view> skipped) -> std::optional<std::string> {
        for (const auto& [key, value] : object.items()) {
            if (std::ranges::find(skipped, key) != skipped.end()) {
                continue;
            }
            const auto found = reference.find(key);
            if (found == reference.end()) {
                return std::string{where}.append("\"").append(key).append("\" has no place in this plan document");
            }
            if (key != "rows" && value != *found) {
                return std::string{where}.append("\"").append(key).append("\" is not what the rows give");
            }
        }
        return std::nullopt;
    };
    if (!given.is_object() || !ours.is_object()) {
        return "not a plan document";
    }
    const auto checked_on_reading = {std::string_view{"topology"}, std::string_view{"format_version"}};
    const auto with_older_timing = {std::string_view{"topology"}, std::string_view{"format_version"},
                                    std::string_view{"timing"}};
    if (auto difference =
            differs(given, ours, "", format_version == json_format_version ? checked_on_reading : with_older_timing)) {
        return difference;
    }
    const json& rows = given.at("rows");
    for (std::size_t index = 0; index < rows.size() && index < ours.at("rows").size(); ++index) {
        if (rows[index].is_object()) {
            if (auto difference = differs(rows[index], ours.at("rows")[index],
                                          "\"rows\" entry " + std::to_string(index + 1) + " ", {})) {
                return difference;
            }
        }
    }
    return std::nullopt;
}

}  // namespace vorl_plan
