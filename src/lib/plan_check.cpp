// The model of a correct plan. It states the row formats once more, in its own
// words, from the route timing and the word encoders' field layouts: a check
// that ran the planners would share their mistakes.
#include "vorl_exchange/plan_check.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/route_timing.hpp"

namespace vorl_exchange {

namespace {

// Every bit of a word belongs to its family's opcode or to one of the fields
// the model compares, so a word whose facts all hold is the expected word.
constexpr bool covers_word(Opcode opcode, std::initializer_list<BitField> fields) {
    std::uint32_t bits = opcode.mask;
    for (const BitField field : fields) {
        if ((bits & field.mask()) != 0) {
            return false;
        }
        bits |= field.mask();
    }
    return bits == 0xffffffffu;
}
static_assert(covers_word(send_word::opcode, {send_word::count_minus_one, send_word::base_word, send_word::control}));
static_assert(covers_word(send_off_word::opcode, {send_off_word::count_low, send_off_word::count_high,
                                                  send_off_word::base_word, send_off_word::control}));
static_assert(covers_word(plain_delay_word::opcode, {plain_delay_word::cycles}));
static_assert(covers_word(pic_delay_word::opcode,
                          {pic_delay_word::advance, pic_delay_word::flag, pic_delay_word::control}));
static_assert(covers_word(xpic_delay_word::opcode,
                          {xpic_delay_word::advance, xpic_delay_word::flag, xpic_delay_word::control}));

// The numbers of the row formats.
constexpr std::int64_t point_to_point_mark = 1;       // in front of a point-to-point receiver's opening word
constexpr std::int64_t point_to_point_mux_field = 112;  // its XPIC word's advance field: send start + mux time
constexpr std::int64_t largest_start_cycle = 4095;    // of a multicast
constexpr std::int64_t multicast_address = 0x14000;   // PIC control of a multicast receiver's tail
constexpr std::int64_t neutral_control = 1600;        // XPIC control after the data has passed
constexpr std::int64_t short_transfer_limit = 51;     // the receiver tail's two forms
constexpr std::int64_t long_tail_delay_field = 56;
constexpr std::int64_t sender_row_cycles = 6;        // a sender row with a trailing delay lasts this long
constexpr std::int64_t send_word_limit = 64;         // words a send word carries; the send-off carries the rest
constexpr std::int64_t format_lead_cycles = 51;      // paired: source event to format control, plus 2 a row
constexpr std::int64_t pointer_after_format = 2;
constexpr std::int64_t row_tail_cycles = 7;  // paired: the last control to the end of the row
constexpr std::int64_t largest_plain_delay = std::int64_t{plain_delay_word::cycles.max()} + 1;
constexpr std::int64_t largest_pic_advance = std::int64_t{pic_delay_word::advance.max()} + 1;
constexpr std::int64_t largest_xpic_advance = std::int64_t{xpic_delay_word::advance.max()} + 1;

struct Basis {
    std::string_view text;
    std::array<std::int64_t, 4> terms{};
};

// Where a check's facts go: kept, for a report,
struct KeptFacts {
    PlanCheck check;

    explicit KeptFacts(std::size_t rows) { check.facts.reserve(8 + rows * 30); }
    void add(const PlanFact& fact) {
        check.mismatches += fact.holds() ? 0u : 1u;
        check.facts.push_back(fact);
    }
    // A fact that follows from the words' facts, told for what it means.
    template <class Found>
    void add_derived(const PlanFact& fact, Found&& found) {
        PlanFact told = fact;
        told.found = found();
        add(told);
    }
};

// or only counted, for a verdict; the compiler then drops what a fact would say.
struct CountedFacts {
    std::size_t mismatches = 0;

    void add(const PlanFact& fact) { mismatches += fact.holds() ? 0u : 1u; }
    // Holds whenever the words' facts hold: nothing to count.
    template <class Found>
    void add_derived(const PlanFact& /*fact*/, Found&& /*found*/) {}
};

// A fact about the request: `found` is what it names, `expected` what the planners accept.
template <class Sink>
void request_fact(Sink& report, std::string_view name, std::optional<std::int64_t> found, std::int64_t expected,
                  Basis basis) {
    report.add({std::nullopt, std::nullopt, name, found, expected, basis.text, basis.terms, FactShown::Number});
}

// One row compared word by word with the words the model lays out in order.
template <class Sink>
class RowCheck {
public:
    RowCheck(Sink& report, std::size_t row, const Row& found) : report_{report}, row_{row}, found_{found} {}

