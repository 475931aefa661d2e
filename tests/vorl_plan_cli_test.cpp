// Drives the built vorl-plan binary: every subcommand on worked examples, usage
// errors, failed plans, help, the batch mode on golden and malformed lines, and
// custom topologies read with --topology.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "batch.hpp"
#include "io.hpp"
#include "vorl_exchange/topology.hpp"
#include "vorl_exchange/version.hpp"

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in{path, std::ios::binary};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A file name in the test's temporary directory that no other process uses:
// the same test may run at once from another build tree.
std::string temporary_file(const std::string& name) {
    return (std::filesystem::path{::testing::TempDir()} / (name + "-" + std::to_string(::getpid()))).string();
}

// Runs `vorl-plan <arguments>` (shell syntax) with `input` on standard input.
Outcome run(const std::string& arguments, const std::string& input = "") {
    static int serial = 0;
    const auto directory = std::filesystem::path{::testing::TempDir()} /
                           ("vorl-plan-cli-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    std::filesystem::create_directories(directory);
    std::ofstream{directory / "in", std::ios::binary} << input;
    const std::string command = std::string{"'"} + VORL_PLAN_EXE + "' " + arguments + " <'" +
                                (directory / "in").string() + "' >'" + (directory / "out").string() + "' 2>'" +
                                (directory / "err").string() + "'";
    const int raw = std::system(command.c_str());
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(directory / "out"), slurp(directory / "err")};
    std::filesystem::remove_all(directory);
    return outcome;
}

std::size_t lines_in(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(VorlPlanCli, SubcommandsOnWorkedExamples) {
    struct Case {
        const char* arguments;
        std::vector<const char*> out;  // each must appear on standard output
    };
    const Case cases[] = {
        {"p2p 0 2 1",
         {"point_to_point exchange: sender 0, receiver 2, 1 word", "sender 0 (physical 0)",
          "     1  0x40a0008e  delay advance_cycles=143                                 0     143",
          "     2  0x78000001  send count=1 base_word=0 control=1                     143     143",
          "  4..8  0x00000000  fill", "receiver 2 (physical 64)", "     0  0x00000001  mark",
          "     2  0x641c0000  xpic-delay advance_cycles=113 flag=0 control=0           0     113",
          "receiver 2: word 2 xpic-delay advance field 112 = send start 143 + mux time -31", "check: ok"}},
        {"p2p 781 0 1", {"     1  0x78000002  send count=1 base_word=0 control=2                       0       0"}},
        {"multicast 0 2,1 1 --offset 10",
         {"multicast exchange: sender 0, receivers [2, 1], 1 word, offset 10", "0x40a00028", "0x64028000", "0x64034000",
          "receiver 1: word 1 xpic-delay advance field 13 = receive cycle: start cycle 41 + mux time -28"}},
        {"multicast 0 2 100", {"0x7fe00001  send count=64", "0x74600001  send-off count=36", "0x61a94000"}},
        {"paired 0 2,3 100",
         {"paired_multicast exchange: sender 0, receivers [2, 3], 100 words", "0x7fe00005", "0x64002000",
          "     6  0x40a00006  delay advance_cycles=7                                 154     161", "0x630c0000",
          "  receiver 3: word 2 pic-delay advance field 1 = pointer control ends on cycle 56 = format control 54 + 2; "
          "starts on cycle 54, less 1\n  receiver 3: word 2 pic-delay flag 0 = 0 on the pointer control",
          "check: ok"}},
        {"disasm 41800003 0x40a0008e 641C0000 0xf7e00000 0",
         {"0x41800003  open\n0x40a0008e  delay advance_cycles=143\n"
          "0x641c0000  xpic-delay advance_cycles=113 flag=0 control=0\n"
          "0xf7e00000  sendpicp count=64 source_word_address=0 control=0 pointer_selector=0\n"
          "0x00000000  unknown 0x00000000\n"}},
        {"check p2p 0 2 4148",
         {"sender: send start 143 = 112 - mux time -31", "word 2 xpic-delay advance field 112 = send start 143",
          "sender: word 3 send-off count field 4083 = the 4084 words beyond the first 64, less 1", "\nok\n"}},
        {"check multicast 736 0,1471 1 --offset 3000", {"receiver 1471:", "ok"}},
    };
    for (const Case& test : cases) {
        const Outcome outcome = run(test.arguments);
        EXPECT_EQ(outcome.status, 0) << test.arguments << "\n" << outcome.err;
        EXPECT_EQ(outcome.err, "") << test.arguments;
        for (const char* expected : test.out) {
            EXPECT_NE(outcome.out.find(expected), std::string::npos) << test.arguments << " lacks\n"
                                                                     << expected << "\nin\n"
                                                                     << outcome.out;
        }
    }
}

TEST(VorlPlanCli, JsonCarriesRowsFieldsAndCycles) {
    const Outcome outcome = run("p2p 0 2 1 --format json");
    ASSERT_EQ(outcome.status, 0);
    const auto plan = nlohmann::json::parse(outcome.out);
    EXPECT_EQ(plan["format_version"], 2);
    EXPECT_EQ(plan["exchange"], "point_to_point");
    EXPECT_EQ(plan["rows"][0]["row"], nlohmann::json::parse("[1098907651,1084227726,2013265921,1134559232,0,0,0,0,0]"));
    const auto& xpic = plan["rows"][1]["words"][2];
    EXPECT_EQ(xpic["mnemonic"], "xpic-delay");
    EXPECT_EQ(xpic["fields"], nlohmann::json::parse(R"({"advance":112,"flag":0,"control":0})"));
    EXPECT_EQ(xpic["advance_cycles"], 113);
    EXPECT_EQ(xpic["start_cycle"], 0);
    EXPECT_EQ(xpic["end_cycle"], 113);
    EXPECT_EQ(plan["rows"][1]["words"][0]["role"], "mark");
    EXPECT_EQ(plan["timing"]["send_start_cycle"], 143);
    EXPECT_EQ(plan["timing"]["ok"], true);
}

TEST(VorlPlanCli, SvgDrawsOneLanePerRowAndTheMarkers) {
    for (const char* arguments : {"p2p 0 2 4148 --format svg", "multicast 0 2,1 100 --offset 4000 --format svg",
                                  "paired 0 2,3 100 --format svg"}) {
        const Outcome outcome = run(arguments);
        ASSERT_EQ(outcome.status, 0) << arguments;
        EXPECT_TRUE(outcome.out.starts_with("<svg xmlns=\"http://www.w3.org/2000/svg\"")) << arguments;
        EXPECT_TRUE(outcome.out.ends_with("</svg>\n")) << arguments;
        EXPECT_NE(outcome.out.find(">sender 0</text>"), std::string::npos) << arguments;
        EXPECT_NE(outcome.out.find(">receiver 2</text>"), std::string::npos) << arguments;
        EXPECT_NE(outcome.out.find(">first send @"), std::string::npos) << arguments;
        EXPECT_NE(outcome.out.find("takes effect at cycle"), std::string::npos) << arguments;
        EXPECT_NE(outcome.out.find("pic-delay"), std::string::npos) << arguments;
    }
    // Thousands of cycles: the axis is broken and says so.
    EXPECT_NE(run("p2p 0 2 4148 --format svg").out.find("drawn shortened at the zigzag breaks"), std::string::npos);
    EXPECT_NE(run("p2p 0 2 1 --format svg").out.find("one linear scale"), std::string::npos);
}

TEST(VorlPlanCli, UsageErrorsExitTwoWithReasonAndUsage) {
    struct Case {
        const char* arguments;
        const char* reason;
    };
    const Case cases[] = {
        {"", "A subcommand is required"},
        {"frob 1", "unknown subcommand \"frob\""},
        {"p2p 0 2", "COUNT is required"},
        {"multicast 0", "RECEIVERS is required"},
        {"paired 0 2,3", "COUNT is required"},
        {"multicast 0 --receivers-from /dev/null", "COUNT is required"},
        {"multicast 0 2, 1", "RECEIVERS entry 1 is empty"},
        {"p2p 0 '' 1", "RECEIVER is empty; expected a number 0..65535"},
        {"p2p 0 - 1", "RECEIVER \"-\" is not a decimal number"},
        {"p2p 0 2 -0", "COUNT \"-0\" is negative"},
        {"p2p 0 2 -9", "COUNT \"-9\" is negative"},
        {"p2p 0 xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx 1",
         "RECEIVER \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\" is not a decimal number"},
        {"p2p 0 xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxy 1",
         "RECEIVER \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\" (41 characters) is not a decimal number"},
        {"disasm 0x", "WORD \"0x\" is not a hexadecimal word"},
        {"disasm 1ffffffff", "WORD \"1ffffffff\" does not fit 32 bits as hexadecimal\n"},
        {"disasm 0x100000000", "WORD \"0x100000000\" does not fit 32 bits as hexadecimal\n"},
        {"disasm 100000000", "does not fit 32 bits as hexadecimal; decimal words are read from JSON arrays"},
        {"disasm 99999999999999999999", "does not fit 32 bits as hexadecimal; decimal words are read from JSON"},
        {"p2p 0 2 1 9", "not expected: 9"},
        {"p2p 0 x 1", "RECEIVER \"x\" is not a decimal number 0..65535"},
        {"p2p 0 65536 1", "RECEIVER \"65536\" is outside 0..65535"},
        {"p2p 0 2 -1", "\"-1\" is negative"},
        {"p2p 0 2 4294967296", "COUNT \"4294967296\" is outside 0..4294967295"},
        {"p2p 0 2 1000000000000000000000000000000", "is outside 0..4294967295"},
        {"p2p 0 2 1e30", "COUNT \"1e30\" is not a decimal number"},
        {"p2p 0 2 +1", "COUNT \"+1\" is not a decimal number"},
        {"p2p 0 2 1 --format xml", "xml not in {text,json,svg}"},
        {"p2p 0 2 1 --offset 3", "not expected"},
        {"multicast 0 2,,1 1", "RECEIVERS entry 1 is empty"},
        {"multicast 0 2,1 1 --offset 4294967296", "--offset \"4294967296\" is outside 0..4294967295"},
        {"multicast 0 2,1 1 --offset", "--offset"},
        {"paired 0 2,70000 1", "RECEIVERS entry 1 \"70000\" is outside 0..65535"},
        {"disasm", "WORD is required"},
        {"disasm 41800003 xyz", "WORD \"xyz\" is not a hexadecimal word"},
        {"disasm 123456789", "does not fit 32 bits"},
        {"check", "check needs a plan document FILE (- for standard input), or p2p, multicast or paired"},
        {"check - --topology -", "--topology - and the plan document (check -) both read standard input"},
        {"check pairde 0 2,3 1", "\"pairde\" is not p2p, multicast or paired, and a plan document FILE comes alone"},
        {"check plan.json paired 0 2,3 1", "check takes a plan document FILE or a subcommand, not both"},
        {"batch requests.jsonl extra", "not expected: extra"},
    };
    for (const Case& test : cases) {
        const Outcome outcome = run(test.arguments);
        EXPECT_EQ(outcome.status, 2) << test.arguments;
        EXPECT_EQ(outcome.out, "") << test.arguments;
        EXPECT_TRUE(outcome.err.starts_with("vorl-plan: ")) << test.arguments << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find(test.reason), std::string::npos) << test.arguments << "\n" << outcome.err;
        EXPECT_EQ(lines_in(outcome.err), 2u) << test.arguments << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find("\nusage: vorl-plan "), std::string::npos) << test.arguments;
    }
}

