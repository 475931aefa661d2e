#include "word_input.hpp"

#include <algorithm>
#include <limits>

#include <nlohmann/json.hpp>

#include "arguments.hpp"
#include "json_depth.hpp"
#include "text_lines.hpp"
#include "visible_text.hpp"

namespace vorl_plan {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string where(std::string_view source, std::size_t line) {
    return std::string{source} + " line " + std::to_string(line);
}

// The JSON value that starts with the bracket at `begin`: where it ends (the
// whole rest if it never closes; the parser then says so) and how deeply it
// nests, so that a value nested a million deep is refused before it is parsed.
struct JsonExtent {
    std::size_t end = 0;
    int deepest = 0;
};

JsonExtent json_extent(std::string_view text, std::size_t begin) {
    JsonExtent extent{text.size(), 0};
    JsonDepth depth;
    int previous = 0;
    for (std::size_t at = begin; at < text.size(); ++at) {
        const int current = depth.step(text[at]);
        extent.deepest = std::max(extent.deepest, current);
        if (previous == 1 && current == 0) {
            extent.end = at + 1;
            break;
        }
        previous = current;
    }
    return extent;
}

// Where a JSON value starts: "line 3" in headings, "standard input line 3" in messages.
struct Place {
    std::string_view source;
    std::string line;

    [[nodiscard]] std::string in_message() const { return std::string{source} + " " + line; }
};

std::vector<std::uint32_t> row_words(const nlohmann::ordered_json& row, const Place& place) {
    std::vector<std::uint32_t> words;
    for (std::size_t index = 0; index < row.size(); ++index) {
        const auto& value = row[index];
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max()) {
            throw UsageError{place.in_message() + ": array entry " + std::to_string(index) + " " +
                             value.dump().substr(0, 40) + " is not a decimal word 0..4294967295"};
        }
        words.push_back(value.get<std::uint32_t>());
    }
    return words;
}

bool is_row(const nlohmann::ordered_json& value) {
    return value.is_array() && std::ranges::all_of(value, [](const auto& entry) { return entry.is_number(); });
}

void add_row(const nlohmann::ordered_json& row, const Place& place, const std::string& name,
             std::vector<WordGroup>& groups) {
    groups.push_back({WordGroup::Kind::Row, place.line + ": " + name, row_words(row, place)});
}

// A plan document's row carries its role and tile: "sender 0".
std::string lane_name(const nlohmann::ordered_json& lane) {
    const auto role = lane.find("role");
    const auto tile = lane.find("tile");
    if (role == lane.end() || !role->is_string()) {
        return "row";
    }
    return visible(role->get<std::string>()) + (tile != lane.end() && tile->is_number() ? " " + tile->dump() : "");
}

// NOLINTNEXTLINE(readability-function-cognitive-complexity): one case per JSON shape a listing may be fed
void append_rows_of(const nlohmann::ordered_json& value, const Place& place, const std::string& path,
                    std::vector<WordGroup>& groups) {
    const auto inside = [&](const std::string& key) { return path.empty() ? key : path + "." + key; };
    if (value.is_array()) {
        if (is_row(value)) {
            add_row(value, place, path.starts_with("[") || path.empty() ? "row" + path : path, groups);
            return;
        }
        for (std::size_t index = 0; index < value.size(); ++index) {
            const auto& entry = value[index];
            if (!entry.is_array() && !entry.is_object()) {
                throw UsageError{place.in_message() + ": " + entry.dump().substr(0, 40) +
                                 " is neither a word nor a row"};
            }
            append_rows_of(entry, place, path + "[" + std::to_string(index) + "]", groups);
        }
        return;
    }
    for (const auto& [key, entry] : value.items()) {
        if (key == "row" && entry.is_array()) {
            add_row(entry, place, lane_name(value), groups);
        } else if ((key == "sender" || key == "receiver") && entry.is_array()) {
            add_row(entry, place, inside(key), groups);
        } else if (key == "receivers" && entry.is_array() && !is_row(entry)) {
            append_rows_of(entry, place, inside(key), groups);
        } else if (key == "rows" && entry.is_array()) {
            for (const auto& lane : entry) {
                if (lane.is_object()) {
                    append_rows_of(lane, place, "", groups);
                }
            }
        } else if (key == "ok" || entry.is_object()) {
            if (entry.is_structured()) {
                append_rows_of(entry, place, inside(key), groups);
            }
        }
    }
}

