// The C interface: each call checks its pointers and sizes, runs the C++
// operation, and turns its result into plain values; nothing thrown leaves.
#include "vorl_exchange/vorl_exchange.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan_check.hpp"
#include "vorl_exchange/receiver_fault.hpp"
#include "vorl_exchange/topology.hpp"
#include "vorl_exchange/version.hpp"

struct vx_topology {
    vorl_exchange::Topology topology;
};

namespace {

using vorl_exchange::ErrorKind;
using vorl_exchange::ExchangeError;
using vorl_exchange::Row;
using vorl_exchange::TopologyError;
using vorl_exchange::TopologyRule;

static_assert(static_cast<int>(ErrorKind::HostPacket) == VX_HOST_PACKET);
static_assert(vorl_exchange::schedule_reason_count == VX_SCHEDULE_REASON_COUNT);
static_assert(vorl_exchange::row_length == VX_ROW_LENGTH);
static_assert(static_cast<int>(TopologyRule::IdentifierBeyondRowField) == VX_IDENTIFIER_BEYOND_ROW_FIELD);
static_assert(static_cast<int>(TopologyRule::RepeatedIdentifier) == VX_REPEATED_IDENTIFIER);
static_assert(static_cast<int>(vorl_exchange::ReceiverRule::PartnerMissing) == VX_RECEIVER_PARTNER_MISSING);
static_assert(vorl_exchange::receiver_rule_count == VX_RECEIVER_PARTNER_MISSING + 1);

vx_status report(vx_error* error, vx_status status, vx_error value) noexcept {
    value.status = status;
    if (error != nullptr) {
        *error = value;
    }
    return status;
}

vx_status report_status(vx_error* error, vx_status status) noexcept { return report(error, status, vx_error{}); }

// The VX_BAD_ARGUMENT of a bulk call, naming the argument and, for decreasing
// offsets, the offset below its predecessor.
vx_status report_bad_argument(vx_error* error, vx_argument argument, std::size_t entry) noexcept {
    vx_error value{};
    value.rule = argument;
    value.entry = static_cast<std::uint32_t>(std::min<std::size_t>(entry, std::numeric_limits<std::uint32_t>::max()));
    return report(error, VX_BAD_ARGUMENT, value);
}

vx_status report_bad_argument(vx_error* error, vx_argument argument) noexcept {
    return report_bad_argument(error, argument, 0);
}

vx_status report_exchange_error(vx_error* error, const ExchangeError& failure) noexcept {
    vx_error value{};
    value.kind = static_cast<std::int32_t>(failure.kind());
    switch (failure.kind()) {
        case ErrorKind::Tile: value.tile = failure.tile_number(); break;
        case ErrorKind::Count: value.count = failure.count_value(); break;
        case ErrorKind::Schedule: value.reason = static_cast<std::uint32_t>(failure.reason()); break;
        case ErrorKind::PlanOffsetRange:
            value.cycles = failure.cycles();
            value.maximum = failure.maximum();
            break;
        case ErrorKind::Address: value.address = failure.address_value(); break;
        case ErrorKind::ValidationBudgetExceeded:
        case ErrorKind::DuplicateTile:
        case ErrorKind::ReceiverSet:
        case ErrorKind::HostPacket: break;
    }
    return report(error, VX_EXCHANGE_ERROR, value);
}

vx_status report_topology_error(vx_error* error, const TopologyError& refusal) noexcept {
    vx_error value{};
    value.rule = static_cast<std::int32_t>(refusal.rule());
    value.entry = refusal.entry();
    value.earlier_entry = refusal.earlier_entry();
    return report(error, VX_TOPOLOGY_REFUSED, value);
}

// Runs `operation`, turning whatever it throws (the library throws only when an
// allocation fails) into a status.
template <class Operation>
vx_status guarded(vx_error* error, Operation&& operation) noexcept {
    try {
        return std::forward<Operation>(operation)();
    } catch (...) {
        return report_status(error, VX_OUT_OF_MEMORY);
    }
}

// A count of `element_size`-byte elements that no buffer in the address space can hold.
bool impossible_size(std::size_t count, std::size_t element_size) noexcept {
    return count > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) / element_size;
}

void write_row(const Row& row, vx_row& out) noexcept { std::copy(row.begin(), row.end(), out.words); }

// The exchange error a C value describes, or nothing when it describes none.
std::optional<ExchangeError> exchange_error_of(const vx_error& value) noexcept {
    switch (value.kind) {
        case VX_VALIDATION_BUDGET_EXCEEDED: return ExchangeError::validation_budget_exceeded();
        case VX_TILE:
            if (value.tile > std::numeric_limits<std::uint16_t>::max()) {
                return std::nullopt;
            }
            return ExchangeError::tile(static_cast<std::uint16_t>(value.tile));
        case VX_DUPLICATE_TILE: return ExchangeError::duplicate_tile();
        case VX_COUNT: return ExchangeError::count(value.count);
        case VX_RECEIVER_SET: return ExchangeError::receiver_set();
        case VX_SCHEDULE:
            if (value.reason >= VX_SCHEDULE_REASON_COUNT) {
                return std::nullopt;
            }
            return ExchangeError::schedule(static_cast<vorl_exchange::ScheduleReason>(value.reason));
        case VX_PLAN_OFFSET_RANGE: return ExchangeError::plan_offset_range(value.cycles, value.maximum);
        case VX_ADDRESS: return ExchangeError::address(value.address);
        case VX_HOST_PACKET: return ExchangeError::host_packet();
        default: break;  // every other value: handled after the switch
    }
    return std::nullopt;
}