TEST(VorlPlanCli, FailedPlansExitOneWithTheDisplayText) {
    const struct {
        const char* arguments;
        const char* err;
    } cases[] = {
        {"p2p 0 2 0", "exchange count 0 is outside 1..=4148\n"},
        {"p2p 5 5 1", "exchange endpoints must be distinct\n"},
        {"multicast 0 '' 1", "invalid multicast receiver set\nhint: the receiver list is empty\n"},
        {"multicast 0 2 1 --offset 4095",
         "exchange schedule is not encodable: multicast start cycle\n"
         "hint: the largest offset that plans for this sender, receivers and count is 4064\n"},
        {"paired 0 2,5 4",
         "invalid multicast receiver set\nhint: paired receivers come in whole pairs: an even number of tiles, no "
         "repeats, each tile's partner listed; the receiver at position 0 (counting from 0), tile 2, has a partner "
         "that is not in the list (tile 3)\n"},
        {"check p2p 0 2 4149", "exchange count 4149 is outside 1..=4148\n"},
    };
    for (const auto& test : cases) {
        const Outcome outcome = run(test.arguments);
        EXPECT_EQ(outcome.status, 1) << test.arguments;
        EXPECT_EQ(outcome.out, "") << test.arguments;
        EXPECT_EQ(outcome.err, test.err) << test.arguments;
    }
}

// Arguments every call needs are shown bare, the others in brackets.
TEST(VorlPlanCli, HelpForEverySubcommand) {
    const struct {
        const char* arguments;
        const char* usage;
    } cases[] = {
        {"--help", "Usage: vorl-plan [OPTIONS] SUBCOMMAND"},
        {"p2p --help", "Usage: vorl-plan p2p [OPTIONS] SENDER RECEIVER COUNT\n"},
        {"multicast -h", "Usage: vorl-plan multicast [OPTIONS] SENDER RECEIVERS COUNT\n"},
        {"paired --help", "Usage: vorl-plan paired [OPTIONS] SENDER RECEIVERS COUNT\n"},
        {"offset-limit --help", "Usage: vorl-plan offset-limit [OPTIONS] SENDER RECEIVERS COUNT\n"},
        {"disasm --help", "Usage: vorl-plan disasm [OPTIONS] WORD...\n"},
        {"batch --help", "Usage: vorl-plan batch [OPTIONS] [FILE]\n"},
        {"check --help", "Usage: vorl-plan check"},
        {"check p2p --help", "Usage: vorl-plan check p2p [OPTIONS] SENDER RECEIVER COUNT\n"},
        {"check multicast --help", "Usage: vorl-plan check multicast [OPTIONS] SENDER RECEIVERS COUNT\n"},
        {"check paired --help", "Usage: vorl-plan check paired [OPTIONS] SENDER RECEIVERS COUNT\n"},
    };
    for (const auto& test : cases) {
        const Outcome outcome = run(test.arguments);
        EXPECT_EQ(outcome.status, 0) << test.arguments;
        EXPECT_NE(outcome.out.find(test.usage), std::string::npos) << test.arguments << "\n" << outcome.out;
        EXPECT_EQ(outcome.err, "") << test.arguments;
    }
    EXPECT_NE(run("multicast --help").out.find("--offset"), std::string::npos);
    // The help says what the planners do with the sender among the receivers.
    for (const char* kind : {"multicast", "paired"}) {
        EXPECT_NE(run(std::string{kind} + " --help").out.find("The sender may be one of the receivers"),
                  std::string::npos)
            << kind;
    }
    EXPECT_EQ(run("multicast 0 0,2 1").status, 0);
    EXPECT_EQ(run("paired 0 0,1 1").status, 0);
    EXPECT_EQ(run("multicast 0 0 1").status, 1);
    EXPECT_EQ(run("p2p 0 0 1").status, 1);
}

// The version flag answers on its own, ahead of the subcommand every other call needs.
TEST(VorlPlanCli, VersionPrintsTheLibraryVersion) {
    for (const char* arguments : {"--version", "--verbose --version"}) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 0) << arguments;
        EXPECT_EQ(outcome.out, std::string{"vorl-plan "} + VORL_EXCHANGE_VERSION + "\n") << arguments;
        EXPECT_EQ(outcome.err, "") << arguments;
    }
}

TEST(VorlPlanCli, VerbosePrintsOneEventLinePerPlan) {
    const Outcome outcome = run("--verbose multicast 0 2,1 1");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err,
              "DEBUG vorl_exchange: assembled multicast exchange sender_logical=0 receiver_logical=[2, 1] count=1 "
              "schedule_offset=0\n");
    EXPECT_EQ(run("p2p 0 2 1 --verbose").err,
              "DEBUG vorl_exchange: assembled point-to-point exchange sender_logical=0 receiver_logical=2 count=1\n");
    EXPECT_EQ(run("p2p 0 2 1").err, "");
}

TEST(VorlPlanCli, BatchReplaysTheGoldenFileByteForByte) {
    const Outcome outcome = run("batch", slurp(VORL_TEST_DATA_DIR "/planner-requests.jsonl"));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_TRUE(outcome.out == slurp(VORL_TEST_DATA_DIR "/planner-responses.jsonl"));
}

