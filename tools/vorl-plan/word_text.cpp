#include "word_text.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <optional>

#include "arguments.hpp"
#include "text_lines.hpp"
#include "visible_text.hpp"

namespace vorl_plan {

namespace {

using vorl_exchange::TextField;
using vorl_exchange::WordFormat;

constexpr WordFormat mark_format{"mark", {0xffffffff, mark_word}};
constexpr WordFormat fill_format{"fill", {0xffffffff, vorl_exchange::fill_word}};
constexpr WordFormat payload_format{"payload",
                                    {0, 0},
                                    {{{"xpic_bits", vorl_exchange::send_control_pair_payload::xpic_bits},
                                      {"pic_bits", vorl_exchange::send_control_pair_payload::pic_bits}}},
                                    2};
static_assert(vorl_exchange::names_every_bit(payload_format), "a payload's text names every bit of it");

// The names disasm prints with, taken from where it takes them.
std::string_view unknown_mnemonic() { return vorl_exchange::mnemonic(vorl_exchange::WordFamily::Unknown); }
bool is_stray_prefix(std::string_view token) {
    return token.size() == to_string(WordRole::Stray).size() + 1 && token.starts_with(to_string(WordRole::Stray)) &&
           token.ends_with(':');
}
// disasm heads a row with the place of its JSON value in the input: "line 3: receiver 2".
constexpr std::string_view heading_prefix = "line ";

// Every format a line may name, the families first.
std::vector<const WordFormat*> known_formats() {
    std::vector<const WordFormat*> formats;
    std::ranges::transform(vorl_exchange::word_formats, std::back_inserter(formats),
                           [](const WordFormat& format) { return &format; });
    formats.insert(formats.end(), {&mark_format, &fill_format, &payload_format});
    return formats;
}

const WordFormat* find_format(std::string_view mnemonic) {
    static const std::vector<const WordFormat*> formats = known_formats();
    const auto found = std::ranges::find(formats, mnemonic, &WordFormat::mnemonic);
    return found == formats.end() ? nullptr : *found;
}

std::string mnemonics() {
    std::string names;
    for (const WordFormat* format : known_formats()) {
        names.append(format->mnemonic).append(", ");
    }
    return names.append(unknown_mnemonic());
}

// Messages are built only on a refusal: a line that reads well costs no text.
[[noreturn]] void refuse(std::string_view place, const std::string& reason) {
    throw UsageError{std::string{place} + ": " + reason};
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::vector<std::string_view> tokens_of(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < line.size()) {
        if (is_blank(line[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < line.size() && !is_blank(line[end])) {
            ++end;
        }
        tokens.push_back(line.substr(at, end - at));
        at = end;
    }
    return tokens;
}

// Decimal as describe prints it, or hexadecimal after 0x as the hex column and
// the word of `unknown` are; none for anything else or a value past 32 bits.
std::optional<std::uint32_t> number(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string field_names(const WordFormat& format) {
    std::string names;
    for (const TextField& field : format.fields()) {
        names.append(names.empty() ? "" : ", ").append(field.name);
    }
    return names.empty() ? "none" : names;
}

std::uint32_t assemble_fields(const WordFormat& format, std::span<const std::string_view> operands,
                              std::string_view place) {
    const auto fields = format.fields();
    std::vector<bool> given(fields.size(), false);
    std::uint32_t word = format.opcode.value;
    for (const std::string_view operand : operands) {
        const std::size_t equals = operand.find('=');
        const std::string_view name = operand.substr(0, equals);
        const auto field = std::ranges::find(fields, name, &TextField::name);
        if (field == fields.end()) {
            refuse(place, std::string{format.mnemonic} + " has no field " + visible(name) +
                              " (its fields: " + field_names(format) + ")");
        }
        if (equals == std::string_view::npos) {
            refuse(place, std::string{name} + " has no value; write " + std::string{name} + "=N");
        }
        const auto index = static_cast<std::size_t>(field - fields.begin());
        if (given[index]) {
            refuse(place, std::string{name} + " is given twice");
        }
        given[index] = true;
        const std::string_view text = operand.substr(equals + 1);
        const auto value = number(text);
        const std::string range = std::to_string(field->smallest()) + ".." + std::to_string(field->largest());
        if (!value) {
            refuse(place, std::string{name} + "=" + visible(text) + " is not a number " + range);
        }
        if (*value < field->smallest() || *value > field->largest()) {
            refuse(place, std::string{name} + "=" + std::string{text} + " is out of range " + range);
        }
        word |= field->place(*value);
    }
    for (std::size_t index = 0; index < fields.size(); ++index) {
        if (!given[index]) {
            refuse(place, std::string{format.mnemonic} + " needs " + std::string{fields[index].name} + "=");
        }
    }
    return word;
}

std::uint32_t assemble_unknown(std::span<const std::string_view> operands, std::string_view place) {
    if (operands.size() != 1) {
        refuse(place, "unknown takes one word, 0xHHHHHHHH");
    }
    const auto word = number(operands[0]);
    if (!word || !operands[0].starts_with("0x")) {
        refuse(place, "unknown word " + visible(operands[0]) + " is not 0x and eight hex digits");
    }
    // Each word has one text; a word of a family is written as that family.
    if (const vorl_exchange::DecodedWord decoded = vorl_exchange::decode(*word);
        decoded.family != vorl_exchange::WordFamily::Unknown) {
        refuse(place, "unknown word " + std::string{operands[0]} + " is not unknown: it reads \"" +
                          vorl_exchange::describe(decoded) + "\"");
    }
    return *word;
}

// "line 12: receiver 2" as disasm heads a row: the text after the colon.
std::optional<std::string_view> heading_of(std::string_view line) {
    if (!line.starts_with(heading_prefix)) {
        return std::nullopt;
    }
    const std::string_view rest = line.substr(heading_prefix.size());
    const std::size_t colon = rest.find(": ");
    const std::string_view digits = rest.substr(0, colon);
    if (colon == std::string_view::npos || digits.empty() ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return rest.substr(colon + 2);
}

}  // namespace

const WordFormat* role_format(WordRole role) noexcept {
    switch (role) {
        case WordRole::Mark: return &mark_format;
        case WordRole::Fill: return &fill_format;
        case WordRole::Payload: return &payload_format;
        case WordRole::Instruction:
        case WordRole::Stray: break;
    }
    return nullptr;
}

std::uint32_t assemble_line(std::string_view line, std::string_view place) {
    std::vector<std::string_view> tokens = tokens_of(line);
    std::span<const std::string_view> rest{tokens};
    // The hex column is what disasm printed before any edit: the text after it is the word.
    if (!rest.empty() && (rest.front().starts_with("0x") || rest.front().starts_with("0X"))) {
        if (!number(rest.front())) {
            refuse(place, "the word column " + visible(rest.front()) + " is not 0x and eight hex digits");
        }
        rest = rest.subspan(1);
    }
    if (!rest.empty() && is_stray_prefix(rest.front())) {
        rest = rest.subspan(1);
    }
    if (rest.empty()) {
        refuse(place, "no mnemonic (one of " + mnemonics() + ")");
    }
    const std::string_view mnemonic = rest.front();
    if (mnemonic == unknown_mnemonic()) {
        return assemble_unknown(rest.subspan(1), place);
    }
    const WordFormat* format = find_format(mnemonic);
    if (format == nullptr) {
        refuse(place, "\"" + visible(mnemonic) + "\" is not a mnemonic (one of " + mnemonics() + ")");
    }
    return assemble_fields(*format, rest.subspan(1), place);
}

std::vector<TextGroup> assemble_text(std::string_view text, std::string_view source) {
    std::vector<TextGroup> groups;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        std::string_view line = take_line(text);
        if (const auto heading = heading_of(line)) {
            groups.push_back({line_number, std::string{*heading}, {}});
            continue;
        }
        line = line.substr(0, line.find('#'));
        if (std::ranges::all_of(line, is_blank)) {
            continue;
        }
        const std::uint32_t word = assemble_line(line, std::string{source} + " line " + std::to_string(line_number));
        if (groups.empty()) {
            groups.push_back({line_number, "", {}});
        }
        groups.back().words.push_back(word);
    }
    return groups;
}

std::string word_listing(const std::vector<TextGroup>& groups) {
    std::string listing;
    for (const TextGroup& group : groups) {
        if (group.heading.empty()) {
            for (const std::uint32_t word : group.words) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "0x%08x\n", word);
                listing += hex;
            }
            continue;
        }
        if (group.words.empty()) {
            continue;  // a heading with no row under it ("no rows (err: ...)") has no words to give
        }
        listing += "[";
        for (std::size_t index = 0; index < group.words.size(); ++index) {
            listing.append(index == 0 ? "" : ",").append(std::to_string(group.words[index]));
        }
        listing += "]\n";
    }
    return listing;
}

std::vector<vorl_exchange::Row> plan_rows(const std::vector<TextGroup>& groups, const PlanRequest& request,
                                          std::string_view source) {
    // The headings disasm gives the rows of a plan document, in the order the request lists them.
    std::vector<std::string> names{"sender " + std::to_string(request.sender)};
    for (const std::uint16_t receiver : request.receivers) {
        names.push_back("receiver " + std::to_string(receiver));
    }
    constexpr std::size_t row_length = vorl_exchange::row_length;
    std::vector<vorl_exchange::Row> rows;
    for (const TextGroup& group : groups) {
        const std::string place = std::string{source} + " line " + std::to_string(group.line);
        if (!group.heading.empty() && group.words.size() != row_length) {
            refuse(place, "the row \"" + visible(group.heading) + "\" holds " + std::to_string(group.words.size()) +
                              " words, not " + std::to_string(row_length));
        }
        if (group.words.size() % row_length != 0) {
            refuse(place, "the " + std::to_string(group.words.size()) + " words from here are not rows of " +
                              std::to_string(row_length));
        }
        // A row headed by its role and tile must stand where the exchange has that tile's row.
        const bool names_a_tile = group.heading.starts_with("sender ") || group.heading.starts_with("receiver ");
        if (names_a_tile && rows.size() < names.size() && group.heading != names[rows.size()]) {
            refuse(place, "the row of " + visible(group.heading) + " stands where the exchange named has the row of " +
                              names[rows.size()]);
        }
        for (std::size_t first = 0; first < group.words.size(); first += row_length) {
            vorl_exchange::Row row{};
            std::copy_n(group.words.begin() + static_cast<std::ptrdiff_t>(first), row_length, row.begin());
            rows.push_back(row);
        }
    }
    if (rows.size() != names.size()) {
        throw UsageError{std::string{source} + " holds " + std::to_string(rows.size()) +
                         (rows.size() == 1 ? " row" : " rows") + "; the plan has " + std::to_string(names.size()) +
                         ", the sender's and one per receiver"};
    }
    return rows;
}

}  // namespace vorl_plan