std::optional<TopologyError> topology_error_of(const vx_error& value) noexcept {
    switch (value.rule) {
        case VX_TABLE_TOO_LONG: return TopologyError{TopologyRule::TableTooLong, value.entry};
        case VX_IDENTIFIER_BEYOND_ROW_FIELD: return TopologyError{TopologyRule::IdentifierBeyondRowField, value.entry};
        case VX_REPEATED_IDENTIFIER: return TopologyError::repeated_identifier(value.entry, value.earlier_entry);
        default: break;  // every other value: handled after the switch
    }
    return std::nullopt;
}

// Copies `text` snprintf-style and returns its whole length.
std::size_t write_text(std::string_view text, char* buffer, std::size_t capacity) noexcept {
    if (buffer != nullptr && capacity > 0) {
        const std::size_t written = std::min(text.size(), capacity - 1);
        std::memcpy(buffer, text.data(), written);
        buffer[written] = '\0';
    }
    return text.size();
}

constexpr std::string_view not_an_error_value = "not a vx_error value";

// The name of a bulk call's argument; empty for VX_ARGUMENT_UNNAMED and for values that name none.
std::string_view argument_name(std::int32_t argument) noexcept {
    switch (argument) {
        case VX_ARGUMENT_TOPOLOGY: return "topology";
        case VX_ARGUMENT_REQUEST_COUNT: return "request_count";
        case VX_ARGUMENT_SENDERS: return "senders";
        case VX_ARGUMENT_RECEIVER_OFFSETS: return "receiver_offsets";
        case VX_ARGUMENT_RECEIVERS: return "receivers";
        case VX_ARGUMENT_COUNTS: return "counts";
        case VX_ARGUMENT_SCHEDULE_OFFSETS: return "schedule_offsets";
        case VX_ARGUMENT_ROWS: return "rows";
        case VX_ARGUMENT_SENDER_ROWS: return "sender_rows";
        case VX_ARGUMENT_RECEIVER_ROWS: return "receiver_rows";
        case VX_ARGUMENT_RECEIVER_CAPACITY: return "receiver_capacity";
        case VX_ARGUMENT_STATUSES: return "statuses";
        case VX_ARGUMENT_SENDER_ROW: return "sender_row";
        case VX_ARGUMENT_RECEIVER_ROW: return "receiver_row";
        case VX_ARGUMENT_HOLDS: return "holds";
        case VX_ARGUMENT_RECEIVER_COUNT: return "receiver_count";
        default: break;  // VX_ARGUMENT_UNNAMED and every other value: no name
    }
    return {};
}

constexpr std::string_view unnamed_bad_argument = "a null pointer or an impossible size was passed";

std::string bad_argument_display(const vx_error& value) {
    const std::string_view name = argument_name(value.rule);
    if (name.empty()) {
        return std::string{unnamed_bad_argument};
    }
    if (value.entry > 0) {
        const std::string entry = std::to_string(value.entry);
        const std::string before = std::to_string(value.entry - 1);
        return std::string{name} + "[" + entry + "] is below " + std::string{name} + "[" + before + "]";
    }
    return std::string{unnamed_bad_argument} + " as " + std::string{name};
}

std::string bad_argument_debug(const vx_error& value) {
    const std::string_view name = argument_name(value.rule);
    if (name.empty()) {
        return "BadArgument";
    }
    return "BadArgument { argument: \"" + std::string{name} + "\", entry: " + std::to_string(value.entry) + " }";
}

std::string display_text(const vx_error& value) {
    switch (value.status) {
        case VX_OK: return "no error";
        case VX_EXCHANGE_ERROR: {
            const auto failure = exchange_error_of(value);
            return failure ? std::string{failure->display().view()} : std::string{not_an_error_value};
        }
        case VX_TOPOLOGY_REFUSED: {
            const auto refusal = topology_error_of(value);
            return refusal ? std::string{refusal->display().view()} : std::string{not_an_error_value};
        }
        case VX_BUFFER_TOO_SMALL:
            return "the plan has " + std::to_string(value.needed_rows) + " receiver rows, more than the buffer holds";
        case VX_BAD_ARGUMENT: return bad_argument_display(value);
        case VX_OUT_OF_MEMORY: return "out of memory";
        default: break;  // every other value: handled after the switch
    }
    return std::string{not_an_error_value};
}

std::string debug_text(const vx_error& value) {
    switch (value.status) {
        case VX_OK: return "Ok";
        case VX_EXCHANGE_ERROR: {
            const auto failure = exchange_error_of(value);
            return failure ? failure->debug() : std::string{not_an_error_value};
        }
        case VX_TOPOLOGY_REFUSED: {
            const auto refusal = topology_error_of(value);
            return refusal ? refusal->debug() : std::string{not_an_error_value};
        }
        case VX_BUFFER_TOO_SMALL: return "BufferTooSmall { needed_rows: " + std::to_string(value.needed_rows) + " }";
        case VX_BAD_ARGUMENT: return bad_argument_debug(value);
        case VX_OUT_OF_MEMORY: return "OutOfMemory";
        default: break;  // every other value: handled after the switch
    }
    return std::string{not_an_error_value};
}

