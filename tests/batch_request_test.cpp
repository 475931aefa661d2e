// Request lines of `vorl-plan batch` and the exact answers they get: a field an
// op does not take, or one given twice, is refused by name, in a fixed order
// after the checks of the JSON itself; every other malformed line keeps the answer
// it has always had. The batch loop assembles lines read in pieces of any size.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "batch.hpp"
#include "vorl_exchange/topology.hpp"

namespace {

using namespace std::string_view_literals;

// The answers to {"op":"point_to_point","sender":0,"receiver":2,"count":1} and
// {"op":"multicast","sender":0,"receivers":[2,1],"count":1}.
constexpr std::string_view p2p_plan =
    R"({"ok":{"sender":[1098907651,1084227726,2013265921,1134559232,0,0,0,0,0],"receiver":[1,1098907651,1679556608,1677723200,1637875712,1084227589,1134559232,0,0]}})";
constexpr std::string_view multicast_plan =
    R"({"ok":{"sender":[1098907651,1084227614,2013265923,1134559232,0,0,0,0,0],"receivers":[[1098907651,1677721600,1677723200,1637957632,1084227589,1134559232,0,0,0],[1098907651,1677770752,1677723200,1636909056,1084227589,1134559232,0,0,0]]}})";

struct Case {
    const char* why;
    std::string_view line;
    std::string_view answer;
};

// A copy of a line whose last byte is the last one before an unreadable page:
// a reader that looks one byte past its text stops the test, in any build,
// instead of reading whatever follows the line in memory.
class GuardedLine {
public:
    explicit GuardedLine(std::string_view line)
        : page_{static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))},
          size_{(line.size() + page_ - 1) / page_ * page_ + page_},
          base_{
              static_cast<char*>(::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))} {
        if (base_ == MAP_FAILED || ::mprotect(base_ + size_ - page_, page_, PROT_NONE) != 0) {
            throw std::runtime_error{"cannot map a guarded line"};
        }
        char* const start = base_ + size_ - page_ - line.size();
        std::memcpy(start, line.data(), line.size());
        text_ = {start, line.size()};
    }
    GuardedLine(const GuardedLine&) = delete;
    GuardedLine& operator=(const GuardedLine&) = delete;
    ~GuardedLine() { ::munmap(base_, size_); }

    [[nodiscard]] std::string_view text() const { return text_; }

private:
    std::size_t page_;
    std::size_t size_;
    char* base_;
    std::string_view text_;
};

void expect_answers(const Case* begin, const Case* end) {
    const vorl_exchange::Topology tarn = vorl_exchange::Topology::tarn();
    for (const Case* test = begin; test != end; ++test) {
        const GuardedLine line{test->line};
        EXPECT_EQ(vorl_plan::answer_request(tarn, line.text()), test->answer) << test->why;
    }
}

