// The plan check as vorl-plan shows it (the library's check, named by row) and the
// row timeline the listings read: every plan of the case table and of the golden
// file must pass, and doctored rows must fail with the row and word named.
#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "case_table.hpp"
#include "plan_view.hpp"
#include "timeline.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using vorl_exchange::Row;
using vorl_plan::ExchangeKind;
using vorl_plan::WordRole;

const vorl_exchange::Topology& tarn() {
    static const auto topology = vorl_exchange::Topology::tarn();
    return topology;
}

// The first mismatch of the check of `rows` (sender row first) against the request.
std::string problem(const vorl_exchange::Topology& topology, ExchangeKind kind, std::uint16_t sender,
                    std::span<const std::uint16_t> receivers, std::uint32_t count, std::uint32_t offset,
                    const Row& sender_row, std::span<const Row> receiver_rows) {
    const vorl_plan::PlanView view{{kind, sender, {receivers.begin(), receivers.end()}, count, offset},
                                   sender_row,
                                   vorl_exchange::RowList{receiver_rows}};
    return vorl_plan::check_problem(view, vorl_plan::check_plan(topology, view));
}

TEST(TimingCheck, HoldsForEveryPlanOfTheCaseTable) {
    int checked = 0;
    std::vector<std::string> failures;
    const auto note = [&](const sablemark::Call& call, const std::string& found) {
        if (!found.empty() && failures.size() < 5) {
            failures.push_back("source " + std::to_string(call.source) + " count " + std::to_string(call.count) +
                               " offset " + std::to_string(call.offset) + ": " + found);
        }
        ++checked;
    };
    sablemark::walk_case_table(
        tarn(),
        [&](const sablemark::Call& call, const vorl_exchange::Result<vorl_exchange::Plan>& plan) {
            if (plan) {
                const Row receivers[] = {plan->receiver};
                note(call, problem(tarn(), ExchangeKind::PointToPoint, call.source, call.receivers, call.count, 0,
                                   plan->sender, receivers));
            }
            return true;
        },
        [&](const sablemark::Call& call, const vorl_exchange::Result<vorl_exchange::MulticastPlan>& plan) {
            if (plan) {
                const bool paired = call.kind == sablemark::CallKind::PairedMulticast;
                note(call,
                     problem(tarn(), paired ? ExchangeKind::PairedMulticast : ExchangeKind::Multicast, call.source,
                             call.receivers, call.count, paired ? 0 : call.offset, plan->sender, plan->receivers));
            }
            return true;
        });
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    // 9 point-to-point routes at every count all succeed; most multicasts do too.
    EXPECT_GT(checked, 9 * 4148 + 6 * 3 * 4000);
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
        if (!response.contains("ok") || op == "multicast_offset_limit") {
            continue;
        }
        const auto& ok = response.at("ok");
        const auto sender = request.at("sender").get<std::uint16_t>();
        std::vector<std::uint16_t> receivers;
        std::vector<Row> rows;
        ExchangeKind kind = ExchangeKind::PointToPoint;
        if (op == "point_to_point") {
            receivers.push_back(request.at("receiver").get<std::uint16_t>());
            rows.push_back(ok.at("receiver").get<Row>());
        } else {
            kind = op == "multicast" ? ExchangeKind::Multicast : ExchangeKind::PairedMulticast;
            receivers = request.at("receivers").get<std::vector<std::uint16_t>>();
            rows = ok.at("receivers").get<std::vector<Row>>();
        }
        const auto offset = request.value("offset", std::uint32_t{0});
        EXPECT_EQ(problem(tarn(), kind, sender, receivers, request.at("count").get<std::uint32_t>(), offset,
                          ok.at("sender").get<Row>(), rows),
                  "")
            << "line " << line;
        ++checked;
    }
    EXPECT_EQ(line, 3000);
    EXPECT_GT(checked, 1000);
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
        ExchangeKind kind;
        Row sender;
        std::vector<std::uint16_t> receivers;
        std::vector<Row> rows;
        const char* problem;  // empty: the plan holds
    };
    constexpr auto p2p = ExchangeKind::PointToPoint;
    constexpr auto multicast = ExchangeKind::Multicast;
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
        {"point-to-point worked example", p2p, p2p_sender, {2}, {p2p_receiver}, ""},
        {"multicast worked example",
         multicast,
         multicast_sender,
         {2, 1},
         {multicast_receiver_2, multicast_receiver_1},
         ""},
        {"receiver XPIC one late",
         p2p,
         p2p_sender,
         {2},
         {late_xpic},
         "receiver 2 (row 1): word 2 xpic-delay advance field 113, expected 112 = send start 143 + mux time -31: the "
         "mux switches for the data"},
        {"sender one late",
         p2p,
         late_sender,
         {2},
         {p2p_receiver},
         "sender: send start 144, expected 143 = 112 - mux time -31, so that data reaches the mux on cycle "
         "112"},
        {"second receiver wrong",
         multicast,
         multicast_sender,
         {2, 1},
         {multicast_receiver_2, wrong_second},
         "receiver 1 (row 2): word 1 xpic-delay advance field 10, expected 13 = receive cycle: start cycle 41 + mux "
         "time -28"},
        {"rows swapped",
         multicast,
         multicast_sender,
         {2, 1},
         {multicast_receiver_1, multicast_receiver_2},
         "receiver 2 (row 1): word 1 xpic-delay advance field 13, expected 10 = receive cycle: start cycle 41 + mux "
         "time -31"},
        {"no send word",
         p2p,
         no_send,
         {2},
         {p2p_receiver},
         "sender: no send start, expected 143 = 112 - mux time -31, so that data reaches the mux on cycle 112"},
        {"no XPIC word",
         p2p,
         p2p_sender,
         {2},
         {no_xpic},
         "receiver 2 (row 1): word 2 xpic-delay opcode 0x40000000, expected 0x64000000 = an XPIC delay word"},
        {"row missing",
         multicast,
         multicast_sender,
         {2, 1},
         {multicast_receiver_2},
         "request: receiver rows 1, expected 2 = one row per receiver"},
        {"receiver off the topology",
         p2p,
         p2p_sender,
         {1472},
         {p2p_receiver},
         "request: receiver tiles 0, expected 1 = every receiver a logical tile below 1472, the number of "
         "tiles"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(
            problem(tarn(), test.kind, 0, test.receivers, 1, test.kind == multicast ? 10 : 0, test.sender, test.rows),
            test.problem)
            << test.what;
    }
}

