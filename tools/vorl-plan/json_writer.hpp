// Compact JSON spelt by hand, appended to a byte buffer: the one place that knows
// how the tool writes a row, a plan, an error, an offset limit and a refused
// request. The batch answers are these documents; the `--format json` documents
// are built from the same pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"

namespace vorl_plan {

// The batch answers, each one line without its newline, appended to `out`:
// {"ok":{"sender":ROW,"receiver":ROW}}, {"ok":{"sender":ROW,"receivers":[ROW,...]}},
// {"ok":N}, {"err":TEXT,"debug":FORM} and {"bad_request":WHY}.
void write_answer(std::string& out, const vorl_exchange::Result<vorl_exchange::Plan>& plan);
void write_answer(std::string& out, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan);
void write_answer(std::string& out, const vorl_exchange::Result<std::uint32_t>& offset_limit);
void write_bad_request(std::string& out, std::string_view why);

// The pieces, for documents laid out by their callers.
namespace json {

// A decimal number.
void number(std::string& out, std::uint64_t value);
// How many bytes from `text[at]` on form one whole UTF-8 sequence (RFC 3629: no
// overlong forms, surrogates or code points above U+10FFFF), or 0 if they do not;
// `examined` is then the lead byte and the continuation bytes that fitted.
[[nodiscard]] std::size_t utf8_sequence(std::string_view text, std::size_t at, std::size_t& examined);
// A quoted string. Text that is not UTF-8 (a file name may not be) gets U+FFFD
// for each broken sequence rather than ending the run.
void string(std::string& out, std::string_view text);
// [w0,w1,...,w8]
void row(std::string& out, const vorl_exchange::Row& row);
// The error's fixed display text and its debug form, as "err"/"display" and "debug" show them.
void error_text(std::string& out, const vorl_exchange::ExchangeError& error);
void error_debug(std::string& out, const vorl_exchange::ExchangeError& error);

}  // namespace json

}  // namespace vorl_plan