TEST(BatchRequests, FieldsOutsideTheOpsSetOrGivenTwiceAreRefusedByName) {
    const Case cases[] = {
        {"a misspelt field", R"({"op":"multicast","sender":0,"receivers":[2,1],"count":1,"ofset":4000})",
         R"({"bad_request":"unknown field \"ofset\""})"},
        {"a field no op takes", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"note":"x"})",
         R"({"bad_request":"unknown field \"note\""})"},
        {"a field of another op", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"receivers":[2]})",
         R"({"bad_request":"unknown field \"receivers\""})"},
        {"receiver is point_to_point's", R"({"op":"multicast","sender":0,"receivers":[2,1],"count":1,"receiver":2})",
         R"({"bad_request":"unknown field \"receiver\""})"},
        {"paired_multicast takes no offset",
         R"({"op":"paired_multicast","sender":0,"receivers":[2,3],"count":1,"offset":0})",
         R"({"bad_request":"unknown field \"offset\""})"},
        {"multicast_offset_limit takes no offset",
         R"({"op":"multicast_offset_limit","sender":0,"receivers":[2,1],"count":1,"offset":0})",
         R"({"bad_request":"unknown field \"offset\""})"},
        {"the first field outside the set is named",
         R"({"zz":1,"op":"point_to_point","sender":0,"receiver":2,"count":1,"note":1})",
         R"({"bad_request":"unknown field \"zz\""})"},
        {"a repeated field", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"count":2})",
         R"({"bad_request":"field \"count\" given twice"})"},
        {"a repeated op", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"op":"point_to_point"})",
         R"({"bad_request":"field \"op\" given twice"})"},
        {"a repeat spelt with an escape", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"co\u0075nt":1})",
         R"({"bad_request":"field \"count\" given twice"})"},
        {"a repeated field outside the set", R"({"a":1,"b":2,"a":3})", R"({"bad_request":"field \"a\" given twice"})"},
        {"names are cut after 40 bytes",
         R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk":1})",
         R"({"bad_request":"unknown field \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk...\""})"},
        {"repeats before a missing op", R"({"count":1,"count":1})", R"({"bad_request":"field \"count\" given twice"})"},
        {"unknown fields after a missing op", R"({"note":1})", R"({"bad_request":"missing field \"op\""})"},
        {"unknown fields after an unknown op", R"({"op":"teleport","note":1})",
         R"({"bad_request":"unknown op \"teleport\""})"},
        {"unknown fields before bad values", R"({"op":"point_to_point","sender":"x","receiver":2,"count":1,"note":1})",
         R"({"bad_request":"unknown field \"note\""})"},
        {"invalid JSON before unknown fields",
         R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"note":tru})",
         R"({"bad_request":"not valid JSON"})"},
        {"too deep before unknown fields",
         R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"note":[[[[[[[[1]]]]]]]]})",
         R"({"bad_request":"JSON nested too deeply for a request"})"},
        {"eight deep is not too deep",
         R"({"op":"point_to_point","sender":0,"receiver":2,"count":1,"note":[[[[[[[1]]]]]]]})",
         R"({"bad_request":"unknown field \"note\""})"},
        {"eight deep in objects", R"({"note":{"a":{"b":{"c":{"d":{"e":{"f":{}}}}}}},"op":"point_to_point"})",
         R"({"bad_request":"unknown field \"note\""})"},
        {"every name spelt with escapes",
         R"({"\u006fp":"multicast","s\u0065nder":0,"r\u0065ceivers":[2,1],"c\u006Funt":1,"\u006fffset":0})",
         multicast_plan},
        {"receiver spelt with an escape", R"({"op":"point_to_point","sender":0,"r\u0065ceiver":2,"count":1})",
         p2p_plan},
        {"an escaped name is named as it spells", R"({"op":"point_to_point","n\u00f6te":1,"a\/b":2})",
         "{\"bad_request\":\"unknown field \\\"n\xc3\xb6te\\\"\"}"},
        {"a surrogate pair in a name", R"({"op":"point_to_point","\ud83d\ude00":1})",
         "{\"bad_request\":\"unknown field \\\"\xf0\x9f\x98\x80\\\"\"}"},
        {"the first and last code point of each UTF-8 length",
         R"({"op":"point_to_point","\u007f\u0080\u07ff\u0800\uffff\ud800\udc00\udbff\udfff":1})",
         "{\"bad_request\":\"unknown field "
         "\\\"\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf\\\"\"}"},
        {"hex digits of every kind", R"({"op":"point_to_point","\u0030\u0039\u0061\u0066\u0041\u0046\u00aF":1})",
         "{\"bad_request\":\"unknown field \\\"09afAF\xc2\xaf\\\"\"}"},
        {"two-character escapes in a name", R"({"op":"point_to_point","\"\\\/\b\f\n\r\t":1})",
         R"({"bad_request":"unknown field \"\"\\/\b\f\n\r\t\""})"},
        {"several unknown fields, the first named", R"({"a":1,"b":2,"c":3,"op":"point_to_point"})",
         R"({"bad_request":"unknown field \"a\""})"},
        {"a repeat among several unknown fields", R"({"a":1,"b":2,"c":3,"b":4})",
         R"({"bad_request":"field \"b\" given twice"})"},
        {"the first unknown field repeated after others", R"({"a":1,"b":2,"c":3,"a":4})",
         R"({"bad_request":"field \"a\" given twice"})"},
        {"an unknown repeat spelt with an escape", R"({"a":1,"b":2,"\u0062":3})",
         R"({"bad_request":"field \"b\" given twice"})"},
        {"the first unknown field spelt with an escape", R"({"\u0061":1,"a":2})",
         R"({"bad_request":"field \"a\" given twice"})"},
        {"the first repeat is named, unknown before known", R"({"a":1,"a":2,"count":1,"count":2})",
         R"({"bad_request":"field \"a\" given twice"})"},
        {"the first repeat is named, known before unknown", R"({"count":1,"count":2,"a":1,"a":2})",
         R"({"bad_request":"field \"count\" given twice"})"},
        {"a field of another op before one outside the set",
         R"({"op":"point_to_point","sender":0,"receivers":[2],"note":1,"receiver":2,"count":1})",
         R"({"bad_request":"unknown field \"receivers\""})"},
        {"a field outside the set before one of another op",
         R"({"op":"point_to_point","sender":0,"note":1,"receivers":[2],"receiver":2,"count":1})",
         R"({"bad_request":"unknown field \"note\""})"},
        {"two fields of other ops", R"({"op":"paired_multicast","sender":0,"offset":0,"receiver":1})",
         R"({"bad_request":"unknown field \"offset\""})"},
        {"names are cut after 40 bytes, not at 40",
         R"({"op":"point_to_point","kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk":1})",
         R"({"bad_request":"unknown field \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk\""})"},
        {"a name one letter off count", R"({"op":"point_to_point","counx":1})",
         R"({"bad_request":"unknown field \"counx\""})"},
        {"a name one letter off sender", R"({"op":"point_to_point","sendex":1})",
         R"({"bad_request":"unknown field \"sendex\""})"},
        {"a name one letter off offset", R"({"op":"point_to_point","offsey":1})",
         R"({"bad_request":"unknown field \"offsey\""})"},
        {"a name one letter off receiver", R"({"op":"point_to_point","receivex":1})",
         R"({"bad_request":"unknown field \"receivex\""})"},
        {"a name one letter off receivers", R"({"op":"point_to_point","receiverz":1})",
         R"({"bad_request":"unknown field \"receiverz\""})"},
        {"a name one letter off op", R"({"op":"point_to_point","oq":1})", R"({"bad_request":"unknown field \"oq\""})"},
        {"a name longer than receivers", R"({"op":"point_to_point","receiverss":1})",
         R"({"bad_request":"unknown field \"receiverss\""})"},
    };
    expect_answers(std::begin(cases), std::end(cases));
}

