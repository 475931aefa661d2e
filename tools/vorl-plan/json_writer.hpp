// Compact JSON spelt by hand, appended to a byte buffer: the one place that knows
// how the tool writes a row, a plan, an error, an offset limit and a refused
// request. The batch answers are these documents; the `--format json` documents
// are built from the same pieces.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

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

// A decimal number, of any integer type.
void unsigned_number(std::string& out, std::uint64_t value);
void signed_number(std::string& out, std::int64_t value);
template <std::integral T>
void number(std::string& out, T value) {
    if constexpr (std::is_signed_v<T>) {
        signed_number(out, value);
    } else {
        unsigned_number(out, value);
    }
}
// How many bytes from `text[at]` on form one whole UTF-8 sequence (RFC 3629: no
// overlong forms, surrogates or code points above U+10FFFF), or 0 if they do not;
// `valid_prefix` is then the lead byte and the continuation bytes that fitted.
[[nodiscard]] std::size_t utf8_sequence(std::string_view text, std::size_t at, std::size_t& valid_prefix);
// A quoted string. Text that is not UTF-8 (a file name may not be) gets U+FFFD
// for each broken sequence rather than ending the run.
void string(std::string& out, std::string_view text);
// [w0,w1,...,w8]
void row(std::string& out, const vorl_exchange::Row& words);
// The error's fixed display text and its debug form, as "err"/"display" and "debug" show them.
void error_text(std::string& out, const vorl_exchange::ExchangeError& error);
void error_debug(std::string& out, const vorl_exchange::ExchangeError& error);

// A document written as it is walked. An indented container puts each entry on a
// line of its own, two spaces deeper a level, and "key": value with a space; an
// inline one keeps its entries on one line without spaces. An empty container is
// {} or [] either way. The caller opens and closes containers in pairs.
class Document {
public:
    explicit Document(std::string& out) : out_{out} {}

    void indented_object() { open(Layout::Indented, '{', '}'); }
    void indented_array() { open(Layout::Indented, '[', ']'); }
    void inline_object() { open(Layout::Inline, '{', '}'); }
    void inline_array() { open(Layout::Inline, '[', ']'); }
    void close();

    // The name of the next entry of an object.
    Document& key(std::string_view name);
    template <std::integral T>
    void number(T value) {
        entry();
        json::number(out_, value);
    }
    void string(std::string_view text);
    void boolean(bool value);
    void null();
    void row(const vorl_exchange::Row& words);

private:
    enum class Layout : std::uint8_t { Indented, Inline };
    struct Level {
        Layout layout;
        char closing;
        bool empty = true;
    };

    void open(Layout layout, char opening, char closing);
    void entry();  // the separator and indentation before an entry
    void new_line(std::size_t depth);

    std::string& out_;
    std::vector<Level> levels_;
    bool after_key_ = false;
};

}  // namespace json

}  // namespace vorl_plan