// A text built on the heap, copied out; 0 when memory runs out.
template <class Build>
std::size_t write_built_text(Build&& build, char* buffer, std::size_t capacity) noexcept {
    try {
        return write_text(std::forward<Build>(build)(), buffer, capacity);
    } catch (...) {
        return write_text("", buffer, capacity);
    }
}

using MulticastResult = vorl_exchange::Result<vorl_exchange::MulticastPlan>;

void clear_rows(vx_row* rows, std::size_t count) noexcept { std::fill_n(rows, count, vx_row{}); }

// One point-to-point request, for the single call and the bulk call alike: the
// two rows of its plan, or zeros in both and its error.
vx_status plan_point_to_point(const vorl_exchange::Topology& tiles, std::uint16_t sender, std::uint16_t receiver,
                              std::uint32_t count, vx_row& sender_row, vx_row& receiver_row, vx_error* error) noexcept {
    const vx_status status = guarded(error, [&] {
        const auto plan = tiles.point_to_point(sender, receiver, count);
        if (!plan) {
            return report_exchange_error(error, plan.error());
        }
        write_row(plan->sender, sender_row);
        write_row(plan->receiver, receiver_row);
        return report_status(error, VX_OK);
    });
    if (status != VX_OK) {
        sender_row = vx_row{};
        receiver_row = vx_row{};
    }
    return status;
}

// One multicast or paired multicast request, for the single call and the bulk
// call alike. `plan()` returns the planner's result; the plan's rows go to
// `sender_row` and up to `receiver_capacity` receiver rows. A request that
// fails leaves zeros in the rows its plan would have used.
template <class Plan>
vx_status plan_multicast_request(std::size_t receiver_count, vx_row& sender_row, vx_row* receiver_rows,
                                 std::size_t receiver_capacity, std::size_t* plan_receiver_rows, vx_error* error,
                                 Plan&& plan) noexcept {
    const vx_status status = guarded(error, [&] {
        const MulticastResult result = std::forward<Plan>(plan)();
        if (!result) {
            return report_exchange_error(error, result.error());
        }
        const std::size_t rows = result->receivers.size();
        if (plan_receiver_rows != nullptr) {
            *plan_receiver_rows = rows;
        }
        write_row(result->sender, sender_row);
        const std::size_t written = std::min(rows, receiver_capacity);
        for (std::size_t index = 0; index < written; ++index) {
            write_row(result->receivers[index], receiver_rows[index]);
        }
        if (written < rows) {
            vx_error value{};
            value.needed_rows = rows;
            return report(error, VX_BUFFER_TOO_SMALL, value);
        }
        return report_status(error, VX_OK);
    });
    if (status == VX_EXCHANGE_ERROR || status == VX_OUT_OF_MEMORY) {
        sender_row = vx_row{};
        clear_rows(receiver_rows, std::min(receiver_count, receiver_capacity));
    }
    return status;
}

// The checks of the two single multicast calls.
bool bad_multicast_arguments(const vx_topology* topology, const std::uint16_t* receivers, std::size_t receiver_count,
                             const vx_row* sender_row, const vx_row* receiver_rows,
                             std::size_t receiver_capacity) noexcept {
    return topology == nullptr || sender_row == nullptr || (receivers == nullptr && receiver_count > 0) ||
           (receiver_rows == nullptr && receiver_capacity > 0) || impossible_size(receiver_count, sizeof *receivers) ||
           impossible_size(receiver_capacity, sizeof *receiver_rows);
}

// One array argument of a bulk call, by the name a VX_BAD_ARGUMENT gives it.
struct ArrayArgument {
    const void* pointer;
    vx_argument name;
};

// The first of `arrays` that is a null pointer where `count` elements are needed.
std::optional<vx_argument> first_missing(std::size_t count, std::initializer_list<ArrayArgument> arrays) noexcept {
    if (count > 0) {
        for (const ArrayArgument& array : arrays) {
            if (array.pointer == nullptr) {
                return array.name;
            }
        }
    }
    return std::nullopt;
}

// The request side of a bulk multicast call.
struct MulticastRequests {
    std::size_t count;
    const std::uint16_t* senders;
    const std::size_t* receiver_offsets;
    const std::uint16_t* receivers;
    const std::uint32_t* counts;
};

// The result side of a bulk multicast call.
struct MulticastResults {
    vx_row* sender_rows;
    vx_row* receiver_rows;
    std::size_t receiver_capacity;
    std::int32_t* statuses;
    vx_error* request_errors;
};

// What every bulk multicast call, planner or check, refuses first: the
// topology, a request count too large for any buffer of rows, a null array the
// requests need, then a null one of `outputs`.
std::optional<vx_status> refuse_multicast_arguments(const vx_topology* topology, const MulticastRequests& requests,
                                                    std::initializer_list<ArrayArgument> outputs,
                                                    vx_error* error) noexcept {
    if (topology == nullptr) {
        return report_bad_argument(error, VX_ARGUMENT_TOPOLOGY);
    }
    if (impossible_size(requests.count, sizeof(vx_row) * 2)) {
        return report_bad_argument(error, VX_ARGUMENT_REQUEST_COUNT);
    }
    const auto missing = first_missing(requests.count, {{requests.senders, VX_ARGUMENT_SENDERS},
                                                        {requests.receiver_offsets, VX_ARGUMENT_RECEIVER_OFFSETS},
                                                        {requests.counts, VX_ARGUMENT_COUNTS}});
    if (const auto named = missing ? missing : first_missing(requests.count, outputs)) {
        return report_bad_argument(error, *named);
    }
    return std::nullopt;
}

