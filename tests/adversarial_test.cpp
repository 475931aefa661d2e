// Adversarial inputs for every public operation: boundary and random values of
// every argument type, tiles outside the topology, tables a caller might hand in,
// and receiver lists that are empty, huge, repeated, shuffled or broken. Every call
// must return a value or an error whose text is one of the fixed texts, rows must
// be well formed, and asking twice must give the same answer.
//
// The run is driven by one 64-bit seed, printed at the start of every test; set
// VORL_ADVERSARIAL_SEED to replay it. VORL_ADVERSARIAL_SCALE multiplies the
// number of rounds (for long soak runs).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;
using Tiles = std::vector<std::uint16_t>;
using Reasons = std::initializer_list<ScheduleReason>;

// ---- Seed, generator, argument values ----------------------------------------

std::uint64_t environment_number(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

std::uint64_t master_seed() {
    static const std::uint64_t seed = [] {
        std::random_device device;
        return environment_number("VORL_ADVERSARIAL_SEED", (std::uint64_t{device()} << 32) | device());
    }();
    return seed;
}

// splitmix64: the sequence is fixed by the seed on every platform and library.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_{seed} {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    std::uint32_t u32() { return static_cast<std::uint32_t>(next() >> 32); }
    std::uint32_t below(std::uint64_t bound) { return static_cast<std::uint32_t>(next() % bound); }
    bool percent(unsigned chance) { return below(100) < chance; }
    template <class T, std::size_t N>
    T pick(const T (&values)[N]) {
        return values[below(N)];
    }

private:
    std::uint64_t state_;
};

constexpr std::uint32_t edge_u32[] = {
    0,    1,       2,       3,       4,       5,       6,     7,     8,          50,         51,         52,
    53,   63,      64,      65,      127,     128,     129,   4095,  4096,       4097,       4147,       4148,
    4149, 0x3ffff, 0x40000, 0x7ffff, 0x80000, 0x80001, 65535, 65536, 0x7fffffff, 0x80000000, 0xfffffffe, 0xffffffff};
constexpr std::int32_t edge_i32[] = {std::numeric_limits<std::int32_t>::min(),
                                     -2147483647,
                                     -524289,
                                     -4097,
                                     -113,
                                     -78,
                                     -77,
                                     -31,
                                     -30,
                                     -2,
                                     -1,
                                     0,
                                     1,
                                     2,
                                     111,
                                     112,
                                     113,
                                     189,
                                     190,
                                     4095,
                                     524287,
                                     524288,
                                     2147483646,
                                     std::numeric_limits<std::int32_t>::max()};
constexpr std::uint16_t edge_tiles[] = {0,    1,    2,    3,    44,   45,   46,   274,   275,   736,   781,  1286,
                                        1287, 1470, 1471, 1472, 1473, 2047, 2048, 32767, 32768, 65534, 65535};

std::uint32_t any_u32(Rng& rng) {
    switch (rng.below(4)) {
        case 0: return rng.pick(edge_u32);
        case 1: return rng.pick(edge_u32) + rng.below(3) - 1u;  // neighbours of the edges, wrapping
        case 2: return rng.below(8192);
        default: return rng.u32();
    }
}
std::int32_t any_i32(Rng& rng) {
    switch (rng.below(3)) {
        case 0: return rng.pick(edge_i32);
        case 1: return static_cast<std::int32_t>(rng.below(400)) - 200;
        default: return static_cast<std::int32_t>(rng.u32());
    }
}
std::uint16_t any_tile(Rng& rng) {
    const std::uint32_t roll = rng.below(10);
    if (roll < 7) return static_cast<std::uint16_t>(rng.below(tarn_tile_count));
    if (roll < 9) return rng.pick(edge_tiles);
    return static_cast<std::uint16_t>(rng.u32());
}
std::uint32_t any_count(Rng& rng) { return rng.percent(75) ? 1u + rng.below(maximum_count) : any_u32(rng); }

// A word of every family the encoders know, and some they do not.
std::uint32_t any_word(Rng& rng) {
    switch (rng.below(10)) {
        case 0: return *encode_send(rng.below(64), rng.below(8), rng.below(0x40000));
        case 1: return send_off(rng.u32(), rng.u32(), rng.u32());
        case 2: return 0x70100000u | (rng.u32() & 0x07efffffu);  // send-control word
        case 3: return 0xf0000000u | rng.u32();                  // SENDPICP first word
        case 4: return delay(rng.u32());
        case 5: return delay_pic(rng.u32(), rng.u32(), rng.u32());
        case 6: return delay_xpic(rng.u32(), rng.u32(), rng.u32());
        case 7: return rng.percent(50) ? opening_word : closing_word;
        case 8: return 0;
        default: return rng.u32();
    }
}

// ---- Describing and judging results -------------------------------------------

std::string hex(std::uint32_t word) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%08x", word);
    return text;
}
std::string show(const Row& row) {
    std::string out;
    for (const std::uint32_t word : row) out += (out.empty() ? "[" : " ") + hex(word);
    return out + "]";
}
std::string show(std::span<const std::uint16_t> tiles) {
    std::string out = std::to_string(tiles.size()) + " tiles [";
    for (std::size_t i = 0; i < std::min<std::size_t>(tiles.size(), 12); ++i) out += std::to_string(tiles[i]) + " ";
    return out + (tiles.size() > 12 ? "...]" : "]");
}
std::string show(bool value) { return value ? "true" : "false"; }
std::string show(std::uint32_t word) { return hex(word); }
std::string show(std::int32_t value) { return std::to_string(value); }
std::string show(const std::pair<std::uint32_t, std::uint32_t>& words) {
    return hex(words.first) + " " + hex(words.second);
}
std::string show(const Plan& plan) { return "sender " + show(plan.sender) + " receiver " + show(plan.receiver); }
std::string show(const MulticastPlan& plan) {
    return "sender " + show(plan.sender) + ", " + std::to_string(plan.receivers.size()) + " receiver rows" +
           (plan.receivers.empty() ? "" : ", first " + show(plan.receivers.front()));
}
template <class T>
std::string show(const Result<T>& result) {
    if (!result) return "error " + result.error().debug();
    if constexpr (std::is_void_v<T>) {
        return "ok";
    } else {
        return show(*result);
    }
}

// Reports the broken property with the call that broke it and ends the round.
#define PROPERTY(condition, call)                                                                         \
    do {                                                                                                  \
        if (!(condition)) {                                                                               \
            ADD_FAILURE() << "VORL_ADVERSARIAL_SEED=" << master_seed() << ": " #condition "\n  " << call; \
            return;                                                                                       \
        }                                                                                                 \
    } while (false)

constexpr std::string_view schedule_prefix = "exchange schedule is not encodable: ";

