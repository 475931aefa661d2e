#include "json_writer.hpp"

#include <array>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <utility>

namespace vorl_plan {

namespace json {

namespace {

using vorl_exchange::Row;
using vorl_exchange::row_length;

constexpr std::size_t longest_u64 = 20;
constexpr std::size_t longest_row = 2 + row_length * 11;  // brackets, ten digits and a comma a word

// Appends up to `longest` bytes that `fill` writes from a pointer and returns the end of.
template <class Fill>
void append(std::string& out, std::size_t longest, Fill fill) {
    const std::size_t at = out.size();
    out.resize_and_overwrite(at + longest, [&](char* data, [[maybe_unused]] std::size_t room) {
        const auto written = static_cast<std::size_t>(fill(data + at) - data);
        // A bound too small for the longest text would have written past the
        // room the string made; the debug build stops here rather than go on.
        assert(written <= room);
        return written;
    });
}

template <std::size_t size>
char* put(char* at, const char (&text)[size]) {
    std::memcpy(at, text, size - 1);
    return at + size - 1;
}

// The decimal text of recently written words, by a hash of the word. A plan's
// rows repeat a few words (the opening and closing words, zero padding, common
// delays) so often that 256 words make five in six of all the words written,
// and copying their text costs a fraction of formatting it: over the batch
// benchmark's requests, 600 fewer instructions a line (3,780 instead of 4,390).
// One table a thread, as the writers are free functions.
struct WordText {
    std::uint32_t word = 0;
    std::uint32_t length = 1;
    std::array<char, 12> text{'0'};
};
thread_local std::array<WordText, 256> recent_words;

// Needs room for ten bytes at `at`, whatever the word's length.
char* put_word(char* at, std::uint32_t word) {
    WordText& recent = recent_words[(word * 2654435761u) >> 24];
    if (recent.word != word) {
        recent.word = word;
        recent.length = static_cast<std::uint32_t>(
            std::to_chars(recent.text.data(), recent.text.data() + 10, word).ptr - recent.text.data());
    }
    std::memcpy(at, recent.text.data(), 10);
    return at + recent.length;
}

char* put_row(char* at, const Row& words) {
    *at++ = '[';
    for (std::size_t index = 0; index < row_length; ++index) {
        if (index != 0) {
            *at++ = ',';
        }
        at = put_word(at, words[index]);
    }
    *at++ = ']';
    return at;
}

}  // namespace

// The second byte's range is what excludes overlong forms, surrogates and code
// points above U+10FFFF.
std::size_t utf8_sequence(std::string_view text, std::size_t at, std::size_t& valid_prefix) {
    const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    }
    valid_prefix = 1;
    if (length == 0) {
        return 0;
    }
    for (std::size_t index = 1; index < length; ++index) {
        if (at + index >= text.size() || byte(at + index) < low || byte(at + index) > high) {
            return 0;
        }
        low = 0x80;
        high = 0xbf;
        ++valid_prefix;
    }
    return length;
}

void unsigned_number(std::string& out, std::uint64_t value) {
    append(out, longest_u64, [value](char* at) { return std::to_chars(at, at + longest_u64, value).ptr; });
}

void signed_number(std::string& out, std::int64_t value) {
    append(out, longest_u64, [value](char* at) { return std::to_chars(at, at + longest_u64, value).ptr; });
}

// Escaped as the documents have always been: the two-character escapes where
// JSON has them, \u00XX for other control characters, everything else as it
// is; a broken UTF-8 sequence (its lead byte and the continuation bytes that
// fitted) becomes one U+FFFD, and the byte that broke it starts afresh.
void string(std::string& out, std::string_view text) {
    out += '"';
    std::size_t plain_from = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\') {
            ++at;
            continue;
        }
        out.append(text, plain_from, at - plain_from);
        if (byte >= 0x80) {
            std::size_t consumed = 0;
            if (const std::size_t length = utf8_sequence(text, at, consumed); length != 0) {
                out.append(text, at, length);
                at += length;
            } else {
                out += "\xef\xbf\xbd";
                at += consumed;
            }
            plain_from = at;
            continue;
        }
        switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                constexpr char hex[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xf]};
                out.append(escape, sizeof escape);
            }
        }
        plain_from = ++at;
    }
    out.append(text, plain_from);
    out += '"';
}