// Then the receiver lists of a nonempty request set: every pair of offsets, the
// last one (which bounds the last request's receivers) included, must not
// decrease, and the receivers are read at the offsets themselves.
std::optional<vx_status> refuse_receiver_lists(const MulticastRequests& requests, vx_error* error) noexcept {
    const std::size_t* offsets = requests.receiver_offsets;
    for (std::size_t index = 1; index <= requests.count; ++index) {
        if (offsets[index] < offsets[index - 1]) {
            return report_bad_argument(error, VX_ARGUMENT_RECEIVER_OFFSETS, index);
        }
    }
    if ((requests.receivers == nullptr && offsets[requests.count] > 0) ||
        impossible_size(offsets[requests.count], sizeof *requests.receivers)) {
        return report_bad_argument(error, VX_ARGUMENT_RECEIVERS);
    }
    return std::nullopt;
}

// What a bulk point-to-point call, planner or check, refuses: the topology, a
// request count too large for its rows, a null array, `output` last.
std::optional<vx_status> refuse_point_to_point_arguments(const vx_topology* topology, std::size_t count,
                                                         const std::uint16_t* senders, const std::uint16_t* receivers,
                                                         const std::uint32_t* counts, const vx_row* rows,
                                                         ArrayArgument output, vx_error* error) noexcept {
    if (topology == nullptr) {
        return report_bad_argument(error, VX_ARGUMENT_TOPOLOGY);
    }
    if (impossible_size(count, sizeof *rows * 2)) {
        return report_bad_argument(error, VX_ARGUMENT_REQUEST_COUNT);
    }
    if (const auto missing = first_missing(count, {{senders, VX_ARGUMENT_SENDERS},
                                                   {receivers, VX_ARGUMENT_RECEIVERS},
                                                   {counts, VX_ARGUMENT_COUNTS},
                                                   {rows, VX_ARGUMENT_ROWS},
                                                   output})) {
        return report_bad_argument(error, *missing);
    }
    return std::nullopt;
}

// Checks every argument of a bulk multicast call before anything is written,
// then plans each request through `plan(index, receivers)`.
template <class Plan>
vx_status plan_multicast_many(const vx_topology* topology, const MulticastRequests& requests,
                              const MulticastResults& results, vx_error* error, Plan&& plan) noexcept {
    const std::size_t count = requests.count;
    if (const auto refused = refuse_multicast_arguments(
            topology, requests,
            {{results.sender_rows, VX_ARGUMENT_SENDER_ROWS}, {results.statuses, VX_ARGUMENT_STATUSES}}, error)) {
        return *refused;
    }
    if (impossible_size(results.receiver_capacity, sizeof(vx_row))) {
        return report_bad_argument(error, VX_ARGUMENT_RECEIVER_CAPACITY);
    }
    if (results.receiver_rows == nullptr && results.receiver_capacity > 0) {
        return report_bad_argument(error, VX_ARGUMENT_RECEIVER_ROWS);
    }
    if (count == 0) {
        return report_status(error, VX_OK);
    }
    if (const auto refused = refuse_receiver_lists(requests, error)) {
        return *refused;
    }
    // Rows are written from the first offset on, so a window of a larger
    // request set needs rows for its own receivers only.
    const std::size_t* offsets = requests.receiver_offsets;
    const std::size_t receiver_total = offsets[count] - offsets[0];
    if (results.receiver_capacity < receiver_total) {
        vx_error value{};
        value.needed_rows = receiver_total;
        return report(error, VX_BUFFER_TOO_SMALL, value);
    }
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t listed = offsets[index + 1] - offsets[index];
        const std::span<const std::uint16_t> receivers{requests.receivers + offsets[index], listed};
        results.statuses[index] = plan_multicast_request(
            listed, results.sender_rows[index], results.receiver_rows + (offsets[index] - offsets[0]), listed, nullptr,
            results.request_errors == nullptr ? nullptr : &results.request_errors[index],
            [&] { return plan(index, receivers); });
    }
    return report_status(error, VX_OK);
}

// `physical` and `paired_logical` share their checks.
template <class Lookup>
vx_status look_up(const vx_topology* topology, std::uint16_t* out, vx_error* error, Lookup&& lookup) noexcept {
    if (topology == nullptr || out == nullptr) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    const vorl_exchange::Result<std::uint16_t> result = std::forward<Lookup>(lookup)(topology->topology);
    if (!result) {
        return report_exchange_error(error, result.error());
    }
    *out = *result;
    return report_status(error, VX_OK);
}

