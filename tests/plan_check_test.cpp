// The model of a correct plan, proven the only way a checker is proven: plans of
// every kind, on tarn and on two custom tables, corrupted in every field and every
// bit, must all be refused, and the planners' own plans must all pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "plan_check_cases.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan_check.hpp"

namespace {

using namespace vorl_exchange;
using namespace plan_check_cases;

// The fields of a word's family, each edited by +-1 within its width. The two
// halves of a send-off word's count are one operand, edited as one.
std::vector<std::uint32_t> field_edits(std::uint32_t word) {
    std::vector<std::uint32_t> edits;
    const auto edit = [&](BitField field) {
        const std::uint32_t value = field.get(word);
        if (value > 0) {
            edits.push_back(field.replace(word, value - 1));
        }
        if (value < field.max()) {
            edits.push_back(field.replace(word, value + 1));
        }
    };
    const DecodedWord decoded = decode(word);
    switch (decoded.family) {
        case WordFamily::Send:
            for (const BitField field : {send_word::count_minus_one, send_word::base_word, send_word::control}) {
                edit(field);
            }
            break;
        case WordFamily::SendOff:
            for (const int step : {-1, 1}) {
                const std::uint32_t count = decoded.count_minus_one + static_cast<std::uint32_t>(step);
                if (count <= 4095) {
                    edits.push_back(send_off(count, decoded.control, decoded.base_word));
                }
            }
            edit(send_off_word::base_word);
            edit(send_off_word::control);
            break;
        case WordFamily::PlainDelay: edit(plain_delay_word::cycles); break;
        case WordFamily::PicDelay:
            for (const BitField field : {pic_delay_word::advance, pic_delay_word::flag, pic_delay_word::control}) {
                edit(field);
            }
            break;
        case WordFamily::XpicDelay:
            for (const BitField field : {xpic_delay_word::advance, xpic_delay_word::flag, xpic_delay_word::control}) {
                edit(field);
            }
            break;
        default:  // the opening, closing, mark and fill words: the word is the operand
            edit(BitField{0, 32});
    }
    return edits;
}

// Every +-1 edit of every field and every single-bit flip of every word of every
// row is refused: the request is unchanged, so no edited row can be right.
TEST(PlanCheck, EveryCorruptedWordIsRefused) {
    std::size_t refused = 0;
    for (const Case& plan : corruption_cases()) {
        ASSERT_TRUE(check(plan.topology(), plan.request, plan.rows).ok()) << plan.name();
        for (std::size_t row = 0; row <= plan.rows.receivers.size(); ++row) {
            for (std::size_t word = 0; word < row_length; ++word) {
                const std::uint32_t original = plan.rows.at(row)[word];
                std::vector<std::uint32_t> corrupted = field_edits(original);
                for (unsigned bit = 0; bit < 32; ++bit) {
                    corrupted.push_back(original ^ (std::uint32_t{1} << bit));
                }
                for (const std::uint32_t changed : corrupted) {
                    Rows rows = plan.rows;
                    rows.at(row)[word] = changed;
                    const PlanCheck report = check(plan.topology(), plan.request, rows);
                    ASSERT_FALSE(report.ok())
                        << plan.name() << " row " << row << " word " << word << " 0x" << std::hex << changed;
                    ASSERT_FALSE(holds(plan.topology(), plan.request, rows)) << plan.name();
                    // The first mismatch names the word that was changed.
                    ASSERT_EQ(report.first_mismatch()->row.value_or(99), row) << plan.name();
                    ++refused;
                }
            }
        }
    }
    EXPECT_GT(refused, 50000u);
}

// Every +-1 edit of the request the rows are checked against (count, offset,
// sender, each receiver) is refused, unless the planners give the very same
// rows for the edited request: the one way an edited plan may pass.
TEST(PlanCheck, EveryEditedRequestIsRefusedUnlessItPlansTheSameRows) {
    std::size_t refused = 0;
    for (const Case& plan : corruption_cases()) {
        for (const Request& edited : request_edits(plan.request)) {
            const bool passes = check(plan.topology(), edited, plan.rows).ok();
            EXPECT_EQ(holds(plan.topology(), edited, plan.rows), passes) << plan.name();
            const auto planned = make_rows(plan.topology(), edited);
            EXPECT_EQ(passes, planned && *planned == plan.rows) << plan.name() << " edited to " << describe(edited);
            refused += passes ? 0 : 1;
        }
    }
    EXPECT_GT(refused, 1000u);
}

// No plan the planners make is refused: fresh random requests of every kind.
TEST(PlanCheck, EveryPlannedPlanPasses) {
    std::mt19937 random{20261210};
    std::size_t checked = 0;
    for (std::size_t table = 0; table < topology_count; ++table) {
        for (int attempt = 0; attempt < 1500; ++attempt) {
            const Request request = random_request(table, random);
            const auto rows = make_rows(topology(table), request);
            if (!rows) {
                continue;
            }
            const PlanCheck report = check(topology(table), request, *rows);
            ASSERT_TRUE(report.ok()) << describe(request) << ": " << describe(*report.first_mismatch());
            ASSERT_TRUE(holds(topology(table), request, *rows)) << describe(request);
            ++checked;
        }
    }
    EXPECT_GT(checked, 3000u);
}

// A request the planners refuse is refused whatever the rows, through a fact
// about the request; the rows used are a real plan of a neighbouring request.
TEST(PlanCheck, RequestsThePlannersRefuseAreRefused) {
    const Topology tarn = Topology::tarn();
    const auto rows = make_rows(tarn, {Kind::Multicast, 0, {2, 1}, 1, 0}).value();
    const auto pair_rows = make_rows(tarn, {Kind::Paired, 0, {2, 3}, 1, 0}).value();
    const struct {
        Request request;
        const Rows& rows;
        const char* fact;
    } cases[] = {
        {{Kind::Multicast, 0, {2, 1}, 0, 0}, rows, "count"},
        {{Kind::Multicast, 0, {2, 1}, 4149, 0}, rows, "count"},
        {{Kind::Multicast, 1472, {2, 1}, 1, 0}, rows, "sender tile"},
        {{Kind::Multicast, 0, {2, 1472}, 1, 0}, rows, "receiver tiles"},
        {{Kind::Multicast, 0, {2, 2}, 1, 0}, rows, "distinct receivers"},
        {{Kind::Multicast, 0, {0}, 1, 0}, rows, "receivers other than the sender"},
        {{Kind::Multicast, 0, {2, 1}, 1, 4065}, rows, "start cycle"},
        {{Kind::Multicast, 0, {2}, 1, 0}, rows, "receiver rows"},
        {{Kind::PointToPoint, 2, {2}, 1, 0}, rows, "receiver other than the sender"},
        {{Kind::Paired, 0, {2, 3, 4}, 1, 0}, pair_rows, "receivers in whole pairs"},
        {{Kind::Paired, 0, {2, 5}, 1, 0}, pair_rows, "receivers with their partner listed"},
        {{Kind::Paired, 0, {2, 3}, 2, 0}, pair_rows, "controls on distinct cycles"},
        // Lists longer than the ones compared in place.
        {{Kind::Multicast, 0, {2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 2}, 1, 0},
         rows,
         "distinct receivers"},
        {{Kind::Paired, 0, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 23}, 1, 0},
         pair_rows,
         "receivers with their partner listed"},
    };
    for (const auto& test : cases) {
        const PlanCheck report = check(tarn, test.request, test.rows);
        ASSERT_FALSE(report.ok()) << describe(test.request);
        EXPECT_FALSE(holds(tarn, test.request, test.rows)) << describe(test.request);
        const bool named = std::ranges::any_of(
            report.facts, [&](const PlanFact& fact) { return !fact.holds() && fact.name == test.fact; });
        EXPECT_TRUE(named) << describe(test.request) << ": " << describe(*report.first_mismatch());
    }
}