// The error is of a variant the library raises and shows its fixed text; a
// Schedule error carries one of `reasons`.
bool is_fixed_error(const ExchangeError& error, Reasons reasons) {
    const ErrorText shown = error.display();
    const std::string_view text = shown.view();
    switch (error.kind()) {
        case ErrorKind::Tile: return text == "logical tile " + std::to_string(error.tile_number()) + " is out of range";
        case ErrorKind::DuplicateTile: return text == "exchange endpoints must be distinct";
        case ErrorKind::Count:
            return text == "exchange count " + std::to_string(error.count_value()) + " is outside 1..=4148";
        case ErrorKind::ReceiverSet: return text == "invalid multicast receiver set";
        case ErrorKind::Schedule:
            return text.starts_with(schedule_prefix) &&
                   text.substr(schedule_prefix.size()) == reason_text(error.reason()) &&
                   std::ranges::find(reason::all, error.reason()) != std::end(reason::all) &&
                   std::ranges::find(reasons, error.reason()) != reasons.end();
        default: return false;  // no operation raises the other variants
    }
}

template <class T>
bool is_value_or_fixed_error(const Result<T>& result, Reasons reasons) {
    return result.has_value() || is_fixed_error(result.error(), reasons);
}

const Reasons encoding_reasons = {reason::plan_delay_order,
                                  reason::sendpicp_instruction_alignment,
                                  reason::receive_event_order,
                                  reason::receive_control_issue_interval,
                                  reason::receive_timed_event,
                                  reason::receive_control_at_phase_entry,
                                  reason::receive_control_order,
                                  reason::empty_sendpicp_interval,
                                  reason::incompatible_simultaneous_receive_controls,
                                  reason::sendpicp_operand,
                                  reason::sendpicp_pic_control,
                                  reason::sendpicp_xpic_control,
                                  reason::sendpicp_event_time,
                                  reason::zero_event_advance,
                                  reason::first_scheduled_event_is_not_a_delay,
                                  reason::scheduled_offset_truncates_a_send,
                                  reason::xpic_delay_advance_overflow,
                                  reason::pic_delay_advance_overflow,
                                  reason::delay_advance_overflow};
const Reasons paired_row_reasons = {reason::paired_source_timing, reason::paired_receive_coincident_controls,
                                    reason::paired_receive_horizon_overflow, reason::paired_receive_row_capacity,
                                    // A direct call may place the first control on the row's origin or past the
                                    // largest advance; the encoder's own reasons then pass through.
                                    reason::receive_control_issue_interval, reason::receive_event_order,
                                    reason::plan_delay_order};

bool is_timed(std::uint32_t word) {
    const WordFamily family = decode(word).family;
    return family == WordFamily::Send || family == WordFamily::SendOff || family == WordFamily::PlainDelay ||
           family == WordFamily::PicDelay || family == WordFamily::XpicDelay;
}

// Index of the closing word when `row` is well formed: the opening word (after
// the mark 1 of a point-to-point receiver row), timed words, the closing word,
// then zeros up to the ninth word.
std::optional<std::size_t> closing_index(const Row& row, bool marked = false) {
    std::size_t index = 0;
    if (marked && row[index++] != 1) return std::nullopt;
    if (row[index++] != opening_word) return std::nullopt;
    const std::size_t first_timed = index;
    while (index < row.size() && is_timed(row[index])) ++index;
    if (index == first_timed || index == row.size() || row[index] != closing_word) return std::nullopt;
    if (!std::all_of(row.begin() + static_cast<std::ptrdiff_t>(index) + 1, row.end(), [](auto w) { return w == 0; })) {
        return std::nullopt;
    }
    return index;
}
bool well_formed(const Row& row, bool marked = false) { return closing_index(row, marked).has_value(); }

std::uint64_t words_sent(const Row& row) {
    std::uint64_t sent = 0;
    for (const std::uint32_t word : row) {
        if (is_payload_send(word)) sent += decode(word).count_minus_one + 1u;
    }
    return sent;
}
std::size_t count_words(const Row& row, bool (*predicate)(std::uint32_t)) {
    return static_cast<std::size_t>(std::ranges::count_if(row, predicate));
}

// Cycles the words take on a row's timeline; a SENDPICP pair counts its
// instruction's cycles and skips its payload word. Empty for a word that is not timed.
std::optional<std::uint64_t> timeline_cycles(const RowWords& words, std::size_t from) {
    std::uint64_t cycles = 0;
    for (std::size_t index = from; index < words.len(); ++index) {
        const DecodedWord word = decode(words[index]);
        if (word.family == WordFamily::SendControlPair) {
            cycles += word.count_minus_one + 1u;
            ++index;
        } else if (word.family == WordFamily::PlainDelay || word.family == WordFamily::PicDelay ||
                   word.family == WordFamily::XpicDelay) {
            cycles += word.advance();
        } else {
            return std::nullopt;
        }
    }
    return cycles;
}

// Tables a caller may hand in besides the real numbering: none, one tile, every
// identifier held by several tiles, and identifiers with rows past 22 (up to the
// largest a row carries), repeated identifiers and tiles without partner.
std::vector<Topology> caller_topologies(Rng& rng) {
    std::vector<Topology> topologies;
    topologies.emplace_back(Tiles{});
    topologies.emplace_back(Tiles{5});
    Tiles crowded(tarn_tile_count);
    for (std::size_t i = 0; i < crowded.size(); ++i)
        crowded[i] = tarn_logical_to_physical(static_cast<std::uint16_t>(i)) % 256u;
    topologies.emplace_back(crowded);
    Tiles wide(2000);
    for (auto& id : wide) id = static_cast<std::uint16_t>(rng.below(maximum_physical_identifier + 1u));
    topologies.emplace_back(wide);
    Tiles full(maximum_topology_tiles);
    for (auto& id : full) id = static_cast<std::uint16_t>(rng.below(maximum_physical_identifier + 1u));
    topologies.emplace_back(full);
    return topologies;
}

std::size_t rounds(std::size_t base) { return base * environment_number("VORL_ADVERSARIAL_SCALE", 1); }

class Adversarial : public ::testing::Test {
protected:
    // Each test draws from its own stream of the master seed, so tests replay alone.
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::uint64_t stream = master_seed();
        for (const char c : std::string_view{info->name()}) stream = stream * 131u + static_cast<unsigned char>(c);
        rng_.emplace(stream);
        std::printf("VORL_ADVERSARIAL_SEED=%llu (replay: VORL_ADVERSARIAL_SEED=%llu ctest -R Adversarial.%s)\n",
                    static_cast<unsigned long long>(master_seed()), static_cast<unsigned long long>(master_seed()),
                    info->name());
    }
    void TearDown() override { std::printf("%llu calls\n", static_cast<unsigned long long>(calls_)); }

    // Calls `operation` twice; the two results must agree.
    template <class Operation>
    auto twice(Operation&& operation) {
        auto first = operation();
        const auto second = operation();
        calls_ += 2;
        if (!(first == second)) {
            ADD_FAILURE() << "VORL_ADVERSARIAL_SEED=" << master_seed() << ": a repeated call gave " << show(second)
                          << " after " << show(first);
        }
        return first;
    }

    std::optional<Rng> rng_;
    std::uint64_t calls_ = 0;
};

// ---- Planners ------------------------------------------------------------------

