// The model of a correct plan. It states the row formats once more, in its own
// words, from the route timing and the word encoders' field layouts: a check
// that ran the planners would share their mistakes.
#include "vorl_exchange/plan_check.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>
#include <utility>

#include "route_terms.hpp"
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
constexpr std::uint32_t neutral_control = 1600;       // XPIC control after the data has passed
constexpr std::int64_t short_transfer_limit = 51;     // the receiver tail's two forms
constexpr std::int64_t long_tail_delay_field = 56;
constexpr std::int64_t sender_row_cycles = 6;        // a sender row with a trailing delay lasts this long
constexpr std::int64_t send_word_limit = 64;         // words a send word carries; the send-off carries the rest
constexpr std::int64_t format_lead_cycles = 51;      // paired: source event to format control, plus 2 a row
constexpr std::int64_t pointer_after_format = 2;
constexpr std::int64_t row_tail_cycles = 7;  // paired: the last control to the end of the row
constexpr std::int64_t largest_plain_delay = std::int64_t{plain_delay_word::cycles.max()} + 1;

struct Basis {
    std::string_view text;
    std::array<std::int64_t, 4> terms{};
};

// A check runs the one model below against one of two sinks. A report keeps
// every fact, comparing the rows word by word and field by field as the model
// lays them out (`FactRow`). A verdict only counts what does not hold: it has
// the model build the words themselves (`WordRow`) and compares each with the
// word found, which comes to the same answer, since every bit of a word is its
// opcode's or a compared field's (above) and a field's expected value either
// fits the field or counts against the rows at once.
//
// The verdicts are compiled flat (`gnu::flatten`): every call of the model
// inlined, so that the names and reasons a verdict never reads are dropped
// and nothing passes through memory. Not flattened, the paired verdict took
// 126 ns against 58 (bench/plan_check_bench, release). Route timing is read
// from the topology's table of route terms, as the planners read it; the
// formulas themselves took a quarter of the multicast verdict's time.
class FactRow;
class WordRow;

// A request fact and a row fact alike.
inline std::size_t mismatch(const PlanFact& fact) { return fact.holds() ? 0u : 1u; }

struct KeptFacts {
    PlanCheck check;

    explicit KeptFacts(std::size_t rows) { check.facts.reserve(8 + rows * 30); }
    void add(const PlanFact& fact) {
        check.mismatches += mismatch(fact);
        check.facts.push_back(fact);
    }
    [[nodiscard]] FactRow row(std::size_t row, const Row& found);
};

struct Verdict {
    std::size_t mismatches = 0;  // request facts and row summaries that do not hold
    std::uint32_t differ = 0;    // bits in which a word compared so far differs, over every row
    std::uint64_t spilled = 0;   // bits of values past their fields, over every row

    void add(const PlanFact& fact) { mismatches += mismatch(fact); }
    [[nodiscard]] WordRow row(std::size_t row, const Row& found);
    [[nodiscard]] bool holds() const noexcept { return mismatches == 0 && differ == 0 && spilled == 0; }
};

// A fact about the request: `found` is what it names, `expected` what the planners accept.
template <class Sink>
void request_fact(Sink& report, std::string_view name, std::optional<std::int64_t> found, std::int64_t expected,
                  Basis basis) {
    report.add({std::nullopt, std::nullopt, name, found, expected, basis.text, basis.terms, FactShown::Number});
}

// Both rows take the model's words in order, through the same calls:
//   fixed    a whole word the format fixes;
//   opcode   a word of a family, whose fields follow with `field`;
//   derived  a fact about the row as a whole that holds whenever every word's
//            facts do (the send start, the words sent, the end of the row);
//   summary  a fact about the row as a whole;
//   close    the closing word, then fill to the end of the row.

// One row compared word by word with the words the model lays out, every
// comparison a fact.
class FactRow {
public:
    FactRow(KeptFacts& report, std::size_t row, const Row& found) : report_{report}, row_{row}, found_{found} {}

    void fixed(std::string_view name, std::int64_t expected, Basis basis) {
        if (const auto at = next()) {
            fact(*at, name, found_[*at], expected, basis, FactShown::Hex);
        }
        current_.reset();
    }

    void opcode(std::string_view name, Opcode opcode, std::string_view family) {
        current_ = next();
        if (current_) {
            fact(*current_, name, found_[*current_] & opcode.mask, opcode.value, {family}, FactShown::Hex);
        }
    }