// The reasons say how the route timing gives each value, terms in place.
TEST(PlanCheck, FactsSayWhereTheirValuesComeFrom) {
    const Topology tarn = Topology::tarn();
    const auto rows = make_rows(tarn, {Kind::Multicast, 0, {2, 1}, 1, 10}).value();
    const PlanCheck report = check(tarn, {Kind::Multicast, 0, {2, 1}, 1, 10}, rows);
    std::vector<std::string> lines;
    for (const PlanFact& fact : report.facts) {
        lines.push_back(describe(fact));
    }
    for (const char* line : {
             "send start 41 = max(0, -smallest mux time -31) + offset 10",
             "word 1 delay cycles field 40 = send start 41 less 1: the delay before the send",
             "word 2 send control 3 = 3, both directions, for 2 receivers",
             "word 1 xpic-delay advance field 13 = receive cycle: start cycle 41 + mux time -28",
             "word 1 xpic-delay control 0 = the sender's physical identifier 0",
             "word 3 pic-delay advance field 50 = 51 - count 1 + 2 x the receiver's row 0",
             "word 6 fill word 0x00000000 = 0 after the closing word",
         }) {
        EXPECT_NE(std::ranges::find(lines, line), lines.end()) << line;
    }
    Rows late = rows;
    late.receivers[1][1] += std::uint32_t{1} << 14;
    const PlanCheck refused = check(tarn, {Kind::Multicast, 0, {2, 1}, 1, 10}, late);
    EXPECT_EQ(describe(*refused.first_mismatch()),
              "word 1 xpic-delay advance field 14, expected 13 = receive cycle: start cycle 41 + mux time -28");
    EXPECT_EQ(refused.mismatches, 1u);
}

}  // namespace
