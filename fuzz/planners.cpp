// The planners on the 1472-tile topology and on arbitrary custom tables:
// every plan has the row shape and passes the plan check; every error is a
// known one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

using namespace vorl_exchange;
using vorl_fuzz::require;

namespace {

// A custom topology through the validating factory; a refused table must name
// the first entry that breaks the rules, the length tested before the entries'
// widths, and those before repeats. A table refused only for a repeat is built
// with the unchecked constructor, whose contract takes repeats, so that the
// planners still meet two logical tiles on one identifier.
std::optional<Topology> custom_topology(std::vector<std::uint16_t> table) {
    const auto beyond = std::ranges::find_if(table, [](std::uint16_t id) { return id > maximum_physical_identifier; });
    const auto first_beyond = static_cast<std::uint32_t>(beyond - table.begin());
    const bool too_long = table.size() > maximum_topology_tiles;
    const bool has_beyond = beyond != table.end();
    std::optional<TopologyError> repeat;
    if (!too_long && !has_beyond) {
        std::vector<std::optional<std::uint32_t>> holder(std::size_t{maximum_physical_identifier} + 1u);
        for (std::uint32_t entry = 0; entry < table.size() && !repeat; ++entry) {
            auto& first = holder[table[entry]];
            if (first) {
                repeat = TopologyError::repeated_identifier(entry, *first);
            }
            first = entry;
        }
    }
    auto topology = Topology::from_table(table);
    if (topology) {
        require(!too_long && !has_beyond && !repeat, "a table rows cannot carry, or with a repeat, is refused");
        return std::move(*topology);
    }
    require(too_long || has_beyond || repeat.has_value(), "only a table breaking a rule is refused");
    const TopologyError expected = too_long     ? TopologyError{TopologyRule::TableTooLong, 65536}
                                   : has_beyond ? TopologyError{TopologyRule::IdentifierBeyondRowField, first_beyond}
                                                : *repeat;
    require(topology.error() == expected, "a refusal names the first broken rule and its entry");
    if (repeat) {
        return Topology{std::move(table)};
    }
    return std::nullopt;
}

// A table described by a few bytes: an arithmetic run of identifiers, masked,
// with some entries overwritten, so that short inputs reach long tables and repeats.
std::vector<std::uint16_t> read_table(vorl_fuzz::ByteReader& input) {
    // Long tables cost most of a run, so most tables are short.
    std::vector<std::uint16_t> table(input.flag() ? input.below_or_at(70000) : input.below_or_at(3000));
    const std::uint16_t first = input.u16();
    const std::uint16_t stride = input.u16();
    const std::uint16_t mask = input.flag() ? 0xffff : 0x7ff;
    for (std::size_t logical = 0; logical < table.size(); ++logical) {
        table[logical] = static_cast<std::uint16_t>((first + logical * stride) & mask);
    }
    for (std::uint32_t overrides = input.below_or_at(8); overrides > 0 && !table.empty(); --overrides) {
        const std::size_t logical = input.u32() % table.size();
        table[logical] = input.u16();
    }
    return table;
}

// A tile number: mostly one of the topology's tiles or just past them.
std::uint16_t read_tile(vorl_fuzz::ByteReader& input, std::size_t tile_count) {
    const std::uint16_t raw = input.u16();
    if ((raw & 0x8000u) != 0) {
        return raw;
    }
    return static_cast<std::uint16_t>(raw % (tile_count + 2));
}

std::uint32_t read_count(vorl_fuzz::ByteReader& input) {
    return input.flag() ? input.u32() : input.below_or_at(maximum_count + 2);
}

void require_planned_rows(const Row& sender, std::span<const Row> receivers) {
    require(vorl_fuzz::row_has_shape(sender), "a sender row has the row shape");
    for (const Row& row : receivers) {
        require(vorl_fuzz::row_has_shape(row), "a receiver row has the row shape");
    }
}

// Every plan the planners make passes the library's plan check.
void require_checked(const PlanCheck& check) {
    if (!check.ok()) {
        vorl_fuzz::fail("the plan passes the plan check: " + describe(*check.first_mismatch()));
    }
}

template <class T>
bool known_or_error(const Result<T>& result) {
    if (!result) {
        vorl_fuzz::require_known_error(result.error());
    }
    return result.has_value();
}

// A receiver list the planner refused has a fault to name; a planned one has
// none. (Other refusals come before or after the list's checks, so say nothing.)
void require_explained(const Result<MulticastPlan>& plan, const std::optional<ReceiverFault>& fault) {
    if (!plan && plan.error().kind() == ErrorKind::ReceiverSet) {
        require(fault.has_value(), "a refused receiver list names its offending entry and rule");
    }
    if (plan) {
        require(!fault.has_value(), "a planned receiver list breaks no rule");
    }
}

// While alive, and asked to, collects the lines of the diagnostic events
// planners emit: one for each plan made, none for a refusal.
class EventCounter {
public:
    explicit EventCounter(bool install) : installed_{install} {
        if (installed_) {
            lines().clear();
            set_event_sink([](const Event& event) { lines().push_back(render(event)); });
        }
    }
    EventCounter(const EventCounter&) = delete;
    EventCounter& operator=(const EventCounter&) = delete;
    ~EventCounter() {
        if (installed_) {
            set_event_sink({});
            lines().clear();
        }
    }

