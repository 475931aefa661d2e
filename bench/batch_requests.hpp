// The mixed request lines of the batch benchmarks, the same on every machine: a
// fixed-seed generator draws valid point-to-point, multicast, paired and
// offset-limit requests, requests the planners refuse, malformed lines and lines
// with misspelt or repeated fields, in fixed proportions.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "vorl_exchange/topology.hpp"

namespace vorl_bench {

// SplitMix64: a fixed sequence on every platform, unlike the standard distributions.
class Draw {
public:
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }

private:
    std::uint64_t state_ = 20261209;
};

inline std::string tiles_text(const std::vector<std::uint32_t>& tiles) {
    std::string text = "[";
    for (const std::uint32_t tile : tiles) {
        text += (text.size() > 1 ? "," : "") + std::to_string(tile);
    }
    return text + "]";
}

// One request line, without its newline.
inline std::string request(Draw& draw, const vorl_exchange::Topology& tarn) {
    const auto tile = [&] { return draw.below(1472); };
    // Mostly short exchanges, as schedules have them, some up to the largest count.
    const auto count = [&] { return draw.below(4) == 0 ? 1 + draw.below(4148) : 1 + draw.below(64); };
    const auto distinct = [&](std::uint32_t sender, std::uint32_t n) {
        std::vector<std::uint32_t> tiles;
        while (tiles.size() < n) {
            const std::uint32_t next = tile();
            if (next != sender && std::ranges::find(tiles, next) == tiles.end()) {
                tiles.push_back(next);
            }
        }
        return tiles;
    };
    const auto pairs = [&](std::uint32_t n) {
        std::vector<std::uint32_t> tiles;
        while (tiles.size() < 2 * n) {
            const auto first = static_cast<std::uint16_t>(tile());
            const auto partner = tarn.paired_logical(first);
            if (partner && *partner != first && std::ranges::find(tiles, first) == tiles.end() &&
                std::ranges::find(tiles, std::uint32_t{*partner}) == tiles.end()) {
                tiles.push_back(first);
                tiles.push_back(*partner);
            }
        }
        return tiles;
    };
    const auto p2p = [&](std::string sender, std::string receiver, std::string words) {
        return R"({"op":"point_to_point","sender":)" + sender + R"(,"receiver":)" + receiver + R"(,"count":)" + words +
               "}";
    };
    const auto multicast = [&](std::string sender, std::string receivers, std::string words, std::string offset) {
        return R"({"op":"multicast","sender":)" + sender + R"(,"receivers":)" + receivers + R"(,"count":)" + words +
               (offset.empty() ? "" : R"(,"offset":)" + offset) + "}";
    };
    const auto n = [](std::uint32_t value) { return std::to_string(value); };
    const std::uint32_t sender = tile();
    const std::uint32_t kind = draw.below(100);
    if (kind < 40) {
        return p2p(n(sender), n(distinct(sender, 1)[0]), n(count()));
    }
    if (kind < 60) {
        return multicast(n(sender), tiles_text(distinct(sender, 1 + draw.below(8))), n(count()),
                         draw.below(3) == 0 ? "" : n(draw.below(2000)));
    }
    if (kind < 68) {
        return R"({"op":"paired_multicast","sender":)" + n(sender) + R"(,"receivers":)" +
               tiles_text(pairs(1 + draw.below(3))) + R"(,"count":)" + n(count()) + "}";
    }
    if (kind < 73) {
        return R"({"op":"multicast_offset_limit","sender":)" + n(sender) + R"(,"receivers":)" +
               tiles_text(distinct(sender, 1 + draw.below(4))) + R"(,"count":)" + n(count()) + "}";
    }
    if (kind < 83) {  // refused by the planners
        switch (draw.below(5)) {
            case 0: return p2p(n(sender), n(tile()), draw.below(2) == 0 ? "0" : n(4149 + draw.below(10000)));
            case 1: return p2p(n(sender), n(1472 + draw.below(60000)), n(count()));
            case 2: {
                const std::uint32_t receiver = tile();
                return multicast(n(sender), tiles_text({receiver, receiver}), n(count()), "");
            }
            case 3:
                return multicast(n(sender), tiles_text(distinct(sender, 2)), n(count()), n(5000 + draw.below(100000)));
            default:
                return R"({"op":"paired_multicast","sender":)" + n(sender) + R"(,"receivers":)" +
                       tiles_text(distinct(sender, 3)) + R"(,"count":)" + n(count()) + "}";
        }
    }
    if (kind < 93) {  // malformed
        switch (draw.below(8)) {
            case 0: return p2p("\"" + n(sender) + "\"", n(tile()), n(count()));
            case 1: return p2p(n(sender), n(tile()), "-" + n(count()));
            case 2: return p2p(n(sender), n(tile()), n(count()) + ".5");
            case 3: return p2p(n(sender), n(tile()), n(count())).substr(0, 10 + draw.below(40));
            case 4: return multicast(n(sender), "[1,\"2\"]", n(count()), "");
            case 5: return R"({"op":"broadcast","sender":)" + n(sender) + "}";
            case 6: return R"({"op":"point_to_point","sender":)" + n(sender) + R"(,"count":)" + n(count()) + "}";
            default: return "[" + n(sender) + "," + n(tile()) + "]";
        }
    }
    switch (draw.below(4)) {  // misspelt or repeated fields
        case 0:
            return multicast(n(sender), tiles_text(distinct(sender, 2)), n(count()), "").insert(1, R"("ofset":4000,)");
        case 1: return p2p(n(sender), n(tile()), n(count())).insert(1, R"("note":"x",)");
        case 2: return p2p(n(sender), n(tile()), n(count())).insert(1, R"("count":2,)");
        default:
            return multicast(n(sender), tiles_text(distinct(sender, 1)), n(count()), n(10)).insert(1, R"("offset":0,)");
    }
}

}  // namespace vorl_bench