TEST(BatchRequests, EveryOtherLineKeepsItsAnswer) {
    const Case cases[] = {
        {"empty object", R"({})", R"({"bad_request":"missing field \"op\""})"},
        {"op not a string", R"({"op":7})", R"({"bad_request":"missing field \"op\""})"},
        {"cut short", R"({"op":"point_to_point","sender":0,"rec)", R"({"bad_request":"not valid JSON"})"},
        {"not an object", R"([1,2,3])", R"({"bad_request":"request is not a JSON object"})"},
        {"a string", R"("op")", R"({"bad_request":"request is not a JSON object"})"},
        {"unknown op", R"({"op":"teleport"})", R"({"bad_request":"unknown op \"teleport\""})"},
        {"unknown op cut after 40 bytes, mid-character", "{\"op\":\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\303\251\"}",
         "{\"bad_request\":\"unknown op \\\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\357\277\275...\\\"\"}"},
        {"unknown op with escapes", R"({"op":"a\u0001\"\\/\b\f\n\r\t"})",
         R"({"bad_request":"unknown op \"a\u0001\"\\/\b\f\n\r\t\""})"},
        {"sender a string", R"({"op":"point_to_point","sender":"0","receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is a string, not a number 0..65535"})"},
        {"sender null", R"({"op":"point_to_point","sender":null,"receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is null, not a number 0..65535"})"},
        {"sender an object", R"({"op":"point_to_point","sender":{},"receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is an object, not a number 0..65535"})"},
        {"receiver too large", R"({"op":"point_to_point","sender":0,"receiver":65536,"count":1})",
         R"({"bad_request":"field \"receiver\" is outside 0..65535"})"},
        {"count negative", R"({"op":"point_to_point","sender":0,"receiver":2,"count":-1})",
         R"({"bad_request":"field \"count\" is negative; expected 0..4294967295"})"},
        {"minus zero is negative", R"({"op":"point_to_point","sender":-0,"receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is negative; expected 0..65535"})"},
        {"minus zero point zero is not an integer", R"({"op":"point_to_point","sender":-0.0,"receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is not an integer within 0..65535"})"},
        {"a fraction", R"({"op":"point_to_point","sender":0,"receiver":2,"count":2.5})",
         R"({"bad_request":"field \"count\" is not an integer within 0..4294967295"})"},
        {"an integer written as a fraction", R"({"op":"point_to_point","sender":0,"receiver":2,"count":7.0})",
         R"({"bad_request":"field \"count\" is not an integer within 0..4294967295"})"},
        {"exponent beyond the range", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1e30})",
         R"({"bad_request":"field \"count\" is outside 0..4294967295"})"},
        {"just beyond the range", R"({"op":"point_to_point","sender":0,"receiver":2,"count":4294967295.5})",
         R"({"bad_request":"field \"count\" is outside 0..4294967295"})"},
        {"beyond 64 bits", R"({"op":"point_to_point","sender":0,"receiver":2,"count":18446744073709551616})",
         R"({"bad_request":"field \"count\" is outside 0..4294967295"})"},
        {"beyond 64 bits, negative", R"({"op":"point_to_point","sender":0,"receiver":2,"count":-9223372036854775809})",
         R"({"bad_request":"field \"count\" is negative; expected 0..4294967295"})"},
        {"beyond the doubles", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1e400})",
         R"({"bad_request":"not valid JSON"})"},
        {"missing receiver", R"({"op":"point_to_point","sender":0,"count":1})",
         R"({"bad_request":"missing field \"receiver\""})"},
        {"missing count", R"({"op":"multicast_offset_limit","sender":0,"receivers":[2,1]})",
         R"({"bad_request":"missing field \"count\""})"},
        {"receivers not an array", R"({"op":"multicast","sender":0,"receivers":2,"count":1})",
         R"({"bad_request":"field \"receivers\" is not an array"})"},
        {"receivers entry a string", R"({"op":"multicast","sender":0,"receivers":[2,"1"],"count":1,"offset":0})",
         R"({"bad_request":"field \"receivers\" entry 1 is a string, not a number 0..65535"})"},
        {"receivers entry an object", R"({"op":"multicast","sender":0,"receivers":[{"a":1}],"count":1})",
         R"({"bad_request":"field \"receivers\" entry 0 is an object, not a number 0..65535"})"},
        {"receivers entry too large", R"({"op":"paired_multicast","sender":0,"receivers":[2,65536],"count":1})",
         R"({"bad_request":"field \"receivers\" entry 1 is outside 0..65535"})"},
        {"offset negative", R"({"op":"multicast","sender":0,"receivers":[2,1],"count":1,"offset":-5})",
         R"({"bad_request":"field \"offset\" is negative; expected 0..4294967295"})"},
        {"nested too deep", R"([[[[[[[[[]]]]]]]]])", R"({"bad_request":"JSON nested too deeply for a request"})"},
        {"nested too deep after a NUL",
         "{\"op\":\"point_to_point\",\"sender\":0,\"receiver\":2,\"count\":1}\000[[[[[[[[["sv,
         R"({"bad_request":"JSON nested too deeply for a request"})"},
        {"text after a NUL is not read",
         "{\"op\":\"point_to_point\",\"sender\":0,\"receiver\":2,\"count\":1}\000 \377"sv,
         R"({"ok":{"sender":[1098907651,1084227726,2013265921,1134559232,0,0,0,0,0],"receiver":[1,1098907651,1679556608,1677723200,1637875712,1084227589,1134559232,0,0]}})"},
        {"a NUL inside a string", "{\"op\":\"p\000\"}"sv, R"({"bad_request":"not valid JSON"})"},
        {"vertical tab is not JSON white space", "\013{}", R"({"bad_request":"not valid JSON"})"},
        {"a lone surrogate", R"({"op":"x\udc00"})", R"({"bad_request":"not valid JSON"})"},
        {"invalid UTF-8", "{\"op\":\"\377\"}", R"({"bad_request":"not valid JSON"})"},
        {"a plan", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1})",
         R"({"ok":{"sender":[1098907651,1084227726,2013265921,1134559232,0,0,0,0,0],"receiver":[1,1098907651,1679556608,1677723200,1637875712,1084227589,1134559232,0,0]}})"},
        {"offset 0 when left out", R"({"op":"multicast","sender":0,"receivers":[2,1],"count":1})",
         R"({"ok":{"sender":[1098907651,1084227614,2013265923,1134559232,0,0,0,0,0],"receivers":[[1098907651,1677721600,1677723200,1637957632,1084227589,1134559232,0,0,0],[1098907651,1677770752,1677723200,1636909056,1084227589,1134559232,0,0,0]]}})"},
        {"white space around everything",
         " { \"op\" : \"multicast_offset_limit\" , \"sender\" : 0 , \"receivers\" : [ 2 , 1 ] , \"count\" : 1 } \015",
         R"({"ok":4064})"},
        {"an error", R"({"op":"point_to_point","sender":0,"receiver":2,"count":0})",
         "{\"err\":\"exchange count 0 is outside 1..=4148\",\"debug\":\"Count(0)\"}"},
        {"an error with quotes in its form",
         R"({"op":"multicast","sender":0,"receivers":[2,1],"count":1,"offset":4065})",
         "{\"err\":\"exchange schedule is not encodable: multicast start cycle\",\"debug\":\"Schedule(\\\"multicast "
         "start cycle\\\")\"}"},
        {"sender true", R"({"op":"point_to_point","sender":true,"receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is a boolean, not a number 0..65535"})"},
        {"sender false", R"({"op":"point_to_point","sender":false,"receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is a boolean, not a number 0..65535"})"},
        {"count an array", R"({"op":"point_to_point","sender":0,"receiver":2,"count":[1]})",
         R"({"bad_request":"field \"count\" is an array, not a number 0..4294967295"})"},
        {"receivers entry null", R"({"op":"multicast","sender":0,"receivers":[null,"x"],"count":1})",
         R"({"bad_request":"field \"receivers\" entry 0 is null, not a number 0..65535"})"},
        {"receivers entry an array eight deep",
         R"({"op":"multicast","sender":0,"receivers":[2,[[[[[[1]]]]]]],"count":1})",
         R"({"bad_request":"field \"receivers\" entry 1 is an array, not a number 0..65535"})"},
        {"the largest tile is a tile", R"({"op":"point_to_point","sender":65535,"receiver":2,"count":1})",
         "{\"err\":\"logical tile 65535 is out of range\",\"debug\":\"Tile(65535)\"}"},
        {"the largest receivers entry is a tile", R"({"op":"multicast","sender":0,"receivers":[2,65535],"count":1})",
         R"({"err":"invalid multicast receiver set","debug":"ReceiverSet"})"},
        {"the largest count is a number", R"({"op":"point_to_point","sender":0,"receiver":2,"count":4294967295})",
         "{\"err\":\"exchange count 4294967295 is outside 1..=4148\",\"debug\":\"Count(4294967295)\"}"},
        {"the largest offset is a number",
         R"({"op":"multicast","sender":0,"receivers":[2],"count":1,"offset":4294967295})",
         "{\"err\":\"exchange schedule is not encodable: multicast start cycle\",\"debug\":\"Schedule(\\\"multicast "
         "start cycle\\\")\"}"},
        {"count just beyond 32 bits", R"({"op":"point_to_point","sender":0,"receiver":2,"count":4294967296})",
         R"({"bad_request":"field \"count\" is outside 0..4294967295"})"},
        {"offset just beyond 32 bits", R"({"op":"multicast","sender":0,"receivers":[2],"count":1,"offset":4294967296})",
         R"({"bad_request":"field \"offset\" is outside 0..4294967295"})"},
        {"the largest tile as a fraction", R"({"op":"point_to_point","sender":65535.0,"receiver":2,"count":1})",
         R"({"bad_request":"field \"sender\" is not an integer within 0..65535"})"},
        {"zero as a fraction", R"({"op":"point_to_point","sender":0,"receiver":2,"count":0.0})",
         R"({"bad_request":"field \"count\" is not an integer within 0..4294967295"})"},
        {"an upper-case exponent", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1E2})",
         R"({"bad_request":"field \"count\" is not an integer within 0..4294967295"})"},
        {"a negative exponent", R"({"op":"point_to_point","sender":0,"receiver":2,"count":1e-2})",
         R"({"bad_request":"field \"count\" is not an integer within 0..4294967295"})"},
        {"the most negative 64-bit integer",
         R"({"op":"point_to_point","sender":0,"receiver":2,"count":-9223372036854775808})",
         R"({"bad_request":"field \"count\" is negative; expected 0..4294967295"})"},
        {"a leading zero", R"({"op":"point_to_point","sender":0,"receiver":2,"count":01})",
         R"({"bad_request":"not valid JSON"})"},
        {"a space in an op", R"({"op":"tele port"})", R"({"bad_request":"unknown op \"tele port\""})"},
        {"receivers first", R"({"receivers":[2,1],"op":"multicast","sender":0,"count":1})", multicast_plan},
        {"offset first", R"({"offset":4065,"op":"multicast","sender":0,"receivers":[2,1],"count":1})",
         "{\"err\":\"exchange schedule is not encodable: multicast start cycle\",\"debug\":\"Schedule(\\\"multicast "
         "start cycle\\\")\"}"},
        {"receivers an object eight deep",
         R"({"op":"multicast","sender":0,"receivers":{"a":{"b":{"c":{"d":{"e":{"f":{}}}}}}},"count":1})",
         R"({"bad_request":"field \"receivers\" is not an array"})"},
    };
    expect_answers(std::begin(cases), std::end(cases));
}

