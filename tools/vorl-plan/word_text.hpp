// The text `vorl-plan disasm` prints, read back into words by `vorl-plan asm`, so
// that a row can be edited as text. Every line is read with the tables the line
// was printed with (`word_formats` and the role formats below): what one prints,
// the other reads, and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plan_view.hpp"
#include "timeline.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan.hpp"

namespace vorl_plan {

// How the words of a row that are not instructions read: the mark and the fill,
// fixed words named by their role alone, and the second word of a SENDPICP pair,
// named by the two controls it carries. None for an instruction or a stray word,
// which read as their family does.
[[nodiscard]] const vorl_exchange::WordFormat* role_format(WordRole role) noexcept;

// The word one line of disasm's text names, `place` naming the line in messages
// ("standard input line 4"). The line is a hex column, which is left out of the
// reading (so that a field edited by hand needs no new hex, and the column may be
// dropped), then one of
//   MNEMONIC name=value ...   every field of the family once, decimal or 0x hex
//   unknown 0xHHHHHHHH        a word of no family
//   stray: ...                a word out of its place in a row, read as above
//   mark | fill | payload name=value ...   a row's words by their role
// Throws UsageError naming the place and, where one is at fault, the field.
[[nodiscard]] std::uint32_t assemble_line(std::string_view line, std::string_view place);

// The words of a text, in groups as disasm printed them: a heading line
// ("line 3: receiver 2") opens a group that runs to the next heading; words
// before the first heading form a group without one.
struct TextGroup {
    std::size_t line = 0;  // of the heading, or of the first word of a group without one
    std::string heading;   // after "line N: ", e.g. "receiver 2"; empty for none
    std::vector<std::uint32_t> words;
};

// Reads disasm's text: headings, word lines, blank lines and `#` comments to
// the end of a line. Throws UsageError naming `source` and the line.
[[nodiscard]] std::vector<TextGroup> assemble_text(std::string_view text, std::string_view source);

// The words as `disasm -` reads them back: a group under a heading as a JSON
// array of decimal words on one line (a row), other words as hex, one a line.
[[nodiscard]] std::string word_listing(const std::vector<TextGroup>& groups);

// The rows of the plan `request` names, the sender's and then one per receiver:
// each group under a heading is one row of nine words, and a heading naming a
// role and tile as disasm names a plan document's rows ("receiver 2") must name
// the tile whose row stands there; words without a heading are taken nine at a
// time. Throws UsageError naming `source` and the line of a group at fault.
[[nodiscard]] std::vector<vorl_exchange::Row> plan_rows(const std::vector<TextGroup>& groups,
                                                        const PlanRequest& request, std::string_view source);

}  // namespace vorl_plan
