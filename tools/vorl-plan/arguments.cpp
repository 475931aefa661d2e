#include "arguments.hpp"

#include <charconv>
#include <limits>
#include <string>

namespace vorl_plan {

namespace {

// The argument as given, shortened so that a reason stays on one line.
std::string quoted(std::string_view text) {
    constexpr std::size_t longest = 40;
    if (text.size() > longest) {
        return "\"" + std::string{text.substr(0, longest)} + "...\" (" + std::to_string(text.size()) + " characters)";
    }
    return "\"" + std::string{text} + "\"";
}

template <class T>
T parse_unsigned(std::string_view text, std::string_view name) {
    const std::string range = "0.." + std::to_string(std::numeric_limits<T>::max());
    if (text.empty()) {
        throw UsageError{std::string{name} + " is empty; expected a number " + range};
    }
    if (looks_negative(text)) {
        throw UsageError{std::string{name} + " " + quoted(text) + " is negative; expected " + range};
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool digits_only = end == text.data() + text.size();
    if (error == std::errc::result_out_of_range && digits_only) {
        throw UsageError{std::string{name} + " " + quoted(text) + " is outside " + range};
    }
    if (error != std::errc{} || !digits_only) {
        throw UsageError{std::string{name} + " " + quoted(text) + " is not a decimal number " + range};
    }
    if (value > std::numeric_limits<T>::max()) {
        throw UsageError{std::string{name} + " " + quoted(text) + " is outside " + range};
    }
    return static_cast<T>(value);
}

}  // namespace

bool looks_negative(std::string_view argument) noexcept {
    return argument.size() >= 2 && argument[0] == '-' && argument[1] >= '0' && argument[1] <= '9';
}

std::uint16_t parse_tile(std::string_view text, std::string_view name) {
    return parse_unsigned<std::uint16_t>(text, name);
}

std::uint32_t parse_u32(std::string_view text, std::string_view name) {
    return parse_unsigned<std::uint32_t>(text, name);
}

std::vector<std::uint16_t> parse_tile_list(std::string_view text, std::string_view name) {
    std::vector<std::uint16_t> tiles;
    if (text.empty()) {
        return tiles;
    }
    std::size_t position = 0;
    while (true) {
        const std::size_t comma = text.find(',', position);
        const std::string entry_name = std::string{name} + " entry " + std::to_string(tiles.size());
        tiles.push_back(parse_tile(text.substr(position, comma - position), entry_name));
        if (comma == std::string_view::npos) {
            return tiles;
        }
        position = comma + 1;
    }
}

std::uint32_t parse_word(std::string_view text, std::string_view name) {
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    const bool hex_only = !digits.empty() && end == digits.data() + digits.size();
    if (!hex_only || (error != std::errc{} && error != std::errc::result_out_of_range)) {
        throw UsageError{std::string{name} + " " + quoted(text) + " is not a hexadecimal word"};
    }
    if (error == std::errc::result_out_of_range || value > std::numeric_limits<std::uint32_t>::max()) {
        // Most often a decimal word copied from JSON output: say where those go.
        const bool decimal =
            digits.size() == text.size() && digits.find_first_not_of("0123456789") == std::string_view::npos;
        throw UsageError{std::string{name} + " " + quoted(text) + " does not fit 32 bits as hexadecimal" +
                         (decimal ? "; decimal words are read from JSON arrays, e.g. echo '[" + std::string{text} +
                                        "]' | vorl-plan disasm -"
                                  : std::string{})};
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace vorl_plan