void row(std::string& out, const Row& words) {
    append(out, longest_row, [&words](char* at) { return put_row(at, words); });
}

void error_text(std::string& out, const vorl_exchange::ExchangeError& error) { string(out, error.display().view()); }

void error_debug(std::string& out, const vorl_exchange::ExchangeError& error) { string(out, error.debug()); }

void Document::open(Layout layout, char opening, char closing) {
    entry();
    out_ += opening;
    levels_.push_back({layout, closing});
}

void Document::close() {
    const Level level = levels_.back();
    levels_.pop_back();
    if (level.layout == Layout::Indented && !level.empty) {
        new_line(levels_.size());
    }
    out_ += level.closing;
}

void Document::new_line(std::size_t depth) {
    out_ += '\n';
    out_.append(2 * depth, ' ');
}

void Document::entry() {
    if (std::exchange(after_key_, false) || levels_.empty()) {
        return;
    }
    Level& level = levels_.back();
    if (!level.empty) {
        out_ += ',';
    }
    level.empty = false;
    if (level.layout == Layout::Indented) {
        new_line(levels_.size());
    }
}

Document& Document::key(std::string_view name) {
    entry();
    json::string(out_, name);
    out_ += levels_.back().layout == Layout::Indented ? ": " : ":";
    after_key_ = true;
    return *this;
}

void Document::string(std::string_view text) {
    entry();
    json::string(out_, text);
}

void Document::boolean(bool value) {
    entry();
    out_ += value ? "true" : "false";
}

void Document::null() {
    entry();
    out_ += "null";
}

void Document::row(const vorl_exchange::Row& words) {
    entry();
    json::row(out_, words);
}

}  // namespace json

namespace {

void write_error(std::string& out, const vorl_exchange::ExchangeError& error) {
    out += R"({"err":)";
    json::error_text(out, error);
    out += R"(,"debug":)";
    json::error_debug(out, error);
    out += '}';
}

}  // namespace

// A plan is written in one piece, into room for its longest form.
void write_answer(std::string& out, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
    if (!plan) {
        write_error(out, plan.error());
        return;
    }
    json::append(out, 32 + 2 * json::longest_row, [&plan](char* at) {
        at = json::put(at, R"({"ok":{"sender":)");
        at = json::put_row(at, plan->sender);
        at = json::put(at, R"(,"receiver":)");
        at = json::put_row(at, plan->receiver);
        return json::put(at, "}}");
    });
}

void write_answer(std::string& out, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
    if (!plan) {
        write_error(out, plan.error());
        return;
    }
    json::append(out, 32 + (1 + plan->receivers.size()) * json::longest_row, [&plan](char* at) {
        at = json::put(at, R"({"ok":{"sender":)");
        at = json::put_row(at, plan->sender);
        at = json::put(at, R"(,"receivers":[)");
        for (const vorl_exchange::Row& receiver : plan->receivers) {
            if (&receiver != plan->receivers.begin()) {
                *at++ = ',';
            }
            at = json::put_row(at, receiver);
        }
        return json::put(at, "]}}");
    });
}

void write_answer(std::string& out, const vorl_exchange::Result<std::uint32_t>& offset_limit) {
    if (!offset_limit) {
        write_error(out, offset_limit.error());
        return;
    }
    out += R"({"ok":)";
    json::number(out, *offset_limit);
    out += '}';
}

void write_bad_request(std::string& out, std::string_view why) {
    out += R"({"bad_request":)";
    json::string(out, why);
    out += '}';
}

}  // namespace vorl_plan
