// Paths that ordinary planning never takes but a caller can: text that overruns
// an error text buffer, every event level's name, a word family outside the
// enumeration, and plans that differ in one row only.
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;

TEST(ErrorText, TextLongerThanTheBufferIsCutAtItsCapacity) {
    const std::string reason(300, 'r');
    ErrorText shown;
    shown.append("exchange schedule is not encodable: ");
    shown.append(reason);
    EXPECT_EQ(shown.view().size(), ErrorText::capacity);
    EXPECT_EQ(shown.view(), ("exchange schedule is not encodable: " + reason).substr(0, ErrorText::capacity));
}

TEST(ErrorText, AppendsTextAndNumbersInBothBases) {
    ErrorText text;
    text.append("n=");
    text.append_decimal(4294967295u);
    text.append(" 0x");
    text.append_hex(0xdeadbeefu);
    text.append_decimal(0);
    text.append_hex(0);
    EXPECT_EQ(text.view(), "n=4294967295 0xdeadbeef00");
}

TEST(EventLevels, EveryLevelHasItsName) {
    EXPECT_EQ(to_string(Level::Trace), "TRACE");
    EXPECT_EQ(to_string(Level::Debug), "DEBUG");
    EXPECT_EQ(to_string(Level::Info), "INFO");
    EXPECT_EQ(to_string(Level::Warn), "WARN");
    EXPECT_EQ(to_string(Level::Error), "ERROR");
    EXPECT_EQ(to_string(static_cast<Level>(9)), "UNKNOWN");
}

TEST(WordFamilies, AValueOutsideTheFamiliesHasTheUnknownMnemonic) {
    EXPECT_EQ(mnemonic(static_cast<WordFamily>(200)), "unknown");
}

TEST(PlanEquality, PlansDifferingInOneRowAreUnequal) {
    const Topology topology = Topology::tarn();
    const Plan plan = topology.point_to_point(0, 2, 1).value();
    Plan other_receiver = plan;
    other_receiver.receiver[8] = 1;
    Plan other_sender = plan;
    other_sender.sender[8] = 1;
    EXPECT_NE(plan, other_receiver);
    EXPECT_NE(plan, other_sender);

    const std::uint16_t receivers[] = {2, 1};
    const MulticastPlan multicast = topology.multicast(0, receivers, 1, 10).value();
    MulticastPlan fewer = multicast;
    fewer.receivers.pop_back();
    MulticastPlan other_row = multicast;
    other_row.receivers[1][8] = 1;
    EXPECT_NE(multicast, fewer);
    EXPECT_NE(multicast, other_row);
    EXPECT_EQ(multicast, MulticastPlan(multicast));
}

}  // namespace
