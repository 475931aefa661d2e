#include "vorl_exchange/errors.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "display_text.hpp"

namespace vorl_exchange {

void ErrorText::append(std::string_view text) noexcept {
    // The longest display text is far below the capacity; the clamp only guards
    // against a reason that is not one of the fixed texts.
    const std::size_t room = capacity - length_;
    const std::size_t taken = std::min(room, text.size());
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

void append_quoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    constexpr std::string_view hex_digits = "0123456789abcdef";
                    const auto byte = static_cast<unsigned char>(c);
                    out += "\\u{";
                    if (byte >= 0x10) {
                        out.push_back(hex_digits[byte >> 4]);
                    }
                    out.push_back(hex_digits[byte & 0xfu]);
                    out.push_back('}');
                } else {
                    out.push_back(c);
                }
        }
    }
    out.push_back('"');
}

}  // namespace

std::string ExchangeError::debug() const {
    // Built by appending: `"Tile(" + std::to_string(...)` trips a false
    // -Wrestrict in GCC 12's optimised std::string concatenation.
    const auto wrapped = [](std::string_view name, std::uint32_t payload) {
        std::string out{name};
        out += '(';
        out += std::to_string(payload);
        out += ')';
        return out;
    };
    switch (kind_) {
        case ErrorKind::ValidationBudgetExceeded: return "ValidationBudgetExceeded";
        case ErrorKind::Tile: return wrapped("Tile", first_);
        case ErrorKind::DuplicateTile: return "DuplicateTile";
        case ErrorKind::Count: return wrapped("Count", first_);
        case ErrorKind::ReceiverSet: return "ReceiverSet";
        case ErrorKind::Schedule: {
            std::string out = "Schedule(";
            append_quoted(out, reason_);
            out += ')';
            return out;
        }
        case ErrorKind::PlanOffsetRange: {
            std::string out = "PlanOffsetRange { cycles: ";
            out += std::to_string(first_);
            out += ", maximum: ";
            out += std::to_string(second_);
            out += " }";
            return out;
        }
        case ErrorKind::Address: return wrapped("Address", first_);
        case ErrorKind::HostPacket: return "HostPacket";
    }
    invariant_failure("exchange error tag is one of the nine variants");
}

std::string to_string(const ExchangeError& error) { return std::string{error.display().view()}; }

std::ostream& operator<<(std::ostream& out, const ExchangeError& error) { return out << error.display().view(); }

void invariant_failure(std::string_view text) noexcept {
    std::fprintf(stderr, "internal invariant failed: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    std::abort();
}

}  // namespace vorl_exchange
