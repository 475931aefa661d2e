// A plan document as `--format json` writes it, read back so that `vorl-plan
// check FILE` can check rows that were produced or edited elsewhere. Only the
// request and each row's "row" array are read; the decoded words and the
// timing the document carries are derived again from the rows, never trusted.
// "exchange", "sender", "receivers", "count" and "rows" are required; the
// rest ("format_version", "topology", "offset", a row's "tile") is checked when
// present, so that a document written by hand may leave it out, and a row may
// be a bare array of nine words.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "plan_view.hpp"

namespace vorl_plan {

struct PlanDocument {
    PlanView view;                      // the request the document names and its rows
    std::optional<std::string> table;   // "topology": {"file": ...}; none for tarn
    std::optional<std::size_t> tiles;   // "topology": {"tiles": ...}
    std::optional<std::string> failure;  // the display text of a failed plan, which has no rows
};

// Throws UsageError naming `source` and the key at fault, for text that is not a
// plan document of this tool's format version.
[[nodiscard]] PlanDocument parse_plan_document(std::string_view text, std::string_view source);

}  // namespace vorl_plan
