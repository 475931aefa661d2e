// The C interface's texts against the C++ errors they stand for, and its
// refusal of bad pointers and sizes at every entry point.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <vorl_exchange/vorl_exchange.h>
#include <vorl_exchange/vorl_exchange.hpp>

namespace {

using vorl_exchange::ExchangeError;

std::string display(const vx_error& error) {
    std::string text(vx_error_display(&error, nullptr, 0), '\0');
    vx_error_display(&error, text.data(), text.size() + 1);
    return text;
}

std::string debug(const vx_error& error) {
    std::string text(vx_error_debug(&error, nullptr, 0), '\0');
    vx_error_debug(&error, text.data(), text.size() + 1);
    return text;
}

vx_error with_status(std::int32_t status) {
    vx_error error{};
    error.status = status;
    return error;
}

vx_error exchange_error(std::int32_t kind) {
    vx_error error = with_status(VX_EXCHANGE_ERROR);
    error.kind = kind;
    return error;
}

TEST(CInterface, EveryVariantHasTheTextsOfItsCppError) {
    struct Case {
        vx_error value;
        ExchangeError cpp;
    };
    std::vector<Case> cases;
    auto with = [](std::int32_t kind, auto fill) {
        vx_error error = exchange_error(kind);
        fill(error);
        return error;
    };
    const auto nothing = [](vx_error&) {};
    cases.push_back({with(VX_VALIDATION_BUDGET_EXCEEDED, nothing), ExchangeError::validation_budget_exceeded()});
    cases.push_back({with(VX_TILE, [](vx_error& e) { e.tile = 65535; }), ExchangeError::tile(65535)});
    cases.push_back({with(VX_DUPLICATE_TILE, nothing), ExchangeError::duplicate_tile()});
    cases.push_back({with(VX_COUNT, [](vx_error& e) { e.count = 4294967295u; }), ExchangeError::count(4294967295u)});
    cases.push_back({with(VX_RECEIVER_SET, nothing), ExchangeError::receiver_set()});
    cases.push_back({with(VX_PLAN_OFFSET_RANGE, [](vx_error& e) {
                         e.cycles = 5000;
                         e.maximum = 4095;
                     }),
                     ExchangeError::plan_offset_range(5000, 4095)});
    cases.push_back({with(VX_ADDRESS, [](vx_error& e) { e.address = 0x1abc; }), ExchangeError::address(0x1abc)});
    cases.push_back({with(VX_HOST_PACKET, nothing), ExchangeError::host_packet()});
    for (const auto reason : vorl_exchange::reason::all) {
        vx_error error = exchange_error(VX_SCHEDULE);
        error.reason = static_cast<std::uint32_t>(reason);
        cases.push_back({error, ExchangeError::schedule(reason)});
        EXPECT_EQ(vx_schedule_reason_text(error.reason), vorl_exchange::reason_text(reason));
    }
    for (const auto& [value, cpp] : cases) {
        const std::string cpp_debug = cpp.debug();
        EXPECT_EQ(display(value), cpp.display().view());
        EXPECT_EQ(debug(value), cpp_debug);
        EXPECT_EQ(cpp_debug.find(vx_error_kind_name(value.kind)), 0u) << cpp_debug;
    }
}

TEST(CInterface, OtherStatusesAndForeignValuesHaveTexts) {
    struct Case {
        vx_error value;
        const char* display;
        const char* debug;
    };
    vx_error too_small = with_status(VX_BUFFER_TOO_SMALL);
    too_small.needed_rows = 7;
    vx_error refused = with_status(VX_TOPOLOGY_REFUSED);
    refused.rule = VX_TABLE_TOO_LONG;
    refused.entry = 65536;
    const char* foreign = "not a vx_error value";
    vx_error tile_beyond_16_bits = exchange_error(VX_TILE);
    tile_beyond_16_bits.tile = 65536;
    vx_error reason_past_the_last = exchange_error(VX_SCHEDULE);
    reason_past_the_last.reason = VX_SCHEDULE_REASON_COUNT;
    vx_error unknown_rule = refused;
    unknown_rule.rule = 2;
    const Case cases[] = {
        {vx_error{}, "no error", "Ok"},
        {too_small, "the plan has 7 receiver rows, more than the buffer holds", "BufferTooSmall { needed_rows: 7 }"},
        {refused, "topology table entry 65536: a table holds at most 65536 entries, one per 16-bit logical tile number",
         "TableTooLong { entry: 65536 }"},
        {with_status(VX_BAD_ARGUMENT), "a null pointer or an impossible size was passed", "BadArgument"},
        {with_status(VX_OUT_OF_MEMORY), "out of memory", "OutOfMemory"},
        {exchange_error(9), foreign, foreign},
        {tile_beyond_16_bits, foreign, foreign},
        {reason_past_the_last, foreign, foreign},
        {unknown_rule, foreign, foreign},
        {with_status(-1), foreign, foreign},
    };
    for (const auto& [value, display_text, debug_text] : cases) {
        EXPECT_EQ(display(value), display_text);
        EXPECT_EQ(debug(value), debug_text);
    }
    EXPECT_EQ(vx_error_kind_name(-1), nullptr);
    EXPECT_EQ(vx_error_debug(nullptr, nullptr, 0), std::string{foreign}.size());
}

TEST(CInterface, NullPointersAndImpossibleSizesAreRefusedEverywhere) {
    vx_topology* tarn = nullptr;
    ASSERT_EQ(vx_topology_tarn(&tarn, nullptr), VX_OK);
    vx_row row{};
    vx_row rows[2]{};
    const std::uint16_t receivers[] = {2, 3};
    std::uint16_t tile = 0;
    const std::size_t impossible = static_cast<std::size_t>(-1) / 2;
    const std::vector<std::function<vx_status(vx_error*)>> calls = {
        [&](vx_error* e) { return vx_topology_from_table(nullptr, 1, &tarn, e); },
        [&](vx_error* e) { return vx_topology_from_table(receivers, 2, nullptr, e); },
        [&](vx_error* e) { return vx_topology_from_table(receivers, impossible, &tarn, e); },
        [&](vx_error* e) { return vx_topology_physical(nullptr, 0, &tile, e); },
        [&](vx_error* e) { return vx_topology_paired_logical(tarn, 0, nullptr, e); },
        [&](vx_error* e) { return vx_point_to_point(tarn, 0, 2, 1, &row, nullptr, e); },
        [&](vx_error* e) { return vx_multicast(nullptr, 0, receivers, 2, 1, 0, &row, rows, 2, nullptr, e); },
        [&](vx_error* e) { return vx_multicast(tarn, 0, receivers, 2, 1, 0, nullptr, rows, 2, nullptr, e); },
        [&](vx_error* e) { return vx_multicast(tarn, 0, receivers, 2, 1, 0, &row, nullptr, 2, nullptr, e); },
        [&](vx_error* e) { return vx_multicast(tarn, 0, receivers, 2, 1, 0, &row, rows, impossible, nullptr, e); },
        [&](vx_error* e) { return vx_paired_multicast(tarn, 0, nullptr, 2, 1, &row, rows, 2, nullptr, e); },
        [&](vx_error* e) { return vx_paired_multicast(tarn, 0, receivers, impossible, 1, &row, rows, 2, nullptr, e); },
    };
    for (std::size_t index = 0; index < calls.size(); ++index) {
        vx_error error = exchange_error(VX_TILE);
        EXPECT_EQ(calls[index](&error), VX_BAD_ARGUMENT) << "call " << index;
        EXPECT_EQ(error.status, VX_BAD_ARGUMENT) << "call " << index;
        EXPECT_EQ(calls[index](nullptr), VX_BAD_ARGUMENT) << "call " << index;
    }
    // An empty table is a topology; it has no tiles.
    vx_topology* empty = nullptr;
    vx_error error{};
    ASSERT_EQ(vx_topology_from_table(nullptr, 0, &empty, &error), VX_OK);
    EXPECT_EQ(vx_topology_physical(empty, 0, &tile, &error), VX_EXCHANGE_ERROR);
    EXPECT_EQ(error.kind, VX_TILE);
    vx_topology_free(empty);
    vx_topology_free(tarn);
}

TEST(CInterface, VersionAndDescribe) {
    EXPECT_EQ(vx_version(), vorl_exchange::version());
    const std::uint32_t word = 0x40a0008e;
    std::string text(vx_describe(word, nullptr, 0), '\0');
    vx_describe(word, text.data(), text.size() + 1);
    EXPECT_EQ(text, vorl_exchange::describe(word));
}

}  // namespace