    template <class Field>
    void field(std::string_view name, Field field, std::int64_t expected, Basis basis) {
        if (current_) {
            fact(*current_, name, value_of(field, found_[*current_]), expected, basis, FactShown::Number);
        }
    }

    [[nodiscard]] const Row& found() const noexcept { return found_; }

    template <class Found>
    void derived(std::string_view name, Found&& found, std::int64_t expected, Basis basis) {
        report_.add({row_, std::nullopt, name, found(), expected, basis.text, basis.terms, FactShown::Number});
    }

    void summary(std::string_view name, std::optional<std::int64_t> found, std::int64_t expected, Basis basis) {
        report_.add({row_, std::nullopt, name, found, expected, basis.text, basis.terms, FactShown::Number});
    }

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
    static std::int64_t value_of(BitField field, std::uint32_t word) { return field.get(word); }
    static std::int64_t value_of(const TextField& field, std::uint32_t word) { return field.read(word); }

    std::optional<std::size_t> next() {
        const std::size_t at = placed_++;
        return at < row_length ? std::optional{at} : std::nullopt;
    }

    void fact(std::size_t word, std::string_view name, std::int64_t found, std::int64_t expected, Basis basis,
              FactShown shown) {
        report_.add({row_, word, name, found, expected, basis.text, basis.terms, shown});
    }

    KeptFacts& report_;
    std::size_t row_;
    const Row& found_;
    std::size_t placed_ = 0;
    std::optional<std::size_t> current_;
};

// One row laid out as the words the model expects, each compared with the
// word found once its fields are in; names and reasons go unread, so the
// compiler drops them. The word being built stays in a register: a row built
// in memory and compared whole stalls on reading back what was just stored.
// Differences go into the verdict's bits for every row at once, not counted
// row by row (a paired verdict 2 % faster, a multicast 7 %).
class WordRow {
public:
    WordRow(Verdict& report, const Row& found) : report_{report}, found_{found} {}

    void fixed(std::string_view /*name*/, std::int64_t expected, const Basis& /*basis*/) {
        place(static_cast<std::uint32_t>(expected));
    }

    void opcode(std::string_view /*name*/, Opcode opcode, std::string_view /*family*/) { place(opcode.value); }

    // A value that does not fit its field is a mismatch whatever the row holds:
    // its bits past the field (or those of a negative value) are kept in the
    // verdict's `spilled`, and the rest goes into the word unmasked, since the
    // rows fail either way.
    void field(std::string_view /*name*/, BitField field, std::int64_t expected, const Basis& /*basis*/) {
        const auto bits = static_cast<std::uint64_t>(expected);
        report_.spilled |= bits & ~std::uint64_t{field.max()};
        pending_ |= static_cast<std::uint32_t>(bits) << field.position;
    }

    void field(std::string_view /*name*/, const TextField& field, std::int64_t expected, const Basis& /*basis*/) {
        const auto bits = static_cast<std::uint64_t>(expected - std::int64_t{field.smallest()});
        report_.spilled |= bits & ~std::uint64_t{field.largest() - field.smallest()};
        pending_ |= field.place(static_cast<std::uint32_t>(expected));
    }

    [[nodiscard]] const Row& found() const noexcept { return found_; }

    template <class Found>
    void derived(std::string_view /*name*/, Found&& /*found*/, std::int64_t /*expected*/, const Basis& /*basis*/) {}

    void summary(std::string_view /*name*/, std::optional<std::int64_t> found, std::int64_t expected,
                 const Basis& /*basis*/) {
        report_.mismatches += found && *found == expected ? 0u : 1u;
    }

    void close() {
        place(closing_word);
        compare_pending();
        // Words the rows had no room for; fill after the closing word.
        report_.differ |= placed_ > row_length ? 1u : 0u;
        // Every word past the last placed is fill: a fixed loop, with no exit
        // that varies from row to row.
        for (std::size_t at = 0; at < row_length; ++at) {
            report_.differ |= at >= placed_ ? found_[at] ^ fill_word : 0u;
        }
    }

private:
    void compare_pending() {
        if (placed_ >= 1 && placed_ <= row_length) {
            report_.differ |= pending_ ^ found_[placed_ - 1];
        }
    }

    void place(std::uint32_t word) {
        compare_pending();
        pending_ = word;
        ++placed_;
    }

    Verdict& report_;
    const Row& found_;
    std::uint32_t pending_ = 0;  // the word placed last, until the next is placed
    std::size_t placed_ = 0;
};

