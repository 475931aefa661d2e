// The JSON writer of vorl-plan: strings escaped as the documents have always
// escaped them, bytes that are not UTF-8 replaced rather than passed on, and
// documents laid out indented or inline as their callers open them.
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "json_writer.hpp"

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
    };
    for (const auto& test : cases) {
        std::string out;
        vorl_plan::json::string(out, test.text);
        EXPECT_EQ(out, test.written) << test.text;
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
