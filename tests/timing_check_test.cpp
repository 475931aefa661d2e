// The timing cross-check of vorl-plan and the row timeline it reads: every plan of
// the case table and of the golden file must pass, and doctored rows must fail
// with the receiver named.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "case_table.hpp"
#include "timeline.hpp"
#include "timing_check.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using vorl_exchange::Row;
using vorl_plan::WordRole;

const vorl_exchange::Topology& tarn() {
    static const auto topology = vorl_exchange::Topology::tarn();
    return topology;
}

TEST(TimingCheck, HoldsForEveryPlanOfTheCaseTable) {
    int checked = 0;
    int paired_without_send = 0;
    std::vector<std::string> failures;
    const auto note = [&](const sablemark::Call& call, const vorl_plan::TimingReport& report) {
        if (!report.ok() && failures.size() < 5) {
            failures.push_back("source " + std::to_string(call.source) + " count " + std::to_string(call.count) +
                               " offset " + std::to_string(call.offset) + ": " + report.problem);
        }
        ++checked;
    };
    sablemark::walk_case_table(
        tarn(),
        [&](const sablemark::Call& call, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
            if (plan) {
                const Row receivers[] = {plan->receiver};
                note(call, vorl_plan::check_timing(tarn(), call.source, call.receivers, plan->sender, receivers));
            }
            return true;
        },
        [&](const sablemark::Call& call, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
            if (plan && call.kind == sablemark::CallKind::Multicast) {
                note(call, vorl_plan::check_timing(tarn(), call.source, call.receivers, plan->sender,
                                                   plan->receivers));
            } else if (plan) {
                paired_without_send += vorl_plan::read_timeline(plan->sender).first_send_start() ? 0 : 1;
            }
            return true;
        });
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    // 9 point-to-point routes at every count all succeed; most multicasts do too.
    EXPECT_GT(checked, 9 * 4148);
    EXPECT_EQ(paired_without_send, 0);
}

TEST(TimingCheck, HoldsForEveryPlanOfTheGoldenFile) {
    std::ifstream requests{VORL_TEST_DATA_DIR "/planner-requests.jsonl"};
    std::ifstream responses{VORL_TEST_DATA_DIR "/planner-responses.jsonl"};
    ASSERT_TRUE(requests && responses);
    std::string request_line;
    std::string response_line;
    int checked = 0;
    int line = 0;
    while (std::getline(requests, request_line) && std::getline(responses, response_line)) {
        ++line;
        const auto request = nlohmann::json::parse(request_line);
        const auto response = nlohmann::json::parse(response_line);
        const std::string op = request.at("op");
        if (!response.contains("ok") || op == "paired_multicast") {
            continue;
        }
        const auto& ok = response.at("ok");
        const auto sender = request.at("sender").get<std::uint16_t>();
        std::vector<std::uint16_t> receivers;
        std::vector<Row> rows;
        if (op == "point_to_point") {
            receivers.push_back(request.at("receiver").get<std::uint16_t>());
            rows.push_back(ok.at("receiver").get<Row>());
        } else {
            receivers = request.at("receivers").get<std::vector<std::uint16_t>>();
            rows = ok.at("receivers").get<std::vector<Row>>();
        }
        const auto report = vorl_plan::check_timing(tarn(), sender, receivers, ok.at("sender").get<Row>(), rows);
        EXPECT_TRUE(report.ok()) << "line " << line << ": " << report.problem;
        ++checked;
    }
    EXPECT_EQ(line, 3000);
    EXPECT_GT(checked, 500);
}

// Worked example rows: point-to-point 0 -> 2 and multicast 0 -> [2, 1] at offset 10, one word.
constexpr Row p2p_sender{0x41800003, 0x40a0008e, 0x78000001, 0x43a00000, 0, 0, 0, 0, 0};
constexpr Row p2p_receiver{1, 0x41800003, 0x641c0000, 0x64000640, 0x61a00000, 0x40a00005, 0x43a00000, 0, 0};
constexpr Row multicast_sender{0x41800003, 0x40a00028, 0x78000003, 0x43a00000, 0, 0, 0, 0, 0};
constexpr Row multicast_receiver_2{0x41800003, 0x64028000, 0x64000640, 0x61a14000, 0x40a00005, 0x43a00000, 0, 0, 0};
constexpr Row multicast_receiver_1{0x41800003, 0x64034000, 0x64000640, 0x61914000, 0x40a00005, 0x43a00000, 0, 0, 0};

