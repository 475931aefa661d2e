#include "request_reader.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <unordered_set>

#include "json_depth.hpp"
#include "json_writer.hpp"

namespace vorl_plan {

namespace {

// A value as far as a request field needs it: numbers by kind (an integer literal
// of up to 64 bits, a negative one, or anything else, kept as a double), strings
// by their text, everything else by its type.
enum class Kind : int { Unsigned, Negative, Real, String, Null, Boolean, Array, Object };

struct Value {
    Kind kind = Kind::Null;
    std::uint64_t integer = 0;  // Unsigned
    double real = 0;            // Real
    std::string_view text;      // String, as written between the quotes
    bool escaped = false;       // String: `text` holds escapes
};

// The type of a value as a reason names it, with its article: "is an array".
std::string_view type_name(Kind kind) {
    switch (kind) {
        case Kind::String: return "a string";
        case Kind::Null: return "null";
        case Kind::Boolean: return "a boolean";
        case Kind::Array: return "an array";
        case Kind::Object: return "an object";
        case Kind::Unsigned:
        case Kind::Negative:
        case Kind::Real: break;
    }
    return "a number";
}

enum Field : std::uint8_t { op, sender, receiver, receivers, count, offset, other };
constexpr std::size_t field_count = other;
constexpr std::array<std::string_view, field_count> field_names = {"op",        "sender", "receiver",
                                                                   "receivers", "count",  "offset"};

Field field_of(std::string_view key) {
    // By length first, then one comparison of a known size, which compiles to a load or two.
    const auto is = [key]<std::size_t size>(const char(&name)[size], Field field) {
        // Called only once `key` is known to hold size - 1 bytes.
        // NOLINTNEXTLINE(bugprone-suspicious-stringview-data-usage): memcmp is given the length
        return std::memcmp(key.data(), name, size - 1) == 0 ? field : other;
    };
    switch (key.size()) {
        case 2: return is("op", op);
        case 5: return is("count", count);
        case 6: return key[0] == 's' ? is("sender", sender) : is("offset", offset);
        case 8: return is("receiver", receiver);
        case 9: return is("receivers", receivers);
        default: return other;
    }
}

// The fields each op takes, as bits of Field.
constexpr unsigned bit(Field field) { return 1u << field; }
struct OperationName {
    std::string_view name;
    Operation operation;
    unsigned fields;
};
constexpr OperationName operations[] = {
    {"point_to_point", Operation::PointToPoint, bit(op) | bit(sender) | bit(receiver) | bit(count)},
    {"multicast", Operation::Multicast, bit(op) | bit(sender) | bit(receivers) | bit(count) | bit(offset)},
    {"paired_multicast", Operation::PairedMulticast, bit(op) | bit(sender) | bit(receivers) | bit(count)},
    {"multicast_offset_limit", Operation::MulticastOffsetLimit, bit(op) | bit(sender) | bit(receivers) | bit(count)},
};

// Requests nest two levels deep; deeper text is refused before it is read, so
// that a line of a million brackets neither recurses nor builds anything.
constexpr int deepest = 8;

// What one pass over the text found: whether it is valid JSON, and the fields
// of the top-level object by name, in the order they came.
struct Collected {
    bool object = false;
    std::array<int, field_count> position{-1, -1, -1, -1, -1, -1};
    std::array<Value, field_count> value{};
    // receivers: the first entry that is not a tile, counted from 0.
    std::optional<std::size_t> bad_entry;
    Value bad_entry_value;
    int first_other = -1;
    std::string first_other_name;
    std::string repeated;  // the first field named twice
    bool has_repeat = false;
};

// The bytes a string holds as they are: printable ASCII but the quote and the backslash.
constexpr auto plain = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c) {
        table[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    }
    return table;
}();

class Scanner {
public:
    Scanner(std::string_view text, std::vector<std::uint16_t>& tiles)
        : at_{text.data()}, end_{text.data() + text.size()}, tiles_{tiles} {}

    // The whole text as one JSON value followed by nothing but white space.
    bool document(Collected& found) {
        space();
        if (at_ < end_ && *at_ == '{') {
            ++at_;
            found.object = true;
            if (!request(found)) {
                return false;
            }
        } else {
            Value ignored;
            if (!value(ignored, 0)) {
                return false;
            }
        }
        space();
        return at_ == end_;
    }

private:
    void space() {
        if (at_ < end_ && static_cast<unsigned char>(*at_) > ' ') {
            return;  // compact text, the common case
        }
        while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r')) {
            ++at_;
        }
    }