// What a document without rows holds, in a few words: the error of a failed
// plan or batch answer, the refusal of a request, an offset limit.
std::string without_rows(const nlohmann::ordered_json& value) {
    constexpr std::size_t longest = 80;
    const auto text = [](const nlohmann::ordered_json& entry) {
        const std::string shown = entry.is_string()
                                      ? entry.get<std::string>()
                                      : entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return visible(shown.size() > longest ? shown.substr(0, longest) + "..." : shown);
    };
    if (value.is_object()) {
        for (const char* key : {"err", "bad_request"}) {
            if (const auto found = value.find(key); found != value.end()) {
                return std::string{" ("} + key + ": " + text(*found) + ")";
            }
        }
        if (const auto error = value.find("error");
            error != value.end() && error->is_object() && error->contains("display")) {
            return " (error: " + text((*error)["display"]) + ")";
        }
        for (const char* key : {"ok", "offset_limit"}) {
            if (const auto found = value.find(key); found != value.end() && found->is_number()) {
                return " (offset limit " + text(*found) + ")";
            }
        }
    }
    return "";
}

}  // namespace

std::vector<std::uint16_t> parse_tile_text(std::string_view text, std::string_view source) {
    std::vector<std::uint16_t> tiles;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        std::string_view line = take_line(text);
        // Commas and spaces both separate; an entry left empty between two
        // commas is refused as on the command line, a comma ending a line is not.
        bool after_comma = false;
        std::size_t at = 0;
        while (at < line.size()) {
            if (is_space(line[at])) {
                ++at;
                continue;
            }
            if (line[at] == ',') {
                if (after_comma || tiles.empty()) {
                    throw UsageError{"RECEIVERS " + where(source, line_number) + ": empty entry"};
                }
                after_comma = true;
                ++at;
                continue;
            }
            const std::size_t end = std::min(line.find_first_of(", \t\r\v\f", at), line.size());
            tiles.push_back(parse_tile(line.substr(at, end - at), "RECEIVERS " + where(source, line_number) +
                                                                      " entry " + std::to_string(tiles.size())));
            after_comma = false;
            at = end;
        }
    }
    return tiles;
}

std::vector<WordGroup> parse_word_text(std::string_view text, std::string_view source) {
    std::vector<WordGroup> groups;
    const auto loose = [&]() -> std::vector<std::uint32_t>& {
        if (groups.empty() || groups.back().kind != WordGroup::Kind::Words) {
            groups.push_back({WordGroup::Kind::Words, "", {}});
        }
        return groups.back().words;
    };
    std::size_t line_number = 1;
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '\n') {
            ++line_number;
            ++at;
        } else if (is_space(c) || c == ',') {
            ++at;
        } else if (c == '[' || c == '{') {
            const auto [end, deepest] = json_extent(text, at);
            const std::string place = where(source, line_number);
            // The tool's own documents nest five deep.
            constexpr int deepest_accepted = 8;
            if (deepest > deepest_accepted) {
                throw UsageError{place + ": JSON nested more than " + std::to_string(deepest_accepted) + " deep"};
            }
            const auto value = nlohmann::ordered_json::parse(text.substr(at, end - at), nullptr, false);
            if (value.is_discarded()) {
                throw UsageError{place + ": not valid JSON"};
            }
            const std::size_t before = groups.size();
            const Place value_place{source, "line " + std::to_string(line_number)};
            append_rows_of(value, value_place, "", groups);
            if (groups.size() == before) {
                groups.push_back({WordGroup::Kind::NoRows, value_place.line + ": no rows" + without_rows(value), {}});
            }
            line_number += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(at),
                                                               text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
            at = end;
        } else {
            std::size_t end = at;
            while (end < text.size() && !is_space(text[end]) && text[end] != '\n' && text[end] != ',') {
                ++end;
            }
            loose().push_back(parse_word(text.substr(at, end - at), where(source, line_number) + ": WORD"));
            at = end;
        }
    }
    return groups;
}

}  // namespace vorl_plan
