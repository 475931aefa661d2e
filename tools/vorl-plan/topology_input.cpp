#include "topology_input.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "arguments.hpp"
#include "vorl_exchange/topology_error.hpp"

namespace vorl_plan {

namespace {

// One entry more than a table may hold is enough for the refusal to name it.
constexpr std::size_t most_entries_read = vorl_exchange::maximum_topology_tiles + 1;
constexpr auto largest_number = std::numeric_limits<std::uint16_t>::max();

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && is_space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::uint16_t> parse_lines(std::string_view text, std::string_view source) {
    if (text.ends_with('\n')) {
        text.remove_suffix(1);  // a final line break ends the last line, it does not start another
    }
    std::vector<std::uint16_t> table;
    while (table.size() < most_entries_read) {
        const std::size_t newline = text.find('\n');
        const std::string name = "--topology " + std::string{source} + " line " + std::to_string(table.size() + 1) +
                                 " (entry " + std::to_string(table.size()) + ")";
        table.push_back(parse_tile(trimmed(text.substr(0, newline)), name));
        if (newline == std::string_view::npos) {
            break;
        }
        text.remove_prefix(newline + 1);
    }
    return table;
}

// Reads a flat JSON array of numbers as the parser meets them, without building
// a document: the first value that is not an identifier stops the parse, and so
// does the entry past the largest table. A depth of nested arrays costs nothing.
class TableReader {
public:
    using json = nlohmann::json;

    std::vector<std::uint16_t> table;
    std::string bad_entry;                   // why an entry is refused, if one is
    std::optional<std::size_t> invalid_at;  // where the text stops being JSON, in bytes, if it does

    bool null() { return refuse("is null, not a number"); }
    bool boolean(bool /*value*/) { return refuse("is a boolean, not a number"); }
    // Non-negative integers arrive as unsigned ones.
    bool number_integer(json::number_integer_t /*value*/) { return refuse("is negative; expected"); }
    bool number_unsigned(json::number_unsigned_t value) {
        if (value > largest_number) {
            return refuse("is outside");
        }
        table.push_back(static_cast<std::uint16_t>(value));
        return table.size() < most_entries_read;
    }
    bool number_float(json::number_float_t value, const json::string_t& /*text*/) {
        // Integers too long for 64 bits arrive here as well.
        return refuse(value < 0                ? "is negative; expected"
                      : value > largest_number ? "is outside"
                                               : "is not an integer within");
    }
    bool string(json::string_t& /*value*/) { return refuse("is a string, not a number"); }
    bool binary(json::binary_t& /*value*/) { return refuse("is binary data, not a number"); }
    bool start_object(std::size_t /*elements*/) { return refuse("is an object, not a number"); }
    // Members, not static: the SAX interface calls them on the handler.
    bool key(json::string_t& /*key*/) { return false; }  // NOLINT(readability-convert-member-functions-to-static)
    bool end_object() { return false; }                  // NOLINT(readability-convert-member-functions-to-static)
    bool start_array(std::size_t /*elements*/) { return ++depth_ == 1 || refuse("is an array, not a number"); }
    bool end_array() {
        --depth_;
        return true;
    }
    bool parse_error(std::size_t position, const std::string& /*token*/, const nlohmann::detail::exception& /*error*/) {
        invalid_at = position;
        return false;
    }

private:
    bool refuse(std::string_view what) {
        bad_entry =
            "entry " + std::to_string(table.size()) + " " + std::string{what} + " 0.." + std::to_string(largest_number);
        return false;
    }

    int depth_ = 0;
};

std::vector<std::uint16_t> parse_json(std::string_view text, std::string_view source) {
    TableReader reader;
    nlohmann::json::sax_parse(text, &reader);
    const std::string place = "--topology " + std::string{source};
    if (!reader.bad_entry.empty()) {
        throw UsageError{place + " " + reader.bad_entry};
    }
    if (reader.invalid_at) {
        const auto before = text.substr(0, std::min(*reader.invalid_at, text.size()));
        const auto line = 1 + static_cast<std::size_t>(std::ranges::count(before, '\n'));
        throw UsageError{place + " line " + std::to_string(line) + ": not valid JSON"};
    }
    return std::move(reader.table);
}

}  // namespace

std::string read_topology_text(InputFile& file) {
    std::string text;
    std::array<char, 1 << 16> chunk{};
    for (std::streamsize got; (got = file.reader().sgetn(chunk.data(), chunk.size())) > 0;) {
        text.append(chunk.data(), static_cast<std::size_t>(got));
        if (text.size() > longest_topology_text) {
            throw UsageError{"--topology " + file.name() + " is longer than " +
                             std::to_string(longest_topology_text >> 20) + " MiB, more than any table needs"};
        }
    }
    file.check_read();
    return text;
}

std::vector<std::uint16_t> parse_topology_text(std::string_view text, std::string_view source) {
    // Editors on some systems begin a UTF-8 file with a byte-order mark; it says
    // nothing about the table, so it is read as if it were not there.
    constexpr std::string_view byte_order_mark = "\xef\xbb\xbf";
    if (text.starts_with(byte_order_mark)) {
        text.remove_prefix(byte_order_mark.size());
    }
    const std::string_view content = trimmed(text);
    auto table = content.starts_with('[') ? parse_json(text, source)
                 : content.empty()        ? std::vector<std::uint16_t>{}
                                          : parse_lines(text, source);
    if (table.empty()) {
        throw UsageError{"--topology " + std::string{source} + " holds no tiles"};
    }
    return table;
}

}  // namespace vorl_plan
