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

#include "named_topology.hpp"
#include "plan_view.hpp"
#include "render.hpp"

namespace vorl_plan {

struct PlanDocument {
    PlanView view;                      // the request the document names and its rows
    std::optional<std::string> table;   // "topology": {"file": ...}; none for tarn
    std::optional<std::size_t> tiles;   // "topology": {"tiles": ...}
    std::optional<std::string> failure;  // the display text of a failed plan, which has no rows
    bool offset_given = false;           // a multicast without "offset" is one at offset 0
    int format_version = json_format_version;  // as given; a document without one is read as the current version
};

// Throws UsageError naming `source` and the key at fault, for text that is not a
// plan document of a format version this tool reads.
[[nodiscard]] PlanDocument parse_plan_document(std::string_view text, std::string_view source);

// A plan document checked on the topology the run plans on.
struct DocumentCheck {
    PlanDocument document;
    vorl_exchange::PlanCheck check;          // the rows against the request the document names
    std::optional<std::string> difference;  // a member derived from the rows that they do not give

    [[nodiscard]] bool ok() const noexcept { return check.ok() && !difference; }
};

// Reads and checks a plan document, as `vorl-plan check FILE` does. Throws
// UsageError for text that is not a plan document, or one planned on a table that
// `topology` does not name again (a file not given with --topology, another
// number of tiles). The document of a failed plan comes back with its `failure`
// and no facts: it has no rows to check.
[[nodiscard]] DocumentCheck check_plan_document(std::string_view text, std::string_view source,
                                                const NamedTopology& topology);

// The first member of the plan document `text`, of format version
// `format_version`, that is not what `written`, this tool's own document for the
// same request and rows, holds: "\"timing\" is not what the rows give". Members
// derived from the rows (a row's "role", "physical" and "words", the "timing")
// may be left out, never changed; a member the format has no place for is a
// difference too. "topology" and "format_version" are checked on reading, and
// the "timing" of a version 1 document, which had another form, is not
// compared. None when every member agrees.
[[nodiscard]] std::optional<std::string> derived_difference(std::string_view text, int format_version,
                                                            std::string_view written);

}  // namespace vorl_plan