    bool take(char c) {
        if (at_ < end_ && *at_ == c) {
            ++at_;
            return true;
        }
        return false;
    }

    [[nodiscard]] bool digit() const { return at_ < end_ && *at_ >= '0' && *at_ <= '9'; }

    bool word(std::string_view text) {
        if (static_cast<std::size_t>(end_ - at_) < text.size() || std::memcmp(at_, text.data(), text.size()) != 0) {
            return false;
        }
        at_ += text.size();
        return true;
    }

    bool hex4(unsigned& code) {
        if (end_ - at_ < 4) {
            return false;
        }
        code = 0;
        for (int index = 0; index < 4; ++index, ++at_) {
            const char c = *at_;
            const unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                                   : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                                   : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                          : 16u;
            if (digit == 16) {
                return false;
            }
            code = code * 16 + digit;
        }
        return true;
    }

    // A string after its opening quote, up to and past its closing one.
    // NOLINTNEXTLINE(readability-function-cognitive-complexity): the string grammar in one pass over the bytes
    bool string(Value& out) {
        const char* const start = at_;
        out.kind = Kind::String;
        out.escaped = false;
        for (;;) {
            const char* at = at_;
            while (at < end_ && plain[static_cast<unsigned char>(*at)]) {
                ++at;
            }
            at_ = at;
            if (at_ == end_) {
                return false;
            }
            const auto c = static_cast<unsigned char>(*at_);
            if (c == '"') {
                out.text = {start, static_cast<std::size_t>(at_ - start)};
                ++at_;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c >= 0x80) {
                std::size_t examined = 0;
                const std::size_t length =
                    json::utf8_sequence({at_, static_cast<std::size_t>(end_ - at_)}, 0, examined);
                if (length == 0) {
                    return false;
                }
                at_ += length;
                continue;
            }
            out.escaped = true;
            ++at_;
            if (at_ == end_) {
                return false;
            }
            switch (*at_++) {
                case '"':
                case '\\':
                case '/':
                case 'b':
                case 'f':
                case 'n':
                case 'r':
                case 't': break;
                case 'u': {
                    unsigned code = 0;
                    if (!hex4(code) || (code >= 0xdc00 && code <= 0xdfff)) {
                        return false;
                    }
                    // A high surrogate must be followed by a low one.
                    if (code >= 0xd800 && code <= 0xdbff &&
                        (!word("\\u") || !hex4(code) || code < 0xdc00 || code > 0xdfff)) {
                        return false;
                    }
                    break;
                }
                default: return false;
            }
        }
    }

    // A number: integers that fit 64 bits (or 63 and a sign) exactly, anything
    // else as the nearest double; a literal beyond the doubles is not valid JSON.
    // NOLINTNEXTLINE(readability-function-cognitive-complexity): the number grammar in one pass over the bytes
    bool number(Value& out) {
        const char* const start = at_;
        const char* at = at_;
        const bool negative = at < end_ && *at == '-';
        at += negative ? 1 : 0;
        if (at == end_ || *at < '0' || *at > '9') {
            return false;
        }
        std::uint64_t magnitude = 0;
        bool fits = true;
        if (*at == '0') {
            ++at;
        } else {
            for (; at < end_ && *at >= '0' && *at <= '9'; ++at) {
                fits = fits && !__builtin_mul_overflow(magnitude, 10u, &magnitude) &&
                       !__builtin_add_overflow(magnitude, static_cast<unsigned>(*at - '0'), &magnitude);
            }
        }
        bool integral = true;
        if (at < end_ && *at == '.') {
            const char* const fraction = ++at;
            while (at < end_ && *at >= '0' && *at <= '9') {
                ++at;
            }
            if (at == fraction) {
                return false;
            }
            integral = false;
        }
        if (at < end_ && (*at == 'e' || *at == 'E')) {
            ++at;
            at += at < end_ && (*at == '+' || *at == '-') ? 1 : 0;
            const char* const exponent = at;
            while (at < end_ && *at >= '0' && *at <= '9') {
                ++at;
            }
            if (at == exponent) {
                return false;
            }
            integral = false;
        }
        at_ = at;
        if (integral && fits && !negative) {
            out.kind = Kind::Unsigned;
            out.integer = magnitude;
            return true;
        }
        if (integral && fits && magnitude <= std::uint64_t{1} << 63) {
            out.kind = Kind::Negative;  // -0 included: it was written with a sign
            return true;
        }
        const std::string literal{start, at_};
        out.kind = Kind::Real;
        out.real = std::strtod(literal.c_str(), nullptr);
        return std::isfinite(out.real);
    }