    // A whole word the format fixes.
    void fixed(std::string_view name, std::int64_t expected, Basis basis) {
        if (const auto at = next()) {
            fact(*at, name, found_[*at], expected, basis, FactShown::Hex);
        }
        current_.reset();
    }

    // A word of a family: its fixed bits now, its fields with `field`.
    void opcode(std::string_view name, Opcode opcode, std::string_view family) {
        current_ = next();
        if (current_) {
            fact(*current_, name, found_[*current_] & opcode.mask, opcode.value, {family}, FactShown::Hex);
        }
    }

    void field(std::string_view name, BitField field, std::int64_t expected, Basis basis) {
        if (current_) {
            fact(*current_, name, field.get(found_[*current_]), expected, basis, FactShown::Number);
        }
    }

    // A value that spans fields of the current word.
    void value(std::string_view name, std::int64_t found, std::int64_t expected, Basis basis) {
        if (current_) {
            fact(*current_, name, found, expected, basis, FactShown::Number);
        }
    }

    [[nodiscard]] std::optional<std::size_t> current() const noexcept { return current_; }
    [[nodiscard]] const Row& found() const noexcept { return found_; }

    // A fact about the row as a whole that holds whenever every word's facts do
    // (the send start, the words sent, the end of the row): a verdict skips it.
    template <class Found>
    void derived(std::string_view name, Found&& found, std::int64_t expected, Basis basis) {
        report_.add_derived(
            {row_, std::nullopt, name, std::nullopt, expected, basis.text, basis.terms, FactShown::Number}, found);
    }

    // A fact about the row as a whole.
    void summary(std::string_view name, std::optional<std::int64_t> found, std::int64_t expected, Basis basis) {
        report_.add({row_, std::nullopt, name, found, expected, basis.text, basis.terms, FactShown::Number});
    }

    // The closing word, then fill to the end of the row.
    void close() {
        fixed("closing word", closing_word, {"every row's timed part ends with it"});
        if (placed_ > row_length) {
            summary("words in the row", std::int64_t{row_length}, static_cast<std::int64_t>(placed_),
                    {"the words its controls need, the opening and closing words included"});
        }
        while (placed_ < row_length) {
            fixed("fill word", fill_word, {"0 after the closing word"});
        }
    }

private:
    std::optional<std::size_t> next() {
        const std::size_t at = placed_++;
        return at < row_length ? std::optional{at} : std::nullopt;
    }

    void fact(std::size_t word, std::string_view name, std::int64_t found, std::int64_t expected, Basis basis,
              FactShown shown) {
        report_.add({row_, word, name, found, expected, basis.text, basis.terms, shown});
    }