TEST(TimingCheck, NamesTheFirstMismatch) {
    struct Case {
        const char* what;
        Row sender;
        std::vector<std::uint16_t> receivers;
        std::vector<Row> rows;
        const char* problem;  // empty: the timing holds
    };
    Row late_xpic = p2p_receiver;
    late_xpic[2] = vorl_exchange::delay_xpic(113, 0, 0);
    Row late_sender = p2p_sender;
    late_sender[1] = vorl_exchange::delay(143);
    Row no_send = p2p_sender;
    no_send[2] = vorl_exchange::delay(0);
    Row no_xpic = p2p_receiver;
    no_xpic[2] = no_xpic[3] = vorl_exchange::delay(0);
    Row wrong_second = multicast_receiver_1;
    wrong_second[1] = vorl_exchange::delay_xpic(10, 0, 0);
    const std::vector<Case> cases = {
        {"point-to-point worked example", p2p_sender, {2}, {p2p_receiver}, ""},
        {"multicast worked example", multicast_sender, {2, 1}, {multicast_receiver_2, multicast_receiver_1}, ""},
        {"receiver XPIC one late", p2p_sender, {2}, {late_xpic},
         "receiver 2 (row 1): XPIC field 113 != send start 143 + mux time -31 = 112"},
        {"sender one late", late_sender, {2}, {p2p_receiver},
         "receiver 2 (row 1): XPIC field 112 != send start 144 + mux time -31 = 113"},
        {"second receiver wrong", multicast_sender, {2, 1}, {multicast_receiver_2, wrong_second},
         "receiver 1 (row 2): XPIC field 10 != send start 41 + mux time -28 = 13"},
        {"rows swapped", multicast_sender, {2, 1}, {multicast_receiver_1, multicast_receiver_2},
         "receiver 2 (row 1): XPIC field 13 != send start 41 + mux time -31 = 10"},
        {"no send word", no_send, {2}, {p2p_receiver}, "the sender row has no send word"},
        {"no XPIC word", p2p_sender, {2}, {no_xpic},
         "receiver 2 (row 1): no XPIC word, expected one with field 112 = send start 143 + mux time -31"},
        {"row missing", multicast_sender, {2, 1}, {multicast_receiver_2}, "2 receivers but 1 receiver rows"},
        {"receiver off the topology", p2p_sender, {1472}, {p2p_receiver},
         "receiver 1472 (row 1) is not in the topology"},
    };
    for (const Case& test : cases) {
        const auto report = vorl_plan::check_timing(tarn(), 0, test.receivers, test.sender, test.rows);
        EXPECT_EQ(report.problem, test.problem) << test.what;
    }
}

TEST(Timeline, GivesEveryWordItsRoleAndCycles) {
    struct Expected {
        WordRole role;
        std::uint64_t start;
        std::uint64_t end;
    };
    constexpr auto I = WordRole::Instruction;
    constexpr auto F = WordRole::Fill;
    // A SENDPICP pair (count field 63: 64 cycles) followed by its payload word.
    constexpr Row with_pair{0x41800003, 0x40a00008, 0xf7e00000, 0x12345678, 0x40a00024, 0x43a00000, 0, 0, 0};
    // No opening word: nothing is timed; a word after the closing word that is not 0.
    constexpr Row damaged{0x40a00008, 0x43a00000, 7, 0, 0, 0, 0, 0, 0};
    const struct {
        Row row;
        std::vector<Expected> words;
    } cases[] = {
        {p2p_sender, {{I, 0, 0}, {I, 0, 143}, {I, 143, 143}, {I, 143, 143}, {F, 143, 143}}},
        {p2p_receiver,
         {{WordRole::Mark, 0, 0}, {I, 0, 0}, {I, 0, 113}, {I, 113, 114}, {I, 114, 167}, {I, 167, 173},
          {I, 173, 173}, {F, 173, 173}}},
        {with_pair, {{I, 0, 0}, {I, 0, 9}, {I, 9, 73}, {WordRole::Payload, 73, 73}, {I, 73, 110}, {I, 110, 110}}},
        {damaged, {{WordRole::Stray, 0, 0}, {WordRole::Stray, 0, 0}, {WordRole::Stray, 0, 0}}},
    };
    for (const auto& test : cases) {
        const auto timeline = vorl_plan::read_timeline(test.row);
        for (std::size_t index = 0; index < test.words.size(); ++index) {
            const auto& word = timeline.words[index];
            EXPECT_EQ(word.role, test.words[index].role) << "word " << index << " of " << std::hex << test.row[1];
            if (word.is_instruction()) {
                EXPECT_EQ(word.start, test.words[index].start) << "word " << index;
                EXPECT_EQ(word.end, test.words[index].end) << "word " << index;
            }
        }
    }
    EXPECT_EQ(vorl_plan::read_timeline(p2p_sender).first_send_start(), 143u);
    EXPECT_EQ(vorl_plan::read_timeline(p2p_receiver).first_xpic()->index, 2u);
    EXPECT_EQ(vorl_plan::read_timeline(with_pair).length(), 110u);
}

}  // namespace