    void require_one(const std::string& line) const {
        require(!installed_ || (lines().size() == 1 && lines().front() == line),
                "a plan emits one event naming its request");
        lines().clear();
    }
    void require_none() const { require(lines().empty(), "a refused request emits no event"); }

private:
    static std::vector<std::string>& lines() {
        static std::vector<std::string> seen;
        return seen;
    }
    bool installed_;
};

void plan_everything(const Topology& topology, vorl_fuzz::ByteReader& input) {
    const std::size_t tiles = topology.tile_count();
    const std::uint16_t sender = read_tile(input, tiles);
    std::vector<std::uint16_t> receivers(input.flag() ? input.below_or_at(2000) : input.below_or_at(6));
    for (std::uint16_t& receiver : receivers) {
        receiver = read_tile(input, tiles);
    }
    const std::uint32_t count = read_count(input);
    const std::uint32_t offset = input.flag() ? input.u32() : input.below_or_at(300);
    const auto minimum_double_mux = static_cast<std::int32_t>(input.u32());

    const std::uint16_t receiver = receivers.empty() ? read_tile(input, tiles) : receivers.front();
    const EventCounter events{input.flag()};
    if (const auto plan = topology.point_to_point(sender, receiver, count); known_or_error(plan)) {
        require(vorl_fuzz::row_has_shape(plan->sender), "a sender row has the row shape");
        require(vorl_fuzz::point_to_point_receiver_row_has_shape(plan->receiver),
                "a point-to-point receiver row has its shape");
        require_checked(check_point_to_point(topology, sender, receiver, count, plan->sender, plan->receiver));
        events.require_one(
            "DEBUG vorl_exchange: assembled point-to-point exchange sender_logical=" + std::to_string(sender) +
            " receiver_logical=" + std::to_string(receiver) + " count=" + std::to_string(count));
    } else {
        events.require_none();
    }
    const auto multicast = topology.multicast(sender, receivers, count, offset);
    require_explained(multicast, multicast_receiver_fault(topology, sender, receivers));
    if (const auto& plan = multicast; known_or_error(plan)) {
        require(plan->receivers.size() == receivers.size(), "a multicast plan has one row per receiver");
        require_planned_rows(plan->sender, plan->receivers);
        require_checked(check_multicast(topology, sender, receivers, count, offset, plan->sender, plan->receivers));
        events.require_one(
            "DEBUG vorl_exchange: assembled multicast exchange sender_logical=" + std::to_string(sender) +
            " receiver_logical=" + render(FieldValue{std::span<const std::uint16_t>{receivers}}) +
            " count=" + std::to_string(count) + " schedule_offset=" + std::to_string(offset));
    } else {
        events.require_none();
    }
    const auto paired = topology.paired_multicast(sender, receivers, count);
    require_explained(paired, paired_receiver_fault(topology, receivers));
    if (const auto& plan = paired; known_or_error(plan)) {
        require(plan->receivers.size() == receivers.size(), "a paired plan has one row per receiver");
        require_planned_rows(plan->sender, plan->receivers);
        require_checked(check_paired_multicast(topology, sender, receivers, count, plan->sender, plan->receivers));
    }
    if (const auto row = topology.paired_receiver_row(sender, receiver, count, minimum_double_mux);
        known_or_error(row)) {
        require_planned_rows(*row, {});
    }
    (void)known_or_error(topology.paired_receiver_is_early(receiver, sender));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Topology tarn = Topology::tarn();
    vorl_fuzz::ByteReader input{{data, size}};
    if (input.flag()) {
        plan_everything(tarn, input);
        return 0;
    }
    if (const auto topology = custom_topology(read_table(input))) {
        plan_everything(*topology, input);
    }
    return 0;
}