// Receiver lists of every shape: empty, the sender, whole pairs in any order,
// broken pairs, repeats, tiles outside the topology, and thousands of tiles.
Tiles receiver_list(Rng& rng, const Topology& topology, std::uint16_t sender) {
    const auto partner_of = [&](std::uint16_t tile) { return topology.paired_logical(tile).value_or(tile); };
    const auto pair_at = [&](Tiles& list, std::uint16_t tile) {
        list.push_back(tile);
        list.push_back(partner_of(tile));
    };
    Tiles list;
    switch (rng.below(13)) {
        case 0: break;
        case 1: list = {any_tile(rng)}; break;
        case 2: list = {sender}; break;
        case 3: pair_at(list, sender); break;
        case 4:
        case 5:
            for (std::uint32_t pairs = 1 + rng.below(rng.percent(10) ? 300 : 4); pairs > 0; --pairs) {
                pair_at(list, any_tile(rng));
            }
            break;
        case 6:  // whole pairs with one pair broken
            for (std::uint32_t pairs = 1 + rng.below(4); pairs > 0; --pairs) pair_at(list, any_tile(rng));
            switch (rng.below(3)) {
                case 0: list.pop_back(); break;
                case 1: list.back() = any_tile(rng); break;
                default: list.push_back(list.front()); break;
            }
            break;
        case 7:
            for (std::uint32_t n = 2 + rng.below(10); n > 0; --n) list.push_back(any_tile(rng));
            break;
        case 8:  // every entry twice
            for (std::uint32_t pairs = 1 + rng.below(3); pairs > 0; --pairs) pair_at(list, any_tile(rng));
            list.reserve(list.size() * 2);
            std::copy(list.begin(), list.end(), std::back_inserter(list));
            break;
        case 9:
            pair_at(list, sender);
            pair_at(list, any_tile(rng));
            break;
        case 10:
            if (rng.percent(4)) {  // every tile of the topology, or thousands of arbitrary numbers
                if (rng.percent(50)) {
                    list.resize(std::min<std::size_t>(topology.tile_count(), 1472));
                    for (std::size_t i = 0; i < list.size(); ++i) list[i] = static_cast<std::uint16_t>(i);
                } else {
                    for (std::uint32_t n = 1000 + rng.below(4000); n > 0; --n) list.push_back(any_tile(rng));
                }
                break;
            }
            [[fallthrough]];
        case 11: {  // a pair and a third tile holding the first one's identifier: every partner present, odd length
            const std::uint16_t tile = any_tile(rng);
            pair_at(list, tile);
            const auto table = topology.logical_to_physical();
            for (std::size_t other = 0; other < table.size() && tile < table.size(); ++other) {
                if (table[other] == table[tile] && other != tile && other != list.back()) {
                    list.push_back(static_cast<std::uint16_t>(other));
                    break;
                }
            }
            break;
        }
        default: list = {any_tile(rng), any_tile(rng)}; break;
    }
    if (rng.percent(50)) {
        for (std::size_t i = list.size(); i > 1; --i) std::swap(list[i - 1], list[rng.below(i)]);
    }
    return list;
}

bool receiver_set_ok(const Topology& topology, std::uint16_t sender, const Tiles& receivers) {
    const std::set<std::uint16_t> distinct(receivers.begin(), receivers.end());
    return !receivers.empty() && !(receivers.size() == 1 && receivers[0] == sender) &&
           distinct.size() == receivers.size() && *distinct.rbegin() < topology.tile_count();
}
bool paired_set_ok(const Topology& topology, const Tiles& receivers) {
    const std::set<std::uint16_t> distinct(receivers.begin(), receivers.end());
    return !receivers.empty() && receivers.size() % 2 == 0 && distinct.size() == receivers.size() &&
           std::ranges::all_of(receivers, [&](std::uint16_t tile) {
               const auto partner = topology.paired_logical(tile);
               return partner && distinct.contains(*partner);
           });
}

TEST_F(Adversarial, PointToPoint) {
    Rng& rng = *rng_;
    const Topology tarn = Topology::tarn();
    const auto others = caller_topologies(rng);
    for (std::size_t round = 0; round < rounds(400000) && !HasFailure(); ++round) {
        const bool real = rng.percent(85);
        const Topology& topology = real ? tarn : others[rng.below(others.size())];
        const std::uint16_t sender = any_tile(rng);
        const std::uint16_t receiver = rng.percent(3) ? sender : any_tile(rng);
        const std::uint32_t count = any_count(rng);
        [&] {
            const auto plan = twice([&] { return topology.point_to_point(sender, receiver, count); });
            const auto call = [&] {
                return "point_to_point(" + std::to_string(sender) + ", " + std::to_string(receiver) + ", " +
                       std::to_string(count) + ") on " + std::to_string(topology.tile_count()) + " tiles -> " +
                       show(plan);
            };
            std::optional<ExchangeError> refused;
            if (count == 0 || count > maximum_count) {
                refused = ExchangeError::count(count);
            } else if (sender == receiver) {
                refused = ExchangeError::duplicate_tile();
            } else if (sender >= topology.tile_count()) {
                refused = ExchangeError::tile(sender);
            } else if (receiver >= topology.tile_count()) {
                refused = ExchangeError::tile(receiver);
            }
            if (refused) {
                PROPERTY(!plan && plan.error() == *refused && is_fixed_error(plan.error(), {}), call());
                return;
            }
            const std::int32_t mux = time_to_mux(*topology.physical(sender), *topology.physical(receiver));
            if (111 - mux < -1) {
                PROPERTY(!plan && plan.error() == ExchangeError::schedule(reason::sender_delay), call());
                return;
            }
            PROPERTY(plan.has_value(), call());
            PROPERTY(well_formed(plan->sender) && well_formed(plan->receiver, true), call());
            PROPERTY(words_sent(plan->sender) == count && plan->receiver[2] == delay_xpic(112, 0, 0), call());
            // The receiver row ends with the shared receiver tail.
            const auto tail = ordinary_receiver_tail(count, (*topology.physical(receiver) >> 6) * 2u, 0);
            ++calls_;
            PROPERTY(std::equal(tail.begin(), tail.end(), plan->receiver.begin() + 3), call());
        }();
    }
}