    // The common number of a request: a plain integer of up to 19 digits, which
    // cannot overflow; anything else is left to `value`.
    bool plain_integer(Value& out) {
        const char* at = at_;
        if (at == end_ || *at < '0' || *at > '9') {
            return false;
        }
        std::uint64_t magnitude = 0;
        if (*at == '0') {
            ++at;
        } else {
            const char* const limit = end_ - at > 19 ? at + 19 : end_;
            for (; at < limit && *at >= '0' && *at <= '9'; ++at) {
                magnitude = magnitude * 10 + static_cast<unsigned>(*at - '0');
            }
        }
        if (at < end_ && ((*at >= '0' && *at <= '9') || *at == '.' || *at == 'e' || *at == 'E')) {
            return false;
        }
        at_ = at;
        out.kind = Kind::Unsigned;
        out.integer = magnitude;
        return true;
    }

    bool value(Value& out, int depth) {
        space();
        if (plain_integer(out)) {
            return true;
        }
        if (at_ == end_) {
            return false;
        }
        switch (*at_) {
            case '"': ++at_; return string(out);
            case '{':
                out.kind = Kind::Object;
                ++at_;
                return object(depth + 1);
            case '[':
                out.kind = Kind::Array;
                ++at_;
                return array(depth + 1);
            case 't': out.kind = Kind::Boolean; return word("true");
            case 'f': out.kind = Kind::Boolean; return word("false");
            case 'n': out.kind = Kind::Null; return word("null");
            default: return number(out);
        }
    }

    // An object or array after its opening bracket, read only to check it.
    bool object(int depth) {
        if (depth > deepest) {
            return false;
        }
        space();
        if (take('}')) {
            return true;
        }
        do {
            space();
            Value key;
            if (!take('"') || !string(key)) {
                return false;
            }
            space();
            if (!take(':')) {
                return false;
            }
            Value ignored;
            if (!value(ignored, depth)) {
                return false;
            }
            space();
        } while (take(','));
        return take('}');
    }

    bool array(int depth) {
        if (depth > deepest) {
            return false;
        }
        space();
        if (take(']')) {
            return true;
        }
        do {
            Value ignored;
            if (!value(ignored, depth)) {
                return false;
            }
            space();
        } while (take(','));
        return take(']');
    }

    // The receivers: tiles go straight into the list until the first entry that is not one.
    bool tile_list(Collected& found, Value& out) {
        space();
        if (!take('[')) {
            return value(out, 1);
        }
        out.kind = Kind::Array;
        space();
        if (take(']')) {
            return true;
        }
        std::size_t index = 0;
        do {
            Value entry;
            space();
            if (!plain_integer(entry) && !value(entry, 2)) {
                return false;
            }
            if (!found.bad_entry) {
                if (entry.kind == Kind::Unsigned && entry.integer <= std::numeric_limits<std::uint16_t>::max()) {
                    tiles_.push_back(static_cast<std::uint16_t>(entry.integer));
                } else {
                    found.bad_entry = index;
                    found.bad_entry_value = entry;
                }
            }
            ++index;
            space();
        } while (take(','));
        return take(']');
    }

    // A field name of the protocol written plainly, with its closing quote, read
    // without scanning it as a string; `other` leaves the name to `string`.
    Field known_name() {
        const auto is = [this]<std::size_t size>(const char(&name)[size]) {
            if (static_cast<std::size_t>(end_ - at_) < size - 1 || std::memcmp(at_, name, size - 1) != 0) {
                return false;
            }
            at_ += size - 1;
            return true;
        };
        switch (at_ < end_ ? *at_ : '\0') {
            case 'o': return is("op\"") ? op : is("offset\"") ? offset : other;
            case 's': return is("sender\"") ? sender : other;
            case 'r': return is("receivers\"") ? receivers : is("receiver\"") ? receiver : other;
            case 'c': return is("count\"") ? count : other;
            default: return other;
        }
    }