    Sink& report_;
    std::size_t row_;
    const Row& found_;
    std::size_t placed_ = 0;
    std::optional<std::size_t> current_;
};

// ---- Words of the formats ----------------------------------------------------

template <class Sink>
void plain_delay(RowCheck<Sink>& row, std::int64_t field, Basis basis) {
    row.opcode("delay opcode", plain_delay_word::opcode, "a plain delay word");
    row.field("delay cycles field", plain_delay_word::cycles, field, basis);
}

struct Control {
    std::int64_t advance_field;
    Basis advance;
    std::int64_t flag;
    Basis flag_basis;
    std::int64_t control;
    Basis control_basis;
};

template <class Sink>
void pic_delay(RowCheck<Sink>& row, const Control& word) {
    row.opcode("pic-delay opcode", pic_delay_word::opcode, "a PIC delay word");
    row.field("pic-delay advance field", pic_delay_word::advance, word.advance_field, word.advance);
    row.field("pic-delay flag", pic_delay_word::flag, word.flag, word.flag_basis);
    row.field("pic-delay control", pic_delay_word::control, word.control, word.control_basis);
}

template <class Sink>
void xpic_delay(RowCheck<Sink>& row, const Control& word) {
    row.opcode("xpic-delay opcode", xpic_delay_word::opcode, "an XPIC delay word");
    row.field("xpic-delay advance field", xpic_delay_word::advance, word.advance_field, word.advance);
    row.field("xpic-delay flag", xpic_delay_word::flag, word.flag, word.flag_basis);
    row.field("xpic-delay control", xpic_delay_word::control, word.control, word.control_basis);
}

// ---- The sender row ----------------------------------------------------------

struct SendControl {
    std::int64_t value;
    Basis basis;
};

// Cycles before the row's first send or send-off word, as the row counts them.
std::optional<std::int64_t> send_start_found(const Row& row) {
    std::int64_t cycles = 0;
    for (const std::uint32_t word : row) {
        const DecodedWord decoded = decode(word);
        if (decoded.family == WordFamily::Send || decoded.family == WordFamily::SendOff) {
            return cycles;
        }
        if (decoded.family == WordFamily::Closing) {
            return std::nullopt;
        }
        cycles += decoded.advance();
    }
    return std::nullopt;
}

// Cycles the row's words take up to its closing word, as the row counts them.
std::int64_t row_cycles_found(const Row& row) {
    std::int64_t cycles = 0;
    for (const std::uint32_t word : row) {
        const DecodedWord decoded = decode(word);
        if (decoded.family == WordFamily::Closing) {
            break;
        }
        cycles += decoded.advance();
    }
    return cycles;
}

std::int64_t words_sent_found(const Row& row) {
    std::int64_t sent = 0;
    for (const std::uint32_t word : row) {
        const DecodedWord decoded = decode(word);
        if (decoded.family == WordFamily::Send || decoded.family == WordFamily::SendOff) {
            sent += std::int64_t{decoded.count_minus_one} + 1;
        }
    }
    return sent;
}

// Opening word; a delay of start - 1 when the start is past cycle 0; the send
// word for the first 64 words; the send-off for the rest; a trailing delay that
// takes a short row to 6 cycles; the closing word; fill.
template <class Sink>
void expect_sender_row(RowCheck<Sink>& row, std::int64_t count, std::int64_t start, Basis start_basis,
                       const SendControl& control) {
    row.derived("send start", [&] { return send_start_found(row.found()); }, start, start_basis);
    row.derived("words sent", [&] { return words_sent_found(row.found()); }, count,
                {"the count: the send word's words plus the send-off word's"});
    row.fixed("opening word", opening_word, {"every row opens with it"});
    if (start >= 1) {
        plain_delay(row, start - 1, {"send start {} less 1: the delay before the send", {start}});
    }
    const std::int64_t first = std::min(count, send_word_limit);
    row.opcode("send opcode", send_word::opcode, "a send word");
    row.field("send count field", send_word::count_minus_one, first - 1,
              {"the first {} words of the count, less 1", {first}});
    row.field("send base word", send_word::base_word, 0, {"the planners send from word 0"});
    row.field("send control", send_word::control, control.value, control.basis);
    if (count > send_word_limit) {
        row.opcode("send-off opcode", send_off_word::opcode, "a send-off word");
        if (const auto at = row.current()) {
            const DecodedWord decoded = decode(row.found()[*at]);
            row.value("send-off count field", decoded.count_minus_one, count - send_word_limit - 1,
                      {"the {} words beyond the first 64, less 1", {count - send_word_limit}});
        }
        row.field("send-off base word", send_off_word::base_word, 0, {"the planners send from word 0"});
        row.field("send-off control", send_off_word::control, control.value, control.basis);
    }
    const std::int64_t trailing = sender_row_cycles - 1 - start - count;
    if (trailing >= 0) {
        plain_delay(row, trailing, {"6 cycles in all: 6 - send start {} - count {}, less 1", {start, count}});
    }
    row.close();
}

// ---- Point-to-point and multicast receiver rows --------------------------------

// The four words after a receiver's XPIC word: the neutral XPIC control and the
// PIC control at the receiver's row phase, in either order, a delay, the closing word.
template <class Sink>
void expect_receiver_tail(RowCheck<Sink>& row, std::int64_t count, std::int64_t row_field, std::int64_t address,
                          Basis address_basis) {
    const Basis plain_flag{"0 in an ordinary receive"};
    const Basis neutral{"the neutral control 1600"};
    const std::int64_t phase = 2 * row_field;
    if (count <= short_transfer_limit) {
        xpic_delay(row, {count - 1,
                         {"the neutral control, count {} cycles on, less 1", {count}},
                         0,
                         plain_flag,
                         neutral_control,
                         neutral});
        pic_delay(row, {short_transfer_limit - count + phase,
                        {"51 - count {} + 2 x the receiver's row {}", {count, row_field}},
                        0,
                        plain_flag,
                        address,
                        address_basis});
        plain_delay(row, count + 4, {"count {} + 4 to the end of a short transfer", {count}});
    } else {
        pic_delay(row, {phase + short_transfer_limit,
                        {"2 x the receiver's row {} + 51", {row_field}},
                        0,
                        plain_flag,
                        address,
                        address_basis});
        xpic_delay(row, {std::max<std::int64_t>(count - 53, 0),
                         {"count {} - 53, at least 0", {count}},
                         0,
                         plain_flag,
                         neutral_control,
                         neutral});
        plain_delay(row, long_tail_delay_field, {"56 to the end of a long transfer"});
    }
    row.close();
}

// ---- Paired receiver rows --------------------------------------------------------

enum class Stream : std::uint8_t { Pic, Xpic };

struct Event {
    std::int64_t cycle;
    Stream stream;
    Basis when;  // terms[0] is the cycle; the start cycle goes into terms[3]
    std::int64_t flag;
    Basis flag_basis;
    std::int64_t control;
    Basis control_basis;
};

// Plain delays from `from` to `to`, each at most the largest a plain delay waits.
template <class Sink>
void bridge(RowCheck<Sink>& row, std::int64_t from, std::int64_t to, std::string_view why) {
    while (from < to) {
        const std::int64_t chunk = std::min(to - from, largest_plain_delay);
        plain_delay(row, chunk - 1, {why, {from, from + chunk}});
        from += chunk;
    }
}

// The row of one receiver of a pair: its controls in time order, each a timed
// word that ends on its cycle (plain delays in front when it is further away
// than the word can wait), then plain delays to 7 cycles after the last.
template <class Sink>
void expect_paired_receiver_row(RowCheck<Sink>& row, std::uint32_t sender, std::uint32_t receiver, std::int64_t count,
                                std::int64_t epoch) {
    const std::int32_t pair_mux_time = paired_time_to_mux(sender, receiver);
    const std::int64_t source = epoch + pair_mux_time;
    const std::int64_t row_field = receiver >> 6;
    const std::int64_t format = source + format_lead_cycles + 2 * row_field;
    const bool early = time_to_mux(sender, receiver) < time_to_mux(sender, tile_bits::partner(receiver));

    std::array<Event, 5> events{};
    std::size_t event_count = 0;
    if (early) {
        events[event_count++] = {
            source,
            Stream::Xpic,
            {"source control ends on cycle {} = epoch {} + pair mux time {}; starts on cycle {}, less 1",
             {source, epoch, pair_mux_time}},
            1,
            {"1 on a paired control"},
            std::int64_t{sender ^ (receiver & 2u)},
            {"the sender's physical identifier {} XOR the receiver's lane bit {}", {sender, receiver & 2u}}};
        events[event_count++] = {source + count,
                                 Stream::Xpic,
                                 {"neutral control ends on cycle {} = source event {} + count {}; starts on cycle {}, "
                                  "less 1",
                                  {source + count, source, count}},
                                 1,
                                 {"1 on a paired control"},
                                 neutral_control,
                                 {"the neutral control 1600"}};
    }
    events[event_count++] = {
        format,
        Stream::Pic,
        {"format control ends on cycle {} = source event {} + 51 + 2 x row {}; starts on cycle {}, less 1",
         {format, source, row_field}},
        1,
        {"1 on a format control"},
        std::int64_t{direction(sender, receiver)},
        {"direction {} from the sender to this tile", {direction(sender, receiver)}}};
    events[event_count++] = {format + pointer_after_format,
                             Stream::Pic,
                             {"pointer control ends on cycle {} = format control {} + {}; starts on cycle {}, less 1",
                              {format + pointer_after_format, format, pointer_after_format}},
                             0,
                             {"0 on the pointer control"},
                             0,
                             {"0 on the pointer control"}};
    events[event_count++] = {
        format + count,
        Stream::Pic,
        {"closing format control ends on cycle {} = format control {} + count {}; starts on cycle {}, less 1",
         {format + count, format, count}},
        1,
        {"1 on a format control"},
        0,
        {"0 on the closing format control"}};
    // In time order; controls due on one cycle keep the order above. Five at most:
    // an insertion sort, stable without the temporary buffer std::stable_sort takes.
    for (std::size_t sorted = 1; sorted < event_count; ++sorted) {
        for (std::size_t at = sorted; at > 0 && events[at].cycle < events[at - 1].cycle; --at) {
            std::swap(events[at], events[at - 1]);
        }
    }

    row.fixed("opening word", opening_word, {"every row opens with it"});
    std::int64_t cycle = 0;
    for (std::size_t index = 0; index < event_count; ++index) {
        Event event = events[index];
        if (event.cycle <= cycle) {
            // A control word waits at least one cycle: no row holds two controls on one cycle.
            row.summary("controls on distinct cycles", std::nullopt, event.cycle,
                        {"two controls fall on cycle {}", {event.cycle}});
            return;
        }
        const std::int64_t longest = event.stream == Stream::Pic ? largest_pic_advance : largest_xpic_advance;
        bridge(row, cycle, event.cycle - longest,
               "cycles {} to {}, waiting for a control too far for its word, less 1");
        cycle = std::max(cycle, event.cycle - longest);
        event.when.terms[3] = cycle;
        const Control control{event.cycle - cycle - 1, event.when,    event.flag,
                              event.flag_basis,        event.control, event.control_basis};
        if (event.stream == Stream::Pic) {
            pic_delay(row, control);
        } else {
            xpic_delay(row, control);
        }
        cycle = event.cycle;
    }
    const std::int64_t last = events[event_count - 1].cycle;
    row.derived("end of row", [&] { return row_cycles_found(row.found()); }, last + row_tail_cycles,
                {"last control {} + 7", {last}});
    bridge(row, cycle, last + row_tail_cycles, "cycles {} to {}: to 7 cycles after the last control, less 1");
    row.close();
}

// ---- The request ---------------------------------------------------------------

// The tiles of a request that the topology knows, or nothing when one is outside it.
struct Tiles {
    const Topology& topology;
    std::span<const std::uint16_t> logical;  // the receivers
    std::uint32_t sender = 0;

