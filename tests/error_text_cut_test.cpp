// A long error text is cut after its first 160 characters, and the digest hashes
// exactly the cut text: the cut is part of every digest of such an error.
#include <cstddef>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "vorl_exchange/digest.hpp"
#include "vorl_exchange/errors.hpp"

namespace {

using namespace vorl_exchange;

TEST(ErrorTextCut, DisplayAndDigestKeepTheFirst160Characters) {
    const std::string prefix = "exchange schedule is not encodable: ";
    for (const std::size_t length : {std::size_t{159}, std::size_t{160}, std::size_t{161}, std::size_t{400}}) {
        SCOPED_TRACE(testing::Message() << "full text of " << length << " characters");
        // Distinct neighbouring characters, so that a cut one place off shows.
        std::string reason;
        for (std::size_t index = prefix.size(); index < length; ++index) {
            reason.push_back(static_cast<char>('a' + index % 26));
        }
        const ExchangeError error = ExchangeError::schedule(reason);
        const std::string shown = (prefix + reason).substr(0, 160);

        const ErrorText display = error.display();
        EXPECT_EQ(display.view(), shown);
        EXPECT_EQ(to_string(error), shown);

        DefaultHasher fed;
        feed(fed, error);
        DefaultHasher written;
        written.write(shown);
        written.write(std::string_view{"\xff", 1});
        EXPECT_EQ(fed.finish(), written.finish());
    }
}

}  // namespace