    // The top-level object after its opening brace.
    // The object grammar in one pass, with the repeated-field check.
    // NOLINTNEXTLINE(readability-function-cognitive-complexity)
    bool request(Collected& found) {
        space();
        if (take('}')) {
            return true;
        }
        std::optional<std::unordered_set<std::string>> others;  // names outside the protocol, once two are seen
        int position = 0;
        do {
            space();
            Value key;
            if (!take('"')) {
                return false;
            }
            Field field = known_name();
            if (field != other) {
                key.text = field_names[field];
            } else if (!string(key)) {
                return false;
            }
            space();
            if (!take(':')) {
                return false;
            }
            const std::string unescaped = key.escaped ? unescape(key.text) : std::string{};
            const std::string_view name = key.escaped ? std::string_view{unescaped} : key.text;
            field = field == other ? field_of(name) : field;
            bool repeated = false;
            if (field != other) {
                repeated = found.position[field] >= 0;
                found.position[field] = position;
            } else if (found.first_other < 0) {
                found.first_other = position;
                found.first_other_name = name;
            } else {
                if (!others) {
                    others.emplace().insert(found.first_other_name);
                }
                repeated = !others->insert(std::string{name}).second;
            }
            if (repeated && !found.has_repeat) {
                found.has_repeat = true;
                found.repeated = name;
            }
            Value ignored;
            Value& slot = field == other ? ignored : found.value[field];
            space();
            if (field == receivers ? !tile_list(found, slot) : !plain_integer(slot) && !value(slot, 1)) {
                return false;
            }
            ++position;
            space();
        } while (take(','));
        return take('}');
    }

public:
    // The text of a string that holds escapes; `text` was checked by `string`.
    static std::string unescape(std::string_view text) {
        std::string out;
        out.reserve(text.size());
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (text[at] != '\\') {
                out += text[at];
                continue;
            }
            const char kind = text[++at];
            if (kind != 'u') {
                constexpr std::string_view from = "\"\\/bfnrt";
                constexpr std::string_view to = "\"\\/\b\f\n\r\t";
                out += to[from.find(kind)];
                continue;
            }
            const auto hex = [&](std::size_t from) {
                unsigned code = 0;
                for (std::size_t index = from; index < from + 4; ++index) {
                    const char c = text[index];
                    code = code * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
                }
                return code;
            };
            unsigned code = hex(at + 1);
            at += 4;
            if (code >= 0xd800 && code <= 0xdbff) {
                code = 0x10000 + ((code - 0xd800) << 10) + (hex(at + 3) - 0xdc00);
                at += 6;
            }
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xc0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3f));
            } else if (code < 0x10000) {
                out += static_cast<char>(0xe0 | (code >> 12));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
                out += static_cast<char>(0x80 | (code & 0x3f));
            } else {
                out += static_cast<char>(0xf0 | (code >> 18));
                out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
                out += static_cast<char>(0x80 | (code & 0x3f));
            }
        }
        return out;
    }

private:
    const char* at_;
    const char* end_;
    std::vector<std::uint16_t>& tiles_;
};

// A name from the request, quoted in a reason: long ones are cut after 40 bytes.
std::string echo(std::string_view name) {
    constexpr std::size_t longest_echo = 40;
    return "\"" + std::string{name.substr(0, longest_echo)} + (name.size() > longest_echo ? "...\"" : "\"");
}

// Why a value is not an unsigned number of at most `maximum`, or empty if it is one.
std::string number_problem(const Value& value, std::uint64_t maximum) {
    const std::string range = "0.." + std::to_string(maximum);
    switch (value.kind) {
        case Kind::Unsigned: return value.integer > maximum ? "is outside " + range : std::string{};
        case Kind::Negative: return "is negative; expected " + range;
        case Kind::Real:
            // Integers too long for 64 bits arrive here as well.
            if (value.real < 0) {
                return "is negative; expected " + range;
            }
            return value.real > static_cast<double>(maximum) ? "is outside " + range
                                                             : "is not an integer within " + range;
        default: return "is " + std::string{type_name(value.kind)} + ", not a number " + range;
    }
}

using Refusal = std::unexpected<std::string>;

template <class T>
std::expected<T, std::string> unsigned_field(const Collected& found, Field field) {
    if (found.position[field] < 0) {
        return Refusal{"missing field \"" + std::string{field_names[field]} + "\""};
    }
    const Value& value = found.value[field];
    if (value.kind == Kind::Unsigned && value.integer <= std::numeric_limits<T>::max()) {
        return static_cast<T>(value.integer);
    }
    return Refusal{"field \"" + std::string{field_names[field]} + "\" " +
                   number_problem(value, std::numeric_limits<T>::max())};
}

