// One line of `vorl-plan batch` read straight into the request it asks for, with
// no document built in between.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorl_plan {

enum class Operation : std::uint8_t { PointToPoint, Multicast, PairedMulticast, MulticastOffsetLimit };

struct Request {
    Operation operation{};
    std::uint16_t sender = 0;
    std::uint16_t receiver = 0;                // point_to_point
    std::span<const std::uint16_t> receivers;  // the others; valid until the reader's next line
    std::uint32_t count = 0;
    std::uint32_t offset = 0;                  // multicast; 0 when left out
};

// Reads request lines: a JSON object with the fields of its "op" and no others,
// each given once. A line that is not one is refused with the reason, in this
// order: nested more than 8 deep, not valid JSON (RFC 8259, UTF-8; the text ends
// at a NUL byte outside a string), not an object, a field given twice, a missing
// or unknown op, a field the op does not take, then each field of the op in turn:
// missing, or not an unsigned integer in its range.
class RequestReader {
public:
    [[nodiscard]] std::expected<Request, std::string> read(std::string_view line);

private:
    std::vector<std::uint16_t> receivers_;  // kept between lines, so that reading allocates nothing
};

}  // namespace vorl_plan