FactRow KeptFacts::row(std::size_t row, const Row& found) { return {*this, row, found}; }
WordRow Verdict::row(std::size_t /*row*/, const Row& found) { return {*this, found}; }

// ---- Words of the formats ----------------------------------------------------

template <class Layout>
void plain_delay(Layout& row, std::int64_t field, Basis basis) {
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

// The two timed control words, PIC and XPIC: one layout, fields of their own widths.
struct TimedFamily {
    std::string_view opcode_name;
    std::string_view family;
    std::string_view advance_name;
    std::string_view flag_name;
    std::string_view control_name;
    Opcode opcode;
    BitField advance;
    BitField flag;
    BitField control;
};

constexpr TimedFamily pic_timed{"pic-delay opcode",      "a PIC delay word",   "pic-delay advance field",
                                "pic-delay flag",        "pic-delay control",  pic_delay_word::opcode,
                                pic_delay_word::advance, pic_delay_word::flag, pic_delay_word::control};
constexpr TimedFamily xpic_timed{"xpic-delay opcode",      "an XPIC delay word",  "xpic-delay advance field",
                                 "xpic-delay flag",        "xpic-delay control",  xpic_delay_word::opcode,
                                 xpic_delay_word::advance, xpic_delay_word::flag, xpic_delay_word::control};

template <class Layout>
void timed_control(Layout& row, const TimedFamily& family, const Control& word) {
    row.opcode(family.opcode_name, family.opcode, family.family);
    row.field(family.advance_name, family.advance, word.advance_field, word.advance);
    row.field(family.flag_name, family.flag, word.flag, word.flag_basis);
    row.field(family.control_name, family.control, word.control, word.control_basis);
}

template <class Layout>
void pic_delay(Layout& row, const Control& word) {
    timed_control(row, pic_timed, word);
}

template <class Layout>
void xpic_delay(Layout& row, const Control& word) {
    timed_control(row, xpic_timed, word);
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
template <class Layout>
void expect_sender_row(Layout& row, std::int64_t count, std::int64_t start, Basis start_basis,
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
        row.field("send-off count field", TextField{"count", send_off_word::count_low, send_off_word::count_high},
                  count - send_word_limit - 1, {"the {} words beyond the first 64, less 1", {count - send_word_limit}});
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
template <class Layout>
void expect_receiver_tail(Layout& row, std::int64_t count, std::int64_t row_field, std::int64_t address,
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

// What route timing says of the route from the sender to one receiver.
struct Route {
    std::uint32_t receiver;       // its physical identifier
    std::int32_t mux_time;        // time_to_mux
    std::int32_t partner_mux_time;  // time_to_mux to its pair partner
    std::uint32_t direction;      // from the sender towards it

    // The later of the pair's two mux times.
    [[nodiscard]] std::int32_t pair_mux_time() const noexcept { return std::max(mux_time, partner_mux_time); }
};

// Plain delays from `from` to `to`, each at most the largest a plain delay waits.
template <class Layout>
void bridge(Layout& row, std::int64_t from, std::int64_t to, std::string_view why) {
    while (from < to) {
        const std::int64_t chunk = std::min(to - from, largest_plain_delay);
        plain_delay(row, chunk - 1, {why, {from, from + chunk}});
        from += chunk;
    }
}

// The controls of a paired receiver's row, in the order they are told apart
// when two fall on one cycle.
enum class PairedControl : std::uint8_t { Source, Neutral, Format, Pointer, ClosingFormat };
constexpr std::size_t paired_controls = 5;

// One control and when its word ends, counted from the source event's cycle:
// ordered so, a row's controls need only the count and the tile's row, not the
// route's timing, which the CPU running the check may still be working out
// (absolute cycles took 2 % longer).
struct Event {
    std::int64_t after_source;
    PairedControl control;
};

// The numbers a paired receiver's row follows from.
struct PairedTerms {
    std::int64_t epoch;
    std::int32_t pair_mux_time;
    std::int64_t source;  // the source event's cycle
    std::int64_t format;  // the format control's cycle
    std::int64_t row_field;
    std::int64_t count;
    std::uint32_t sender;
    std::uint32_t lane;  // the receiver's lane bit
    std::uint32_t direction;
    bool sets_xpic;  // only the tile of the pair whose mux switches first sets its XPIC stream

    // Every control a row of the pair may hold, in the order of `PairedControl`.
    [[nodiscard]] std::array<Event, paired_controls> events() const noexcept {
        const std::int64_t format_lead = format - source;
        return {{{0, PairedControl::Source},
                 {count, PairedControl::Neutral},
                 {format_lead, PairedControl::Format},
                 {format_lead + pointer_after_format, PairedControl::Pointer},
                 {format_lead + count, PairedControl::ClosingFormat}}};
    }

    [[nodiscard]] std::int64_t cycle(const Event& event) const noexcept { return source + event.after_source; }
};

// The row's controls in time order, those due on one cycle in the order of
// `PairedControl`; a row that does not set its XPIC stream starts at the
// format control. Five at most: an insertion sort, stable without the buffer
// std::stable_sort takes. (Branch-free orders, a sorting network or counting
// each control's place, measured slower: the order follows the count and the
// tiles, which change little from one request to the next, so these branches
// are predicted.)
std::span<const Event> in_time_order(std::array<Event, paired_controls>& events, bool sets_xpic) {
    const std::size_t first = sets_xpic ? 0 : static_cast<std::size_t>(PairedControl::Format);
    for (std::size_t sorted = first + 1; sorted < paired_controls; ++sorted) {
        for (std::size_t at = sorted; at > first && events[at].after_source < events[at - 1].after_source; --at) {
            std::swap(events[at], events[at - 1]);
        }
    }
    return std::span{events}.subspan(first);
}

// What a control's word sets besides its advance, and why.
struct Setting {
    std::int64_t flag;
    Basis flag_basis;
    std::int64_t value;
    Basis value_basis;
};

// A control's word of `family`, ending on `cycle`: plain delays from `from` as
// far as the word cannot wait, then the word. `ends` says how the cycle
// follows; the cycle the word starts on goes into its last term. Inlined in
// each control's case even where the verdict's flattening is not honoured
// (Clang 19 called it: 101 against 69 ns a paired verdict).
template <class Layout>
[[gnu::always_inline]] inline void control_word(Layout& row, const TimedFamily& family, std::int64_t from,
                                                std::int64_t cycle, Basis ends, const Setting& setting) {
    const std::int64_t waits = std::min(cycle - from, std::int64_t{family.advance.max()} + 1);
    const std::int64_t start = cycle - waits;
    bridge(row, from, start, "cycles {} to {}, waiting for a control too far for its word, less 1");
    ends.terms.back() = start;
    timed_control(row, family, {waits - 1, ends, setting.flag, setting.flag_basis, setting.value, setting.value_basis});
}

// Each control's word, spelled out: its family, the cycle it ends on, what it
// sets. The word before it ended on cycle `from`. One case a control, so that
// a verdict builds each word from constants where it can: read from the
// control's record, every flag and value cost a field's work (a paired verdict
// took 5 % longer). The closing format control is the one after the switch,
// leaving the compiler no other value of `control` to test for.
template <class Layout>
void paired_control_word(Layout& row, const PairedTerms& terms, PairedControl control, std::int64_t cycle,
                         std::int64_t from) {
    const Basis paired_flag{"1 on a paired control"};
    const Basis format_flag{"1 on a format control"};
    switch (control) {
        case PairedControl::Source:
            control_word(
                row, xpic_timed, from, cycle,
                {"source control ends on cycle {} = epoch {} + pair mux time {}; starts on cycle {}, less 1",
                 {terms.source, terms.epoch, terms.pair_mux_time}},
                {1,
                 paired_flag,
                 terms.sender ^ terms.lane,
                 {"the sender's physical identifier {} XOR the receiver's lane bit {}", {terms.sender, terms.lane}}});
            return;
        case PairedControl::Neutral:
            control_word(row, xpic_timed, from, cycle,
                         {"neutral control ends on cycle {} = source event {} + count {}; starts on cycle {}, less 1",
                          {cycle, terms.source, terms.count}},
                         {1, paired_flag, neutral_control, {"the neutral control 1600"}});
            return;
        case PairedControl::Format:
            control_word(
                row, pic_timed, from, cycle,
                {"format control ends on cycle {} = source event {} + 51 + 2 x row {}; starts on cycle {}, less 1",
                 {terms.format, terms.source, terms.row_field}},
                {1, format_flag, terms.direction, {"direction {} from the sender to this tile", {terms.direction}}});
            return;
        case PairedControl::Pointer:
            control_word(row, pic_timed, from, cycle,
                         {"pointer control ends on cycle {} = format control {} + {}; starts on cycle {}, less 1",
                          {cycle, terms.format, pointer_after_format}},
                         {0, {"0 on the pointer control"}, 0, {"0 on the pointer control"}});
            return;
        case PairedControl::ClosingFormat: break;
    }
    control_word(row, pic_timed, from, cycle,
                 {"closing format control ends on cycle {} = format control {} + count {}; starts on cycle {}, less 1",
                  {cycle, terms.format, terms.count}},
                 {1, format_flag, 0, {"0 on the closing format control"}});
}

// The row of one receiver of a pair: its controls in time order, each a timed
// word that ends on its cycle (plain delays in front when it is further away
// than the word can wait), then plain delays to 7 cycles after the last.
template <class Layout>
void expect_paired_receiver_row(Layout& row, std::uint32_t sender, const Route& route, std::int64_t count,
                                std::int64_t epoch) {
    const std::int64_t source = epoch + route.pair_mux_time();
    const std::int64_t row_field = tile_bits::row(route.receiver);
    const std::int64_t format = source + format_lead_cycles + 2 * row_field;
    const PairedTerms terms{epoch,           route.pair_mux_time(),
                            source,          format,
                            row_field,       count,
                            sender,          route.receiver & 2u,
                            route.direction, route.mux_time < route.partner_mux_time};
    std::array<Event, paired_controls> events = terms.events();
    const std::span<const Event> controls = in_time_order(events, terms.sets_xpic);

    row.fixed("opening word", opening_word, {"every row opens with it"});
    std::int64_t ended = 0;  // the cycle the row's last word ended on
    for (const Event& event : controls) {
        const std::int64_t cycle = terms.cycle(event);
        if (cycle <= ended) {
            // A control word waits at least one cycle: no row holds two controls on one cycle.
            row.summary("controls on distinct cycles", std::nullopt, cycle, {"two controls fall on cycle {}", {cycle}});
            return;
        }
        paired_control_word(row, terms, event.control, cycle, ended);
        ended = cycle;
    }
    const std::int64_t last = terms.cycle(controls.back());
    row.derived("end of row", [&] { return row_cycles_found(row.found()); }, last + row_tail_cycles,
                {"last control {} + 7", {last}});
    static_assert(row_tail_cycles <= largest_plain_delay, "one plain delay reaches the end of the row");
    plain_delay(row, row_tail_cycles - 1,
                {"cycles {} to {}: to 7 cycles after the last control, less 1", {last, last + row_tail_cycles}});
    row.close();
}

// ---- The request ---------------------------------------------------------------

// The tiles of a request that the topology knows, or nothing when one is outside it.
// Route timing by the topology's table of each logical tile's route terms, which
// the test suite holds to the formulas for every pair of tiles.
class Tiles {
public:
    // `sender` and every receiver are tiles of `topology`.
    Tiles(const Topology& topology, std::uint16_t logical_sender, std::span<const std::uint16_t> receivers)
        : physical_{topology.logical_to_physical()},
          terms_{detail::LogicalRouteTerms::of(topology)},
          logical{receivers},
          sender{physical_[logical_sender]},
          from_{terms_[logical_sender]} {}

private:
    std::span<const std::uint16_t> physical_;
    std::span<const detail::RouteTerms> terms_;

public:
    std::span<const std::uint16_t> logical;  // the receivers
    std::uint32_t sender;                    // physical

    [[nodiscard]] std::size_t size() const noexcept { return logical.size(); }
    // Known to be in the topology once `request_tiles` has returned these tiles.
    [[nodiscard]] std::uint32_t receiver(std::size_t position) const noexcept { return physical_[logical[position]]; }
    [[nodiscard]] std::int32_t mux_time(std::size_t position) const noexcept {
        return detail::fast_time_to_mux(from_, terms_[logical[position]]);
    }
    [[nodiscard]] Route route(std::size_t position) const noexcept {
        const detail::RouteTerms& to = terms_[logical[position]];
        const detail::PairMuxTimes times = detail::fast_pair_times_to_mux(from_, to);
        return {receiver(position), times.own, times.partner, detail::fast_direction(from_, to)};
    }

private:
    const detail::RouteTerms& from_;
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
    return Tiles{topology, sender, receivers};
}

template <class Sink>
void receiver_rows_given(Sink& report, std::size_t receivers, std::size_t rows) {
    request_fact(report, "receiver rows", static_cast<std::int64_t>(rows), static_cast<std::int64_t>(receivers),
                 {"one row per receiver"});
}

std::int32_t smallest_mux_time(const Tiles& tiles) {
    std::int32_t smallest = tiles.mux_time(0);
    for (std::size_t position = 1; position < tiles.size(); ++position) {
        smallest = std::min(smallest, tiles.mux_time(position));
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
    const Route route = tiles->route(0);
    const std::uint32_t physical = route.receiver;
    const std::int32_t mux_time = route.mux_time;
    const std::uint32_t towards = route.direction;
    auto sender_check = report.row(0, sender_row);
    expect_sender_row(sender_check, count, point_to_point_mux_field - mux_time,
                      {"112 - mux time {}, so that data reaches the mux on cycle 112", {mux_time}},
                      {towards, {"direction {} towards the receiver", {towards}}});

    auto row = report.row(1, receiver_row);
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

[[gnu::flatten]] bool point_to_point_holds(const Topology& topology, std::uint16_t sender, std::uint16_t receiver,
                                           std::uint32_t count, const Row& sender_row, const Row& receiver_row) {
    Verdict facts;
    point_to_point_facts(facts, topology, sender, receiver, count, sender_row, receiver_row);
    return facts.holds();
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
    const std::uint32_t towards = tiles->route(0).direction;
    const SendControl control =
        single
            ? SendControl{towards, {"direction {} towards the one receiver", {towards}}}
            : SendControl{3, {"3, both directions, for {} receivers", {static_cast<std::int64_t>(receivers.size())}}};
    auto sender_check = report.row(0, sender_row);
    expect_sender_row(sender_check, count, start,
                      {"max(0, -smallest mux time {}) + offset {}", {smallest, schedule_offset}}, control);

    for (std::size_t position = 0; position < std::min(receivers.size(), receiver_rows.size()); ++position) {
        const std::uint32_t physical = tiles->receiver(position);
        const std::int32_t mux_time = tiles->mux_time(position);
        auto row = report.row(position + 1, receiver_rows[position]);
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

[[gnu::flatten]] bool multicast_holds(const Topology& topology, std::uint16_t sender,
                                      std::span<const std::uint16_t> receivers, std::uint32_t count,
                                      std::uint32_t schedule_offset, const Row& sender_row,
                                      std::span<const Row> receiver_rows) {
    Verdict facts;
    multicast_facts(facts, topology, sender, receivers, count, schedule_offset, sender_row, receiver_rows);
    return facts.holds();
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
    std::int32_t smallest = std::numeric_limits<std::int32_t>::max();
    std::int32_t smallest_pair = smallest;
    for (std::size_t position = 0; position < tiles->size(); ++position) {
        const Route route = tiles->route(position);
        smallest = std::min(smallest, route.mux_time);
        smallest_pair = std::min(smallest_pair, route.pair_mux_time());
    }
    const std::int64_t start = std::max<std::int64_t>(0, -std::int64_t{smallest});
    const bool one_pair_apart = receivers.size() == 2 && std::ranges::find(receivers, sender) == receivers.end();
    const std::uint32_t towards = tiles->route(0).direction;
    const SendControl control =
        one_pair_apart          ? SendControl{4 | towards, {"4 + direction {} towards the first receiver", {towards}}}
        : receivers.size() == 2 ? SendControl{7, {"4 + both directions 3, the sender being a receiver"}}
                                : SendControl{7, {"4 + both directions 3, for {} receivers", {listed}}};
    auto sender_check = report.row(0, sender_row);
    expect_sender_row(sender_check, count, start,
                      {"max(0, -smallest mux time {}), a multicast at offset 0", {smallest}}, control);

    const std::int64_t epoch = std::max<std::int64_t>(0, 1 - std::int64_t{smallest_pair});
    for (std::size_t position = 0; position < std::min(receivers.size(), receiver_rows.size()); ++position) {
        auto row = report.row(position + 1, receiver_rows[position]);
        expect_paired_receiver_row(row, tiles->sender, tiles->route(position), count, epoch);
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

[[gnu::flatten]] bool paired_multicast_holds(const Topology& topology, std::uint16_t sender,
                                             std::span<const std::uint16_t> receivers, std::uint32_t count,
                                             const Row& sender_row, std::span<const Row> receiver_rows) {
    Verdict facts;
    paired_multicast_facts(facts, topology, sender, receivers, count, sender_row, receiver_rows);
    return facts.holds();
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