TEST_F(Adversarial, Multicast) {
    Rng& rng = *rng_;
    const Topology tarn = Topology::tarn();
    const auto others = caller_topologies(rng);
    for (std::size_t round = 0; round < rounds(200000) && !HasFailure(); ++round) {
        const bool real = rng.percent(85);
        const Topology& topology = real ? tarn : others[rng.below(others.size())];
        const std::uint16_t sender = any_tile(rng);
        const Tiles receivers = receiver_list(rng, topology, sender);
        const std::uint32_t count = any_count(rng);
        const std::uint32_t offset = rng.percent(50) ? rng.below(4200) : any_u32(rng);
        [&] {
            const auto plan = twice([&] { return topology.multicast(sender, receivers, count, offset); });
            const auto call = [&] {
                return "multicast(" + std::to_string(sender) + ", " + show(receivers) + ", " + std::to_string(count) +
                       ", " + std::to_string(offset) + ") on " + std::to_string(topology.tile_count()) + " tiles -> " +
                       show(plan);
            };
            std::optional<ExchangeError> refused;
            if (count == 0 || count > maximum_count) {
                refused = ExchangeError::count(count);
            } else if (sender >= topology.tile_count()) {
                refused = ExchangeError::tile(sender);
            } else if (!receiver_set_ok(topology, sender, receivers)) {
                refused = ExchangeError::receiver_set();
            } else {
                // The start cycle lifts the earliest receiver to 0; no cycle may pass 4095.
                std::vector<std::int64_t> mux;
                for (const std::uint16_t receiver : receivers) {
                    mux.push_back(time_to_mux(*topology.physical(sender), *topology.physical(receiver)));
                }
                const std::int64_t start = std::max<std::int64_t>(0, -*std::ranges::min_element(mux)) + offset;
                if (start > 4095) {
                    refused = ExchangeError::schedule(reason::multicast_start_cycle);
                } else if (start + *std::ranges::max_element(mux) > 4095) {
                    refused = ExchangeError::schedule(reason::multicast_receive_cycle);
                }
            }
            if (refused) {
                PROPERTY(
                    !plan && plan.error() == *refused &&
                        is_fixed_error(plan.error(), {reason::multicast_start_cycle, reason::multicast_receive_cycle}),
                    call());
                return;
            }
            PROPERTY(plan.has_value(), call());
            PROPERTY(plan->receivers.size() == receivers.size(), call());
            PROPERTY(well_formed(plan->sender) && words_sent(plan->sender) == count, call());
            const std::uint32_t sender_control = decode(*std::ranges::find_if(plan->sender, is_send)).control;
            PROPERTY(receivers.size() == 1 ? (sender_control == 1 || sender_control == 2) : sender_control == 3,
                     call());
            std::uint32_t earliest = std::numeric_limits<std::uint32_t>::max();
            for (std::size_t i = 0; i < receivers.size(); ++i) {
                const Row& row = plan->receivers[i];
                PROPERTY(well_formed(row) && is_xpic_delay(row[1]), call() + "\n  row " + show(row));
                PROPERTY(decode(row[1]).control == (*topology.physical(sender) & 0x1fffu), call());
                earliest = std::min(earliest, decode(row[1]).advance_field);
                if (i < 8) {  // each row ends with the shared receiver tail
                    const std::uint32_t phase = (*topology.physical(receivers[i]) >> 6) * 2u;
                    const auto tail = ordinary_receiver_tail(count, phase, multicast_receive_address);
                    ++calls_;
                    PROPERTY(std::equal(tail.begin(), tail.end(), row.begin() + 2), call() + "\n  row " + show(row));
                }
            }
            PROPERTY(earliest >= offset, call());
        }();
    }
}

TEST_F(Adversarial, PairedMulticast) {
    Rng& rng = *rng_;
    const Topology tarn = Topology::tarn();
    const auto others = caller_topologies(rng);
    for (std::size_t round = 0; round < rounds(120000) && !HasFailure(); ++round) {
        const bool real = rng.percent(85);
        const Topology& topology = real ? tarn : others[rng.below(others.size())];
        const std::uint16_t sender = any_tile(rng);
        const Tiles receivers = receiver_list(rng, topology, sender);
        const std::uint32_t count = any_count(rng);
        [&] {
            const auto plan = twice([&] { return topology.paired_multicast(sender, receivers, count); });
            const auto call = [&] {
                return "paired_multicast(" + std::to_string(sender) + ", " + show(receivers) + ", " +
                       std::to_string(count) + ") on " + std::to_string(topology.tile_count()) + " tiles -> " +
                       show(plan);
            };
            std::optional<ExchangeError> refused;
            if (count == 0 || count > maximum_count) {
                refused = ExchangeError::count(count);
            } else if (!paired_set_ok(topology, receivers)) {
                refused = ExchangeError::receiver_set();
            } else if (sender >= topology.tile_count()) {
                refused = ExchangeError::tile(sender);
            }
            if (refused) {
                PROPERTY(!plan && plan.error() == *refused && is_fixed_error(plan.error(), {}), call());
                return;
            }
            if (real) {
                PROPERTY(is_value_or_fixed_error(plan, {reason::paired_receive_coincident_controls}), call());
            } else {
                PROPERTY(is_value_or_fixed_error(
                             plan, {reason::multicast_start_cycle, reason::multicast_receive_cycle,
                                    reason::paired_source_timing, reason::paired_receive_coincident_controls,
                                    reason::paired_receive_horizon_overflow, reason::paired_receive_row_capacity}),
                         call());
            }
            if (!plan) return;
            PROPERTY(plan->receivers.size() == receivers.size() && well_formed(plan->sender), call());
            // The sender row is the multicast's at offset 0 but for the send-control bits.
            const auto multicast = topology.multicast(sender, receivers, count, 0);
            ++calls_;
            PROPERTY(multicast.has_value(), call());
            for (std::size_t i = 0; i < row_length; ++i) {
                const std::uint32_t word = plan->sender[i];
                const bool sends = is_payload_send(word);
                PROPERTY(sends ? (word & ~7u) == (multicast->sender[i] & ~7u) && (word & 7u) >= 5
                               : word == multicast->sender[i],
                         call());
            }
            if (receivers.size() > 64) return;  // rebuilding each row below would dominate the run
            const std::uint32_t sender_physical = *topology.physical(sender);
            std::int32_t minimum = std::numeric_limits<std::int32_t>::max();
            for (const std::uint16_t receiver : receivers) {
                minimum = std::min(minimum, paired_time_to_mux(sender_physical, *topology.physical(receiver)));
            }
            for (std::size_t i = 0; i < receivers.size(); ++i) {
                const auto row = topology.paired_receiver_row(sender, receivers[i], count, minimum);
                ++calls_;
                PROPERTY(row && *row == plan->receivers[i] && well_formed(*row), call() + "\n  row " + show(row));
            }
        }();
    }
}

