// An error text buffer keeps exactly the first 160 characters of what it is
// given, and the digest hashes exactly the text that an error displays. Every
// display text fits the buffer today, so the cut guards texts that grow later;
// a digest that drifted from the display would change every digest of errors.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/digest.hpp"
#include "vorl_exchange/errors.hpp"

namespace {

using namespace vorl_exchange;

// Distinct neighbouring characters, so that a cut one place off shows.
std::string letters(std::size_t length) {
    std::string text;
    for (std::size_t index = 0; index < length; ++index) {
        text.push_back(static_cast<char>('a' + index % 26));
    }
    return text;
}

TEST(ErrorTextCut, KeepsExactlyTheFirst160Characters) {
    for (const std::size_t length : {std::size_t{159}, std::size_t{160}, std::size_t{161}, std::size_t{400}}) {
        SCOPED_TRACE(testing::Message() << "text of " << length << " characters");
        const std::string full = letters(length);
        ErrorText whole;
        whole.append(full);
        EXPECT_EQ(whole.view(), full.substr(0, 160));

        // The same text in pieces, a number straddling the boundary.
        ErrorText pieces;
        pieces.append(full.substr(0, 155));
        pieces.append_decimal(1234567890u);
        pieces.append(full);
        EXPECT_EQ(pieces.view(), (full.substr(0, 155) + "1234567890" + full).substr(0, 160));
    }
}

TEST(ErrorTextCut, DigestHashesExactlyTheDisplayedText) {
    std::vector<ExchangeError> errors = {
        ExchangeError::validation_budget_exceeded(),
        ExchangeError::tile(65535),
        ExchangeError::duplicate_tile(),
        ExchangeError::count(4294967295u),
        ExchangeError::receiver_set(),
        ExchangeError::plan_offset_range(4294967295u, 4294967295u),
        ExchangeError::address(0xffffffffu),
        ExchangeError::host_packet(),
    };
    for (const ScheduleReason reason : reason::all) {
        errors.push_back(ExchangeError::schedule(reason));
    }
    for (const ExchangeError& error : errors) {
        SCOPED_TRACE(error.debug());
        const ErrorText shown = error.display();
        EXPECT_LE(shown.view().size(), ErrorText::capacity);
        EXPECT_EQ(to_string(error), shown.view());

        DefaultHasher fed;
        feed(fed, error);
        DefaultHasher written;
        written.write(shown.view());
        written.write(std::string_view{"\xff", 1});
        EXPECT_EQ(fed.finish(), written.finish());
    }
}

}  // namespace
