// The JSON writer of vorl-plan: strings escaped as the documents have always
// escaped them, bytes that are not UTF-8 replaced rather than passed on, and
// documents laid out indented or inline as their callers open them.
#include <cstdint>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "json_writer.hpp"
#include "vorl_exchange/plan.hpp"

namespace {

using namespace std::string_literals;

const std::string fffd = "\xef\xbf\xbd";  // U+FFFD

TEST(JsonWriter, StringsAreEscapedAndBrokenUtf8Replaced) {
    const struct {
        std::string text;
        std::string written;
    } cases[] = {
        {R"(a"b\c/)", R"("a\"b\\c/")"},
        {"\b\f\n\r\t\x01\x1f\x7f", R"("\b\f\n\r\t\u0001\u001f)"
                                   "\x7f\""},
        {"\0z"s, R"("\u0000z")"},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9d\x84\x9e", "\"\xc3\xa9\xe2\x82\xac\xf0\x9d\x84\x9e\""},  // two, three, four bytes
        // One U+FFFD for a bad lead byte, or for a lead byte and the continuation
        // bytes that fitted; the byte that broke a sequence starts afresh.
        {"\xff", "\"" + fffd + "\""},
        {"x\xc3", "\"x" + fffd + "\""},
        {"\xc3\"", "\"" + fffd + "\\\"\""},
        {"\xe0\x80", "\"" + fffd + fffd + "\""},  // overlong
        {"\xc0\xaf", "\"" + fffd + fffd + "\""},  // overlong
        {"\xed\xa0\x80", "\"" + fffd + fffd + fffd + "\""},  // a surrogate
        {"\xf4\x90\x80\x80", "\"" + fffd + fffd + fffd + fffd + "\""},  // above U+10FFFF
        {"\xf0\x9f\x98", "\"" + fffd + "\""},  // cut short
        {"\xe1\x80", "\"" + fffd + "\""},  // cut short after a continuation byte
        {"a b", "\"a b\""},
        {"\x80", "\"" + fffd + "\""},  // a continuation byte alone
        // The first and last sequence of each lead byte's range, and one byte beyond it.
        {"\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf",
         "\"\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf\""},
        {"\xf0\x90\x80\x80\xf1\x80\x80\x80\xf4\x8f\xbf\xbf", "\"\xf0\x90\x80\x80\xf1\x80\x80\x80\xf4\x8f\xbf\xbf\""},
        {"\xc1\xbf", "\"" + fffd + fffd + "\""},
        {"\xc2\x7f", "\"" + fffd + "\x7f\""},
        {"\xc2\xc0", "\"" + fffd + fffd + "\""},
        {"\xe0\x9f\xbf", "\"" + fffd + fffd + fffd + "\""},
        {"\xf0\x8f\xbf\xbf", "\"" + fffd + fffd + fffd + fffd + "\""},
        {"\xf5\x80\x80\x80", "\"" + fffd + fffd + fffd + fffd + "\""},
    };
    for (const auto& test : cases) {
        std::string out;
        vorl_plan::json::string(out, test.text);
        EXPECT_EQ(out, test.written) << test.text;
    }
}

std::string decimal_row(const vorl_exchange::Row& words) {
    std::string text = "[";
    for (const std::uint32_t word : words) {
        text += (text.size() > 1 ? "," : "") + std::to_string(word);
    }
    return text + "]";
}

// A row is written into room reserved for its longest text, nine ten-digit
// words; a bound short of that writes past the room (and stops the debug build).
TEST(JsonWriter, RowsOfTheLongestWordsFitTheirRoom) {
    const vorl_exchange::Row rows[] = {
        {4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u, 4294967295u,
         4294967295u},
        {1000000000u, 1000000001u, 2147483648u, 3000000000u, 4000000000u, 4294967294u, 1234567890u, 3999999999u,
         4294967295u},
        {0, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000},
        {9, 99, 999, 9999, 99999, 999999, 9999999, 99999999, 999999999},
    };
    for (const vorl_exchange::Row& words : rows) {
        const std::string row = decimal_row(words);
        std::string out = "[";
        vorl_plan::json::row(out, words);
        EXPECT_EQ(out, "[" + row);

        out.clear();
        vorl_plan::write_answer(out, vorl_exchange::Result<vorl_exchange::Plan>{vorl_exchange::Plan{words, words}});
        EXPECT_EQ(out, R"({"ok":{"sender":)" + row + R"(,"receiver":)" + row + "}}");

        out = "x";
        vorl_plan::write_answer(out, vorl_exchange::Result<vorl_exchange::MulticastPlan>{
                                         vorl_exchange::MulticastPlan{words, {words, words, words}}});
        EXPECT_EQ(out, R"(x{"ok":{"sender":)" + row + R"(,"receivers":[)" + row + "," + row + "," + row + "]}}");
    }
}

TEST(JsonWriter, DocumentsAreLaidOutAsOpened) {
    std::string text;
    vorl_plan::json::Document out{text};
    out.indented_object();
    out.key("n").number(std::uint32_t{4064});
    out.key("signed").number(-31);
    out.key("nested").indented_object();
    out.key("flag").boolean(true);
    out.key("none").null();
    out.close();
    out.key("list").inline_array();
    out.number(2);
    out.number(1);
    out.close();
    out.key("empty").indented_array();
    out.close();
    out.key("lines").indented_array();
    out.inline_object();
    out.key("a").string("x");
    out.key("b").inline_object();
    out.close();
    out.close();
    out.row({1, 0, 4294967295u, 0, 0, 0, 0, 0, 7});
    out.close();
    out.close();
    EXPECT_EQ(text, R"({
  "n": 4064,
  "signed": -31,
  "nested": {
    "flag": true,
    "none": null
  },
  "list": [2,1],
  "empty": [],
  "lines": [
    {"a":"x","b":{}},
    [1,0,4294967295,0,0,0,0,0,7]
  ]
})");
}

}  // namespace