TEST_F(Adversarial, PairedReceiverRow) {
    Rng& rng = *rng_;
    const Topology tarn = Topology::tarn();
    const auto others = caller_topologies(rng);
    for (std::size_t round = 0; round < rounds(240000) && !HasFailure(); ++round) {
        const Topology& topology = rng.percent(85) ? tarn : others[rng.below(others.size())];
        const std::uint16_t sender = any_tile(rng);
        const std::uint16_t receiver =
            rng.percent(50) ? topology.paired_logical(sender).value_or(sender) : any_tile(rng);
        const std::uint32_t count = rng.percent(80) ? any_count(rng) : any_u32(rng);
        const std::int32_t minimum = rng.percent(60) ? static_cast<std::int32_t>(rng.below(200)) - 80 : any_i32(rng);
        [&] {
            const auto row = twice([&] { return topology.paired_receiver_row(sender, receiver, count, minimum); });
            const auto early = twice([&] { return topology.paired_receiver_is_early(receiver, sender); });
            const auto call = [&] {
                return "paired_receiver_row(" + std::to_string(sender) + ", " + std::to_string(receiver) + ", " +
                       std::to_string(count) + ", " + std::to_string(minimum) + ") on " +
                       std::to_string(topology.tile_count()) + " tiles -> " + show(row) + "; is_early -> " +
                       show(early);
            };
            // Both operations name the first tile that is outside the topology, in
            // their own argument order.
            const bool sender_in = sender < topology.tile_count();
            const bool receiver_in = receiver < topology.tile_count();
            if (!sender_in || !receiver_in) {
                PROPERTY(!row && row.error() == ExchangeError::tile(sender_in ? receiver : sender), call());
                PROPERTY(!early && early.error() == ExchangeError::tile(receiver_in ? sender : receiver), call());
                return;
            }
            PROPERTY(early.has_value() && is_value_or_fixed_error(row, paired_row_reasons), call());
            // The shared timeline starts one cycle before the earliest pair; a receiver
            // whose pair comes earlier still cannot be placed on it.
            const std::uint32_t sender_physical = *topology.physical(sender);
            const std::uint32_t receiver_physical = *topology.physical(receiver);
            const std::int64_t source_event = std::max<std::int64_t>(1 - std::int64_t{minimum}, 0) +
                                              paired_time_to_mux(sender_physical, receiver_physical);
            const bool untimed = !row && row.error() == ExchangeError::schedule(reason::paired_source_timing);
            PROPERTY((source_event < 0) == untimed, call());
            if (source_event >= 1 && source_event < 1000 && count >= 1 && count <= maximum_count &&
                &topology == &tarn) {
                // Within what a paired multicast passes, only controls on one cycle refuse the row.
                const std::int64_t format = source_event + 51 + 2 * (receiver_physical >> 6);
                std::vector<std::int64_t> controls = {format, format + 2, format + count};
                if (*early) controls.insert(controls.end(), {source_event, source_event + count});
                std::ranges::sort(controls);
                const bool coincide = std::ranges::adjacent_find(controls) != controls.end();
                PROPERTY(coincide ? !row && row.error() ==
                                                ExchangeError::schedule(reason::paired_receive_coincident_controls)
                                  : row.has_value(),
                         call());
            }
            if (!row) return;
            const auto closing = closing_index(*row);
            PROPERTY(closing && (*row)[*closing - 1] == delay(6), call());
            PROPERTY(count_words(*row, is_pic_delay) == 3 && count_words(*row, is_xpic_delay) == (*early ? 2u : 0u),
                     call());
        }();
    }
}

// ---- Sender row ------------------------------------------------------------------

TEST_F(Adversarial, SenderRowAndSendControl) {
    Rng& rng = *rng_;
    for (std::size_t round = 0; round < rounds(120000) && !HasFailure(); ++round) {
        // Within the contract: count 1..=4148, sender delay -1..=524287.
        const std::uint32_t count =
            rng.percent(30) ? rng.pick({1u, 2u, 4u, 5u, 63u, 64u, 65u, 4147u, 4148u}) : 1u + rng.below(maximum_count);
        const std::int32_t sender_delay = rng.percent(40) ? rng.pick({-1, 0, 1, 2, 3, 4, 5, 189, 524286, 524287})
                                                          : static_cast<std::int32_t>(rng.below(524289)) - 1;
        const std::uint32_t direction = rng.percent(60) ? rng.below(9) : any_u32(rng);
        [&] {
            const auto row = twice([&] { return primitive_sender_row(count, direction, sender_delay); });
            const auto call = [&] {
                return "primitive_sender_row(" + std::to_string(count) + ", " + std::to_string(direction) + ", " +
                       std::to_string(sender_delay) + ") -> " + show(row);
            };
            if (direction > 7) {
                PROPERTY(!row && row.error() == ExchangeError::schedule(reason::send_instruction_operand), call());
                return;
            }
            const auto closing = row ? closing_index(*row) : std::nullopt;
            PROPERTY(closing && words_sent(*row) == count, call());
            PROPERTY(
                sender_delay < 0 ? is_send((*row)[1]) : (*row)[1] == delay(static_cast<std::uint32_t>(sender_delay)),
                call());
            const std::int64_t trailing = 4 - std::int64_t{sender_delay} - count;
            const std::uint32_t last = (*row)[*closing - 1];
            PROPERTY(trailing >= 0 ? last == delay(static_cast<std::uint32_t>(trailing)) : is_payload_send(last),
                     call());
        }();

        // Any row, any control value.
        Row row{};
        for (auto& word : row) word = any_word(rng);
        const auto control = static_cast<std::uint8_t>(rng.percent(50) ? rng.below(9) : rng.u32());
        [&] {
            Row first = row;
            Row second = row;
            const auto result = set_sender_control(first, control);
            const auto again = set_sender_control(second, control);
            calls_ += 2;
            const auto call = [&] {
                return "set_sender_control(" + show(row) + ", " + std::to_string(control) + ") -> " + show(first) +
                       (result ? "" : " error " + result.error().debug());
            };
            PROPERTY(result == again && first == second, call());
            const auto takes = [](std::uint32_t word) {
                return is_send(word) || is_send_off(word) || (is_send_control_pair(word) && (word & 3u) != 0);
            };
            if (control < 1 || control > 7 || std::ranges::none_of(row, takes)) {
                const auto why = control < 1 || control > 7 ? reason::send_control : reason::sender_payload;
                PROPERTY(!result && result.error() == ExchangeError::schedule(why) && first == row, call());
                return;
            }
            PROPERTY(result.has_value(), call());
            for (std::size_t i = 0; i < row_length; ++i) {
                PROPERTY(takes(row[i]) ? first[i] == ((row[i] & ~7u) | control) : first[i] == row[i], call());
            }
        }();
    }
}

// ---- Instruction words -------------------------------------------------------------

