/// @file
/// Checking a plan that came from elsewhere: whether rows are exactly what the
/// planners produce for a request, told fact by fact.
///
/// Each check works out, from the route timing and the row formats alone (never
/// by running a planner), every word the rows must hold, and compares every field
/// of every word. Nothing in a row goes unread: a word the rows should not have,
/// a field with one bit off, a fill word that is not 0, each is a fact that does
/// not hold. A check passes exactly when the rows equal the planners' plan for
/// the request; a request the planners would refuse (a count outside 1..=4148, a
/// tile outside the topology, a receiver list they do not accept, a start cycle
/// past its limit) fails as well, through a fact about the request.
///
/// @code
/// const auto report = vorl_exchange::check_multicast(topology, 0, receivers, 100, 3, sender_row, receiver_rows);
/// if (!report.ok()) {
///     std::cerr << vorl_exchange::describe(*report.first_mismatch()) << "\n";
/// }
/// @endcode
///
/// Cost: a fixed handful of facts per word (about 40 for a point-to-point plan),
/// held without text; `describe` and `reason_text` write the text on demand.
/// About 1.3 microseconds for a point-to-point plan, 2 for a paired one of two
/// receivers. The verdicts (`..._holds`) keep no facts: about 9, 19 and 46
/// nanoseconds for the three kinds, 1.5, 2.2 and 2.8 times what planning the
/// same request costs (release build, bench/plan_check_bench).
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/topology.hpp"

namespace vorl_exchange {

/// How a fact's values read best: as numbers, or as whole words and opcode bits in hexadecimal.
enum class FactShown : std::uint8_t {
    Number,  ///< A count, a cycle or a field value, shown in decimal.
    Hex,     ///< A whole word or an opcode, shown in hexadecimal.
};

/// One thing a check compares: the value a row holds against the value the
/// route timing and the row formats give.
struct PlanFact {
    /// The row: 0 the sender's, 1 onwards the receivers' in list order; none
    /// for a fact about the request itself.
    std::optional<std::size_t> row;
    /// The word of the row, 0 to 8; none for a fact about the row as a whole.
    std::optional<std::size_t> word;
    /// What is compared: "xpic-delay advance field", "words sent", "count".
    std::string_view name;
    /// The value the rows hold; none when they lack it.
    std::optional<std::int64_t> found;
    /// The value a correct plan holds.
    std::int64_t expected = 0;
    /// How `expected` comes about, with `{}` standing for `terms` in order
    /// ("receive cycle: start cycle {} + mux time {}"); see `reason_text`.
    std::string_view reason;
    /// The numbers `reason` names.
    std::array<std::int64_t, 4> terms{};
    /// How to print `found` and `expected`.
    FactShown shown = FactShown::Number;

    /// Whether the rows hold the expected value.
    [[nodiscard]] bool holds() const noexcept { return found && *found == expected; }
};

/// The outcome of a check: every fact compared, in row order and word order,
/// the facts about the request first.
struct PlanCheck {
    std::vector<PlanFact> facts;  ///< Everything compared.
    std::size_t mismatches = 0;   ///< Facts that do not hold.

    /// Whether every fact holds: the rows are the planners' plan for the request.
    [[nodiscard]] bool ok() const noexcept { return mismatches == 0; }
    /// The first fact that does not hold, or null.
    [[nodiscard]] const PlanFact* first_mismatch() const noexcept {
        for (const PlanFact& fact : facts) {
            if (!fact.holds()) {
                return &fact;
            }
        }
        return nullptr;
    }
};

/// Checks the rows of a point-to-point exchange of `count` words from `sender` to `receiver`.
[[nodiscard]] VORL_EXCHANGE_EXPORT PlanCheck check_point_to_point(const Topology& topology, std::uint16_t sender,
                                                                  std::uint16_t receiver, std::uint32_t count,
                                                                  const Row& sender_row, const Row& receiver_row);

/// Checks the rows of a multicast at `schedule_offset`; `receiver_rows` in the order of `receivers`.
[[nodiscard]] VORL_EXCHANGE_EXPORT PlanCheck check_multicast(const Topology& topology, std::uint16_t sender,
                                                             std::span<const std::uint16_t> receivers,
                                                             std::uint32_t count, std::uint32_t schedule_offset,
                                                             const Row& sender_row, std::span<const Row> receiver_rows);

/// Checks the rows of a paired multicast; `receiver_rows` in the order of `receivers`.
[[nodiscard]] VORL_EXCHANGE_EXPORT PlanCheck check_paired_multicast(const Topology& topology, std::uint16_t sender,
                                                                    std::span<const std::uint16_t> receivers,
                                                                    std::uint32_t count, const Row& sender_row,
                                                                    std::span<const Row> receiver_rows);

/// Whether the rows are exactly the planners' plan for the request: the verdict
/// of `check_point_to_point` without its facts, for callers that check rows in
/// bulk, at under twice the planner's time.
[[nodiscard]] VORL_EXCHANGE_EXPORT bool point_to_point_holds(const Topology& topology, std::uint16_t sender,
                                                             std::uint16_t receiver, std::uint32_t count,
                                                             const Row& sender_row, const Row& receiver_row);

/// The verdict of `check_multicast` without its facts.
[[nodiscard]] VORL_EXCHANGE_EXPORT bool multicast_holds(const Topology& topology, std::uint16_t sender,
                                                        std::span<const std::uint16_t> receivers, std::uint32_t count,
                                                        std::uint32_t schedule_offset, const Row& sender_row,
                                                        std::span<const Row> receiver_rows);

/// The verdict of `check_paired_multicast` without its facts.
[[nodiscard]] VORL_EXCHANGE_EXPORT bool paired_multicast_holds(const Topology& topology, std::uint16_t sender,
                                                               std::span<const std::uint16_t> receivers,
                                                               std::uint32_t count, const Row& sender_row,
                                                               std::span<const Row> receiver_rows);

/// The reason with its terms in place: "receive cycle: start cycle 31 + mux time -31".
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string reason_text(const PlanFact& fact);

/// The fact in one line, without its row: "word 1 xpic-delay advance field 0 =
/// receive cycle: start cycle 31 + mux time -31", or, when it does not hold,
/// "word 1 xpic-delay advance field 4, expected 0 = ..." ("no ..." when absent).
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string describe(const PlanFact& fact);

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