TEST(VorlPlanCli, BatchAnswersEveryNonBlankLineAndRefusesMalformedOnes) {
    const std::string ten_megabytes(10u << 20, 'x');
    std::string receivers = "[";
    for (int index = 0; index < 1'500'000; ++index) {
        receivers += (index == 0 ? "" : ",") + std::to_string(index % 1472);
    }
    receivers += "]";
    // Each line with the answer it must get (or a part of it).
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"{}", R"({"bad_request":"missing field \"op\""})"},
        {R"({"op":"point_to_point","sender":0,"rec)", R"({"bad_request":"not valid JSON"})"},
        {R"({"op":"point_to_point","sender":"0","receiver":2,"count":1})", R"(field \"sender\" is a string)"},
        {R"({"op":"point_to_point","sender":0,"receiver":65536,"count":1})",
         R"(field \"receiver\" is outside 0..65535)"},
        {R"({"op":"point_to_point","sender":0,"receiver":2,"count":-1})", R"(field \"count\" is negative)"},
        {R"({"op":"point_to_point","sender":0,"receiver":2,"count":1e30})",
         R"(field \"count\" is outside 0..4294967295)"},
        {R"({"op":"point_to_point","sender":0,"receiver":2,"count":1000000000000000000000000000000})",
         R"(field \"count\" is outside 0..4294967295)"},
        {R"({"op":"point_to_point","sender":0,"receiver":2,"count":2.5})", R"(is not an integer)"},
        {R"({"op":"multicast","sender":0,"receivers":[2,"1"],"count":1,"offset":0})",
         R"(field \"receivers\" entry 1 is a string)"},
        {R"({"op":"multicast","sender":0,"receivers":[2],"count":1})",  // offset 0 when left out
         R"({"ok":{"sender":[1098907651,1084227614,2013265921,1134559232,0,0,0,0,0],"receivers":[[)"},
        {R"({"op":"teleport"})", R"(unknown op \"teleport\")"},
        {"[1,2,3]", "request is not a JSON object"},
        {R"({"op":"point_to_point","sender":0,"receiver":2,"count":0})",
         R"x({"err":"exchange count 0 is outside 1..=4148","debug":"Count(0)"})x"},
        {"{\"op\":\"" + ten_megabytes + "\"}", R"(unknown op \"xxxxxxxxxx)"},
        {ten_megabytes, R"({"bad_request":"not valid JSON"})"},
        {std::string(10u << 20, '['), R"({"bad_request":"JSON nested too deeply for a request"})"},
        {R"({"op":"multicast","sender":0,"count":1,"offset":0,"receivers":)" + receivers + "}",
         R"({"err":"invalid multicast receiver set","debug":"ReceiverSet"})"},
        {R"({"op":"point_to_point","sender":0,"receiver":2,"count":1})",
         R"({"ok":{"sender":[1098907651,1084227726,2013265921,1134559232,0,0,0,0,0],"receiver":[1,)"},
    };
    // Blank lines between and before the requests; the last request has no newline.
    std::string input = "\n   \n";
    for (const auto& [line, answer] : lines) {
        input += (&line == &lines.front().first ? "" : "\n\t\r\n") + line;
    }
    const Outcome outcome = run("batch", input);
    EXPECT_EQ(outcome.status, 0);
    std::istringstream answers{outcome.out};
    std::string answer;
    for (const auto& [line, expected] : lines) {
        ASSERT_TRUE(std::getline(answers, answer)) << "no answer for " << line.substr(0, 80);
        EXPECT_LT(answer.size(), 200u);
        EXPECT_NE(answer.find(expected), std::string::npos) << line.substr(0, 80) << "\n" << answer;
    }
    EXPECT_FALSE(std::getline(answers, answer)) << "extra answer " << answer;
}

}  // namespace