TEST_F(Adversarial, EncodersRoundTripThroughTheDecoder) {
    Rng& rng = *rng_;
    for (std::size_t round = 0; round < rounds(100000) && !HasFailure(); ++round) {
        const std::uint32_t a = any_u32(rng);
        const std::uint32_t b = rng.percent(50) ? rng.below(9) : any_u32(rng);
        const std::uint32_t c = any_u32(rng);
        const auto call = [&] {
            return "operands " + std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c);
        };
        [&] {
            const auto send = twice([&] { return encode_send(a, b, c); });
            if (a > 63 || b > 7 || c > 0x3ffff) {
                PROPERTY(!send && send.error() == ExchangeError::schedule(reason::send_instruction_operand), call());
            } else {
                const DecodedWord word = decode(*send);
                PROPERTY(word.family == WordFamily::Send && word.count_minus_one == a && word.control == b &&
                             word.base_word == c && is_payload_send(*send),
                         call());
            }
            const DecodedWord off = decode(twice([&] { return send_off(a, b, c); }));
            PROPERTY(off.family == WordFamily::SendOff && off.count_minus_one == (a & 0xfffu) &&
                         off.control == (b & 7u) && off.base_word == (c & 0x7ffu) && is_payload_send(off.word) &&
                         !is_send_control(off.word),
                     call());
            const DecodedWord plain = decode(twice([&] { return delay(a); }));
            PROPERTY(plain.word == encode_exchange_delay(a) && plain.family == WordFamily::PlainDelay &&
                         plain.advance_field == (a & 0x7ffffu),
                     call());
            const DecodedWord pic = decode(twice([&] { return delay_pic(a, b, c); }));
            PROPERTY(pic.word == encode_exchange_delay_pic(a, b, c) && pic.family == WordFamily::PicDelay &&
                         pic.advance_field == (a & 0x7fu) && pic.flag == (b & 1u) && pic.control == (c & 0x3ffffu) &&
                         maximum_timed_instruction_advance(pic.word) == 128u,
                     call());
            const DecodedWord xpic = decode(twice([&] { return delay_xpic(a, b, c); }));
            PROPERTY(xpic.word == encode_exchange_delay_xpic(a, b, c) && xpic.family == WordFamily::XpicDelay &&
                         xpic.advance_field == (a & 0xfffu) && xpic.flag == (b & 1u) && xpic.control == (c & 0x1fffu) &&
                         maximum_timed_instruction_advance(xpic.word) == 4096u,
                     call());
            // Any word: the predicates never disagree with each other or the decoder.
            const std::uint32_t word = rng.percent(50) ? a : any_word(rng);
            const WordFamily family = decode(word).family;
            PROPERTY(is_payload_send(word) == (is_send(word) || is_send_off(word)) &&
                         !(is_send_off(word) && is_send_control(word)) &&
                         maximum_timed_instruction_advance(word).has_value() ==
                             (is_pic_delay(word) || is_xpic_delay(word)) &&
                         (family != WordFamily::Unknown || describe(word).starts_with("unknown")),
                     "word " + hex(word) + " " + describe(word));
            calls_ += 10;
        }();
    }
}

// ---- Delay padding and instruction advance ---------------------------------------

TEST_F(Adversarial, DelayPadding) {
    Rng& rng = *rng_;
    for (std::size_t round = 0; round < rounds(100000) && !HasFailure(); ++round) {
        RowWords prefilled;
        for (std::uint32_t n = rng.below(20); n > 0; --n) prefilled.push(any_word(rng));
        const std::uint32_t start = rng.percent(50) ? rng.below(600000) : any_u32(rng);
        std::uint32_t target = start;
        switch (rng.below(5)) {
            case 0: target = start + rng.below(4); break;
            case 1: target = start - 1u; break;
            case 2: target = start + 524288u * rng.below(3) + rng.below(3) - 1u; break;
            case 3: target = rng.percent(10) ? any_u32(rng) : start + any_u32(rng) % 2000000u; break;
            default: target = start + rng.below(1000); break;
        }
        const std::size_t parity = rng.percent(95) ? rng.below(2) : rng.pick({std::size_t{2}, std::size_t{SIZE_MAX}});
        [&] {
            const auto call = [&] {
                return "padding from " + std::to_string(start) + " to " + std::to_string(target) + " after " +
                       std::to_string(prefilled.len()) + " words, parity " + std::to_string(parity);
            };
            const std::uint64_t distance = target >= start ? target - start : 0;
            for (const bool aligned : {false, true}) {
                RowWords words = prefilled;
                std::uint32_t cycles = start;
                const auto result = aligned ? append_plain_delay_aligned(words, cycles, target, parity)
                                            : append_plain_delay(words, cycles, target);
                ++calls_;
                const bool parity_reachable =
                    parity < 2 && (distance >= 2 || (prefilled.len() + distance) % 2 == parity);
                if (target < start || (aligned && !parity_reachable)) {
                    const auto why = target < start ? reason::plan_delay_order : reason::sendpicp_instruction_alignment;
                    PROPERTY(!result && result.error() == ExchangeError::schedule(why),
                             call() + " aligned " + show(aligned));
                    PROPERTY(words.len() == prefilled.len() && cycles == start, call());
                    continue;
                }
                const std::uint64_t fewest = (distance + 524287) / 524288;
                const std::size_t added = words.len() - prefilled.len();
                PROPERTY(result && cycles == target && timeline_cycles(words, prefilled.len()) == distance,
                         call() + " aligned " + show(aligned));
                PROPERTY(aligned ? words.len() % 2 == parity && added <= fewest + 1 : added == fewest, call());
                for (std::size_t i = prefilled.len(); i < words.len(); ++i) PROPERTY(is_plain_delay(words[i]), call());
            }
        }();

        const std::uint32_t original = any_word(rng);
        const std::uint32_t advance =
            rng.percent(50)
                ? rng.pick({0u, 1u, 2u, 127u, 128u, 129u, 4095u, 4096u, 4097u, 524287u, 524288u, 524289u, 0xffffffffu})
                : any_u32(rng);
        [&] {
            std::uint32_t word = original;
            const auto result = set_instruction_advance(word, advance);
            std::uint32_t again = original;
            const auto repeated = set_instruction_advance(again, advance);
            calls_ += 2;
            const auto call = [&] {
                return "set_instruction_advance(" + hex(original) + ", " + std::to_string(advance) + ") -> " +
                       hex(word);
            };
            PROPERTY(result == repeated && word == again, call());
            const DecodedWord decoded = decode(original);
            std::uint32_t largest = 0;
            if (decoded.family == WordFamily::PlainDelay) largest = 524288;
            if (decoded.family == WordFamily::PicDelay) largest = 128;
            if (decoded.family == WordFamily::XpicDelay) largest = 4096;
            if (advance == 0 || advance > largest) {
                PROPERTY(!result && word == original &&
                             is_fixed_error(result.error(),
                                            {reason::zero_event_advance, reason::delay_advance_overflow,
                                             reason::pic_delay_advance_overflow, reason::xpic_delay_advance_overflow,
                                             reason::scheduled_offset_truncates_a_send,
                                             reason::first_scheduled_event_is_not_a_delay}),
                         call());
                return;
            }
            // Only the advance field changed: every other field decodes as before.
            DecodedWord expected = decoded;
            expected.word = word;
            expected.advance_field = advance - 1u;
            PROPERTY(result && decode(word) == expected, call());
        }();
    }
}

// ---- Receive events: validation and encoding --------------------------------------

ReceiveEvent any_event(Rng& rng, std::uint32_t cycles) {
    const auto kind = static_cast<ReceiveEventKind>(rng.below(7));
    std::uint32_t instruction =
        is_pic(kind) ? delay_pic(0, rng.below(2), rng.u32()) : delay_xpic(0, rng.below(2), rng.u32());
    if (rng.percent(8)) instruction = any_word(rng);
    return {cycles, instruction, kind};
}

