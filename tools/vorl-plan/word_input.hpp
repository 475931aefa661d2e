// Values read from files and standard input rather than from the command line:
// receiver lists (`@FILE`, `--receivers-from FILE`) and the words of `disasm -`.
// A bad entry is refused with its line, never skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorl_plan {

// Tiles separated by commas, spaces or line breaks, decimal as on the command
// line; `source` names the input in messages. Throws UsageError.
[[nodiscard]] std::vector<std::uint16_t> parse_tile_text(std::string_view text, std::string_view source);

// The words of `disasm -`: hexadecimal tokens as on the command line, and JSON
// arrays of decimal numbers (a row as the tool prints it). A JSON object gives
// the rows it carries: the arrays under "row", "sender" and "receiver", and each
// array inside an array under "receivers", so that a batch answer or a
// `--format json` document can be piped in as it is. Throws UsageError.
[[nodiscard]] std::vector<std::uint32_t> parse_word_text(std::string_view text, std::string_view source);

}  // namespace vorl_plan
