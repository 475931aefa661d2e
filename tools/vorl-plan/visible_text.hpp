// Text from outside the tool (arguments, file names, file contents) shown in a
// message so that every byte of it can be seen: a terminal must not swallow,
// reorder or act on part of a diagnostic.
#pragma once

#include <string>
#include <string_view>

namespace vorl_plan {

// `text` with control bytes written \xNN, bytes that are not UTF-8 written \xNN,
// and invisible or direction-changing characters (byte-order mark, zero-width
// and bidirectional marks, soft hyphen, no-break and other odd spaces) written
// \u{NNNN}. Printable UTF-8 passes unchanged.
[[nodiscard]] std::string visible(std::string_view text);

}  // namespace vorl_plan
