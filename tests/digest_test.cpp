// The plan digest: SipHash-1-3 under the zero key, and the byte stream each fed
// value contributes.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/digest.hpp"

namespace {

using vorl_exchange::DefaultHasher;
using vorl_exchange::Row;

using Bytes = std::vector<std::byte>;

Bytes counting_bytes(std::size_t length) {
    Bytes bytes(length);
    for (std::size_t index = 0; index < length; ++index) {
        bytes[index] = static_cast<std::byte>(index);
    }
    return bytes;
}

Bytes bytes_of(std::initializer_list<unsigned> values) {
    Bytes bytes;
    for (const unsigned value : values) {
        bytes.push_back(static_cast<std::byte>(value));
    }
    return bytes;
}

void append_le(Bytes& bytes, std::uint64_t value, std::size_t width) {
    for (std::size_t index = 0; index < width; ++index) {
        bytes.push_back(static_cast<std::byte>(value >> (8 * index)));
    }
}

// The bytes one row contributes: the length prefix 9, then each word little-endian.
void append_row(Bytes& bytes, const Row& row) {
    append_le(bytes, 9, 8);
    for (const std::uint32_t word : row) {
        append_le(bytes, word, 4);
    }
}

std::uint64_t digest_of(std::span<const std::byte> bytes) {
    DefaultHasher hasher;
    hasher.write(bytes);
    return hasher.finish();
}

TEST(Digest, SipHash13KnownAnswersUnderTheZeroKey) {
    struct Case {
        std::size_t length;
        std::uint64_t digest;
    };
    const Case cases[] = {
        {0, 0xd1fba762150c532c},
        {1, 0x68a914128e01e473},
        {7, 0x2f098ab0c751325a},
        {8, 0xead411e67ebe2eea},
        {9, 0x75927f9d95124362},
        {15, 0xf30eb725bb91c9ea},
        {16, 0x8972188433a5c5b7},
        {63, 0x385d3e39e5f37359},
        // Only the low 8 bits of the length enter the last block.
        {127, 0x5e1d96613567b25d},
        {128, 0x6488077d8be5b7b5},
        {255, 0x5dc1f93ea135eb43},
        {256, 0x31ae646afba70308},
        {300, 0x4a3ee92cf03a1ab4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(digest_of(counting_bytes(c.length)), c.digest) << "length " << c.length;
    }
}

TEST(Digest, FedValuesKnownAnswers) {
    DefaultHasher text;
    vorl_exchange::feed_text(text, "invalid multicast receiver set");
    EXPECT_EQ(text.finish(), 0x807ef0def7834542u);
    DefaultHasher error;
    vorl_exchange::feed(error, vorl_exchange::ExchangeError::receiver_set());
    EXPECT_EQ(error.finish(), 0x807ef0def7834542u);
    DefaultHasher row;
    vorl_exchange::feed_row(row, Row{1, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(row.finish(), 0x6500f46f58160299u);
}

TEST(Digest, HowTheStreamIsSplitIntoWritesDoesNotMatter) {
    const Bytes stream = counting_bytes(40);
    const std::uint64_t whole = digest_of(stream);
    const std::span<const std::byte> all{stream};
    for (std::size_t first = 0; first <= stream.size(); ++first) {
        for (std::size_t second = first; second <= stream.size(); ++second) {
            DefaultHasher hasher;
            hasher.write(all.subspan(0, first));
            hasher.write(all.subspan(first, second - first));
            hasher.write(all.subspan(second));
            ASSERT_EQ(hasher.finish(), whole) << first << ", " << second;
        }
    }
    DefaultHasher bytewise;
    for (const std::byte byte : stream) {
        bytewise.write(std::span{&byte, 1});
    }
    EXPECT_EQ(bytewise.finish(), whole);
}

// Long streams go through the staging buffer many times over, and a write that
// meets an empty buffer is hashed in place: every split gives the bytewise digest.
TEST(Digest, LongStreamsSplitAnywhere) {
    const Bytes stream = counting_bytes(3000);
    const std::span<const std::byte> all{stream};
    DefaultHasher bytewise;
    for (const std::byte byte : stream) {
        bytewise.write(std::span{&byte, 1});
    }
    const std::uint64_t whole = digest_of(stream);
    EXPECT_EQ(bytewise.finish(), whole);
    for (const std::size_t first : {1u, 7u, 44u, 511u, 512u, 513u, 600u, 1023u, 1024u, 1025u, 1537u, 2048u, 2049u}) {
        DefaultHasher hasher;
        hasher.write(all.subspan(0, first));
        hasher.write(all.subspan(first, 64));
        hasher.write(all.subspan(first + 64));
        EXPECT_EQ(hasher.finish(), whole) << first;
    }
}

// Short writes are copied by size class with overlapping moves: a stream cut
// into writes of every length up to three pieces, from every stage offset a
// word-aligned write leaves, hashes as one write does.
TEST(Digest, WritesOfEveryLengthGiveTheWholeStreamsDigest) {
    const Bytes stream = counting_bytes(24000);
    const std::span<const std::byte> all{stream};
    for (std::size_t lead = 0; lead < 8; ++lead) {
        DefaultHasher hasher;
        hasher.write(all.subspan(0, lead));
        std::size_t written = lead;
        for (std::size_t size = 0; size <= 3 * 64 + 1; ++size) {
            hasher.write(all.subspan(written, size));
            written += size;
        }
        ASSERT_EQ(hasher.finish(), digest_of(all.subspan(0, written))) << lead;
    }
}

TEST(Digest, FinishLeavesTheStateAsItWas) {
    const Bytes stream = counting_bytes(21);
    const std::span<const std::byte> all{stream};
    DefaultHasher hasher;
    hasher.write(all.subspan(0, 11));
    const std::uint64_t early = hasher.finish();
    EXPECT_EQ(hasher.finish(), early);
    EXPECT_EQ(early, digest_of(all.subspan(0, 11)));
    hasher.write(all.subspan(11));
    EXPECT_EQ(hasher.finish(), digest_of(stream));
}

TEST(Digest, ByteLayoutOfFedValues) {
    DefaultHasher empty_text;
    vorl_exchange::feed_text(empty_text, "");
    EXPECT_EQ(empty_text.finish(), digest_of(bytes_of({0xff})));

    DefaultHasher no_rows;
    vorl_exchange::feed_rows(no_rows, {});
    EXPECT_EQ(no_rows.finish(), digest_of(Bytes(8)));

    DefaultHasher prefix;
    prefix.write_length_prefix(0x0807060504030201u);
    EXPECT_EQ(prefix.finish(), digest_of(bytes_of({1, 2, 3, 4, 5, 6, 7, 8})));

    const Row sender{0x41800003, 0x04030201, 0x78000001, 0x43a00000, 0, 0, 0, 0, 0xfffffffe};
    DefaultHasher row;
    vorl_exchange::feed_row(row, sender);
    Bytes row_bytes = bytes_of({9, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x00, 0x80, 0x41, 0x01, 0x02, 0x03, 0x04});
    for (std::size_t index = 2; index < sender.size(); ++index) {
        append_le(row_bytes, sender[index], 4);
    }
    EXPECT_EQ(row.finish(), digest_of(row_bytes));
}

// Rows, prefixes and texts land at every offset within a block, since a text of
// any length may come before them.
TEST(Digest, FedValuesMatchTheirBytesAfterAnyLeadingLength) {
    const Row sender{0x41800003, 0x04030201, 0x78000001, 0x43a00000, 0, 0, 0, 0, 0xfffffffe};
    const Row receiver{1, 0x41800003, 0x641c0000, 0x40a00000, 0x43a00000, 0, 0, 0, 0};
    const Row other{0x41800003, 0x43a00000, 0, 0, 0, 0, 0, 0, 0};
    const vorl_exchange::ExchangeError error = vorl_exchange::ExchangeError::tile(1472);
    for (std::size_t lead = 0; lead < 16; ++lead) {
        DefaultHasher fed;
        Bytes bytes = counting_bytes(lead);
        fed.write(bytes);
        vorl_exchange::feed(fed, vorl_exchange::Plan{sender, receiver});
        append_row(bytes, sender);
        append_row(bytes, receiver);
        vorl_exchange::feed(fed, vorl_exchange::MulticastPlan{sender, {receiver, other}});
        append_row(bytes, sender);
        append_le(bytes, 2, 8);
        append_row(bytes, receiver);
        append_row(bytes, other);
        fed.write_length_prefix(0x0807060504030201u);
        append_le(bytes, 0x0807060504030201u, 8);
        vorl_exchange::feed(fed, error);
        for (const char c : std::string_view{"logical tile 1472 is out of range"}) {
            bytes.push_back(static_cast<std::byte>(c));
        }
        bytes.push_back(std::byte{0xff});
        vorl_exchange::feed_row(fed, other);
        append_row(bytes, other);
        ASSERT_EQ(bytes.size(), lead + 88 + 52 + 44 * 2 + 8 + 34 + 44);
        EXPECT_EQ(fed.finish(), digest_of(bytes)) << "after " << lead << " bytes";
    }
}

// The same around the points where the staging buffer fills (every 1024
// bytes): a fed value may straddle them. Plans of up to two receivers, and
// point-to-point plans, are staged whole before the fill is checked; longer
// lists row by row.
TEST(Digest, FedValuesMatchTheirBytesAcrossTheStagingBuffer) {
    const Row sender{0x41800003, 0x04030201, 0x78000001, 0x43a00000, 0, 0, 0, 0, 0xfffffffe};
    const Row receiver{1, 0x41800003, 0x641c0000, 0x40a00000, 0x43a00000, 0, 0, 0, 0};
    for (std::size_t lead = 800; lead < 2100; ++lead) {
        DefaultHasher fed;
        Bytes bytes = counting_bytes(lead);
        fed.write(bytes);
        vorl_exchange::feed(fed, vorl_exchange::MulticastPlan{sender, {receiver, sender, receiver}});
        append_row(bytes, sender);
        append_le(bytes, 3, 8);
        append_row(bytes, receiver);
        append_row(bytes, sender);
        append_row(bytes, receiver);
        // Whole plans, each the slack's worth or less, one after the other, so
        // that each meets the fill at a different point of itself.
        for (std::size_t receivers = 0; receivers <= 2; ++receivers) {
            vorl_exchange::MulticastPlan plan{sender, {}};
            for (std::size_t index = 0; index < receivers; ++index) {
                plan.receivers.push_back(index == 0 ? receiver : sender);
            }
            vorl_exchange::feed(fed, plan);
            append_row(bytes, sender);
            append_le(bytes, receivers, 8);
            for (const Row& row : plan.receivers) {
                append_row(bytes, row);
            }
        }
        vorl_exchange::feed(fed, vorl_exchange::Plan{receiver, sender});
        append_row(bytes, receiver);
        append_row(bytes, sender);
        vorl_exchange::feed(fed, vorl_exchange::ExchangeError::receiver_set());
        for (const char c : std::string_view{"invalid multicast receiver set"}) {
            bytes.push_back(static_cast<std::byte>(c));
        }
        bytes.push_back(std::byte{0xff});
        EXPECT_EQ(fed.finish(), digest_of(bytes)) << "after " << lead << " bytes";
    }
}

}  // namespace
