// The batch's request reader against simdjson's on-demand parser, over the lines
// of the batch benchmark: time per line of reading each into a typed request.
// The simdjson reader takes only the path of a well-formed request and refuses
// anything else without a reason, so it is the floor of what that library would
// cost, not a replacement: giving today's reasons would need every value walked
// and checked as well (see docs/performance.md, "Batch throughput").
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include "batch_requests.hpp"
#include "request_reader.hpp"

namespace {

// The lines in one buffer with simdjson's padding behind the last, so that every
// line is readable far enough past its end, as lines in the batch's blocks are.
struct Lines {
    std::string text;
    std::vector<std::string_view> lines;
};

const Lines& bench_lines() {
    static const Lines lines = [] {
        const vorl_exchange::Topology tarn = vorl_exchange::Topology::tarn();
        vorl_bench::Draw draw;
        Lines out;
        std::vector<std::size_t> ends;
        for (int line = 0; line < 20000; ++line) {
            out.text += vorl_bench::request(draw, tarn);
            ends.push_back(out.text.size());
            out.text += '\n';
        }
        out.text.append(simdjson::SIMDJSON_PADDING, ' ');
        std::size_t begin = 0;
        for (const std::size_t end : ends) {
            out.lines.emplace_back(out.text.data() + begin, end - begin);
            begin = end + 1;
        }
        return out;
    }();
    return lines;
}

void request_reader(benchmark::State& state) {
    vorl_plan::RequestReader reader;
    const Lines& lines = bench_lines();
    for (auto _ : state) {
        for (const std::string_view line : lines.lines) {
            auto request = reader.read(line);
            benchmark::DoNotOptimize(request);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.lines.size()));
}
BENCHMARK(request_reader);

// A well-formed request into the same typed request, with the checks that cost
// little here: each field once, only known fields, numbers in range. (Text after
// the object goes unchecked: simdjson 3.0's document cannot tell.)
class OnDemandReader {
public:
    bool read(std::string_view line, vorl_plan::Request& request) {
        namespace od = simdjson::ondemand;
        receivers_.clear();
        od::document document;
        if (parser_
                .iterate(
                    simdjson::padded_string_view(line.data(), line.size(), line.size() + simdjson::SIMDJSON_PADDING))
                .get(document)) {
            return false;
        }
        od::object object;
        if (document.get_object().get(object)) {
            return false;
        }
        unsigned seen = 0;
        std::string_view op;
        for (auto field : object) {
            std::string_view key;
            if (field.unescaped_key().get(key)) {
                return false;
            }
            const unsigned bit = key == "op"          ? 1
                                 : key == "sender"    ? 2
                                 : key == "receiver"  ? 4
                                 : key == "receivers" ? 8
                                 : key == "count"     ? 16
                                 : key == "offset"    ? 32
                                                      : 0;
            if (bit == 0 || (seen & bit) != 0) {
                return false;
            }
            seen |= bit;
            std::uint64_t number = 0;
            if (bit == 1) {
                if (field.value().get_string().get(op)) {
                    return false;
                }
            } else if (bit == 8) {
                od::array tiles;
                if (field.value().get_array().get(tiles)) {
                    return false;
                }
                for (auto tile : tiles) {
                    if (tile.get_uint64().get(number) || number > 65535) {
                        return false;
                    }
                    receivers_.push_back(static_cast<std::uint16_t>(number));
                }
            } else if (field.value().get_uint64().get(number) || number > (bit <= 4 ? 65535u : 4294967295u)) {
                return false;
            } else if (bit == 2) {
                request.sender = static_cast<std::uint16_t>(number);
            } else if (bit == 4) {
                request.receiver = static_cast<std::uint16_t>(number);
            } else if (bit == 16) {
                request.count = static_cast<std::uint32_t>(number);
            } else {
                request.offset = static_cast<std::uint32_t>(number);
            }
        }
        request.receivers = receivers_;
        if (op == "point_to_point") {
            request.operation = vorl_plan::Operation::PointToPoint;
            return seen == (1 | 2 | 4 | 16);
        }
        request.operation = op == "multicast"          ? vorl_plan::Operation::Multicast
                            : op == "paired_multicast" ? vorl_plan::Operation::PairedMulticast
                                                       : vorl_plan::Operation::MulticastOffsetLimit;
        return (seen & ~32u) == (1 | 2 | 8 | 16);
    }

private:
    simdjson::ondemand::parser parser_;
    std::vector<std::uint16_t> receivers_;
};

void simdjson_on_demand(benchmark::State& state) {
    OnDemandReader reader;
    const Lines& lines = bench_lines();
    for (auto _ : state) {
        for (const std::string_view line : lines.lines) {
            vorl_plan::Request request;
            benchmark::DoNotOptimize(reader.read(line, request));
            benchmark::DoNotOptimize(request);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines.lines.size()));
}
BENCHMARK(simdjson_on_demand);

}  // namespace

BENCHMARK_MAIN();
