// Strict reading of command-line values: plain decimal numbers that must fit their
// type (no sign, no spaces, no hex), tile lists and hexadecimal instruction words.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace vorl_plan {

// A command line the tool cannot run; the text is a one-line reason.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `name` is the argument's name in the usage, e.g. "COUNT".
[[nodiscard]] std::uint16_t parse_tile(std::string_view text, std::string_view name);
[[nodiscard]] std::uint32_t parse_u32(std::string_view text, std::string_view name);
// "2,1,736": comma-separated tiles; the empty text is the empty list.
[[nodiscard]] std::vector<std::uint16_t> parse_tile_list(std::string_view text, std::string_view name);
// "41800003" or "0x41800003": at most eight hexadecimal digits, never decimal.
[[nodiscard]] std::uint32_t parse_word(std::string_view text, std::string_view name);

// Whether a command-line argument is a negative number ("-1", "-0x5").
[[nodiscard]] bool looks_negative(std::string_view argument) noexcept;

}  // namespace vorl_plan