// The request `found` describes, or why it is not one.
// NOLINTNEXTLINE(readability-function-cognitive-complexity): the refusals in the order the protocol documents them
std::expected<Request, std::string> interpret(const Collected& found, std::span<const std::uint16_t> tiles) {
    if (!found.object) {
        return Refusal{"request is not a JSON object"};
    }
    if (found.has_repeat) {
        return Refusal{"field " + echo(found.repeated) + " given twice"};
    }
    if (found.position[op] < 0 || found.value[op].kind != Kind::String) {
        return Refusal{"missing field \"op\""};
    }
    const Value& op_value = found.value[op];
    const std::string unescaped = op_value.escaped ? Scanner::unescape(op_value.text) : std::string{};
    const std::string_view name = op_value.escaped ? std::string_view{unescaped} : op_value.text;
    // The names differ in length, so one comparison of a known size tells them.
    const auto* const named = std::ranges::find_if(operations, [name](const OperationName& candidate) {
        return name.size() == candidate.name.size() &&
               std::memcmp(name.data(), candidate.name.data(), name.size()) == 0;
    });
    if (named == std::end(operations)) {
        return Refusal{"unknown op " + echo(name)};
    }
    int first_unknown = found.first_other;
    std::string_view unknown = found.first_other_name;
    for (std::size_t field = 0; field < field_count; ++field) {
        const int at = found.position[field];
        if (at >= 0 && (named->fields & (1u << field)) == 0 && (first_unknown < 0 || at < first_unknown)) {
            first_unknown = at;
            unknown = field_names[field];
        }
    }
    if (first_unknown >= 0) {
        return Refusal{"unknown field " + echo(unknown)};
    }

    Request request;
    request.operation = named->operation;
    const auto sender_tile = unsigned_field<std::uint16_t>(found, sender);
    if (!sender_tile) {
        return Refusal{sender_tile.error()};
    }
    request.sender = *sender_tile;
    if (request.operation == Operation::PointToPoint) {
        const auto receiver_tile = unsigned_field<std::uint16_t>(found, receiver);
        if (!receiver_tile) {
            return Refusal{receiver_tile.error()};
        }
        request.receiver = *receiver_tile;
    } else {
        if (found.position[receivers] < 0) {
            return Refusal{"missing field \"receivers\""};
        }
        if (found.value[receivers].kind != Kind::Array) {
            return Refusal{"field \"receivers\" is not an array"};
        }
        if (found.bad_entry) {
            return Refusal{"field \"receivers\" entry " + std::to_string(*found.bad_entry) + " " +
                           number_problem(found.bad_entry_value, std::numeric_limits<std::uint16_t>::max())};
        }
        request.receivers = tiles;
    }
    const auto words = unsigned_field<std::uint32_t>(found, count);
    if (!words) {
        return Refusal{words.error()};
    }
    request.count = *words;
    if (request.operation == Operation::Multicast && found.position[offset] >= 0) {
        const auto cycles = unsigned_field<std::uint32_t>(found, offset);
        if (!cycles) {
            return Refusal{cycles.error()};
        }
        request.offset = *cycles;
    }
    return request;
}

// The JSON text of a line: a NUL byte outside a string ends it, as it always has.
std::string_view json_text(std::string_view line) {
    if (std::memchr(line.data(), '\0', line.size()) == nullptr) {
        return line;
    }
    JsonDepth depth;
    bool in_string = false;
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] == '\0' && !in_string) {
            return line.substr(0, at);
        }
        depth.step(line[at]);
        in_string = depth.in_string();
    }
    return line;
}

bool nested_too_deep(std::string_view line) {
    // Nine opening brackets are needed to nest nine deep; counting them is cheap.
    if (std::ranges::count(line, '[') + std::ranges::count(line, '{') <= deepest) {
        return false;
    }
    JsonDepth depth;
    return std::ranges::any_of(line, [&](char c) { return depth.step(c) > deepest; });
}

}  // namespace

std::expected<Request, std::string> RequestReader::read(std::string_view line) {
    receivers_.clear();
    const std::string_view text = json_text(line);
    Collected found;
    std::expected<Request, std::string> request =
        Scanner{text, receivers_}.document(found) ? interpret(found, receivers_) : Refusal{"not valid JSON"};
    // Only a line that is a request nests at most two deep, so only other lines,
    // and lines cut at a NUL, need their depth measured.
    if ((!request || text.size() != line.size()) && nested_too_deep(line)) {
        return Refusal{"JSON nested too deeply for a request"};
    }
    return request;
}

}  // namespace vorl_plan
