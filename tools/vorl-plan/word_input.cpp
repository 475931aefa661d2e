#include "word_input.hpp"

#include <algorithm>
#include <limits>

#include <nlohmann/json.hpp>

#include "arguments.hpp"
#include "json_depth.hpp"

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

void append_row(const nlohmann::ordered_json& row, const std::string& place, std::vector<std::uint32_t>& words) {
    for (std::size_t index = 0; index < row.size(); ++index) {
        const auto& value = row[index];
        if (!value.is_number_unsigned() || value.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max()) {
            throw UsageError{place + ": array entry " + std::to_string(index + 1) + " " + value.dump().substr(0, 40) +
                             " is not a decimal word 0..4294967295"};
        }
        words.push_back(value.get<std::uint32_t>());
    }
}

bool is_row(const nlohmann::ordered_json& value) {
    return value.is_array() && std::ranges::all_of(value, [](const auto& entry) { return entry.is_number(); });
}

void append_rows_of(const nlohmann::ordered_json& value, const std::string& place, std::vector<std::uint32_t>& words) {
    if (value.is_array()) {
        if (is_row(value)) {
            append_row(value, place, words);
            return;
        }
        for (const auto& entry : value) {
            if (!entry.is_array() && !entry.is_object()) {
                throw UsageError{place + ": " + entry.dump().substr(0, 40) + " is neither a word nor a row"};
            }
            append_rows_of(entry, place, words);
        }
        return;
    }
    for (const auto& [key, entry] : value.items()) {
        if ((key == "row" || key == "sender" || key == "receiver") && entry.is_array()) {
            append_row(entry, place, words);
        } else if (key == "receivers" && entry.is_array() && !is_row(entry)) {
            append_rows_of(entry, place, words);
        } else if (key == "ok" || key == "rows" || entry.is_object()) {
            if (entry.is_structured()) {
                append_rows_of(entry, place, words);
            }
        }
    }
}

}  // namespace

std::vector<std::uint16_t> parse_tile_text(std::string_view text, std::string_view source) {
    std::vector<std::uint16_t> tiles;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
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
                                                                      " entry " + std::to_string(tiles.size() + 1)));
            after_comma = false;
            at = end;
        }
    }
    return tiles;
}

std::vector<std::uint32_t> parse_word_text(std::string_view text, std::string_view source) {
    std::vector<std::uint32_t> words;
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
            append_rows_of(value, place, words);
            line_number += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(at),
                                                               text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
            at = end;
        } else {
            std::size_t end = at;
            while (end < text.size() && !is_space(text[end]) && text[end] != '\n' && text[end] != ',') {
                ++end;
            }
            words.push_back(parse_word(text.substr(at, end - at), where(source, line_number) + ": WORD"));
            at = end;
        }
    }
    return words;
}

}  // namespace vorl_plan