// The fault a receiver-list check found, into `*fault`.
template <class Check>
vx_status find_receiver_fault(const vx_topology* topology, const std::uint16_t* receivers, std::size_t receiver_count,
                              vx_receiver_fault* fault, vx_error* error, Check&& check) noexcept {
    if (topology == nullptr || fault == nullptr || (receivers == nullptr && receiver_count > 0) ||
        impossible_size(receiver_count, sizeof *receivers)) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    return guarded(error, [&] {
        const std::optional<vorl_exchange::ReceiverFault> found =
            std::forward<Check>(check)(topology->topology, std::span{receivers, receiver_count});
        vx_receiver_fault value{};
        if (found) {
            value.refused = 1;
            value.rule = static_cast<std::int32_t>(found->rule);
            if (found->entry) {
                value.has_entry = 1;
                value.entry = found->entry->position;
                value.tile = found->entry->tile;
            }
        }
        *fault = value;
        return report_status(error, VX_OK);
    });
}

// The rule a C value names, or nothing when it names none.
std::optional<vorl_exchange::ReceiverRule> receiver_rule_of(std::int32_t rule) noexcept {
    if (rule < 0 || static_cast<std::size_t>(rule) >= vorl_exchange::receiver_rule_count) {
        return std::nullopt;
    }
    return static_cast<vorl_exchange::ReceiverRule>(rule);
}

}  // namespace

