/// @file
/// Why a table of physical identifiers cannot become a topology.
#pragma once

#include "vorl_exchange/config.hpp"
#ifdef VORL_EXCHANGE_LANGUAGE_SUPPORTED

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "vorl_exchange/errors.hpp"

namespace vorl_exchange {

/// A table holds one entry per 16-bit logical tile number, no more.
inline constexpr std::size_t maximum_topology_tiles = 65536;
/// Rows carry a physical identifier in 11 bits (row field and position); bits
/// 11 to 15 would be cut off and the row would name another tile.
inline constexpr std::uint16_t maximum_physical_identifier = 0x7ff;

/// The rule a refused table breaks.
enum class TopologyRule : std::uint8_t {
    TableTooLong,              ///< More entries than logical tile numbers.
    IdentifierBeyondRowField,  ///< An identifier with any of bits 11 to 15 set.
    RepeatedIdentifier,        ///< An identifier an earlier entry holds too: two tiles in one place.
};

/// The fixed text of a rule.
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string_view rule_text(TopologyRule rule) noexcept;

/// Why `Topology::from_table` refused a table: the rule broken and the first
/// entry that breaks it (and, for a repeated identifier, the entry it repeats).
class VORL_EXCHANGE_EXPORT TopologyError {
public:
    /// `entry` is the index of the first entry that breaks `rule`; for a table
    /// that is too long, the first entry past the logical range (65536).
    /// For `RepeatedIdentifier`, use `repeated_identifier`.
    constexpr TopologyError(TopologyRule rule, std::uint32_t entry) noexcept : rule_{rule}, entry_{entry} {}

    /// The `RepeatedIdentifier` refusal: `entry` holds the identifier that the
    /// earlier entry `earlier_entry` holds already.
    [[nodiscard]] static constexpr TopologyError repeated_identifier(std::uint32_t entry,
                                                                     std::uint32_t earlier_entry) noexcept {
        TopologyError error{TopologyRule::RepeatedIdentifier, entry};
        error.earlier_entry_ = earlier_entry;
        return error;
    }

    /// The rule the table breaks.
    [[nodiscard]] constexpr TopologyRule rule() const noexcept { return rule_; }
    /// The first entry that breaks it (65536 for a table too long).
    [[nodiscard]] constexpr std::uint32_t entry() const noexcept { return entry_; }
    /// For `RepeatedIdentifier`, the earlier entry holding the same identifier; 0 for the other rules.
    [[nodiscard]] constexpr std::uint32_t earlier_entry() const noexcept { return earlier_entry_; }

    /// "topology table entry {entry}: {rule text}", followed for a repeated
    /// identifier by "; entry {earlier_entry} holds it too".
    [[nodiscard]] ErrorText display() const noexcept;
    /// The structured form, for example `IdentifierBeyondRowField { entry: 3 }` or
    /// `RepeatedIdentifier { entry: 2, earlier_entry: 0 }`.
    [[nodiscard]] std::string debug() const;

    /// Same rule and entries.
    friend constexpr bool operator==(const TopologyError&, const TopologyError&) noexcept = default;

private:
    TopologyRule rule_;
    std::uint32_t entry_;
    std::uint32_t earlier_entry_ = 0;
};

/// The display text, as `TopologyError::display` writes it.
[[nodiscard]] VORL_EXCHANGE_EXPORT std::string to_string(const TopologyError& error);
/// Writes the display text.
VORL_EXCHANGE_EXPORT std::ostream& operator<<(std::ostream& out, const TopologyError& error);

}  // namespace vorl_exchange

#endif  // VORL_EXCHANGE_LANGUAGE_SUPPORTED
