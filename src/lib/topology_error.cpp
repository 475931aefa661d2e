#include "vorl_exchange/topology_error.hpp"

#include <ostream>

namespace vorl_exchange {

std::string_view rule_text(TopologyRule rule) noexcept {
    switch (rule) {
        case TopologyRule::TableTooLong:
            return "a table holds at most 65536 entries, one per 16-bit logical tile number";
        case TopologyRule::IdentifierBeyondRowField:
            return "a physical identifier must fit in 11 bits (bits 11 to 15 clear)";
        case TopologyRule::RepeatedIdentifier:
            return "a physical identifier names one tile, so it may appear only once";
    }
    invariant_failure(invariant::topology_rule_is_listed);
}

namespace {

std::string_view rule_name(TopologyRule rule) noexcept {
    switch (rule) {
        case TopologyRule::TableTooLong: return "TableTooLong";
        case TopologyRule::IdentifierBeyondRowField: return "IdentifierBeyondRowField";
        case TopologyRule::RepeatedIdentifier: return "RepeatedIdentifier";
    }
    invariant_failure(invariant::topology_rule_is_listed);
}

}  // namespace

ErrorText TopologyError::display() const noexcept {
    ErrorText text;
    text.append("topology table entry ");
    text.append_decimal(entry_);
    text.append(": ");
    text.append(rule_text(rule_));
    if (rule_ == TopologyRule::RepeatedIdentifier) {
        text.append("; entry ");
        text.append_decimal(earlier_entry_);
        text.append(" holds it too");
    }
    return text;
}

std::string TopologyError::debug() const {
    std::string out{rule_name(rule_)};
    out += " { entry: ";
    out += std::to_string(entry_);
    if (rule_ == TopologyRule::RepeatedIdentifier) {
        out += ", earlier_entry: ";
        out += std::to_string(earlier_entry_);
    }
    out += " }";
    return out;
}

std::string to_string(const TopologyError& error) { return std::string{error.display().view()}; }

std::ostream& operator<<(std::ostream& out, const TopologyError& error) { return out << error.display().view(); }

}  // namespace vorl_exchange
