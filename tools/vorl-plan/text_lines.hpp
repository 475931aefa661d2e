// Reading the tool's line-based inputs (word text, tile lists) a line at a time.
#pragma once

#include <cstddef>
#include <string_view>

namespace vorl_plan {

// Takes the first line off `text` and returns it without its line break; what
// follows the break stays in `text` for the next call, so that
// `while (!text.empty())` visits every line and no empty one after a final break.
[[nodiscard]] inline std::string_view take_line(std::string_view& text) noexcept {
    const std::size_t newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    return line;
}

}  // namespace vorl_plan
