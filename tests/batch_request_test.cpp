// Request lines of `vorl-plan batch` and the exact answers they get: a field an
// op does not take, or one given twice, is refused by name, in a fixed order
// after the checks of the JSON itself; every other malformed line keeps the answer
// it has always had. The batch loop assembles lines read in pieces of any size.
#include <cstddef>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "batch.hpp"
#include "vorl_exchange/topology.hpp"

namespace {

using namespace std::string_view_literals;

struct Case {
    const char* why;
    std::string_view line;
    std::string_view answer;
};

void expect_answers(const Case* begin, const Case* end) {
    const vorl_exchange::Topology tarn = vorl_exchange::Topology::tarn();
    for (const Case* test = begin; test != end; ++test) {
        EXPECT_EQ(vorl_plan::answer_request(tarn, test->line), test->answer) << test->why;
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