namespace {

const std::string exe = std::string{"'"} + VORL_PLAN_EXE + "'";

// Runs a shell command line in which $VP is the tool; returns its status and standard error.
Outcome shell(const std::string& script) {
    const auto err = std::filesystem::path{::testing::TempDir()} / ("vorl-plan-shell-" + std::to_string(::getpid()));
    const std::string command = "VP=" + exe + "; (" + script + ") 2>'" + err.string() + "'";
    const int raw = std::system(("bash -c \"$(cat <<'SCRIPT'\n" + command + "\nSCRIPT\n)\"").c_str());
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", slurp(err)};
    std::filesystem::remove(err);
    return outcome;
}

// Every subcommand's output, including help and the batch stream, reaches its
// reader or ends the run with status 4 and one line that says why.
TEST(VorlPlanCliOutput, FailedWritesAreReportedNotSwallowed) {
    for (const char* arguments :
         {"p2p 0 2 1", "multicast 0 2,1 100 --format json", "paired 0 2,3 100 --format svg", "disasm 41800003",
          "check p2p 0 2 1", "offset-limit 0 2 1", "--help", "batch " VORL_TEST_DATA_DIR "/planner-requests.jsonl"}) {
        for (const char* redirect : {">/dev/full", ">&-"}) {
            const Outcome outcome = shell("$VP " + std::string{arguments} + " " + redirect);
            EXPECT_EQ(outcome.status, 4) << arguments << " " << redirect;
            EXPECT_TRUE(outcome.err.starts_with("vorl-plan: cannot write standard output: ")) << outcome.err;
            EXPECT_EQ(lines_in(outcome.err), 1u) << arguments << " " << redirect << "\n" << outcome.err;
        }
    }
    // A reader that leaves early ends the run without a message.
    const Outcome early = shell("$VP batch " VORL_TEST_DATA_DIR "/planner-requests.jsonl | head -1 >/dev/null");
    EXPECT_EQ(early.status, 0);
    EXPECT_EQ(early.err, "");
}

// A usage error, a refused input or a failed plan is told on standard error with
// its own status whatever standard output is; a failed JSON document that could
// not be written is named too, without hiding the failure it describes.
TEST(VorlPlanCliOutput, DiagnosticsKeepTheirStatusWhateverStandardOutputIs) {
    const struct {
        const char* arguments;
        int status;
        const char* err;
    } cases[] = {
        {"p2p 0 2 -1", 2, "vorl-plan: COUNT \"-1\" is negative"},
        {"p2p 0 2 1 --format xml", 2, "vorl-plan: --format: xml not in {text,json,svg}"},
        {"multicast 0 @- 1 --topology - <<<'[x'", 2,
         "vorl-plan: --topology - and the receivers (@- or --receivers-from -) both read standard input"},
        {"p2p 0 1 1 --topology /nonexistent", 4, "vorl-plan: --topology: cannot read /nonexistent"},
        {"p2p 0 0 1", 1, "exchange endpoints must be distinct\n"},
        {"paired 0 2 1 --format svg", 1, "invalid multicast receiver set\nhint: paired receivers"},
        {"p2p 0 0 1 --format json", 1, "exchange endpoints must be distinct\nvorl-plan: cannot write standard output"},
        {"check p2p 0 2 4149", 1, "exchange count 4149 is outside 1..=4148\n"},
    };
    for (const auto& test : cases) {
        for (const char* redirect : {">/dev/full", ">&-"}) {
            const Outcome outcome = shell("$VP " + std::string{test.arguments} + " " + redirect);
            EXPECT_EQ(outcome.status, test.status) << test.arguments << " " << redirect << "\n" << outcome.err;
            EXPECT_TRUE(outcome.err.starts_with(test.err)) << test.arguments << " " << redirect << "\n" << outcome.err;
        }
    }
}

// Two readers of standard input are refused before either reads, whatever it holds;
// values are named by the argument they were given for; no message shows an
// invisible character as it is.
TEST(VorlPlanCliInput, RefusalsNameTheirArgumentAndShowEveryByte) {
    const struct {
        std::string arguments;
        const char* input;
        const char* err;
    } cases[] = {
        {"multicast 0 @- 1 --topology -", "0\n2\n", "--topology - and the receivers (@- or --receivers-from -) both"},
        {"multicast 0 @- 1 --topology -", "[x", "--topology - and the receivers (@- or --receivers-from -) both"},
        {"paired 0 1 --receivers-from - --topology -", "", "--topology - and the receivers (@- or --receivers"},
        {"offset-limit 0 @- 1 --topology -", "\xff", "--topology - and the receivers (@- or --receivers-from -)"},
        {"batch --topology -", "{}", "--topology - and the batch requests both read standard input"},
        {"batch - --topology -", "[0,1]", "--topology - and the batch requests both read standard input"},
        {"disasm - -", "0", "WORD - and WORD - both read standard input"},
        {"p2p -3 2 1", "", "SENDER \"-3\" is negative"},
        {"p2p 0 -2 1", "", "RECEIVER \"-2\" is negative"},
        {"p2p 0 2 -1", "", "COUNT \"-1\" is negative"},
        {"multicast 0 -1,2 1", "", "RECEIVERS \"-1,2\" is negative"},
        {"multicast 0 1 -1 --receivers-from /dev/null", "", "COUNT \"-1\" is negative"},
        {"multicast 0 2,1 1 --offset -5", "", "--offset \"-5\" is negative"},
        {"multicast 0 2,1 1 --offset=-5", "", "--offset \"-5\" is negative"},
        {"check multicast 0 2,1 -4", "", "COUNT \"-4\" is negative"},
        {"disasm 0 -5", "", "WORD \"-5\" is negative"},
        {"p2p 0 $'2\\x1b[31m' 1", "", "RECEIVER \"2\\x1b[31m\" is not a decimal number"},
        {"multicast 0 $'2,\\xef\\xbb\\xbf3' 1", "", "RECEIVERS entry 1 \"\\u{feff}3\" is not a decimal"},
        {"multicast 0 $'2,3\\xe2\\x80\\xae1' 1", "", "RECEIVERS entry 1 \"3\\u{202e}1\" is not a decimal"},
        {"p2p 0 $'\\xc3\\xa9' 1", "", "RECEIVER \"\u00e9\" is not"},
        {"p2p 0 $'\\xc3' 1", "", "RECEIVER \"\\xc3\" is not"},
    };
    for (const auto& test : cases) {
        const Outcome outcome = shell("printf '%s' '" + std::string{test.input} + "' | $VP " + test.arguments);
        EXPECT_EQ(outcome.status, 2) << test.arguments << "\n" << outcome.err;
        EXPECT_TRUE(outcome.err.starts_with("vorl-plan: " + std::string{test.err})) << test.arguments << "\n"
                                                                                    << outcome.err;
    }
    // A table that begins with a UTF-8 byte-order mark is read as if it had none,
    // and blanks around its entries as if they were not there.
    for (const char* table : {"\xef\xbb\xbf[0, 2, 64]",
                              "\xef\xbb\xbf"
                              "0\n2\n64\n",
                              " [0, 2, 64]", " 0\n 2\n\t64 \n"}) {
        const Outcome outcome = run("p2p 0 2 1 --topology -", table);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_NE(outcome.out.find("receiver 2 (physical 64)"), std::string::npos) << outcome.out;
    }
    // The notes on refused batch lines show every byte too.
    const Outcome batch =
        shell(R"(f=$(mktemp); printf '%s\n' '{"op":"\u001b[2J"}' >"$f"; $VP batch "$f" >/dev/null; rm "$f")");
    EXPECT_NE(batch.err.find(R"(:1: unknown op "\x1b[2J")"), std::string::npos) << batch.err;
}

TEST(VorlPlanCliInput, FilesStandardInputAndPipelines) {
    const std::string requests = VORL_TEST_DATA_DIR "/planner-requests.jsonl";
    const std::string responses = VORL_TEST_DATA_DIR "/planner-responses.jsonl";
    EXPECT_EQ(shell("$VP batch " + requests + " | cmp - " + responses).status, 0);
    EXPECT_EQ(shell("$VP batch - <" + requests + " | cmp - " + responses).status, 0);
    // A listing of 20,000 lines, written a line at a time, fills the output buffer many times.
    std::string words;
    std::string listed;
    for (int word = 0; word < 20'000; ++word) {
        words += "41800003\n";
        listed += "0x41800003  open\n";
    }
    const Outcome listing = run("disasm -", words);
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_TRUE(listing.out == listed);
    // Rows printed as decimal numbers go back into disasm as they stand, each under
    // a line naming it, its fill words named as such.
    std::string decoded = run("disasm 41800003 40a0008e 78000001 43a00000").out;
    for (int fill = 0; fill < 5; ++fill) {
        decoded += "0x00000000  fill\n";
    }
    for (const auto& [source, heading] : std::vector<std::pair<std::string, std::string>>{
             {"$VP p2p 0 2 1 --format json", "line 1: sender 0"},
             {"echo '{\"op\":\"point_to_point\",\"sender\":0,\"receiver\":2,\"count\":1}' | $VP batch",
              "line 1: ok.sender"},
             {"echo '[1098907651,1084227726,2013265921,1134559232,0,0,0,0,0]'", "line 1: row"}}) {
        const std::string script =
            source + " | $VP disasm - | head -10 | cmp - <(echo -n '" + heading + "\n" + decoded + "')";
        EXPECT_EQ(shell(script).status, 0) << source;
    }
    const struct {
        std::string script;
        int status;
        const char* err;
    } cases[] = {
        {"$VP batch /nonexistent", 4, "vorl-plan: cannot read /nonexistent: No such file or directory\n"},
        {"$VP batch <" + std::string{VORL_TEST_DATA_DIR}, 4, "vorl-plan: cannot read standard input: Is a directory\n"},
        {"printf '{}\\n\\n[1\\n' >$T; $VP batch $T >/dev/null", 0,
         ":1: missing field \"op\"\nvorl-plan: $T:3: not valid JSON"},
        {"$VP disasm 1098907651", 2, "does not fit 32 bits as hexadecimal; decimal words are read from JSON arrays"},
        {"printf '41800003\\n[1,-2]\\n' | $VP disasm -", 2,
         "standard input line 2: array entry 1 -2 is not a decimal word"},
        {"printf '41800003 zz' | $VP disasm -", 2, "standard input line 1: WORD \"zz\" is not a hexadecimal word"},
        {"{ head -c 1000000 /dev/zero | tr '\\0' '['; head -c 1000000 /dev/zero | tr '\\0' ']'; } | $VP disasm -", 2,
         "JSON nested more than 8 deep"},
        {R"(printf '%s' '{"err":"a \"]\" b"} [1098907651]' | $VP disasm - | grep -qx '0x41800003  open')", 0, ""},
        {"printf '2, 1\\n3\\n' >$T; $VP multicast 0 @$T 1 | grep -q 'receivers \\[2, 1, 3\\]'", 0, ""},
        {"printf '2 1 3' >$T; $VP multicast 0 1 --receivers-from $T | grep -q 'receivers \\[2, 1, 3\\]'", 0, ""},
        {"printf '2,,1' >$T; $VP multicast 0 @$T 1", 2, "RECEIVERS $T line 1: empty entry"},
        {"printf '2\\nx' >$T; $VP multicast 0 @$T 1", 2, "RECEIVERS $T line 2 entry 1 \"x\" is not a decimal number"},
        {"$VP multicast 0 2 1 --receivers-from /nonexistent", 2, "not both"},
        {"$VP multicast 0 @/nonexistent 1", 4, "vorl-plan: cannot read /nonexistent: No such file or directory\n"},
        {"printf '2\\v1\\f3\\r\\n' >$T; $VP multicast 0 @$T 1 | grep -q 'receivers \\[2, 1, 3\\]'", 0, ""},
        {"printf '2,\\n1' >$T; $VP multicast 0 @$T 1 | grep -q 'receivers \\[2, 1\\]'", 0, ""},
        {"printf ',2' >$T; $VP multicast 0 @$T 1", 2, "RECEIVERS $T line 1: empty entry"},
        {"printf '41800003\\v41800003\\f41800003\\r\\n' | $VP disasm - | grep -c open | grep -qx 3", 0, ""},
        {"printf '[4294967295]' | $VP disasm - >/dev/null", 0, ""},
        {"printf '[5],[6]' | $VP disasm - | grep -c '^0x0000000[56]  unknown' | grep -qx 2", 0, ""},
        {"printf '41800003 [1' | $VP disasm -", 2, "standard input line 1: not valid JSON"},
        // Each answer is out before the tool waits for the next line.
        {"(echo '{\"op\":\"frob\"}'; sleep 3) | timeout 2 $VP batch | grep -q frob", 0, ""},
        // With standard input closed, the file opened next takes descriptor 0.
        {"printf '{}\\n' >$T; $VP batch $T <&- | grep -q bad_request", 0, ""},
        {"printf '[4294967296]' | $VP disasm -", 2,
         "standard input line 1: array entry 0 4294967296 is not a decimal word"},
        {"printf '[1,\\n2]\\nzz' | $VP disasm -", 2, "standard input line 3: WORD \"zz\" is not a hexadecimal word"},
        {"printf '[\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"]' | $VP disasm -", 2,
         "standard input line 1: \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa is neither a word nor a row"},
        {"printf '[[[[[[[[1]]]]]]]]' | $VP disasm - | grep -qx '0x00000001  unknown 0x00000001'", 0, ""},
        {"printf '[[[[[[[[[1]]]]]]]]]' | $VP disasm -", 2, "standard input line 1: JSON nested more than 8 deep"},
        {"printf '{\"err\":\"eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee\"}' | "
         "$VP disasm - | grep -qx 'line 1: no rows (err: "
         "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee)'",
         0, ""},
        {"printf '{\"err\":\"eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee\"}' | "
         "$VP disasm - | grep -qx 'line 1: no rows (err: "
         "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee...)'",
         0, ""},
    };
    const std::string file = temporary_file("vorl-plan-input");
    for (const auto& test : cases) {
        std::string script = test.script;
        std::string err = test.err;
        for (std::string* text : {&script, &err}) {
            for (std::size_t at; (at = text->find("$T")) != std::string::npos;) {
                text->replace(at, 2, file);
            }
        }
        const Outcome outcome = shell(script);
        EXPECT_EQ(outcome.status, test.status) << script << "\n" << outcome.err;
        EXPECT_NE(outcome.err.find(err), std::string::npos) << script << "\n" << outcome.err;
    }
    std::filesystem::remove(file);
}

// The end of a file is read as its end whatever errno held before: a value
// left by an earlier call, even EINTR, is neither retried nor reported.
TEST(VorlPlanCliInput, TheEndOfAFileIsNotMistakenForAFailure) {
    const std::string file = temporary_file("vorl-plan-errno");
    std::ofstream{file, std::ios::binary} << "0\n2\n";
    for (const int stale : {0, ENOENT, EINTR}) {
        vorl_plan::InputFile input{file};
        errno = stale;
        EXPECT_EQ(vorl_plan::read_all(input), "0\n2\n") << stale;
    }
    std::filesystem::remove(file);
}

// disasm of batch answers keeps one heading per answer, rows or not, so that its
// headings line up with the requests; a point-to-point receiver's mark is named.
TEST(VorlPlanCliInput, DisasmNamesEveryRowAndEveryAnswer) {
    const std::string requests = R"({"op":"point_to_point","sender":0,"receiver":2,"count":1})"
                                 "\n"
                                 R"({"op":"multicast","sender":0,"receivers":[],"count":1})"
                                 "\n"
                                 R"({"op":"frob"})"
                                 "\n"
                                 R"({"op":"multicast_offset_limit","sender":0,"receivers":[2,1],"count":1})"
                                 "\n"
                                 R"({"op":"paired_multicast","sender":0,"receivers":[2,3],"count":100})"
                                 "\n";
    const std::string listing = run("disasm -", run("batch", requests).out).out;
    std::vector<std::string> headings;
    std::istringstream lines{listing};
    for (std::string line; std::getline(lines, line);) {
        if (!line.starts_with("0x")) {
            headings.push_back(line);
        }
    }
    EXPECT_EQ(headings,
              (std::vector<std::string>{
                  "line 1: ok.sender", "line 1: ok.receiver", "line 2: no rows (err: invalid multicast receiver set)",
                  "line 3: no rows (bad_request: unknown op \"frob\")", "line 4: no rows (offset limit 4064)",
                  "line 5: ok.sender", "line 5: ok.receivers[0]", "line 5: ok.receivers[1]"}));
    EXPECT_NE(listing.find("line 1: ok.receiver\n0x00000001  mark\n0x41800003  open\n"), std::string::npos);
    EXPECT_EQ(listing.find("  unknown 0x"), std::string::npos) << listing;

    const struct {
        const char* source;
        const char* listing;
    } documents[] = {
        {"$VP p2p 0 0 1 --format json", "line 1: no rows (error: exchange endpoints must be distinct)\n"},
        {"$VP offset-limit 0 2 1 --format json", "line 1: no rows (offset limit 4064)\n"},
        {"echo '[[1],[2]] 5'",
         "line 1: row[0]\n0x00000001  unknown 0x00000001\nline 1: row[1]\n"
         "0x00000002  unknown 0x00000002\n0x00000005  unknown 0x00000005\n"},
        // A row of nine words whose first word is neither the mark nor the opening word.
        {"echo '[5,1098907651,1134559232,0,0,0,0,0,0]'", "line 1: row\n0x00000005  stray: unknown 0x00000005\n"},
        // Rows are read under the names the tool writes them by, not under any array.
        {"echo '{\"notes\":[{\"row\":[5]}]}'", "line 1: no rows\n"},
    };
    const std::string file = temporary_file("vorl-plan-disasm");
    for (const auto& test : documents) {
        const Outcome outcome = shell(std::string{test.source} + " 2>/dev/null | $VP disasm - >'" + file + "'");
        EXPECT_EQ(outcome.status, 0) << test.source << "\n" << outcome.err;
        EXPECT_TRUE(slurp(file).starts_with(test.listing)) << test.source << "\n" << slurp(file);
    }
    std::filesystem::remove(file);
}

TEST(VorlPlanCli, FailuresExplainThemselvesInTextAndJson) {
    const struct {
        const char* arguments;
        const char* hint;
    } cases[] = {
        {"paired 0 2 100",
         "hint: paired receivers come in whole pairs: an even number of tiles, no repeats, each "
         "tile's partner listed; the receiver list holds an odd number of tiles: 1\n"},
        {"paired 0 2,3,2,3 1",
         "; the receiver at position 2 (counting from 0), tile 2, is listed earlier in the list too\n"},
        {"paired 0 1500,2 1",
         "; the receiver at position 0 (counting from 0), tile 1500, is outside the topology (the topology has 1472 "
         "tiles, 0..1471)\n"},
        {"paired 0 2,3,5,4,6,8 1",
         "; the receiver at position 4 (counting from 0), tile 6, has a partner that is not "
         "in the list (tile 7)\n"},
        {"multicast 3 3 1",
         "hint: the receiver at position 0 (counting from 0), tile 3, is the sender, listed as the "
         "only receiver\n"},
        {"multicast 0 4,2,4 1",
         "hint: the receiver at position 2 (counting from 0), tile 4, is listed earlier in the "
         "list too\n"},
        {"multicast 0 2,1 1 --offset 4065",
         "hint: the largest offset that plans for this sender, receivers and "
         "count is 4064\n"},
        {"p2p 0 1472 1", "hint: tile 1472 is outside the topology; the topology has 1472 tiles, 0..1471\n"},
        {"multicast 0 2,9999 1",
         "hint: the receiver at position 1 (counting from 0), tile 9999, is outside the topology"},
    };
    for (const auto& test : cases) {
        const Outcome text = run(test.arguments);
        EXPECT_EQ(text.status, 1) << test.arguments;
        EXPECT_EQ(lines_in(text.err), 2u) << text.err;
        EXPECT_NE(text.err.find(test.hint), std::string::npos) << test.arguments << "\n" << text.err;
        const Outcome json = run(std::string{test.arguments} + " --format json");
        EXPECT_EQ(json.status, 1);
        EXPECT_EQ(json.err, text.err);
        const auto document = nlohmann::json::parse(json.out);
        EXPECT_EQ(document["format_version"], 2);
        EXPECT_EQ(document["error"]["display"].get<std::string>() + "\n", text.err.substr(0, text.err.find('\n') + 1));
        ASSERT_EQ(document["error"]["hints"].size(), 1u);
        // The hint's text alone; "hint: " marks it on standard error only.
        const std::string hint_line = text.err.substr(text.err.find('\n') + 1);
        EXPECT_EQ("hint: " + document["error"]["hints"][0].get<std::string>() + "\n", hint_line);
    }
    const auto failure = nlohmann::json::parse(run("multicast 0 2,1 1 --offset 4065 --format json").out);
    EXPECT_EQ(failure["exchange"], "multicast");
    EXPECT_EQ(failure["error"]["kind"], "Schedule");
    EXPECT_EQ(failure["error"]["debug"], "Schedule(\"multicast start cycle\")");
}

// `check -` on a plan document reports what `check KIND ...` reports on the same
// plan; rows edited by one cycle fail with status 3, and what is not a plan
// document with rows is refused.
TEST(VorlPlanCli, CheckReadsPlanDocuments) {
    for (const char* arguments :
         {"p2p 0 2 100", "multicast 0 2,1 7 --offset 10", "paired 0 2,3 100", "paired 0 0,1 9"}) {
        const Outcome checked = run(std::string{"check "} + arguments);
        const Outcome document = run(std::string{arguments} + " --format json");
        const Outcome read = run("check -", document.out);
        EXPECT_EQ(read.status, 0) << arguments << "\n" << read.err;
        EXPECT_EQ(read.out, checked.out) << arguments;
    }
    const auto edited = [](const char* arguments, auto&& edit) {
        auto document = nlohmann::json::parse(run(std::string{arguments} + " --format json").out);
        edit(document);
        return document.dump();
    };
    // Receiver 3's pointer (word 2) one cycle later, the closing format (word 3) where it was.
    const std::string late_pointer = edited("paired 0 2,3 100", [](auto& document) {
        auto& row = document["rows"][2]["row"];
        row[2] = row[2].template get<std::uint32_t>() + (1u << 19);
        row[3] = row[3].template get<std::uint32_t>() - (1u << 19);
    });
    const std::string late_xpic = edited("p2p 0 2 1", [](auto& document) {
        auto& row = document["rows"][1]["row"];
        row[2] = row[2].template get<std::uint32_t>() + (1u << 14);
    });
    const std::string newer = edited("p2p 0 2 1", [](auto& document) { document["format_version"] = 3; });
    const std::string quoted = edited("p2p 0 2 1", [](auto& document) { document["format_version"] = "2"; });
    const std::string long_version =
        edited("p2p 0 2 1", [](auto& document) { document["format_version"] = std::string(60, 'v'); });
    // Version 1 wrote each receiver's XPIC advance as "timing": its rows are checked, its timing is not.
    const auto version_1 = [](auto& document) {
        document["format_version"] = 1;
        document["timing"] = nlohmann::json::parse(
            R"({"send_start_cycle": 143, "checked": true, "ok": true,
                "receivers": [{"tile": 2, "mux_time": -31, "expected_advance": 112, "advance": 112}]})");
    };
    const std::string older = edited("p2p 0 2 1", version_1);
    const std::string older_late_xpic = edited("p2p 0 2 1", [&](auto& document) {
        version_1(document);
        auto& row = document["rows"][1]["row"];
        row[2] = row[2].template get<std::uint32_t>() + (1u << 14);
    });
    const std::string older_edited_words = edited("p2p 0 2 1", [&](auto& document) {
        version_1(document);
        document["rows"][1]["words"][2]["end_cycle"] = 0;
    });
    const std::string current_with_older_timing = edited("p2p 0 2 1", [&](auto& document) {
        version_1(document);
        document["format_version"] = 2;
    });
    const std::string swapped =
        edited("paired 0 2,3 1", [](auto& document) { std::swap(document["rows"][1], document["rows"][2]); });
    const std::string small = edited("paired 0 2,3 1", [](auto& document) { document["topology"]["tiles"] = 4; });
    const std::string fewer = edited("p2p 0 2 100", [](auto& document) { document["count"] = 99; });
    const std::string later = edited("multicast 0 2,1 7 --offset 10", [](auto& document) { document["offset"] = 11; });
    const std::string without_offset =
        edited("multicast 0 2,1 7 --offset 10", [](auto& document) { document.erase("offset"); });
    const std::string p2p_offset = edited("p2p 0 2 100", [](auto& document) { document["offset"] = 0; });
    const std::string edited_timing =
        edited("paired 0 2,3 100", [](auto& document) { document["timing"]["send_start_cycle"] = 32; });
    const std::string edited_words = edited("multicast 0 2,1 7 --offset 10", [](auto& document) {
        auto& start = document["rows"][1]["words"][1]["end_cycle"];
        start = start.template get<int>() + 1;
    });
    const std::string no_receiver =
        edited("p2p 0 2 100", [](auto& document) { document["receivers"] = nlohmann::json::array(); });
    const std::string extra_row =
        edited("paired 0 2,3 1", [](auto& document) { document["rows"].push_back(document["rows"][1]); });
    const std::string huge_table =
        edited("paired 0 2,3 1", [](auto& document) { document["topology"]["tiles"] = 65537; });
    const struct {
        std::string input;
        int status;
        std::string err;
    } cases[] = {
        {late_pointer, 3,
         "timing mismatch: receiver 3 (row 2): word 2 pic-delay advance field 2, expected 1 = pointer control ends on "
         "cycle 56"},
        {late_xpic, 3,
         "timing mismatch: receiver 2 (row 1): word 2 xpic-delay advance field 113, expected 112 = send start 143 + "
         "mux time -31"},
        // The request fields name the plan the rows must be.
        {fewer, 3, "timing mismatch: sender: words sent 100, expected 99 = the count"},
        {later, 3, "timing mismatch: sender: send start 41, expected 42 = max(0, -smallest mux time -31) + offset 11"},
        {without_offset, 3, "has no \"offset\": checked as a multicast at offset 0"},
        {p2p_offset, 3, "document mismatch: \"offset\" has no place in this plan document"},
        {edited_timing, 3, "document mismatch: \"timing\" is not what the rows give"},
        {edited_words, 3, "document mismatch: \"rows\" entry 2 \"words\" is not what the rows give"},
        {no_receiver, 2, "standard input: a point_to_point document names one receiver"},
        {extra_row, 2, "standard input: \"rows\" is not an array of 3 rows"},
        {huge_table, 2, "standard input: \"topology\" \"tiles\" 65537 is not a number 0..65536"},
        {run("paired 0 2,5 4 --format json").out, 1,
         "standard input holds a failed plan, with no rows to check: invalid multicast receiver set"},
        // Written by hand: the request and bare rows are enough.
        {R"({"exchange": "point_to_point", "sender": 0, "receivers": [2], "count": 1, "rows": [
            [1098907651, 1084227726, 2013265921, 1134559232, 0, 0, 0, 0, 0],
            [1, 1098907651, 1679556608, 1677723200, 1637875712, 1084227589, 1134559232, 0, 0]]})",
         0, ""},
        {R"({"exchange": "point_to_point", "sender": 0, "receivers": [2], "count": 1, "rows": [[1], [2]]})", 2,
         "standard input: \"rows\" entry 0 is not an array of 9 words"},
        {"[1, 2]", 2, "standard input: not a plan document"},
        {newer, 2, "standard input: \"format_version\" 3 is not 1 to 2, the versions this tool reads"},
        {quoted, 2, "standard input: \"format_version\" \"2\" is not 1 to 2, the versions this tool reads"},
        // A long value is cut to its first 40 characters.
        {long_version, 2, "standard input: \"format_version\" \"" + std::string(39, 'v') + " is not 1 to 2"},
        {older, 0, "standard input is of format_version 1, whose \"timing\" had another form: the rows are checked"},
        {older_late_xpic, 3, "timing mismatch: receiver 2 (row 1): word 2 xpic-delay advance field 113, expected 112"},
        {older_edited_words, 3, "document mismatch: \"rows\" entry 2 \"words\" is not what the rows give"},
        {current_with_older_timing, 3, "document mismatch: \"timing\" is not what the rows give"},
        {swapped, 2, "standard input: \"rows\" entry 1 is the row of tile 3, not of receiver 2"},
        {small, 2, "standard input was planned on 4 tiles, but the check runs on tarn, 1472 tiles"},
        {run("offset-limit 0 2,1 1 --format json").out, 2,
         "standard input: an offset-limit document, which has no rows to check"},
    };
    for (const auto& test : cases) {
        const Outcome outcome = run("check -", test.input);
        EXPECT_EQ(outcome.status, test.status) << test.err;
        EXPECT_NE(outcome.err.find(test.err), std::string::npos) << outcome.err;
    }
}

