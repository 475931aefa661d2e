// The digest: any split of a byte stream hashes as the whole stream, and a plan
// or an error hashes the same through every public feeding path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "vorl_exchange/digest.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/plan.hpp"

using namespace vorl_exchange;
using vorl_fuzz::require;

namespace {

Row read_row(vorl_fuzz::ByteReader& input) {
    Row row{};
    for (std::uint32_t& word : row) {
        word = input.u32();
    }
    return row;
}

ExchangeError read_error(vorl_fuzz::ByteReader& input) {
    const std::uint32_t first = input.u32();
    const std::uint32_t second = input.u32();
    switch (input.below_or_at(8)) {
        case 0: return ExchangeError::validation_budget_exceeded();
        case 1: return ExchangeError::tile(static_cast<std::uint16_t>(first));
        case 2: return ExchangeError::duplicate_tile();
        case 3: return ExchangeError::count(first);
        case 4: return ExchangeError::receiver_set();
        case 5: return ExchangeError::schedule(reason::all[first % std::size(reason::all)]);
        case 6: return ExchangeError::plan_offset_range(first, second);
        case 7: return ExchangeError::address(first);
        default: return ExchangeError::host_packet();
    }
}

// `value`'s low `width` bytes, little-endian.
void write_little_endian(DefaultHasher& hasher, std::uint64_t value, std::size_t width) {
    for (std::size_t index = 0; index < width; ++index) {
        const std::byte byte[] = {static_cast<std::byte>(value >> (8 * index))};
        hasher.write(byte);
    }
}

// The layout a row is fed in, written byte by byte.
void write_row_bytes(DefaultHasher& hasher, const Row& row) {
    write_little_endian(hasher, row_length, 8);
    for (const std::uint32_t word : row) {
        write_little_endian(hasher, word, 4);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorl_fuzz::ByteReader input{{data, size}};

    // A prefix, so that every later write starts at an arbitrary offset in a block.
    DefaultHasher start;
    std::vector<std::uint8_t> prefix(input.below_or_at(15));
    for (std::uint8_t& byte : prefix) {
        byte = input.u8();
    }
    start.write(std::as_bytes(std::span{prefix}));

    // Plans and errors, each through every path that feeds it.
    const Row sender = read_row(input);
    const Row receiver = read_row(input);
    std::vector<Row> rows(input.below_or_at(4));
    for (Row& row : rows) {
        row = read_row(input);
    }
    const ExchangeError error = read_error(input);

    const std::uint64_t prefixed_length = std::uint64_t{input.u32()} << 32 | input.u32();
    DefaultHasher prefixed = start;
    prefixed.write_length_prefix(prefixed_length);
    DefaultHasher prefix_by_bytes = start;
    write_little_endian(prefix_by_bytes, prefixed_length, 8);
    require(prefixed.finish() == prefix_by_bytes.finish(), "a length prefix is eight little-endian bytes");

    vorl_fuzz::require_known_error(error);

    const Plan plan{sender, receiver};
    DefaultHasher whole_plan = start;
    feed(whole_plan, plan);
    DefaultHasher plan_by_rows = start;
    feed_row(plan_by_rows, sender);
    feed_row(plan_by_rows, receiver);
    DefaultHasher plan_by_bytes = start;
    write_row_bytes(plan_by_bytes, sender);
    write_row_bytes(plan_by_bytes, receiver);
    require(whole_plan.finish() == plan_by_rows.finish() && whole_plan.finish() == plan_by_bytes.finish(),
            "a plan hashes the same fed whole, row by row and byte by byte");

    const MulticastPlan multicast{sender, RowList{std::span<const Row>{rows}}};
    DefaultHasher whole_multicast = start;
    feed(whole_multicast, multicast);
    DefaultHasher multicast_by_rows = start;
    feed_row(multicast_by_rows, sender);
    feed_rows(multicast_by_rows, rows);
    DefaultHasher multicast_by_bytes = start;
    write_row_bytes(multicast_by_bytes, sender);
    write_little_endian(multicast_by_bytes, rows.size(), 8);
    for (const Row& row : rows) {
        write_row_bytes(multicast_by_bytes, row);
    }
    require(whole_multicast.finish() == multicast_by_rows.finish() &&
                whole_multicast.finish() == multicast_by_bytes.finish(),
            "a multicast plan hashes the same fed whole, row by row and byte by byte");

    DefaultHasher whole_error = start;
    feed(whole_error, error);
    DefaultHasher error_as_text = start;
    feed_text(error_as_text, error.display().view());
    DefaultHasher error_as_str = start;
    error_as_str.write_str(error.display().view());
    DefaultHasher error_as_bytes = start;
    error_as_bytes.write(error.display().view());
    const std::byte terminator[] = {std::byte{0xff}};
    error_as_bytes.write(terminator);
    require(whole_error.finish() == error_as_text.finish() && whole_error.finish() == error_as_str.finish() &&
                whole_error.finish() == error_as_bytes.finish(),
            "an error hashes as its display text and the terminator");

    // The rest of the input as one write, and split where the input says.
    const std::span<const std::uint8_t> stream = input.rest();
    if (stream.empty()) {
        return 0;
    }
    DefaultHasher whole = start;
    whole.write(std::as_bytes(stream));
    DefaultHasher pieces = start;
    std::size_t written = 0;
    const std::uint8_t step = stream[0];
    while (written < stream.size()) {
        // Piece lengths from the stream itself: 0 to 31 bytes, sometimes empty writes.
        const std::size_t length = std::min<std::size_t>((stream[written] ^ step) % 32u, stream.size() - written);
        const auto piece = stream.subspan(written, length);
        if ((stream[written] & 0x80u) != 0) {
            pieces.write(std::string_view{reinterpret_cast<const char*>(piece.data()), piece.size()});
        } else {
            pieces.write(std::as_bytes(piece));
        }
        written += length;
        if (length == 0) {
            pieces.write(std::as_bytes(stream.subspan(written, 1)));
            ++written;
        }
    }
    require(pieces.finish() == whole.finish(), "a stream hashes the same however it is split into writes");
    return 0;
}