std::vector<ReceiveEvent> any_events(Rng& rng) {
    std::vector<ReceiveEvent> events;
    std::uint32_t cycles = rng.percent(20) ? 0 : (rng.percent(70) ? rng.below(300) : any_u32(rng));
    for (std::uint32_t n = rng.percent(5) ? rng.below(40) : rng.below(7); n > 0; --n) {
        if (rng.percent(25)) {  // a Pointer control with an ordinary XPIC control on one cycle
            events.push_back({cycles, delay_pic(0, rng.below(2), rng.u32()), ReceiveEventKind::Pointer});
            events.push_back({cycles, delay_xpic(0, rng.below(2), rng.u32()),
                              rng.percent(50) ? ReceiveEventKind::OrdinarySource : ReceiveEventKind::OrdinaryNeutral});
            if (rng.percent(50)) std::swap(events[events.size() - 1], events[events.size() - 2]);
        } else {
            events.push_back(any_event(rng, cycles));
        }
        const std::uint32_t gap = rng.percent(15) ? 0 : (rng.percent(80) ? 1 + rng.below(200) : any_u32(rng));
        cycles = rng.percent(95) && cycles + gap >= cycles ? cycles + gap : any_u32(rng);
    }
    return events;
}

// Sizes of the runs of neighbouring events on one cycle.
std::vector<std::size_t> group_sizes(std::span<const ReceiveEvent> events) {
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i > 0 && events[i].cycles == events[i - 1].cycles)
            ++sizes.back();
        else
            sizes.push_back(1);
    }
    return sizes;
}

TEST_F(Adversarial, ReceiveEvents) {
    Rng& rng = *rng_;
    for (std::size_t round = 0; round < rounds(60000) && !HasFailure(); ++round) {
        const std::vector<ReceiveEvent> events = any_events(rng);
        const std::uint32_t last = events.empty() ? 0 : events.back().cycles;
        const std::uint32_t horizon =
            rng.percent(70) ? last + rng.below(100) : (rng.percent(50) ? last - rng.below(3) : any_u32(rng));
        const std::uint32_t start = rng.percent(80) ? 0 : rng.below(50);
        const bool aligned = rng.percent(30);
        RowWords prefilled;
        for (std::uint32_t n = rng.below(3); n > 0; --n) prefilled.push(any_word(rng));
        [&] {
            const auto call = [&] {
                std::string text = std::to_string(events.size()) + " events";
                for (const auto& e : events) {
                    text += " (" + std::to_string(e.cycles) + " " + hex(e.instruction) + " " +
                            std::to_string(static_cast<int>(e.kind)) + ")";
                }
                return text + ", from " + std::to_string(start) + " to horizon " + std::to_string(horizon) +
                       (aligned ? " aligned" : "") + " after " + std::to_string(prefilled.len()) + " words";
            };
            // Validation: each run on one cycle is a single event, or a Pointer with an ordinary control.
            const auto valid = twice([&] { return validate_receive_events(events); });
            const auto ordinary = [](ReceiveEventKind kind) {
                return kind == ReceiveEventKind::OrdinarySource || kind == ReceiveEventKind::OrdinaryNeutral;
            };
            bool shareable = true;
            std::size_t at = 0;
            for (const std::size_t size : group_sizes(events)) {
                const auto kind = [&](std::size_t i) { return events[at + i].kind; };
                shareable = shareable &&
                            (size == 1 || (size == 2 && ((kind(0) == ReceiveEventKind::Pointer && ordinary(kind(1))) ||
                                                         (kind(1) == ReceiveEventKind::Pointer && ordinary(kind(0))))));
                at += size;
            }
            PROPERTY(valid.has_value() == shareable &&
                         (valid || is_fixed_error(valid.error(), {reason::incompatible_simultaneous_receive_controls})),
                     call());

            // Encoding: words and cycles stay in step; each control ends on its cycle.
            RowWords words = prefilled;
            std::uint32_t cycles = start;
            std::vector<ReceiveEncodingProgress> progress;
            const auto result =
                append_receive_events_record(words, cycles, events, horizon, aligned,
                                             [&](const ReceiveEncodingProgress& p) { progress.push_back(p); });
            RowWords plain_words = prefilled;
            std::uint32_t plain_cycles = start;
            const auto plain = append_receive_events(plain_words, plain_cycles, events, horizon, aligned);
            calls_ += 2;
            PROPERTY(result == plain && words.to_vector() == plain_words.to_vector() && cycles == plain_cycles, call());
            PROPERTY(is_value_or_fixed_error(result, encoding_reasons), call() + " -> " + show(result.has_value()));
            for (std::size_t i = 1; i < progress.size(); ++i) {
                PROPERTY(progress[i].events_done > progress[i - 1].events_done &&
                             progress[i].event_cycles >= progress[i - 1].event_cycles &&
                             progress[i].words >= progress[i - 1].words,
                         call());
            }
            // Groups on rising cycles after the start, a horizon not before the last
            // group, single controls carried by PIC or XPIC delays: these always encode.
            bool must_encode = valid.has_value() && horizon >= (events.empty() ? start : events.back().cycles);
            std::uint32_t previous = start;
            at = 0;
            for (const std::size_t size : group_sizes(events)) {
                const ReceiveEvent& event = events[at];
                must_encode = must_encode && event.cycles > previous &&
                              (size == 2 || is_pic_delay(event.instruction) || is_xpic_delay(event.instruction));
                previous = event.cycles;
                at += size;
            }
            PROPERTY(result || aligned || !must_encode, call() + " -> " + show(result));
            if (!result) return;
            PROPERTY(cycles == horizon && timeline_cycles(words, prefilled.len()) == std::uint64_t{horizon} - start &&
                         !progress.empty() == !events.empty() &&
                         (events.empty() || progress.back().events_done == events.size()),
                     call());
            std::uint64_t now = start;
            std::size_t group = 0;
            const auto sizes = group_sizes(events);
            std::size_t first_event = 0;
            for (std::size_t i = prefilled.len(); i < words.len(); ++i) {
                const DecodedWord word = decode(words[i]);
                if (word.family == WordFamily::PlainDelay) {
                    now += word.advance();
                    continue;
                }
                PROPERTY(group < sizes.size(), call());
                const ReceiveEvent& event = events[first_event];
                if (word.family == WordFamily::SendControlPair) {
                    // Held up to the cycle before the next group (or the horizon), at most 64 cycles.
                    const std::size_t next = first_event + 2;
                    const std::uint64_t until = next < events.size() ? events[next].cycles - 1u : horizon;
                    PROPERTY(sizes[group] == 2 && now + 1 == event.cycles && (!aligned || i % 2 == 0) &&
                                 word.count_minus_one + 1u == std::min<std::uint64_t>(until - now, 64),
                             call() + " word " + std::to_string(i));
                    now += word.count_minus_one + 1u;
                    ++i;
                } else {
                    now += word.advance();
                    DecodedWord placed = decode(event.instruction);
                    placed.word = word.word;
                    placed.advance_field = word.advance_field;
                    PROPERTY(sizes[group] == 1 && now == event.cycles && word == placed,
                             call() + " word " + std::to_string(i));
                }
                first_event += sizes[group++];
            }
            PROPERTY(group == sizes.size(), call());
        }();

        // The SENDPICP pair on its own, with any operands and any events.
        const std::uint32_t count_minus_one = rng.percent(50) ? rng.below(66) : any_u32(rng);
        const std::uint32_t address = rng.percent(50) ? rng.below(0x40001) : any_u32(rng);
        const std::uint32_t control = rng.percent(50) ? rng.below(9) : any_u32(rng);
        const auto pair_events = std::span{events}.first(std::min<std::size_t>(events.size(), rng.below(4)));
        [&] {
            const auto pair =
                twice([&] { return encode_send_control_pair(count_minus_one, address, control, pair_events); });
            const auto call = [&] {
                return "encode_send_control_pair(" + std::to_string(count_minus_one) + ", " + std::to_string(address) +
                       ", " + std::to_string(control) + ", " + std::to_string(pair_events.size()) + " events)";
            };
            const auto pic = std::ranges::find_if(pair_events, [](const auto& e) { return is_pic(e.kind); });
            const auto xpic = std::ranges::find_if(pair_events, [](const auto& e) { return is_xpic(e.kind); });
            const bool fits = count_minus_one <= 63 && address <= 0x3ffff && control <= 7 && pair_events.size() == 2;
            if (!fits || pic == pair_events.end() || xpic == pair_events.end() || pic->cycles != xpic->cycles) {
                PROPERTY(
                    !pair && is_fixed_error(pair.error(), {reason::sendpicp_operand, reason::sendpicp_pic_control,
                                                           reason::sendpicp_xpic_control, reason::sendpicp_event_time}),
                    call());
                return;
            }
            const DecodedWord word = decode(pair->first);
            PROPERTY(pair && word.family == WordFamily::SendControlPair && word.count_minus_one == count_minus_one &&
                         word.base_word == address && word.control == control &&
                         word.flag == ((pic->instruction >> 18) & 1u) &&
                         (pair->second & 0x3ffffu) == (pic->instruction & 0x3ffffu) &&
                         (pair->second >> 18) == (xpic->instruction & 0x3fffu),
                     call());
        }();
    }
}