extern "C" {

const char* vx_version(void) {
    // The text behind `version()` is a string literal, so it is NUL-terminated.
    return vorl_exchange::version().data();
}

vx_status vx_topology_tarn(vx_topology** topology, vx_error* error) {
    if (topology == nullptr) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    return guarded(error, [&] {
        *topology = new vx_topology{vorl_exchange::Topology::tarn()};
        return report_status(error, VX_OK);
    });
}

vx_status vx_topology_from_table(const uint16_t* table, size_t length, vx_topology** topology, vx_error* error) {
    if (topology == nullptr || (table == nullptr && length > 0) || impossible_size(length, sizeof *table)) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    // The factory tests the length first; answering here spares copying a table
    // that could not be one.
    if (length > vorl_exchange::maximum_topology_tiles) {
        return report_topology_error(error,
                                     TopologyError{TopologyRule::TableTooLong,
                                                   static_cast<std::uint32_t>(vorl_exchange::maximum_topology_tiles)});
    }
    return guarded(error, [&] {
        auto made = vorl_exchange::Topology::from_table(std::vector<std::uint16_t>(table, table + length));
        if (!made) {
            return report_topology_error(error, made.error());
        }
        *topology = new vx_topology{std::move(*made)};
        return report_status(error, VX_OK);
    });
}

void vx_topology_free(vx_topology* topology) { delete topology; }

size_t vx_topology_tile_count(const vx_topology* topology) {
    return topology == nullptr ? 0 : topology->topology.tile_count();
}

int vx_are_partners(const vx_topology* topology, uint16_t first, uint16_t second) {
    return topology != nullptr && topology->topology.are_partners(first, second) ? 1 : 0;
}

vx_status vx_topology_physical(const vx_topology* topology, uint16_t logical, uint16_t* physical, vx_error* error) {
    return look_up(topology, physical, error,
                   [logical](const vorl_exchange::Topology& tiles) { return tiles.physical(logical); });
}

vx_status vx_topology_paired_logical(const vx_topology* topology, uint16_t logical, uint16_t* partner,
                                     vx_error* error) {
    return look_up(topology, partner, error,
                   [logical](const vorl_exchange::Topology& tiles) { return tiles.paired_logical(logical); });
}

vx_status vx_point_to_point(const vx_topology* topology, uint16_t sender, uint16_t receiver, uint32_t count,
                            vx_row* sender_row, vx_row* receiver_row, vx_error* error) {
    if (topology == nullptr || sender_row == nullptr || receiver_row == nullptr) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    return plan_point_to_point(topology->topology, sender, receiver, count, *sender_row, *receiver_row, error);
}

vx_status vx_multicast(const vx_topology* topology, uint16_t sender, const uint16_t* receivers, size_t receiver_count,
                       uint32_t count, uint32_t schedule_offset, vx_row* sender_row, vx_row* receiver_rows,
                       size_t receiver_capacity, size_t* plan_receiver_rows, vx_error* error) {
    if (bad_multicast_arguments(topology, receivers, receiver_count, sender_row, receiver_rows, receiver_capacity)) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    return plan_multicast_request(
        receiver_count, *sender_row, receiver_rows, receiver_capacity, plan_receiver_rows, error, [&] {
            return topology->topology.multicast(sender, std::span{receivers, receiver_count}, count, schedule_offset);
        });
}

vx_status vx_paired_multicast(const vx_topology* topology, uint16_t sender, const uint16_t* receivers,
                              size_t receiver_count, uint32_t count, vx_row* sender_row, vx_row* receiver_rows,
                              size_t receiver_capacity, size_t* plan_receiver_rows, vx_error* error) {
    if (bad_multicast_arguments(topology, receivers, receiver_count, sender_row, receiver_rows, receiver_capacity)) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    return plan_multicast_request(
        receiver_count, *sender_row, receiver_rows, receiver_capacity, plan_receiver_rows, error,
        [&] { return topology->topology.paired_multicast(sender, std::span{receivers, receiver_count}, count); });
}

vx_status vx_multicast_offset_limit(const vx_topology* topology, uint16_t sender, const uint16_t* receivers,
                                    size_t receiver_count, uint32_t count, uint32_t* limit, vx_error* error) {
    if (topology == nullptr || limit == nullptr || (receivers == nullptr && receiver_count > 0) ||
        impossible_size(receiver_count, sizeof *receivers)) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    return guarded(error, [&] {
        const auto found =
            topology->topology.multicast_offset_limit(sender, std::span{receivers, receiver_count}, count);
        if (!found) {
            return report_exchange_error(error, found.error());
        }
        *limit = *found;
        return report_status(error, VX_OK);
    });
}

vx_status vx_paired_receiver_is_early(const vx_topology* topology, uint16_t receiver, uint16_t sender, int* early,
                                      vx_error* error) {
    if (topology == nullptr || early == nullptr) {
        return report_status(error, VX_BAD_ARGUMENT);
    }
    const auto found = topology->topology.paired_receiver_is_early(receiver, sender);
    if (!found) {
        return report_exchange_error(error, found.error());
    }
    *early = *found ? 1 : 0;
    return report_status(error, VX_OK);
}

vx_status vx_point_to_point_many(const vx_topology* topology, size_t request_count, const uint16_t* senders,
                                 const uint16_t* receivers, const uint32_t* counts, vx_row* rows, int32_t* statuses,
                                 vx_error* request_errors, vx_error* error) {
    if (const auto refused = refuse_point_to_point_arguments(topology, request_count, senders, receivers, counts, rows,
                                                             {statuses, VX_ARGUMENT_STATUSES}, error)) {
        return *refused;
    }
    const vorl_exchange::Topology& tiles = topology->topology;
    for (std::size_t index = 0; index < request_count; ++index) {
        statuses[index] =
            plan_point_to_point(tiles, senders[index], receivers[index], counts[index], rows[2 * index],
                                rows[2 * index + 1], request_errors == nullptr ? nullptr : &request_errors[index]);
    }
    return report_status(error, VX_OK);
}

vx_status vx_multicast_many(const vx_topology* topology, size_t request_count, const uint16_t* senders,
                            const size_t* receiver_offsets, const uint16_t* receivers, const uint32_t* counts,
                            const uint32_t* schedule_offsets, vx_row* sender_rows, vx_row* receiver_rows,
                            size_t receiver_capacity, int32_t* statuses, vx_error* request_errors, vx_error* error) {
    if (const auto missing = first_missing(request_count, {{schedule_offsets, VX_ARGUMENT_SCHEDULE_OFFSETS}})) {
        return report_bad_argument(error, *missing);
    }
    return plan_multicast_many(topology, {request_count, senders, receiver_offsets, receivers, counts},
                               {sender_rows, receiver_rows, receiver_capacity, statuses, request_errors}, error,
                               [&](std::size_t index, std::span<const std::uint16_t> listed) {
                                   return topology->topology.multicast(senders[index], listed, counts[index],
                                                                       schedule_offsets[index]);
                               });
}

vx_status vx_paired_multicast_many(const vx_topology* topology, size_t request_count, const uint16_t* senders,
                                   const size_t* receiver_offsets, const uint16_t* receivers, const uint32_t* counts,
                                   vx_row* sender_rows, vx_row* receiver_rows, size_t receiver_capacity,
                                   int32_t* statuses, vx_error* request_errors, vx_error* error) {
    return plan_multicast_many(topology, {request_count, senders, receiver_offsets, receivers, counts},
                               {sender_rows, receiver_rows, receiver_capacity, statuses, request_errors}, error,
                               [&](std::size_t index, std::span<const std::uint16_t> listed) {
                                   return topology->topology.paired_multicast(senders[index], listed, counts[index]);
                               });
}

size_t vx_error_display(const vx_error* error, char* buffer, size_t capacity) {
    if (error == nullptr) {
        return write_text(not_an_error_value, buffer, capacity);
    }
    return write_built_text([error] { return display_text(*error); }, buffer, capacity);
}

size_t vx_error_debug(const vx_error* error, char* buffer, size_t capacity) {
    if (error == nullptr) {
        return write_text(not_an_error_value, buffer, capacity);
    }
    return write_built_text([error] { return debug_text(*error); }, buffer, capacity);
}

const char* vx_error_kind_name(int32_t kind) {
    if (kind < 0 || static_cast<std::size_t>(kind) >= vorl_exchange::error_kind_count) {
        return nullptr;
    }
    // The names are string literals, so each is NUL-terminated.
    return vorl_exchange::kind_name(static_cast<ErrorKind>(kind)).data();
}

const char* vx_argument_name(int32_t argument) {
    // The names are string literals, so each is NUL-terminated.
    const std::string_view name = argument_name(argument);
    return name.empty() ? nullptr : name.data();
}

const char* vx_schedule_reason_text(uint32_t reason) {
    if (reason >= VX_SCHEDULE_REASON_COUNT) {
        return nullptr;
    }
    // The reason texts are string literals, so each is NUL-terminated.
    return vorl_exchange::reason_text(static_cast<vorl_exchange::ScheduleReason>(reason)).data();
}

vx_status vx_multicast_receiver_fault(const vx_topology* topology, uint16_t sender, const uint16_t* receivers,
                                      size_t receiver_count, vx_receiver_fault* fault, vx_error* error) {
    return find_receiver_fault(topology, receivers, receiver_count, fault, error,
                               [sender](const vorl_exchange::Topology& tiles, std::span<const std::uint16_t> listed) {
                                   return vorl_exchange::multicast_receiver_fault(tiles, sender, listed);
                               });
}

vx_status vx_paired_receiver_fault(const vx_topology* topology, const uint16_t* receivers, size_t receiver_count,
                                   vx_receiver_fault* fault, vx_error* error) {
    return find_receiver_fault(topology, receivers, receiver_count, fault, error,
                               [](const vorl_exchange::Topology& tiles, std::span<const std::uint16_t> listed) {
                                   return vorl_exchange::paired_receiver_fault(tiles, listed);
                               });
}

const char* vx_receiver_rule_name(int32_t rule) {
    const auto found = receiver_rule_of(rule);
    // The names and texts are string literals, so each is NUL-terminated.
    return found ? vorl_exchange::rule_name(*found).data() : nullptr;
}

const char* vx_receiver_rule_text(int32_t rule) {
    const auto found = receiver_rule_of(rule);
    return found ? vorl_exchange::rule_text(*found).data() : nullptr;
}

size_t vx_describe(uint32_t word, char* buffer, size_t capacity) {
    return write_built_text([word] { return vorl_exchange::describe(word); }, buffer, capacity);
}

}  // extern "C"

