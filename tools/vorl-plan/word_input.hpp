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

// What `disasm -` reads, in input order: hexadecimal tokens as on the command
// line, rows of JSON documents, and documents that hold no row.
struct WordGroup {
    enum class Kind : std::uint8_t {
        Words,   // hexadecimal tokens: words without a row around them
        Row,     // one row of a JSON document, named by `heading`
        NoRows,  // a JSON document without rows; `heading` says what it holds
    };
    Kind kind = Kind::Words;
    std::string heading;  // "line 1: sender 0", "line 3: no rows (err: ...)"; empty for Words
    std::vector<std::uint32_t> words;
};

// The words of `disasm -`: hexadecimal tokens, and JSON values. A JSON array of
// decimal numbers is a row; a JSON object gives the rows it carries: a plan
// document's rows (named by role and tile), the arrays under "row", "sender"
// and "receiver" and each array under "receivers" (named by their place in a
// batch answer, "ok.receivers[1]"), so that a batch answer or a `--format json`
// document can be piped in as it is. An object with no row is one NoRows group,
// so that a listing of batch answers keeps one heading per answer. Headings
// start with the line of `source` where the value starts. Throws UsageError.
[[nodiscard]] std::vector<WordGroup> parse_word_text(std::string_view text, std::string_view source);

}  // namespace vorl_plan