TEST(VorlPlanCli, OffsetLimitOnTheCommandLineAndInBatch) {
    EXPECT_EQ(run("offset-limit 0 2,1 1").out, "4064\n");
    EXPECT_EQ(nlohmann::json::parse(run("offset-limit 0 2,1 1 --format json").out)["offset_limit"], 4064);
    EXPECT_EQ(run("offset-limit 0 2,2 1").status, 1);
    EXPECT_EQ(run("batch", R"({"op":"multicast_offset_limit","sender":0,"receivers":[2,1],"count":1})"
                           "\n"
                           R"({"op":"multicast_offset_limit","sender":0,"receivers":[2,2],"count":1})"
                           "\n"
                           R"({"op":"multicast_offset_limit","sender":0,"receivers":[2,1]})")
                  .out,
              "{\"ok\":4064}\n{\"err\":\"invalid multicast receiver set\",\"debug\":\"ReceiverSet\"}\n"
              "{\"bad_request\":\"missing field \\\"count\\\"\"}\n");
}

}  // namespace

namespace {

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

TEST(VorlPlanCli, PicturesNameWhatTheyShowAndStayReadable) {
    const std::string p2p = run("p2p 0 2 1 --format svg").out;
    EXPECT_NE(p2p.find("xpic-delay 113 &gt; source select"), std::string::npos);
    EXPECT_NE(p2p.find(">XPIC field: mux set</text>"), std::string::npos);
    EXPECT_NE(p2p.find("XPIC field 112: the receiver's mux is set at cycle 112 = send start 143 + mux time -31"),
              std::string::npos);
    const std::string paired = run("paired 0 2,3 100 --format svg").out;
    for (const char* control : {"&gt; source select", "&gt; format", "&gt; pointer", "&gt; end", "&gt; format end"}) {
        EXPECT_NE(paired.find(control), std::string::npos) << control;
    }
    // Only the marks a picture uses are in its legend.
    EXPECT_EQ(paired.find("mux set</text>"), std::string::npos);
    EXPECT_EQ(paired.find(">sendpicp</text>"), std::string::npos);

    // 1471 receivers: a bounded height, a counted summary lane, the axis again at the bottom.
    std::string all = "1";
    for (int tile = 2; tile < 1472; ++tile) {
        all += "," + std::to_string(tile);
    }
    const std::string many = run("multicast 0 " + all + " 1 --format svg").out;
    EXPECT_NE(many.find(">1447 more receivers</text>"), std::string::npos);
    EXPECT_NE(many.find("their muxes are set at cycles 0..69"), std::string::npos);
    EXPECT_LT(many.size(), 200'000u);
    EXPECT_EQ(occurrences(many, ">receiver "), 24u);
    EXPECT_EQ(occurrences(many, ">103</text>"), 2u);  // the last cycle, on the top and the bottom axis
    // The text listing and the picture share one title, a long list shortened alike.
    const std::string heading =
        "multicast exchange: sender 0, receivers [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, "
        "13, 14, ... (1471 receivers)], 1 word, offset 0";
    EXPECT_TRUE(run("multicast 0 " + all + " 1").out.starts_with(heading + "\n"));
    EXPECT_NE(many.find(">" + heading + "</text>"), std::string::npos);
}

// The 11px labels of a picture with where their text is, and the pieces of its
// send line; the text is measured as the renderer measures it.
struct Label {
    double left, right, top, bottom;
    std::string text;
};

std::vector<Label> labels_in(const std::string& svg) {
    static const std::regex label{
        R"re(<text x="([0-9.]+)" y="([0-9.]+)" font-size="11"( text-anchor="middle")?[^>]*>([^<]*)</text>)re"};
    std::vector<Label> labels;
    for (auto match = std::sregex_iterator{svg.begin(), svg.end(), label}; match != std::sregex_iterator{}; ++match) {
        const double x = std::stod((*match)[1]);
        const double y = std::stod((*match)[2]);
        std::string text = (*match)[4];
        for (const char* entity : {"&gt;", "&lt;", "&amp;"}) {
            for (std::size_t at; (at = text.find(entity)) != std::string::npos;) {
                text.replace(at, std::string{entity}.size(), "x");
            }
        }
        const double width = 6.7 * static_cast<double>(text.size());
        const double left = (*match)[3].matched ? x - width / 2 : x;
        labels.push_back({left, left + width, y - 9, y + 2, text});
    }
    return labels;
}

TEST(VorlPlanCli, PicturesKeepLabelsClearOfNamesAndLines) {
    constexpr double plot_left = 190;
    std::string thirty = "1";
    for (int tile = 2; tile <= 30; ++tile) {
        thirty += "," + std::to_string(tile);
    }
    static const std::regex send_piece{
        R"re(<line x1="([0-9.]+)" y1="([0-9.]+)" x2="[0-9.]+" y2="([0-9.]+)" stroke="#d7191c" stroke-width="2")re"};
    for (const std::string& arguments :
         std::vector<std::string>{"p2p 0 2 1", "paired 0 2,3 100", "multicast 0 " + thirty + " 4148",
                                  "multicast 0 2,1 100 --offset 4000", "paired 0 2,3,4,5 4148"}) {
        const std::string svg = run(arguments + " --format svg").out;
        const std::vector<Label> labels = labels_in(svg);
        ASSERT_FALSE(labels.empty()) << arguments;
        std::size_t pieces = 0;
        for (auto match = std::sregex_iterator{svg.begin(), svg.end(), send_piece}; match != std::sregex_iterator{};
             ++match) {
            ++pieces;
            const double x = std::stod((*match)[1]);
            const double top = std::stod((*match)[2]);
            const double bottom = std::stod((*match)[3]);
            for (const Label& label : labels) {
                const bool crosses = label.left < x && x < label.right && label.top < bottom && top < label.bottom;
                EXPECT_FALSE(crosses) << arguments << ": the send line at " << x << " crosses \"" << label.text << "\"";
            }
        }
        EXPECT_GE(pieces, 2u) << arguments;  // the legend's sample and the line itself
        for (const Label& label : labels) {
            if (label.text.starts_with("physical ") || label.text.starts_with("not in topology") || label.top < 90) {
                continue;  // the lane names and the legend
            }
            EXPECT_GE(label.left, plot_left) << arguments << ": \"" << label.text << "\"";
        }
    }
    // A break shows its zigzag (two strokes) on every axis drawn, as its two
    // dashed edges run through the lanes.
    const std::string zigzag = R"(stroke="#555555" stroke-width="1.5")";
    const std::string edge = R"(stroke="#bbbbbb" stroke-dasharray="3 3")";
    const std::string one_axis = run("p2p 0 2 4148 --format svg").out;
    EXPECT_GE(occurrences(one_axis, edge), 2u);
    EXPECT_EQ(occurrences(one_axis, zigzag), occurrences(one_axis, edge));
    const std::string two_axes = run("multicast 0 " + thirty + " 4148 --format svg").out;
    EXPECT_GE(occurrences(two_axes, edge), 2u);
    EXPECT_EQ(occurrences(two_axes, zigzag), 2 * occurrences(two_axes, edge));
    // A failed plan draws nothing: there are no rows, and the error is on standard error.
    const Outcome failed = run("paired 0 2 1 --format svg");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_TRUE(failed.err.starts_with("invalid multicast receiver set\nhint: ")) << failed.err;
}

}  // namespace

namespace {

using Table = std::vector<std::uint16_t>;

// Writes `table` as `--topology` reads it: a JSON array, or one number a line.
std::string table_file(const std::string& name, const Table& table, bool as_json) {
    std::string text = as_json ? "[" : "";
    for (std::size_t index = 0; index < table.size(); ++index) {
        text += as_json ? (index == 0 ? "" : ", ") + std::to_string(table[index]) : std::to_string(table[index]) + "\n";
    }
    text += as_json ? "]" : "";
    const std::string path = temporary_file(name) + (as_json ? ".json" : ".txt");
    std::ofstream{path, std::ios::binary} << text;
    return path;
}

nlohmann::json rows_of(const nlohmann::json& document) {
    nlohmann::json rows = nlohmann::json::array();
    for (const auto& lane : document["rows"]) {
        rows.push_back(lane["row"]);
    }
    return rows;
}

// The subcommands answer as the library does on the table, in both file formats;
// the batch answers are those of the library, in the golden format.
TEST(VorlPlanCliTopology, CustomTablesPlanAsTheLibraryDoes) {
    const struct {
        const char* name;
        Table table;
    } tables[] = {
        {"renumbered", {66, 64, 2, 0, 130, 128, 4, 6}},
        {"far rows", {1504, 1506, 1, 3, 2016, 2018}},      // mux times beyond tarn's
        {"row field edge", {2047, 2045, 0, 2, 1983, 1981}},
    };
    const struct {
        const char* arguments;
        const char* request;
    } requests[] = {
        {"p2p 0 2 100", R"({"op":"point_to_point","sender":0,"receiver":2,"count":100})"},
        {"multicast 5 1,2,3 7 --offset 300",
         R"({"op":"multicast","sender":5,"receivers":[1,2,3],"count":7,"offset":300})"},
        {"paired 2 0,1 64", R"({"op":"paired_multicast","sender":2,"receivers":[0,1],"count":64})"},
    };
    for (const auto& [name, table] : tables) {
        const auto topology = vorl_exchange::Topology::from_table(table).value();
        std::string lines;
        std::string answers;
        for (const auto& request : requests) {
            lines += std::string{request.request} + "\n";
            answers += vorl_plan::answer_request(topology, request.request) + "\n";
        }
        for (const bool as_json : {true, false}) {
            const std::string file = table_file(name, table, as_json);
            SCOPED_TRACE(file);
            EXPECT_EQ(run("batch --topology '" + file + "'", lines).out, answers);
            for (const auto& request : requests) {
                const auto answer = nlohmann::json::parse(vorl_plan::answer_request(topology, request.request));
                const Outcome outcome =
                    run(std::string{request.arguments} + " --format json --topology '" + file + "'");
                ASSERT_EQ(outcome.status, 0) << request.arguments << "\n" << outcome.err;
                const auto& ok = answer["ok"];
                auto expected = nlohmann::json::array({ok["sender"]});
                const auto receivers =
                    ok.contains("receiver") ? nlohmann::json::array({ok["receiver"]}) : ok["receivers"];
                expected.insert(expected.end(), receivers.begin(), receivers.end());
                EXPECT_EQ(rows_of(nlohmann::json::parse(outcome.out)), expected) << request.arguments;
                // The document checks on the table it was planned on, which must be named again.
                const Outcome checked = run("check - --topology '" + file + "'", outcome.out);
                EXPECT_EQ(checked.status, 0) << request.arguments << "\n" << checked.err;
                EXPECT_TRUE(checked.out.ends_with("\nok\n")) << request.arguments;
                EXPECT_NE(run("check -", outcome.out).err.find("give that table with --topology FILE"),
                          std::string::npos);
            }
            // The timing cross-check holds on the table's routes, and offset-limit is the library's.
            EXPECT_EQ(run("check multicast 5 1,2,3 7 --offset 300 --topology '" + file + "'").status, 0);
            const auto limit = topology.multicast_offset_limit(5, std::vector<std::uint16_t>{1, 2, 3}, 7).value();
            EXPECT_EQ(run("offset-limit 5 1,2,3 7 --topology '" + file + "'").out, std::to_string(limit) + "\n");
        }
    }
    // Errors that tarn never reaches: a mux time above 112 leaves no room for the sender's delay.
    const std::string far = table_file("far", {1504, 2}, false);
    const Outcome failed = run("check p2p 0 1 1 --topology '" + far + "'");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "exchange schedule is not encodable: sender delay\n");
}

// A table equal to tarn's plans as tarn does: batch replays the golden file byte for byte.
TEST(VorlPlanCliTopology, TarnAsATableReplaysTheGoldenFile) {
    Table tarn(vorl_exchange::tarn_tile_count);
    for (std::size_t logical = 0; logical < tarn.size(); ++logical) {
        tarn[logical] = vorl_exchange::tarn_logical_to_physical(static_cast<std::uint16_t>(logical));
    }
    const std::string file = table_file("tarn", tarn, false);
    const Outcome outcome = run("batch " VORL_TEST_DATA_DIR "/planner-requests.jsonl --topology '" + file + "'");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.out == slurp(VORL_TEST_DATA_DIR "/planner-responses.jsonl"));
    const std::string listing = run("p2p 0 2 1").out;
    const std::string title_end = "1 word\n";
    EXPECT_EQ(run("p2p 0 2 1 --topology '" + file + "'").out,
              listing.substr(0, listing.find(title_end) + title_end.size()) + "topology " + file + ", 1472 tiles\n" +
                  listing.substr(listing.find(title_end) + title_end.size()));
}

// Nothing is planned on a table that is malformed or that a row cannot carry.
TEST(VorlPlanCliTopology, RefusalsNameTheFileTheEntryAndTheRule) {
    std::string too_long;
    for (std::size_t entry = 0; entry <= vorl_exchange::maximum_topology_tiles; ++entry) {
        too_long += "0\n";
    }
    std::string too_long_json = "[";
    for (std::size_t entry = 0; entry <= vorl_exchange::maximum_topology_tiles; ++entry) {
        too_long_json += "0,";
    }
    // Each is refused with status 2, before anything is planned, by every subcommand.
    const struct {
        std::string text;
        const char* arguments;
        std::string err;
    } cases[] = {
        {"[8192, 64]", "multicast 0 1 1",
         "--topology $T: topology table entry 0: a physical identifier must fit in 11 bits (bits 11 to 15 clear)"},
        {"0\n2\n2048\n", "paired 0 0,1 1", "--topology $T: topology table entry 2: a physical identifier must fit"},
        // Two logical tiles on one physical tile: `p2p 0 1` would plan a tile sending to itself.
        {"[0, 0, 2]", "p2p 0 1 5",
         "--topology $T: topology table entry 1: a physical identifier names one tile, so it may appear only once; "
         "entry 0 holds it too\n"},
        {too_long, "offset-limit 0 1 1", "--topology $T: topology table entry 65536: a table holds at most 65536"},
        {"0\nx\n", "check p2p 0 1 1", "--topology $T line 2 (entry 1) \"x\" is not a decimal number 0..65535"},
        {"0\n70000\n", "check multicast 0 1 1", "--topology $T line 2 (entry 1) \"70000\" is outside 0..65535"},
        {"0\n\n2\n", "p2p 0 1 1", "--topology $T line 2 (entry 1) is empty"},
        {"[0, \"2\"]", "batch", "--topology $T entry 1 is a string, not a number 0..65535"},
        {"[0, [2]]", "p2p 0 1 1", "--topology $T entry 1 is an array, not a number"},
        {"[0,\n2", "p2p 0 1 1", "--topology $T line 2: not valid JSON"},
        {" \n", "p2p 0 1 1", "--topology $T holds no tiles"},
        {"[]", "p2p 0 1 1", "--topology $T holds no tiles"},
        // The largest number is read, and refused by the table's own rule.
        {"[0, 65535]", "p2p 0 1 1", "--topology $T: topology table entry 1: a physical identifier must fit"},
        {"[0, 65536]", "p2p 0 1 1", "--topology $T entry 1 is outside 0..65535"},
        {"[0.0]", "p2p 0 1 1", "--topology $T entry 0 is not an integer within 0..65535"},
        {"[0, 65535.0]", "p2p 0 1 1", "--topology $T entry 1 is not an integer within 0..65535"},
        {"[0, 65536.0]", "p2p 0 1 1", "--topology $T entry 1 is outside 0..65535"},
        {"[0, -1]", "p2p 0 1 1", "--topology $T entry 1 is negative; expected 0..65535"},
        {"[-0.5]", "p2p 0 1 1", "--topology $T entry 0 is negative; expected 0..65535"},
        {"[0, null]", "p2p 0 1 1", "--topology $T entry 1 is null, not a number 0..65535"},
        {"[true]", "p2p 0 1 1", "--topology $T entry 0 is a boolean, not a number 0..65535"},
        {"[{}]", "p2p 0 1 1", "--topology $T entry 0 is an object, not a number 0..65535"},
        {"[0,\n1,\nx]", "p2p 0 1 1", "--topology $T line 3: not valid JSON"},
        {"0\n2\n\n", "p2p 0 1 1", "--topology $T line 3 (entry 2) is empty"},
        // Reading stops at the entry past the largest table, whatever follows it.
        {too_long + "x\n", "p2p 0 1 1", "--topology $T: topology table entry 65536: a table holds at most 65536"},
        {too_long_json + "x]", "p2p 0 1 1", "--topology $T: topology table entry 65536: a table holds at most 65536"},
    };
    const std::string file = temporary_file("vorl-plan-table");
    for (const auto& test : cases) {
        std::ofstream{file, std::ios::binary} << test.text;
        const Outcome outcome = run(std::string{test.arguments} + " --topology '" + file + "'", "");
        std::string err = test.err;
        err.replace(err.find("$T"), 2, file);
        EXPECT_EQ(outcome.status, 2) << test.arguments << "\n" << outcome.err;
        EXPECT_EQ(outcome.out, "") << test.arguments;
        EXPECT_TRUE(outcome.err.starts_with("vorl-plan: " + err)) << test.arguments << "\n" << outcome.err;
    }
    std::filesystem::remove(file);
    EXPECT_EQ(run("p2p 0 1 1 --topology /nonexistent").err,
              "vorl-plan: --topology: cannot read /nonexistent: No such file or directory\n");
    // A file without end is refused after a bound, not read until memory runs out.
    EXPECT_NE(run("p2p 0 1 1 --topology /dev/zero").err.find("/dev/zero is longer than 64 MiB"), std::string::npos);
    // Standard input holds either the table or another input, not both.
    EXPECT_EQ(run("p2p 0 1 1 --topology -", "0\n2\n").status, 0);
    for (const char* arguments : {"multicast 0 @- 1 --topology -", "batch --topology -"}) {
        const Outcome outcome = run(arguments, "0\n2\n");
        EXPECT_EQ(outcome.status, 2) << arguments;
        EXPECT_NE(outcome.err.find("both read standard input"), std::string::npos) << outcome.err;
    }
}

// Every JSON document and picture names its topology; a text listing names a table read from a file.
TEST(VorlPlanCliTopology, OutputsNameTheTopology) {
    const std::string file = table_file("four", {0, 2, 64, 66}, true);
    const auto tarn = nlohmann::json::parse(R"({"name":"tarn","tiles":1472})");
    const auto custom = nlohmann::json{{"file", file}, {"tiles", 4}};
    for (const char* arguments : {"p2p 0 2 1", "paired 0 2,4 1", "offset-limit 0 2,1 1", "offset-limit 0 2,2 1"}) {
        EXPECT_EQ(nlohmann::json::parse(run(std::string{arguments} + " --format json").out)["topology"], tarn);
        const std::string custom_run = std::string{arguments} + " --format json --topology " + file;
        EXPECT_EQ(nlohmann::json::parse(run(custom_run).out)["topology"], custom) << arguments;
    }
    EXPECT_NE(run("p2p 0 2 1 --format svg").out.find(">topology: tarn, 1472 tiles</text>"), std::string::npos);
    EXPECT_NE(run("p2p 0 2 1 --format svg --topology " + file).out.find(">topology: " + file + ", 4 tiles</text>"),
              std::string::npos);
    EXPECT_EQ(run("p2p 0 2 1").out.find("topology"), std::string::npos);
}

}  // namespace