// Every paired plan the planners make must pass: random ones (whole pairs in any
// order, sometimes with the sender among them) on tarn and on custom tables,
// including rows beyond tarn's.
TEST(PairedTimingCheck, HoldsForEveryPairedPlan) {
    std::vector<std::string> failures;
    int checked = 0;
    const auto check = [&](const vorl_exchange::Topology& topology, std::uint16_t sender,
                           std::span<const std::uint16_t> receivers, std::uint32_t count) {
        const auto plan = topology.paired_multicast(sender, receivers, count);
        if (!plan) {
            return;
        }
        const std::string found = problem(topology, ExchangeKind::PairedMulticast, sender, receivers, count, 0,
                                          plan->sender, plan->receivers);
        if (!found.empty() && failures.size() < 5) {
            failures.push_back("sender " + std::to_string(sender) + " receivers " +
                               ::testing::PrintToString(std::vector(receivers.begin(), receivers.end())) + " count " +
                               std::to_string(count) + ": " + found);
        }
        ++checked;
    };
    std::vector<std::uint16_t> every(vorl_exchange::maximum_physical_identifier + 1u);
    std::iota(every.begin(), every.end(), std::uint16_t{0});
    const vorl_exchange::Topology custom[] = {
        vorl_exchange::Topology::from_table(every).value(),
        vorl_exchange::Topology::from_table({1504, 1506, 1, 3, 2016, 2018}).value(),  // mux times beyond tarn's
        vorl_exchange::Topology::from_table({2047, 2045, 0, 2, 1983, 1981}).value(),
    };
    std::mt19937 random{26};
    for (int request = 0; request < 10'000; ++request) {
        const vorl_exchange::Topology& topology = request % 2 == 0 ? tarn() : custom[request / 2 % 3];
        const auto tile = [&] {
            return static_cast<std::uint16_t>(
                std::uniform_int_distribution<std::size_t>{0, topology.tile_count() - 1}(random));
        };
        const std::uint16_t sender = tile();
        std::vector<std::uint16_t> receivers;
        const int pairs = std::uniform_int_distribution{1, 3}(random);
        for (int pair = 0; pair < pairs; ++pair) {
            const std::uint16_t first = pair == 0 && request % 5 == 0 ? sender : tile();
            if (const auto partner = topology.paired_logical(first);
                partner && std::ranges::find(receivers, first) == receivers.end() &&
                std::ranges::find(receivers, *partner) == receivers.end()) {
                receivers.insert(receivers.end(), {first, *partner});
            }
        }
        std::ranges::shuffle(receivers, random);
        check(topology, sender, receivers, std::uniform_int_distribution<std::uint32_t>{1, 4148}(random));
    }
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    EXPECT_GT(checked, 5'000);
}

// Moves the control of row[index] by `cycles` and gives them back to the next
// word, so that only that control moves; `index` past the last control moves the
// end of the row.
Row moved(Row row, std::size_t index, int cycles) {
    const auto unit = [](std::uint32_t word) -> std::int64_t {
        switch (vorl_exchange::decode(word).family) {
            case vorl_exchange::WordFamily::PicDelay: return 1 << 19;
            case vorl_exchange::WordFamily::XpicDelay: return 1 << 14;
            default: return 1;
        }
    };
    row[index] = static_cast<std::uint32_t>(row[index] + cycles * unit(row[index]));
    if (vorl_exchange::decode(row[index + 1]).family != vorl_exchange::WordFamily::Closing) {
        row[index + 1] = static_cast<std::uint32_t>(row[index + 1] - cycles * unit(row[index + 1]));
    }
    return row;
}

TEST(PairedTimingCheck, NamesTheControlMovedByOneCycle) {
    // Sender 0, pair [2, 3], 100 words: receiver 2 is the early tile.
    const std::uint16_t pair[] = {2, 3};
    const auto plan = tarn().paired_multicast(0, pair, 100).value();
    ASSERT_EQ(plan.receivers[0][6], vorl_exchange::delay(6));  // five controls, then the final delay
    ASSERT_EQ(plan.receivers[1][4], vorl_exchange::delay(6));  // three controls
    Row other_control = plan.sender;
    other_control[2] = (other_control[2] & ~7u) | 6u;
    Row fewer_words = plan.sender;
    fewer_words[3] -= 1u << 21;  // the send-off word's low count field
    Row stray = plan.receivers[1];
    stray[8] = 7;
    Row flagless = plan.receivers[0];
    flagless[2] &= ~(1u << 18);  // the format control's flag
    struct Case {
        Row sender;
        Row first;
        Row second;
        const char* problem;
    };
    const Row& s = plan.sender;
    const Row& r2 = plan.receivers[0];
    const Row& r3 = plan.receivers[1];
    const Case cases[] = {
        {s, r2, r3, ""},
        {moved(s, 1, 1), r2, r3,
         "sender: send start 32, expected 31 = max(0, -smallest mux time -31), a multicast at offset 0"},
        {other_control, r2, r3,
         "sender: word 2 send control 6, expected 5 = 4 + direction 1 towards the first receiver"},
        {fewer_words, r2, r3,
         "sender: words sent 99, expected 100 = the count: the send word's words plus the send-off word's"},
        {s, moved(r2, 1, 1), r3,
         "receiver 2 (row 1): word 1 xpic-delay advance field 1, expected 0 = source control ends on cycle 1 = "
         "epoch 31 + pair mux time -30; starts on cycle 0, less 1"},
        {s, moved(r2, 2, -1), r3,
         "receiver 2 (row 1): word 2 pic-delay advance field 51, expected 52 = format control ends on cycle 54 = "
         "source event 1 + 51 + 2 x row 1; starts on cycle 1, less 1"},
        {s, moved(r2, 3, 1), r3,
         "receiver 2 (row 1): word 3 pic-delay advance field 2, expected 1 = pointer control ends on cycle 56 = "
         "format control 54 + 2; starts on cycle 54, less 1"},
        {s, moved(r2, 4, -1), r3,
         "receiver 2 (row 1): word 4 xpic-delay advance field 43, expected 44 = neutral control ends on cycle 101 = "
         "source event 1 + count 100; starts on cycle 56, less 1"},
        {s, moved(r2, 5, 1), r3,
         "receiver 2 (row 1): word 5 pic-delay advance field 53, expected 52 = closing format control ends on cycle "
         "154 = format control 54 + count 100; starts on cycle 101, less 1"},
        {s, moved(r2, 6, 1), r3, "receiver 2 (row 1): end of row 162, expected 161 = last control 154 + 7"},
        {s, r2, moved(r3, 2, -1),
         r3[2] == 0
             ? ""
             : "receiver 3 (row 2): word 2 pic-delay advance field 0, expected 1 = pointer control ends on cycle 56 = "
               "format control 54 + 2; starts on cycle 54, less 1"},
        {s, r3, r2,
         "receiver 2 (row 1): word 1 xpic-delay opcode 0x60000000, expected 0x64000000 = an XPIC delay word"},
        {s, r2, stray,
         "receiver 3 (row 2): word 8 fill word 0x00000007, expected 0x00000000 = 0 after the closing word"},
        {s, flagless, r3, "receiver 2 (row 1): word 2 pic-delay flag 0, expected 1 = 1 on a format control"},
    };
    for (const Case& test : cases) {
        const Row rows[] = {test.first, test.second};
        EXPECT_EQ(problem(tarn(), ExchangeKind::PairedMulticast, 0, pair, 100, 0, test.sender, rows), test.problem);
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
         {{WordRole::Mark, 0, 0},
          {I, 0, 0},
          {I, 0, 113},
          {I, 113, 114},
          {I, 114, 167},
          {I, 167, 173},
          {I, 173, 173},
          {F, 173, 173}}},
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