// ---- Route timing, tile lookups, digest ------------------------------------------

TEST_F(Adversarial, RouteTimingAndTileLookups) {
    Rng& rng = *rng_;
    const Topology tarn = Topology::tarn();
    const auto others = caller_topologies(rng);
    for (std::size_t round = 0; round < rounds(100000) && !HasFailure(); ++round) {
        const std::uint32_t source = rng.percent(50) ? tarn_logical_to_physical(any_tile(rng)) : any_u32(rng);
        const std::uint32_t destination = rng.percent(50) ? tarn_logical_to_physical(any_tile(rng)) : any_u32(rng);
        const std::uint32_t noise = rng.u32() & ~0x7ffu;  // bits the timing rules never read
        [&] {
            const auto call = [&] {
                return "route " + hex(source) + " -> " + hex(destination) + " noise " + hex(noise);
            };
            const std::int32_t displacement = twice([&] { return route_displacement(source, destination); });
            PROPERTY(displacement != 0 && displacement >= -47 && displacement <= 47 &&
                         direction(source, destination) == (displacement > 0 ? 1u : 2u) &&
                         route_displacement(source ^ noise, destination ^ noise) == displacement &&
                         time_to_mux(source ^ noise, destination ^ noise) == time_to_mux(source, destination) &&
                         paired_time_to_mux(source, destination) ==
                             std::max(time_to_mux(source, destination), time_to_mux(source, destination ^ 2u)),
                     call());
            calls_ += 6;
        }();

        const Topology& topology = rng.percent(70) ? tarn : others[rng.below(others.size())];
        const std::uint16_t tile = any_tile(rng);
        const std::uint32_t number = any_u32(rng);
        [&] {
            const auto call = [&] {
                return "tile " + std::to_string(tile) + " of " + std::to_string(topology.tile_count());
            };
            const auto physical = twice([&] { return topology.physical(tile); });
            const auto partner = twice([&] { return topology.paired_logical(tile); });
            if (tile >= topology.tile_count()) {
                PROPERTY(!physical && physical.error() == ExchangeError::tile(tile) && !partner &&
                             partner.error() == ExchangeError::tile(tile) && is_fixed_error(partner.error(), {}),
                         call());
            } else {
                PROPERTY(physical && *physical == topology.logical_to_physical()[tile], call());
                PROPERTY(partner ? *topology.physical(*partner) == (*physical ^ 2u)
                                 : partner.error() == ExchangeError::tile(tile),
                         call());
                // The partner is the lowest tile holding the partner identifier.
                const auto table = topology.logical_to_physical();
                PROPERTY(!partner || table.size() > 4096 ||
                             std::ranges::find(table, *physical ^ 2u) - table.begin() == *partner,
                         call());
            }
            const auto counted = twice([&] { return validate_count(number); });
            PROPERTY(counted.has_value() == (number >= 1 && number <= maximum_count) &&
                         (counted ||
                          (counted.error() == ExchangeError::count(number) && is_fixed_error(counted.error(), {}))),
                     "validate_count(" + std::to_string(number) + ")");
            calls_ += 4;
        }();
    }
}

TEST_F(Adversarial, DigestIsAFunctionOfTheByteStreamAlone) {
    Rng& rng = *rng_;
    for (std::size_t round = 0; round < rounds(50000) && !HasFailure(); ++round) {
        std::vector<std::byte> bytes(rng.percent(5) ? rng.below(5000) : rng.below(80));
        for (auto& byte : bytes) byte = static_cast<std::byte>(rng.u32());
        [&] {
            DefaultHasher whole;
            whole.write(bytes);
            DefaultHasher pieces;
            for (std::size_t at = 0; at < bytes.size();) {
                const std::size_t piece = std::min<std::size_t>(bytes.size() - at, rng.below(20));
                pieces.write(std::span{bytes}.subspan(at, piece));
                at += piece;
            }
            const std::uint64_t digest = whole.finish();
            PROPERTY(pieces.finish() == digest && whole.finish() == digest, std::to_string(bytes.size()) + " bytes");
            calls_ += 3;
        }();

        // An error of any variant and payload streams into the digest as its display text.
        const std::uint32_t a = any_u32(rng);
        const std::uint32_t b = any_u32(rng);
        const ExchangeError errors[] = {ExchangeError::validation_budget_exceeded(),
                                        ExchangeError::tile(static_cast<std::uint16_t>(a)),
                                        ExchangeError::duplicate_tile(),
                                        ExchangeError::count(a),
                                        ExchangeError::receiver_set(),
                                        ExchangeError::schedule(rng.pick(reason::all)),
                                        ExchangeError::plan_offset_range(a, b),
                                        ExchangeError::address(a),
                                        ExchangeError::host_packet()};
        const ExchangeError& error = errors[rng.below(std::size(errors))];
        [&] {
            DefaultHasher streamed;
            DefaultHasher written;
            streamed.write(std::span{bytes}.first(std::min<std::size_t>(bytes.size(), 11)));
            written.write(std::span{bytes}.first(std::min<std::size_t>(bytes.size(), 11)));
            feed(streamed, error);
            feed_text(written, to_string(error));
            calls_ += 2;
            PROPERTY(streamed.finish() == written.finish(), error.debug());
        }();
    }
}

}  // namespace