// ---- Checking rows ------------------------------------------------------------

namespace {

Row row_of(const vx_row& row) noexcept {
    Row words{};
    std::copy(std::begin(row.words), std::end(row.words), words.begin());
    return words;
}

std::vector<Row> rows_of(const vx_row* rows, std::size_t count) {
    std::vector<Row> words(count);
    for (std::size_t index = 0; index < count; ++index) {
        words[index] = row_of(rows[index]);
    }
    return words;
}

// Whether a multicast-shaped request's rows hold, by `holds(receivers, sender row, receiver rows)`.
template <class Holds>
int multicast_rows_hold(const std::uint16_t* receivers, std::size_t receiver_count, const vx_row& sender_row,
                        const vx_row* receiver_rows, Holds&& holds) {
    const std::vector<Row> rows = rows_of(receiver_rows, receiver_count);
    return holds(std::span{receivers, receiver_count}, row_of(sender_row), std::span<const Row>{rows}) ? 1 : 0;
}

// What a single multicast-shaped check refuses, each argument named; nothing
// when every argument can be used, as for the bulk calls above.
std::optional<vx_status> refuse_single_check(const vx_topology* topology, const std::uint16_t* receivers,
                                             std::size_t receiver_count, const vx_row* sender_row,
                                             const vx_row* receiver_rows, const int* holds, vx_error* error) noexcept {
    if (topology == nullptr) {
        return report_bad_argument(error, VX_ARGUMENT_TOPOLOGY);
    }
    if (impossible_size(receiver_count, sizeof(vx_row))) {
        return report_bad_argument(error, VX_ARGUMENT_RECEIVER_COUNT);
    }
    if (const auto missing = first_missing(
            receiver_count, {{receivers, VX_ARGUMENT_RECEIVERS}, {receiver_rows, VX_ARGUMENT_RECEIVER_ROWS}})) {
        return report_bad_argument(error, *missing);
    }
    if (const auto missing = first_missing(1, {{sender_row, VX_ARGUMENT_SENDER_ROW}, {holds, VX_ARGUMENT_HOLDS}})) {
        return report_bad_argument(error, *missing);
    }
    return std::nullopt;
}

// A single multicast-shaped check: its arguments, then `holds(receivers,
// sender row, receiver rows)` into `*holds`.
template <class Holds>
vx_status check_one_multicast(const vx_topology* topology, const std::uint16_t* receivers, std::size_t receiver_count,
                              const vx_row* sender_row, const vx_row* receiver_rows, int* holds, vx_error* error,
                              Holds&& rows_hold) noexcept {
    if (const auto refused =
            refuse_single_check(topology, receivers, receiver_count, sender_row, receiver_rows, holds, error)) {
        return *refused;
    }
    return guarded(error, [&] {
        *holds = multicast_rows_hold(receivers, receiver_count, *sender_row, receiver_rows, rows_hold);
        return report_status(error, VX_OK);
    });
}

// Checks every argument of a bulk check before anything is written, as the
// bulk planners do, then checks each request through `check(index, receivers,
// receiver rows)`: request i's receivers at the offsets themselves, its rows
// from the first offset on, where the bulk planners read and write them.
template <class Check>
vx_status check_multicast_many(const vx_topology* topology, std::size_t request_count, const std::uint16_t* senders,
                               const std::size_t* receiver_offsets, const std::uint16_t* receivers,
                               const std::uint32_t* counts, const vx_row* sender_rows, const vx_row* receiver_rows,
                               int* holds, vx_error* error, Check&& check) noexcept {
    const MulticastRequests requests{request_count, senders, receiver_offsets, receivers, counts};
    if (const auto refused = refuse_multicast_arguments(
            topology, requests, {{sender_rows, VX_ARGUMENT_SENDER_ROWS}, {holds, VX_ARGUMENT_HOLDS}}, error)) {
        return *refused;
    }
    if (request_count == 0) {
        return report_status(error, VX_OK);
    }
    if (const auto refused = refuse_receiver_lists(requests, error)) {
        return *refused;
    }
    const std::size_t* offsets = receiver_offsets;
    const std::size_t total = offsets[request_count] - offsets[0];
    if ((receiver_rows == nullptr && total > 0) || impossible_size(total, sizeof(vx_row))) {
        return report_bad_argument(error, VX_ARGUMENT_RECEIVER_ROWS);
    }
    return guarded(error, [&] {
        for (std::size_t index = 0; index < request_count; ++index) {
            const std::size_t length = offsets[index + 1] - offsets[index];
            holds[index] =
                check(index, receivers + offsets[index], length, receiver_rows + (offsets[index] - offsets[0]));
        }
        return report_status(error, VX_OK);
    });
}

}  // namespace