// Text that stops short of a whole JSON value, or holds a byte JSON does not
// allow, is refused wherever it stops; a top-level value that is whole is read
// as a value, then refused as not a request.
TEST(BatchRequests, JsonIsReadToItsLastByte) {
    constexpr std::string_view invalid = R"({"bad_request":"not valid JSON"})";
    constexpr std::string_view not_object = R"({"bad_request":"request is not a JSON object"})";
    const Case cases[] = {
        {"a string that does not close", R"("abc)", invalid},
        {"a backslash ending the text", R"("abc\)", invalid},
        {"an escape cut short", R"("\u12)", invalid},
        {"a high surrogate ending the text", R"("\ud800)", invalid},
        {"a low surrogate ending the text", R"("\udc00)", invalid},
        {"the last low surrogate alone", R"("\udfff")", invalid},
        {"the last high surrogate alone", R"("\udbff")", invalid},
        {"a high surrogate before a high one", R"("\ud800\udbff")", invalid},
        {"a high surrogate before U+E000", R"("\ud800\ue000")", invalid},
        {"a high surrogate before a letter", R"("\ud800x")", invalid},
        {"a high surrogate before another escape", R"("\ud800\n")", invalid},
        {"the last surrogate pair", R"("\udbff\udfff")", not_object},
        {"g is not a hex digit", R"("\u00g0")", invalid},
        {"G is not a hex digit", R"("\u00G0")", invalid},
        {"the byte after 9", R"("\u00:0")", invalid},
        {"the byte before 0", R"("\u00/0")", invalid},
        {"the byte before a", R"("\u00`0")", invalid},
        {"the byte before A", R"("\u00@0")", invalid},
        {"an unknown escape", R"("\q")", invalid},
        {"an unknown escape ending the text", R"("\q)", invalid},
        {"a continuation byte alone", "{\"op\":\"\x80\"\"}", invalid},
        {"a string of a continuation byte", "\"\x80\"", invalid},
        {"DEL is allowed in a string", "\"\x7f\"", not_object},
        {"a control byte in a string", "\"\x1f\"", invalid},
        {"an array that stops after a comma", R"([1,)", invalid},
        {"an array whose string stops at an unknown escape", R"(["\q)", invalid},
        {"an object without a name", R"([{,1])", invalid},
        {"an object without a colon", R"([{"a",1])", invalid},
        {"an object without a value", R"([{"a":,1])", invalid},
        {"an object whose value stops at an unknown escape", R"([{"a":"\q,1])", invalid},
        {"a request cut after its brace", R"({)", invalid},
        {"a request cut after a name's opening quote", R"({")", invalid},
        {"a request cut after a name", R"({"op")", invalid},
        {"a request cut after a colon", R"({"op":)", invalid},
        {"a request cut inside a name", R"({"zz)", invalid},
        {"a request cut inside the receivers", R"({"receivers":[1,)", invalid},
        {"a request cut after the receivers' bracket", R"({"receivers":[)", invalid},
        {"a comma before the closing brace", R"({"op":"x",})", invalid},
        {"true", "true", not_object},
        {"false", "false", not_object},
        {"null", "null", not_object},
        {"a number", "7", not_object},
        {"zero", "0", not_object},
        {"a negative number", "-1", not_object},
        {"a number with an exponent", "1E2", not_object},
        {"a fraction with an exponent", "2.5e-3", not_object},
        {"true cut short", "tru", invalid},
        {"null cut short", "nul", invalid},
        {"false cut short", "fals", invalid},
        {"a leading zero", "01", invalid},
        {"a negative leading zero", "-01", invalid},
        {"a minus alone", "-", invalid},
        {"a point without digits after it", "1.", invalid},
        {"an exponent without digits", "1e", invalid},
        {"an exponent sign without digits", "1e+", invalid},
        {"a point without digits before it", ".5", invalid},
        {"a plus sign", "+1", invalid},
        {"eight deep", "[[[[[[[[1]]]]]]]]", not_object},
        {"eight deep, not closed", "[[[[[[[[1]]]]]]]", invalid},
    };
    expect_answers(std::begin(cases), std::end(cases));
}

// Hands out its text a few bytes at a time, as a pipe may.
class Trickle : public std::streambuf {
public:
    Trickle(std::string text, std::size_t piece) : text_{std::move(text)}, piece_{piece} {}

protected:
    int_type underflow() override {
        if (next_ == text_.size()) {
            return traits_type::eof();
        }
        char* const start = text_.data() + next_;
        next_ = std::min(text_.size(), next_ + piece_);
        setg(start, start, text_.data() + next_);
        return traits_type::to_int_type(*start);
    }

private:
    std::string text_;
    std::size_t piece_;
    std::size_t next_ = 0;
};

TEST(BatchRequests, LinesReadInPiecesGetTheAnswersOfWholeLines) {
    const vorl_exchange::Topology tarn = vorl_exchange::Topology::tarn();
    const std::string p2p = R"({"op":"point_to_point","sender":0,"receiver":2,"count":1})";
    std::string receivers;  // a line of 1.4 megabytes, longer than the first block
    for (int index = 0; index < 300'000; ++index) {
        receivers += (index == 0 ? "" : ",") + std::to_string(index % 1472);
    }
    const std::string long_line = R"({"op":"multicast","sender":0,"count":1,"receivers":[)" + receivers + "]}";
    const std::string lines[] = {p2p, "", "  \t", "{", long_line, p2p + " ", "[1]"};
    std::string input;
    std::string expected;
    for (const std::string& line : lines) {
        input += line + "\n";
        if (line.find_first_not_of(" \t") != std::string::npos) {
            expected += vorl_plan::answer_request(tarn, line) + "\n";
        }
    }
    input.pop_back();  // the last line without its newline
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{65536}, input.size()}) {
        Trickle source{input, piece};
        std::istream in{&source};
        std::ostringstream out;
        EXPECT_EQ(vorl_plan::run_batch(tarn, in, out), 0);
        EXPECT_TRUE(out.str() == expected) << "pieces of " << piece << " bytes";
    }
}

}  // namespace
