#include "vorl_exchange/errors.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "display_text.hpp"

namespace vorl_exchange {

// ExchangeError keeps its reason after the two payload words rather than beside
// the tag: packed beside the tag, into 12 bytes instead of 16, the planners ran
// 8.6 % more instructions in sablemark.
static_assert(sizeof(ExchangeError) == 16);

void ErrorText::append(std::string_view text) noexcept {
    // Every display text fits (display_text.hpp checks it); the clamp keeps
    // other appended text inside the buffer.
    const std::size_t room = capacity - length_;
    const std::size_t taken = std::min(room, text.size());
    // NOLINTNEXTLINE(bugprone-suspicious-stringview-data-usage): `taken` bytes, no terminator read
    std::copy_n(text.data(), taken, chars_ + length_);
    length_ += taken;
}

void ErrorText::append_decimal(std::uint32_t value) noexcept { append(detail::Digits::decimal(value).view()); }

void ErrorText::append_hex(std::uint32_t value) noexcept { append(detail::Digits::hex(value).view()); }

ErrorText ExchangeError::display() const noexcept {
    ErrorText text;
    detail::write_display_text(*this, [&text](std::string_view piece) { text.append(piece); });
    return text;
}

namespace {

// The debug form quotes the reason text as it is: no text holds a character
// that a quoted string would have to escape.
constexpr bool is_plain_text(std::string_view text) noexcept {
    return std::ranges::all_of(text, [](char c) {
        return c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f;
    });
}

static_assert(std::ranges::all_of(reason::all,
                                  [](ScheduleReason reason) { return is_plain_text(reason_text(reason)); }));

}  // namespace

std::string ExchangeError::debug() const {
    // Built by appending: `name + "(" + std::to_string(...)` trips a false
    // -Wrestrict in GCC 12's optimised std::string concatenation.
    std::string out{kind_name(kind_)};
    const auto wrapped = [&out](std::uint32_t payload) {
        out += '(';
        out += std::to_string(payload);
        out += ')';
        return out;
    };
    switch (kind_) {
        case ErrorKind::Tile:
        case ErrorKind::Count:
        case ErrorKind::Address: return wrapped(first_);
        case ErrorKind::Schedule:
            out += "(\"";
            out += reason_text(reason_);
            out += "\")";
            return out;
        case ErrorKind::PlanOffsetRange:
            out += " { cycles: ";
            out += std::to_string(first_);
            out += ", maximum: ";
            out += std::to_string(second_);
            out += " }";
            return out;
        case ErrorKind::ValidationBudgetExceeded:
        case ErrorKind::DuplicateTile:
        case ErrorKind::ReceiverSet:
        case ErrorKind::HostPacket: return out;
    }
    invariant_failure(invariant::error_tag_is_a_variant);
}

std::string to_string(const ExchangeError& error) { return std::string{error.display().view()}; }

std::ostream& operator<<(std::ostream& out, const ExchangeError& error) { return out << error.display().view(); }

std::ostream& operator<<(std::ostream& out, ScheduleReason reason) { return out << reason_text(reason); }

void invariant_failure(std::string_view text) noexcept {
    std::fprintf(stderr, "internal invariant failed: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    std::abort();
}

}  // namespace vorl_exchange
