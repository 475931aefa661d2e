// Replays the golden planner calls of an independent implementation: every
// response must agree word for word and text for text.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "batch.hpp"

namespace {

TEST(GoldenReplay, EveryRequestGetsTheRecordedResponse) {
    std::ifstream requests{VORL_TEST_DATA_DIR "/planner-requests.jsonl"};
    std::ifstream responses{VORL_TEST_DATA_DIR "/planner-responses.jsonl"};
    ASSERT_TRUE(requests && responses);
    const auto topology = vorl_exchange::Topology::tarn();
    std::string request;
    std::string expected;
    int lines = 0;
    int mismatches = 0;
    while (std::getline(requests, request)) {
        ASSERT_TRUE(std::getline(responses, expected)) << "responses end before line " << lines + 1;
        ++lines;
        const std::string actual = vorl_plan::answer_request(topology, request);
        if (actual != expected && ++mismatches <= 10) {
            ADD_FAILURE() << "line " << lines << "\n request  " << request << "\n expected " << expected
                          << "\n actual   " << actual;
        }
    }
    EXPECT_FALSE(std::getline(responses, expected)) << "more responses than requests";
    EXPECT_EQ(lines, 3000);
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