extern "C" {

vx_status vx_check_point_to_point(const vx_topology* topology, uint16_t sender, uint16_t receiver, uint32_t count,
                                  const vx_row* sender_row, const vx_row* receiver_row, int* holds, vx_error* error) {
    if (topology == nullptr) {
        return report_bad_argument(error, VX_ARGUMENT_TOPOLOGY);
    }
    if (const auto missing = first_missing(1, {{sender_row, VX_ARGUMENT_SENDER_ROW},
                                               {receiver_row, VX_ARGUMENT_RECEIVER_ROW},
                                               {holds, VX_ARGUMENT_HOLDS}})) {
        return report_bad_argument(error, *missing);
    }
    *holds = vorl_exchange::point_to_point_holds(topology->topology, sender, receiver, count, row_of(*sender_row),
                                                 row_of(*receiver_row))
                 ? 1
                 : 0;
    return report_status(error, VX_OK);
}

vx_status vx_check_multicast(const vx_topology* topology, uint16_t sender, const uint16_t* receivers,
                             size_t receiver_count, uint32_t count, uint32_t schedule_offset, const vx_row* sender_row,
                             const vx_row* receiver_rows, int* holds, vx_error* error) {
    return check_one_multicast(topology, receivers, receiver_count, sender_row, receiver_rows, holds, error,
                               [&](auto listed, const Row& sender_words, std::span<const Row> rows) {
                                   return vorl_exchange::multicast_holds(topology->topology, sender, listed, count,
                                                                         schedule_offset, sender_words, rows);
                               });
}

vx_status vx_check_paired_multicast(const vx_topology* topology, uint16_t sender, const uint16_t* receivers,
                                    size_t receiver_count, uint32_t count, const vx_row* sender_row,
                                    const vx_row* receiver_rows, int* holds, vx_error* error) {
    return check_one_multicast(topology, receivers, receiver_count, sender_row, receiver_rows, holds, error,
                               [&](auto listed, const Row& sender_words, std::span<const Row> rows) {
                                   return vorl_exchange::paired_multicast_holds(topology->topology, sender, listed,
                                                                                count, sender_words, rows);
                               });
}

vx_status vx_check_point_to_point_many(const vx_topology* topology, size_t request_count, const uint16_t* senders,
                                       const uint16_t* receivers, const uint32_t* counts, const vx_row* rows,
                                       int* holds, vx_error* error) {
    if (const auto refused = refuse_point_to_point_arguments(topology, request_count, senders, receivers, counts, rows,
                                                             {holds, VX_ARGUMENT_HOLDS}, error)) {
        return *refused;
    }
    for (std::size_t index = 0; index < request_count; ++index) {
        holds[index] =
            vorl_exchange::point_to_point_holds(topology->topology, senders[index], receivers[index], counts[index],
                                                row_of(rows[2 * index]), row_of(rows[2 * index + 1]))
                ? 1
                : 0;
    }
    return report_status(error, VX_OK);
}

vx_status vx_check_multicast_many(const vx_topology* topology, size_t request_count, const uint16_t* senders,
                                  const size_t* receiver_offsets, const uint16_t* receivers, const uint32_t* counts,
                                  const uint32_t* schedule_offsets, const vx_row* sender_rows,
                                  const vx_row* receiver_rows, int* holds, vx_error* error) {
    if (const auto missing = first_missing(request_count, {{schedule_offsets, VX_ARGUMENT_SCHEDULE_OFFSETS}})) {
        return report_bad_argument(error, *missing);
    }
    return check_multicast_many(
        topology, request_count, senders, receiver_offsets, receivers, counts, sender_rows, receiver_rows, holds, error,
        [&](std::size_t index, const std::uint16_t* listed, std::size_t length, const vx_row* rows) {
            return multicast_rows_hold(listed, length, sender_rows[index], rows,
                                       [&](auto tiles, const Row& sender_words, std::span<const Row> words) {
                                           return vorl_exchange::multicast_holds(
                                               topology->topology, senders[index], tiles, counts[index],
                                               schedule_offsets[index], sender_words, words);
                                       });
        });
}

vx_status vx_check_paired_multicast_many(const vx_topology* topology, size_t request_count, const uint16_t* senders,
                                         const size_t* receiver_offsets, const uint16_t* receivers,
                                         const uint32_t* counts, const vx_row* sender_rows, const vx_row* receiver_rows,
                                         int* holds, vx_error* error) {
    return check_multicast_many(
        topology, request_count, senders, receiver_offsets, receivers, counts, sender_rows, receiver_rows, holds, error,
        [&](std::size_t index, const std::uint16_t* listed, std::size_t length, const vx_row* rows) {
            return multicast_rows_hold(listed, length, sender_rows[index], rows,
                                       [&](auto tiles, const Row& sender_words, std::span<const Row> words) {
                                           return vorl_exchange::paired_multicast_holds(
                                               topology->topology, senders[index], tiles, counts[index], sender_words,
                                               words);
                                       });
        });
}

}  // extern "C"
