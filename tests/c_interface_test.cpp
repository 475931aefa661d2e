// The C interface's texts against the C++ errors they stand for, and its
// refusal of bad pointers and sizes at every entry point.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <vorl_exchange/vorl_exchange.h>
#include <vorl_exchange/vorl_exchange.hpp>

#include "case_table.hpp"

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
    cases.push_back({with(VX_PLAN_OFFSET_RANGE,
                          [](vx_error& e) {
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
    vx_error repeated = with_status(VX_TOPOLOGY_REFUSED);
    repeated.rule = VX_REPEATED_IDENTIFIER;
    repeated.entry = 4;
    repeated.earlier_entry = 1;
    vx_error unknown_rule = refused;
    unknown_rule.rule = 3;
    const Case cases[] = {
        {vx_error{}, "no error", "Ok"},
        {too_small, "the plan has 7 receiver rows, more than the buffer holds", "BufferTooSmall { needed_rows: 7 }"},
        {refused, "topology table entry 65536: a table holds at most 65536 entries, one per 16-bit logical tile number",
         "TableTooLong { entry: 65536 }"},
        {repeated,
         "topology table entry 4: a physical identifier names one tile, so it may appear only once; entry 1 holds it "
         "too",
         "RepeatedIdentifier { entry: 4, earlier_entry: 1 }"},
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

bool operator==(const vx_receiver_fault& one, const vx_receiver_fault& other) {
    return one.refused == other.refused && one.rule == other.rule && one.has_entry == other.has_entry &&
           one.tile == other.tile && one.entry == other.entry;
}

TEST(CInterface, RefusedReceiverListsNameTheirEntryAndRule) {
    vx_topology* tarn = nullptr;
    ASSERT_EQ(vx_topology_tarn(&tarn, nullptr), VX_OK);
    const struct {
        std::uint16_t sender;
        std::vector<std::uint16_t> receivers;
        vx_receiver_fault multicast;
        vx_receiver_fault paired;
    } cases[] = {
        {0, {}, {1, VX_RECEIVER_EMPTY_LIST, 0, 0, 0}, {1, VX_RECEIVER_EMPTY_LIST, 0, 0, 0}},
        {0, {2}, {0, 0, 0, 0, 0}, {1, VX_RECEIVER_ODD_COUNT, 0, 0, 0}},
        {0, {2, 5000}, {1, VX_RECEIVER_OUTSIDE_TOPOLOGY, 1, 5000, 1}, {1, VX_RECEIVER_PARTNER_MISSING, 1, 2, 0}},
        {0, {3, 2, 3, 2}, {1, VX_RECEIVER_REPEATED, 1, 3, 2}, {1, VX_RECEIVER_REPEATED, 1, 3, 2}},
        {0, {3, 2}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
        {5, {5}, {1, VX_RECEIVER_SENDER_ALONE, 1, 5, 0}, {1, VX_RECEIVER_ODD_COUNT, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.receivers));
        vx_receiver_fault fault{};
        vx_error error = exchange_error(VX_TILE);
        ASSERT_EQ(vx_multicast_receiver_fault(tarn, c.sender, c.receivers.data(), c.receivers.size(), &fault, &error),
                  VX_OK);
        EXPECT_EQ(error.status, VX_OK);
        EXPECT_TRUE(fault == c.multicast) << fault.rule << " at " << fault.entry;
        ASSERT_EQ(vx_paired_receiver_fault(tarn, c.receivers.data(), c.receivers.size(), &fault, nullptr), VX_OK);
        EXPECT_TRUE(fault == c.paired) << fault.rule << " at " << fault.entry;
    }
    vx_topology_free(tarn);
    EXPECT_STREQ(vx_receiver_rule_name(VX_RECEIVER_PARTNER_MISSING), "PartnerMissing");
    EXPECT_STREQ(vx_receiver_rule_text(VX_RECEIVER_OUTSIDE_TOPOLOGY), "is outside the topology");
    EXPECT_EQ(vx_receiver_rule_name(VX_RECEIVER_PARTNER_MISSING + 1), nullptr);
    EXPECT_EQ(vx_receiver_rule_text(-1), nullptr);
}

TEST(CInterface, ATableWithARepeatedIdentifierNamesBothEntries) {
    const std::uint16_t table[] = {0, 64, 0, 2};
    vx_topology* topology = nullptr;
    vx_error error{};
    EXPECT_EQ(vx_topology_from_table(table, 4, &topology, &error), VX_TOPOLOGY_REFUSED);
    EXPECT_EQ(topology, nullptr);
    EXPECT_EQ(error.rule, VX_REPEATED_IDENTIFIER);
    EXPECT_EQ(error.entry, 2u);
    EXPECT_EQ(error.earlier_entry, 0u);
}

TEST(CInterface, NullPointersAndImpossibleSizesAreRefusedEverywhere) {
    vx_topology* tarn = nullptr;
    ASSERT_EQ(vx_topology_tarn(&tarn, nullptr), VX_OK);
    vx_row row{};
    vx_row rows[2]{};
    const std::uint16_t receivers[] = {2, 3};
    std::uint16_t tile = 0;
    const std::size_t impossible = static_cast<std::size_t>(-1) / 2;
    int early = 0;
    vx_receiver_fault fault{};
    const std::uint32_t counts[] = {1};
    const std::size_t offsets[] = {0, 2};
    std::int32_t statuses[1];
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
        [&](vx_error* e) { return vx_multicast_offset_limit(tarn, 0, receivers, 2, 1, nullptr, e); },
        [&](vx_error* e) { return vx_paired_receiver_is_early(nullptr, 2, 0, &early, e); },
        [&](vx_error* e) { return vx_multicast_receiver_fault(nullptr, 0, receivers, 2, &fault, e); },
        [&](vx_error* e) { return vx_multicast_receiver_fault(tarn, 0, nullptr, 2, &fault, e); },
        [&](vx_error* e) { return vx_paired_receiver_fault(tarn, receivers, 2, nullptr, e); },
        [&](vx_error* e) { return vx_paired_receiver_fault(tarn, receivers, impossible, &fault, e); },
        [&](vx_error* e) {
            return vx_point_to_point_many(nullptr, 1, receivers, receivers, counts, rows, statuses, nullptr, e);
        },
        [&](vx_error* e) {
            return vx_point_to_point_many(tarn, 1, receivers, receivers, counts, rows, nullptr, nullptr, e);
        },
        [&](vx_error* e) {
            return vx_point_to_point_many(tarn, impossible, receivers, receivers, counts, rows, statuses, nullptr, e);
        },
        [&](vx_error* e) {
            return vx_multicast_many(tarn, 1, receivers, offsets, receivers, counts, nullptr, &row, rows, 2, statuses,
                                     nullptr, e);
        },
        [&](vx_error* e) {
            return vx_multicast_many(tarn, 1, receivers, nullptr, receivers, counts, counts, &row, rows, 2, statuses,
                                     nullptr, e);
        },
        [&](vx_error* e) {
            return vx_paired_multicast_many(tarn, 1, receivers, offsets, nullptr, counts, &row, rows, 2, statuses,
                                            nullptr, e);
        },
        [&](vx_error* e) {
            return vx_paired_multicast_many(tarn, 1, receivers, offsets, receivers, counts, &row, nullptr, 2, statuses,
                                            nullptr, e);
        },
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

// Requests for the bulk calls: the driver's case table, then random ones,
// many of them refused (tiles beyond the topology, counts out of range, late
// offsets, lists that are no set of pairs).
struct Requests {
    std::vector<std::uint16_t> senders;
    std::vector<std::size_t> receiver_offsets{0};
    std::vector<std::uint16_t> receivers;
    std::vector<std::uint32_t> counts;
    std::vector<std::uint32_t> schedule_offsets;

    void add(std::uint16_t sender, std::span<const std::uint16_t> listed, std::uint32_t count, std::uint32_t offset) {
        senders.push_back(sender);
        receivers.insert(receivers.end(), listed.begin(), listed.end());
        receiver_offsets.push_back(receivers.size());
        counts.push_back(count);
        schedule_offsets.push_back(offset);
    }
    [[nodiscard]] std::size_t size() const { return senders.size(); }
    [[nodiscard]] std::span<const std::uint16_t> listed(std::size_t index) const {
        const std::size_t first = receiver_offsets[index];
        return std::span{receivers}.subspan(first, receiver_offsets[index + 1] - first);
    }
};

Requests requests_of(sablemark::CallKind kind) {
    Requests requests;
    sablemark::walk_case_table(
        vorl_exchange::Topology::tarn(),
        [&](const sablemark::Call& call, const auto&) {
            if (call.kind == kind) {
                requests.add(call.source, call.receivers, call.count, call.offset);
            }
            return true;
        },
        [&](const sablemark::Call& call, const auto&) {
            if (call.kind == kind) {
                requests.add(call.source, call.receivers, call.count, call.offset);
            }
            return true;
        });
    std::mt19937 random(24);
    auto below = [&](std::uint32_t bound) { return static_cast<std::uint32_t>(random() % bound); };
    for (int made = 0; made < 20000; ++made) {
        std::vector<std::uint16_t> listed;
        const std::uint32_t length = kind == sablemark::CallKind::PointToPoint ? 1 : below(6);
        for (std::uint32_t index = 0; index < length; ++index) {
            const auto tile = static_cast<std::uint16_t>(below(1480));
            listed.push_back(tile);
            if (kind == sablemark::CallKind::PairedMulticast && below(8) != 0) {
                listed.push_back(static_cast<std::uint16_t>(tile ^ 1u));
            }
        }
        const std::uint32_t offset = below(4) == 0 ? below(5000) : below(60);
        requests.add(static_cast<std::uint16_t>(below(1480)), listed, below(4200), offset);
    }
    return requests;
}

// Two results are equal: status, every error field, and the rows.
void expect_same(vx_status single_status, const vx_error& single_error, std::span<const vx_row> single_rows,
                 std::int32_t bulk_status, const vx_error& bulk_error, std::span<const vx_row> bulk_rows,
                 std::size_t index) {
    ASSERT_EQ(bulk_status, single_status) << "request " << index;
    EXPECT_EQ(std::memcmp(&bulk_error, &single_error, sizeof bulk_error), 0) << "request " << index;
    ASSERT_EQ(bulk_rows.size(), single_rows.size());
    EXPECT_EQ(std::memcmp(bulk_rows.data(), single_rows.data(), bulk_rows.size_bytes()), 0) << "request " << index;
}

class BulkPlanners : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(vx_topology_tarn(&tarn, nullptr), VX_OK); }
    void TearDown() override { vx_topology_free(tarn); }
    vx_topology* tarn = nullptr;
};

TEST_F(BulkPlanners, PointToPointEqualsTheSingleCall) {
    const Requests requests = requests_of(sablemark::CallKind::PointToPoint);
    const std::size_t n = requests.size();
    std::vector<vx_row> rows(2 * n);
    std::vector<std::int32_t> statuses(n);
    std::vector<vx_error> errors(n);
    ASSERT_EQ(vx_point_to_point_many(tarn, n, requests.senders.data(), requests.receivers.data(),
                                     requests.counts.data(), rows.data(), statuses.data(), errors.data(), nullptr),
              VX_OK);
    for (std::size_t index = 0; index < n; ++index) {
        vx_row single[2];
        vx_error error;
        // Memory compared byte for byte starts out equal, padding included.
        std::memset(&error, 0, sizeof error);
        const vx_status status = vx_point_to_point(tarn, requests.senders[index], requests.receivers[index],
                                                   requests.counts[index], &single[0], &single[1], &error);
        expect_same(status, error, single, statuses[index], errors[index], std::span{rows}.subspan(2 * index, 2),
                    index);
    }
}

// Multicast and paired multicast through one check: `single(index, sender_row,
// receiver_rows, error)` plans request `index` with the single call.
template <class Bulk, class Single>
void expect_bulk_equals_single(const Requests& requests, Bulk&& bulk, Single&& single) {
    const std::size_t n = requests.size();
    std::vector<vx_row> sender_rows(n);
    std::vector<vx_row> receiver_rows(requests.receivers.size());
    std::vector<std::int32_t> statuses(n);
    std::vector<vx_error> errors(n);
    // One row short: refused before anything is written.
    vx_error error{};
    std::vector<vx_row> untouched = receiver_rows;
    ASSERT_EQ(bulk(sender_rows.data(), receiver_rows.data(), receiver_rows.size() - 1, statuses.data(), errors.data(),
                   &error),
              VX_BUFFER_TOO_SMALL);
    EXPECT_EQ(error.needed_rows, receiver_rows.size());
    EXPECT_EQ(std::memcmp(untouched.data(), receiver_rows.data(), receiver_rows.size() * sizeof(vx_row)), 0);
    ASSERT_EQ(
        bulk(sender_rows.data(), receiver_rows.data(), receiver_rows.size(), statuses.data(), errors.data(), &error),
        VX_OK);
    std::size_t refused = 0;
    for (std::size_t index = 0; index < n; ++index) {
        const std::size_t first = requests.receiver_offsets[index];
        const std::size_t listed = requests.listed(index).size();
        std::vector<vx_row> rows(1 + listed);
        vx_error single_error;
        std::memset(&single_error, 0, sizeof single_error);
        const vx_status status = single(index, &rows[0], rows.data() + 1, &single_error);
        std::vector<vx_row> bulk_rows{sender_rows[index]};
        bulk_rows.insert(bulk_rows.end(), receiver_rows.begin() + static_cast<std::ptrdiff_t>(first),
                         receiver_rows.begin() + static_cast<std::ptrdiff_t>(first + listed));
        expect_same(status, single_error, rows, statuses[index], errors[index], bulk_rows, index);
        refused += status != VX_OK;
    }
    // Both outcomes are well represented.
    EXPECT_GT(refused, n / 20);
    EXPECT_LT(refused, n / 2);
}

TEST_F(BulkPlanners, MulticastEqualsTheSingleCall) {
    const Requests requests = requests_of(sablemark::CallKind::Multicast);
    expect_bulk_equals_single(
        requests,
        [&](vx_row* sender_rows, vx_row* receiver_rows, std::size_t capacity, std::int32_t* statuses, vx_error* errors,
            vx_error* error) {
            return vx_multicast_many(tarn, requests.size(), requests.senders.data(), requests.receiver_offsets.data(),
                                     requests.receivers.data(), requests.counts.data(),
                                     requests.schedule_offsets.data(), sender_rows, receiver_rows, capacity, statuses,
                                     errors, error);
        },
        [&](std::size_t index, vx_row* sender_row, vx_row* receiver_rows, vx_error* error) {
            const auto listed = requests.listed(index);
            return vx_multicast(tarn, requests.senders[index], listed.data(), listed.size(), requests.counts[index],
                                requests.schedule_offsets[index], sender_row, receiver_rows, listed.size(), nullptr,
                                error);
        });
}

TEST_F(BulkPlanners, PairedMulticastEqualsTheSingleCall) {
    const Requests requests = requests_of(sablemark::CallKind::PairedMulticast);
    expect_bulk_equals_single(
        requests,
        [&](vx_row* sender_rows, vx_row* receiver_rows, std::size_t capacity, std::int32_t* statuses, vx_error* errors,
            vx_error* error) {
            return vx_paired_multicast_many(tarn, requests.size(), requests.senders.data(),
                                            requests.receiver_offsets.data(), requests.receivers.data(),
                                            requests.counts.data(), sender_rows, receiver_rows, capacity, statuses,
                                            errors, error);
        },
        [&](std::size_t index, vx_row* sender_row, vx_row* receiver_rows, vx_error* error) {
            const auto listed = requests.listed(index);
            return vx_paired_multicast(tarn, requests.senders[index], listed.data(), listed.size(),
                                       requests.counts[index], sender_row, receiver_rows, listed.size(), nullptr,
                                       error);
        });
}

TEST_F(BulkPlanners, AWindowOfRequestsWritesRowsFromItsFirstOffset) {
    // Requests 5..7 of a larger list: receivers read at the offsets, rows written from index 0.
    const std::uint16_t receivers[] = {9, 9, 9, 9, 9, 2, 1};
    const std::size_t offsets[] = {5, 6, 7};
    const std::uint16_t senders[] = {0, 0};
    const std::uint32_t counts[] = {1, 1};
    const std::uint32_t schedule_offsets[] = {0, 0};
    vx_row sender_rows[2];
    vx_row receiver_rows[2];
    std::int32_t statuses[2];
    ASSERT_EQ(vx_multicast_many(tarn, 2, senders, offsets, receivers, counts, schedule_offsets, sender_rows,
                                receiver_rows, 2, statuses, nullptr, nullptr),
              VX_OK);
    vx_row single[2];
    ASSERT_EQ(vx_multicast(tarn, 0, &receivers[6], 1, 1, 0, &single[0], &single[1], 1, nullptr, nullptr), VX_OK);
    EXPECT_EQ(std::memcmp(&receiver_rows[1], &single[1], sizeof single[1]), 0);
    const std::size_t decreasing[] = {6, 5, 7};
    EXPECT_EQ(vx_multicast_many(tarn, 2, senders, decreasing, receivers, counts, schedule_offsets, sender_rows,
                                receiver_rows, 2, statuses, nullptr, nullptr),
              VX_BAD_ARGUMENT);
}

// Every pair of offsets, the last included: one pair that decreases refuses
// the whole call, names the offset, and writes nothing.
TEST_F(BulkPlanners, ADecreasingPairOfOffsetsAnywhereIsABadArgument) {
    const std::uint16_t receivers[] = {9, 2, 1, 2, 1, 2, 1};
    const std::uint16_t senders[] = {0, 0, 0, 0};
    const std::uint32_t counts[] = {1, 1, 1, 1};
    const std::uint32_t schedule_offsets[] = {0, 0, 0, 0};
    constexpr std::size_t request_count = 4;
    for (std::size_t below = 1; below <= request_count; ++below) {
        // Offsets need not start at 0, so even the first pair can decrease.
        std::vector<std::size_t> offsets = {1, 2, 3, 5, 7};
        offsets[below] = offsets[below - 1] - 1;
        vx_row sender_rows[request_count]{};
        vx_row receiver_rows[6]{};
        std::int32_t statuses[request_count] = {-7, -7, -7, -7};
        const std::function<vx_status(vx_error*)> calls[] = {
            [&](vx_error* error) {
                return vx_multicast_many(tarn, request_count, senders, offsets.data(), receivers, counts,
                                         schedule_offsets, sender_rows, receiver_rows, 6, statuses, nullptr, error);
            },
            [&](vx_error* error) {
                return vx_paired_multicast_many(tarn, request_count, senders, offsets.data(), receivers, counts,
                                                sender_rows, receiver_rows, 6, statuses, nullptr, error);
            },
        };
        for (const auto& call : calls) {
            vx_error error{};
            ASSERT_EQ(call(&error), VX_BAD_ARGUMENT) << "offset " << below;
            EXPECT_EQ(error.rule, VX_ARGUMENT_RECEIVER_OFFSETS);
            EXPECT_EQ(error.entry, below);
            EXPECT_EQ(display(error), "receiver_offsets[" + std::to_string(below) + "] is below receiver_offsets[" +
                                          std::to_string(below - 1) + "]");
            EXPECT_EQ(debug(error),
                      "BadArgument { argument: \"receiver_offsets\", entry: " + std::to_string(below) + " }");
            EXPECT_EQ(statuses[0], -7);
            EXPECT_EQ(statuses[request_count - 1], -7);
        }
    }
    // Equal neighbours are an empty list, not a decrease.
    const std::size_t flat[] = {0, 0, 2, 2, 2};
    std::int32_t statuses[request_count];
    vx_row sender_rows[request_count];
    vx_row receiver_rows[2];
    EXPECT_EQ(vx_multicast_many(tarn, request_count, senders, flat, receivers, counts, schedule_offsets, sender_rows,
                                receiver_rows, 2, statuses, nullptr, nullptr),
              VX_OK);
}

// Each array a bulk call needs, left out in turn: the error names that argument.
TEST_F(BulkPlanners, ABadArgumentOfABulkCallIsNamed) {
    const std::uint16_t tiles[] = {0, 2};
    const std::size_t offsets[] = {0, 1};
    const std::uint32_t numbers[] = {1};
    vx_row rows[2];
    std::int32_t statuses[1];
    const std::size_t impossible = static_cast<std::size_t>(-1) / 2;
    struct Case {
        std::function<vx_status(vx_error*)> call;
        vx_argument argument;
        const char* display;
    };
    const std::vector<Case> cases = {
        {[&](vx_error* e) {
             return vx_point_to_point_many(nullptr, 1, tiles, tiles, numbers, rows, statuses, nullptr, e);
         },
         VX_ARGUMENT_TOPOLOGY, "a null pointer or an impossible size was passed as topology"},
        {[&](vx_error* e) {
             return vx_point_to_point_many(tarn, impossible, tiles, tiles, numbers, rows, statuses, nullptr, e);
         },
         VX_ARGUMENT_REQUEST_COUNT, "a null pointer or an impossible size was passed as request_count"},
        {[&](vx_error* e) {
             return vx_point_to_point_many(tarn, 1, nullptr, tiles, numbers, rows, statuses, nullptr, e);
         },
         VX_ARGUMENT_SENDERS, "a null pointer or an impossible size was passed as senders"},
        {[&](vx_error* e) {
             return vx_point_to_point_many(tarn, 1, tiles, nullptr, numbers, rows, statuses, nullptr, e);
         },
         VX_ARGUMENT_RECEIVERS, "a null pointer or an impossible size was passed as receivers"},
        {[&](vx_error* e) {
             return vx_point_to_point_many(tarn, 1, tiles, tiles, nullptr, rows, statuses, nullptr, e);
         },
         VX_ARGUMENT_COUNTS, "a null pointer or an impossible size was passed as counts"},
        {[&](vx_error* e) {
             return vx_point_to_point_many(tarn, 1, tiles, tiles, numbers, nullptr, statuses, nullptr, e);
         },
         VX_ARGUMENT_ROWS, "a null pointer or an impossible size was passed as rows"},
        {[&](vx_error* e) { return vx_point_to_point_many(tarn, 1, tiles, tiles, numbers, rows, nullptr, nullptr, e); },
         VX_ARGUMENT_STATUSES, "a null pointer or an impossible size was passed as statuses"},
        {[&](vx_error* e) {
             return vx_multicast_many(nullptr, 1, tiles, offsets, tiles, numbers, numbers, rows, rows, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_TOPOLOGY, "a null pointer or an impossible size was passed as topology"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, nullptr, offsets, tiles, numbers, numbers, rows, rows, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_SENDERS, "a null pointer or an impossible size was passed as senders"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, tiles, nullptr, tiles, numbers, numbers, rows, rows, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_RECEIVER_OFFSETS, "a null pointer or an impossible size was passed as receiver_offsets"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, tiles, offsets, nullptr, numbers, numbers, rows, rows, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_RECEIVERS, "a null pointer or an impossible size was passed as receivers"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, tiles, offsets, tiles, nullptr, numbers, rows, rows, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_COUNTS, "a null pointer or an impossible size was passed as counts"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, tiles, offsets, tiles, numbers, nullptr, rows, rows, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_SCHEDULE_OFFSETS, "a null pointer or an impossible size was passed as schedule_offsets"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, tiles, offsets, tiles, numbers, numbers, nullptr, rows, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_SENDER_ROWS, "a null pointer or an impossible size was passed as sender_rows"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, tiles, offsets, tiles, numbers, numbers, rows, nullptr, 1, statuses,
                                      nullptr, e);
         },
         VX_ARGUMENT_RECEIVER_ROWS, "a null pointer or an impossible size was passed as receiver_rows"},
        {[&](vx_error* e) {
             return vx_multicast_many(tarn, 1, tiles, offsets, tiles, numbers, numbers, rows, rows, impossible,
                                      statuses, nullptr, e);
         },
         VX_ARGUMENT_RECEIVER_CAPACITY, "a null pointer or an impossible size was passed as receiver_capacity"},
        {[&](vx_error* e) {
             return vx_paired_multicast_many(tarn, 1, tiles, offsets, tiles, numbers, rows, rows, 1, nullptr, nullptr,
                                             e);
         },
         VX_ARGUMENT_STATUSES, "a null pointer or an impossible size was passed as statuses"},
        {[&](vx_error* e) {
             return vx_paired_multicast_many(tarn, impossible, tiles, offsets, tiles, numbers, rows, rows, 1, statuses,
                                             nullptr, e);
         },
         VX_ARGUMENT_REQUEST_COUNT, "a null pointer or an impossible size was passed as request_count"},
    };
    for (const auto& [call, argument, display_text] : cases) {
        vx_error error{};
        ASSERT_EQ(call(&error), VX_BAD_ARGUMENT) << display_text;
        EXPECT_EQ(error.rule, argument) << display_text;
        EXPECT_EQ(error.entry, 0u) << display_text;
        EXPECT_EQ(display(error), display_text);
        EXPECT_EQ(debug(error),
                  std::string{"BadArgument { argument: \""} + vx_argument_name(argument) + "\", entry: 0 }");
    }
    // The single calls name no argument, and keep the text that names none.
    vx_error error{};
    ASSERT_EQ(vx_point_to_point(tarn, 0, 2, 1, nullptr, rows, &error), VX_BAD_ARGUMENT);
    EXPECT_EQ(error.rule, VX_ARGUMENT_UNNAMED);
    EXPECT_EQ(display(error), "a null pointer or an impossible size was passed");
    EXPECT_EQ(vx_argument_name(VX_ARGUMENT_UNNAMED), nullptr);
    EXPECT_EQ(vx_argument_name(VX_ARGUMENT_STATUSES + 1), nullptr);
    EXPECT_STREQ(vx_argument_name(VX_ARGUMENT_RECEIVER_OFFSETS), "receiver_offsets");
    // A value naming no argument has the unnamed texts.
    error.rule = 99;
    EXPECT_EQ(display(error), "a null pointer or an impossible size was passed");
    EXPECT_EQ(debug(error), "BadArgument");
}

TEST_F(BulkPlanners, LookupsAndTheOffsetLimitMatchTheCppCalls) {
    const vorl_exchange::Topology cpp = vorl_exchange::Topology::tarn();
    EXPECT_EQ(vx_topology_tile_count(tarn), 1472u);
    EXPECT_EQ(vx_topology_tile_count(nullptr), 0u);
    EXPECT_EQ(vx_are_partners(tarn, 2, 3), 1);
    EXPECT_EQ(vx_are_partners(tarn, 2, 4), 0);
    EXPECT_EQ(vx_are_partners(nullptr, 2, 3), 0);
    const std::uint16_t receivers[] = {407, 380};
    std::uint32_t limit = 0;
    ASSERT_EQ(vx_multicast_offset_limit(tarn, 1287, receivers, 2, 1543, &limit, nullptr), VX_OK);
    EXPECT_EQ(limit, cpp.multicast_offset_limit(1287, receivers, 1543).value());
    vx_error error{};
    EXPECT_EQ(vx_multicast_offset_limit(tarn, 1287, receivers, 2, 0, &limit, &error), VX_EXCHANGE_ERROR);
    EXPECT_EQ(error.kind, VX_COUNT);
    int early = -1;
    ASSERT_EQ(vx_paired_receiver_is_early(tarn, 2, 0, &early, nullptr), VX_OK);
    EXPECT_EQ(early == 1, cpp.paired_receiver_is_early(2, 0).value());
    EXPECT_EQ(vx_paired_receiver_is_early(tarn, 1472, 0, &early, &error), VX_EXCHANGE_ERROR);
    EXPECT_EQ(error.tile, 1472u);
}

TEST(CInterface, VersionAndDescribe) {
    EXPECT_EQ(vx_version(), vorl_exchange::version());
    const std::uint32_t word = 0x40a0008e;
    std::string text(vx_describe(word, nullptr, 0), '\0');
    vx_describe(word, text.data(), text.size() + 1);
    EXPECT_EQ(text, vorl_exchange::describe(word));
}

}  // namespace