    [[nodiscard]] std::size_t size() const noexcept { return logical.size(); }
    // Known to be in the topology once `request_tiles` has returned these tiles.
    [[nodiscard]] std::uint32_t receiver(std::size_t position) const noexcept {
        return topology.physical(logical[position]).value_or(0);
    }
};

// How many distinct numbers `tiles` holds; short lists without a copy.
std::size_t distinct(std::span<const std::uint16_t> tiles) {
    constexpr std::size_t short_list = 16;
    if (tiles.size() <= short_list) {
        std::size_t repeated = 0;
        for (std::size_t at = 1; at < tiles.size(); ++at) {
            repeated += std::ranges::find(tiles.first(at), tiles[at]) != tiles.first(at).end() ? 1u : 0u;
        }
        return tiles.size() - repeated;
    }
    std::vector<std::uint16_t> sorted{tiles.begin(), tiles.end()};
    std::ranges::sort(sorted);
    return sorted.size() - std::ranges::unique(sorted).size();
}

// How many receivers have their pair partner among the receivers.
std::int64_t partnered(const Topology& topology, std::span<const std::uint16_t> receivers) {
    const auto has_partner = [&](auto&& listed) {
        return std::ranges::count_if(receivers, [&](std::uint16_t receiver) {
            const auto partner = topology.paired_logical(receiver);
            return partner && listed(*partner);
        });
    };
    constexpr std::size_t short_list = 16;
    if (receivers.size() <= short_list) {
        return has_partner([&](std::uint16_t tile) { return std::ranges::find(receivers, tile) != receivers.end(); });
    }
    std::vector<std::uint16_t> sorted{receivers.begin(), receivers.end()};
    std::ranges::sort(sorted);
    return has_partner([&](std::uint16_t tile) { return std::ranges::binary_search(sorted, tile); });
}

template <class Sink>
std::optional<Tiles> request_tiles(Sink& report, const Topology& topology, std::uint16_t sender,
                                   std::span<const std::uint16_t> receivers, std::uint32_t count) {
    request_fact(report, "count", count, std::clamp<std::int64_t>(count, 1, maximum_count),
                 {"the planners take 1 to {} words", {maximum_count}});
    const auto tiles = static_cast<std::int64_t>(topology.tile_count());
    const auto sender_physical = topology.physical(sender);
    request_fact(report, "sender tile", sender_physical ? std::optional<std::int64_t>{sender} : std::nullopt, sender,
                 {"a logical tile below {}, the number of tiles", {tiles}});
    const auto known =
        std::ranges::count_if(receivers, [&](std::uint16_t tile) { return tile < topology.tile_count(); });
    request_fact(report, "receiver tiles", known, static_cast<std::int64_t>(receivers.size()),
                 {"every receiver a logical tile below {}, the number of tiles", {tiles}});
    request_fact(report, "distinct receivers", static_cast<std::int64_t>(distinct(receivers)),
                 static_cast<std::int64_t>(receivers.size()), {"no receiver named twice"});
    if (!sender_physical || static_cast<std::size_t>(known) != receivers.size()) {
        return std::nullopt;
    }
    return Tiles{topology, receivers, *sender_physical};
}

template <class Sink>
void receiver_rows_given(Sink& report, std::size_t receivers, std::size_t rows) {
    request_fact(report, "receiver rows", static_cast<std::int64_t>(rows), static_cast<std::int64_t>(receivers),
                 {"one row per receiver"});
}

std::int32_t smallest_mux_time(const Tiles& tiles) {
    std::int32_t smallest = time_to_mux(tiles.sender, tiles.receiver(0));
    for (std::size_t position = 1; position < tiles.size(); ++position) {
        smallest = std::min(smallest, time_to_mux(tiles.sender, tiles.receiver(position)));
    }
    return smallest;
}

}  // namespace

namespace {

template <class Sink>
void point_to_point_facts(Sink& report, const Topology& topology, std::uint16_t sender, std::uint16_t receiver,
                          std::uint32_t count, const Row& sender_row, const Row& receiver_row) {
    request_fact(report, "receiver other than the sender",
                 receiver != sender ? std::optional<std::int64_t>{receiver} : std::nullopt, receiver,
                 {"the sender {} sends to another tile", {sender}});
    const std::array receivers{receiver};
    const auto tiles = request_tiles(report, topology, sender, receivers, count);
    if (!tiles) {
        return;
    }
    const std::uint32_t physical = tiles->receiver(0);
    const std::int32_t mux_time = time_to_mux(tiles->sender, physical);
    const std::uint32_t towards = direction(tiles->sender, physical);
    RowCheck<Sink> sender_check{report, 0, sender_row};
    expect_sender_row(sender_check, count, point_to_point_mux_field - mux_time,
                      {"112 - mux time {}, so that data reaches the mux on cycle 112", {mux_time}},
                      {towards, {"direction {} towards the receiver", {towards}}});

    RowCheck<Sink> row{report, 1, receiver_row};
    row.fixed("mark word", point_to_point_mark, {"the value 1 in front of a point-to-point receiver row"});
    row.fixed("opening word", opening_word, {"every row opens with it"});
    xpic_delay(row, {point_to_point_mux_field,
                     {"send start {} + mux time {}: the mux switches for the data",
                      {point_to_point_mux_field - mux_time, mux_time}},
                     0,
                     {"0 in an ordinary receive"},
                     0,
                     {"0 in a point-to-point row"}});
    expect_receiver_tail(row, count, tile_bits::row(physical), 0, {"address 0 in a point-to-point row"});
}

}  // namespace

PlanCheck check_point_to_point(const Topology& topology, std::uint16_t sender, std::uint16_t receiver,
                               std::uint32_t count, const Row& sender_row, const Row& receiver_row) {
    KeptFacts facts{2};
    point_to_point_facts(facts, topology, sender, receiver, count, sender_row, receiver_row);
    return std::move(facts.check);
}

bool point_to_point_holds(const Topology& topology, std::uint16_t sender, std::uint16_t receiver, std::uint32_t count,
                          const Row& sender_row, const Row& receiver_row) {
    CountedFacts facts;
    point_to_point_facts(facts, topology, sender, receiver, count, sender_row, receiver_row);
    return facts.mismatches == 0;
}

namespace {

template <class Sink>
void multicast_facts(Sink& report, const Topology& topology, std::uint16_t sender,
                     std::span<const std::uint16_t> receivers, std::uint32_t count, std::uint32_t schedule_offset,
                     const Row& sender_row, std::span<const Row> receiver_rows) {
    const auto others = std::ranges::count_if(receivers, [sender](std::uint16_t tile) { return tile != sender; });
    request_fact(report, "receivers other than the sender", others, std::max<std::int64_t>(others, 1),
                 {"at least one receiver besides the sender"});
    receiver_rows_given(report, receivers.size(), receiver_rows.size());
    const auto tiles = request_tiles(report, topology, sender, receivers, count);
    if (!tiles || tiles->size() == 0) {
        return;
    }
    const std::int32_t smallest = smallest_mux_time(*tiles);
    const std::int64_t natural_start = std::max<std::int64_t>(0, -std::int64_t{smallest});
    const std::int64_t start = natural_start + schedule_offset;
    request_fact(report, "start cycle", start, std::min(start, largest_start_cycle),
                 {"max(0, -smallest mux time {}) + offset {}, at most 4095", {smallest, schedule_offset}});

    const bool single = receivers.size() == 1;
    const std::uint32_t towards = direction(tiles->sender, tiles->receiver(0));
    const SendControl control =
        single
            ? SendControl{towards, {"direction {} towards the one receiver", {towards}}}
            : SendControl{3, {"3, both directions, for {} receivers", {static_cast<std::int64_t>(receivers.size())}}};
    RowCheck<Sink> sender_check{report, 0, sender_row};
    expect_sender_row(sender_check, count, start,
                      {"max(0, -smallest mux time {}) + offset {}", {smallest, schedule_offset}}, control);

    for (std::size_t position = 0; position < std::min(receivers.size(), receiver_rows.size()); ++position) {
        const std::uint32_t physical = tiles->receiver(position);
        const std::int32_t mux_time = time_to_mux(tiles->sender, physical);
        RowCheck<Sink> row{report, position + 1, receiver_rows[position]};
        row.fixed("opening word", opening_word, {"every row opens with it"});
        xpic_delay(row, {start + mux_time,
                         {"receive cycle: start cycle {} + mux time {}", {start, mux_time}},
                         0,
                         {"0 in an ordinary receive"},
                         tiles->sender,
                         {"the sender's physical identifier {}", {tiles->sender}}});
        expect_receiver_tail(row, count, tile_bits::row(physical), multicast_address,
                             {"address 0x14000 in a multicast row"});
    }
}

}  // namespace

PlanCheck check_multicast(const Topology& topology, std::uint16_t sender, std::span<const std::uint16_t> receivers,
                          std::uint32_t count, std::uint32_t schedule_offset, const Row& sender_row,
                          std::span<const Row> receiver_rows) {
    KeptFacts facts{receivers.size() + 1};
    multicast_facts(facts, topology, sender, receivers, count, schedule_offset, sender_row, receiver_rows);
    return std::move(facts.check);
}

bool multicast_holds(const Topology& topology, std::uint16_t sender, std::span<const std::uint16_t> receivers,
                     std::uint32_t count, std::uint32_t schedule_offset, const Row& sender_row,
                     std::span<const Row> receiver_rows) {
    CountedFacts facts;
    multicast_facts(facts, topology, sender, receivers, count, schedule_offset, sender_row, receiver_rows);
    return facts.mismatches == 0;
}

namespace {

template <class Sink>
void paired_multicast_facts(Sink& report, const Topology& topology, std::uint16_t sender,
                            std::span<const std::uint16_t> receivers, std::uint32_t count, const Row& sender_row,
                            std::span<const Row> receiver_rows) {
    const auto listed = static_cast<std::int64_t>(receivers.size());
    request_fact(report, "receivers in whole pairs", listed, std::max<std::int64_t>(2, listed + listed % 2),
                 {"an even number, at least 2"});
    request_fact(report, "receivers with their partner listed", partnered(topology, receivers), listed,
                 {"every receiver's pair partner is a receiver too"});
    receiver_rows_given(report, receivers.size(), receiver_rows.size());
    const auto tiles = request_tiles(report, topology, sender, receivers, count);
    if (!tiles || tiles->size() == 0) {
        return;
    }
    // The sender row is a multicast's at offset 0, sending with the paired control.
    const std::int32_t smallest = smallest_mux_time(*tiles);
    const std::int64_t start = std::max<std::int64_t>(0, -std::int64_t{smallest});
    const bool one_pair_apart = receivers.size() == 2 && std::ranges::find(receivers, sender) == receivers.end();
    const std::uint32_t towards = direction(tiles->sender, tiles->receiver(0));
    const SendControl control =
        one_pair_apart          ? SendControl{4 | towards, {"4 + direction {} towards the first receiver", {towards}}}
        : receivers.size() == 2 ? SendControl{7, {"4 + both directions 3, the sender being a receiver"}}
                                : SendControl{7, {"4 + both directions 3, for {} receivers", {listed}}};
    RowCheck<Sink> sender_check{report, 0, sender_row};
    expect_sender_row(sender_check, count, start,
                      {"max(0, -smallest mux time {}), a multicast at offset 0", {smallest}}, control);

    std::int32_t smallest_pair = paired_time_to_mux(tiles->sender, tiles->receiver(0));
    for (std::size_t position = 1; position < tiles->size(); ++position) {
        smallest_pair = std::min(smallest_pair, paired_time_to_mux(tiles->sender, tiles->receiver(position)));
    }
    const std::int64_t epoch = std::max<std::int64_t>(0, 1 - std::int64_t{smallest_pair});
    for (std::size_t position = 0; position < std::min(receivers.size(), receiver_rows.size()); ++position) {
        RowCheck<Sink> row{report, position + 1, receiver_rows[position]};
        expect_paired_receiver_row(row, tiles->sender, tiles->receiver(position), count, epoch);
    }
}

}  // namespace

PlanCheck check_paired_multicast(const Topology& topology, std::uint16_t sender,
                                 std::span<const std::uint16_t> receivers, std::uint32_t count, const Row& sender_row,
                                 std::span<const Row> receiver_rows) {
    KeptFacts facts{receivers.size() + 1};
    paired_multicast_facts(facts, topology, sender, receivers, count, sender_row, receiver_rows);
    return std::move(facts.check);
}

bool paired_multicast_holds(const Topology& topology, std::uint16_t sender, std::span<const std::uint16_t> receivers,
                            std::uint32_t count, const Row& sender_row, std::span<const Row> receiver_rows) {
    CountedFacts facts;
    paired_multicast_facts(facts, topology, sender, receivers, count, sender_row, receiver_rows);
    return facts.mismatches == 0;
}

std::string reason_text(const PlanFact& fact) {
    std::string text;
    text.reserve(fact.reason.size() + 16);
    std::size_t term = 0;
    for (std::size_t at = 0; at < fact.reason.size(); ++at) {
        if (fact.reason.compare(at, 2, "{}") == 0 && term < fact.terms.size()) {
            text += std::to_string(fact.terms[term++]);
            ++at;
        } else {
            text += fact.reason[at];
        }
    }
    return text;
}

namespace {

std::string shown(std::int64_t value, FactShown how) {
    if (how == FactShown::Number || value < 0) {
        return std::to_string(value);
    }
    std::array<char, 24> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "0x%08" PRIx64, static_cast<std::uint64_t>(value));
    return buffer.data();
}

}  // namespace

std::string describe(const PlanFact& fact) {
    const std::string where = fact.word ? "word " + std::to_string(*fact.word) + " " : "";
    const std::string expected = shown(fact.expected, fact.shown) + " = " + reason_text(fact);
    if (!fact.found) {
        return "no " + where + std::string{fact.name} + ", expected " + expected;
    }
    const std::string found = where + std::string{fact.name} + " " + shown(*fact.found, fact.shown);
    if (fact.holds()) {
        return found + " = " + reason_text(fact);
    }
    return found + ", expected " + expected;
}

}  // namespace vorl_exchange
