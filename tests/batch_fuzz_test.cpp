// `vorl-plan batch` fed random bytes, truncated and malformed requests, huge lines
// and blank lines: it never stops, answers every non-blank line with exactly one
// line, in order, reports each line that is not a request (misspelt and repeated
// fields included) as a bad request, and answers each request as the library
// does. The built program must give the same bytes as the protocol run in process.
//
// Seeded like the adversarial test: the seed is printed and VORL_ADVERSARIAL_SEED
// replays a run.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "batch.hpp"
#include "vorl_exchange/vorl_exchange.hpp"

namespace {

using namespace vorl_exchange;
using nlohmann::json;

std::uint64_t seed() {
    static const std::uint64_t value = [] {
        const char* text = std::getenv("VORL_ADVERSARIAL_SEED");
        std::random_device device;
        return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0)
                                                : (std::uint64_t{device()} << 32) | device();
    }();
    return value;
}

// What the batch must say about one input line.
enum class Expect { Nothing, Request, BadRequest, OneLine };

struct Line {
    std::string text;
    Expect expect;
    json request;  // for Expect::Request
};

class Batch {
public:
    explicit Batch(std::uint64_t seed) : rng_{seed} {}

    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(rng_() % bound); }
    std::uint64_t number() {
        constexpr std::uint64_t edges[] = {0, 1, 2, 3, 51, 52, 1471, 1472, 4148, 4149, 65535, 65536, 4294967295ULL};
        return below(3) == 0 ? rng_() >> below(64) : edges[below(std::size(edges))];
    }
    json tiles() {
        json list = json::array();
        for (std::uint32_t n = below(5); n > 0; --n) list.push_back(below(4) == 0 ? number() : below(1472));
        return list;
    }
    json request() {
        json request;
        switch (below(3)) {
            case 0:
                request = {
                    {"op", "point_to_point"}, {"sender", below(1472)}, {"receiver", below(1472)}, {"count", number()}};
                break;
            case 1:
                request = {{"op", "multicast"},
                           {"sender", below(1472)},
                           {"receivers", tiles()},
                           {"count", number()},
                           {"offset", number()}};
                break;
            default:
                request = {
                    {"op", "paired_multicast"}, {"sender", below(1472)}, {"receivers", tiles()}, {"count", number()}};
                break;
        }
        return request;
    }

    // One line of every kind the batch may be fed.
    Line line() {
        switch (below(9)) {
            case 0:
            case 1:
            case 2: {
                json valid = request();
                // Fields that do not fit their type turn it into a bad request.
                if (below(3) != 0) return {valid.dump() + (below(4) == 0 ? "\r" : ""), Expect::Request, valid};
                const std::string field = below(2) == 0 ? "sender" : "count";
                const json broken[] = {-1, 1.5, 1e300, "7", nullptr, json::array(), 18446744073709551615ULL};
                if (below(5) == 0) {
                    valid.erase(field);
                } else {
                    valid[field] = broken[below(std::size(broken))];
                }
                return {valid.dump(), Expect::BadRequest, {}};
            }
            case 3: {  // cut short
                const std::string whole = request().dump();
                return {
                    whole.substr(0, 1 + below(static_cast<std::uint32_t>(whole.size()) - 1)), Expect::BadRequest, {}};
            }
            case 4: {
                const char* others[] = {"[]",          "\"op\"",
                                        "5",           "null",
                                        "{}",          R"({"op":"broadcast"})",
                                        R"({"op":7})", "{\"op\":\"point_to_point\",\"sender\":\xff}",
                                        "\x01\x02"};
                return {others[below(std::size(others))], Expect::BadRequest, {}};
            }
            case 5: {  // blank
                const char* blanks[] = {"", " ", "\t", "\r", " \t\r\v\f "};
                return {blanks[below(std::size(blanks))], Expect::Nothing, {}};
            }
            case 6:
            case 7: {  // any bytes but the line break
                std::string bytes(1 + below(200), ' ');
                for (char& byte : bytes) {
                    do byte = static_cast<char>(rng_());
                    while (byte == '\n');
                }
                const bool blank = bytes.find_first_not_of(" \t\r\v\f") == std::string::npos;
                return {bytes, blank ? Expect::Nothing : Expect::OneLine, {}};
            }
            default: {  // a field the op does not take, or one given twice, is refused
                const char* extras[] = {R"("note":"x",)", R"("count":1,)", R"("sender":0,)", R"("ofset":1,)"};
                return {request().dump().insert(1, extras[below(std::size(extras))]), Expect::BadRequest, {}};
            }
        }
    }

    // Lines of megabytes: deep nesting, long strings and numbers, long tile lists.
    Line huge() {
        const std::size_t size = 100000 + below(1000000);
        switch (below(5)) {
            case 0: return {std::string(size, '['), Expect::BadRequest, {}};
            case 1: return {R"({"op":")" + std::string(size, 'x') + "\"}", Expect::BadRequest, {}};
            case 2:
                return {R"({"op":"point_to_point","sender":)" + std::string(size, '9') + "}", Expect::BadRequest, {}};
            case 3: {
                json valid = {
                    {"op", "multicast"}, {"sender", 0}, {"receivers", json::array()}, {"count", 1}, {"offset", 0}};
                for (std::uint32_t tile = 0, n = below(2) == 0 ? 1472 : 60000; tile < n; ++tile) {
                    valid["receivers"].push_back(tile % 1472 == 0 && tile > 0 ? 5 : tile % 1472);
                }
                return {valid.dump(), Expect::Request, valid};
            }
            default: {
                std::string bytes(size, ' ');
                for (char& byte : bytes) byte = static_cast<char>('!' + rng_() % 90);
                return {bytes, Expect::OneLine, {}};
            }
        }
    }

private:
    std::mt19937_64 rng_;
};

// The library's own answer to a request, in the protocol's terms.
json library_answer(const Topology& topology, const json& request) {
    const auto tiles = [&](const char* name) { return request[name].get<std::vector<std::uint16_t>>(); };
    const auto shape = [](const auto& result) {
        if (!result) return json{{"err", to_string(result.error())}, {"debug", result.error().debug()}};
        return json{{"sender", result->sender}};
    };
    const std::string op = request["op"];
    const auto sender = request["sender"].get<std::uint16_t>();
    const auto count = request["count"].get<std::uint32_t>();
    if (op == "point_to_point")
        return shape(topology.point_to_point(sender, request["receiver"].get<std::uint16_t>(), count));
    if (op == "multicast")
        return shape(topology.multicast(sender, tiles("receivers"), count, request["offset"].get<std::uint32_t>()));
    return shape(topology.paired_multicast(sender, tiles("receivers"), count));
}

// Whether a request's numbers fit their fields (the generator may overshoot them).
bool fits(const json& request) {
    const auto fits_in = [](const json& value, std::uint64_t maximum) {
        const bool natural =
            value.is_number_unsigned() || (value.is_number_integer() && value.get<std::int64_t>() >= 0);
        return natural && value.get<std::uint64_t>() <= maximum;
    };
    bool ok = fits_in(request["sender"], 65535) && fits_in(request["count"], 4294967295ULL);
    if (request.contains("receiver")) ok = ok && fits_in(request["receiver"], 65535);
    if (request.contains("offset")) ok = ok && fits_in(request["offset"], 4294967295ULL);
    if (request.contains("receivers")) {
        for (const auto& tile : request["receivers"]) ok = ok && fits_in(tile, 65535);
    }
    return ok;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in{text};
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(BatchFuzz, EveryNonBlankLineGetsItsOwnAnswerAndTheProgramAgrees) {
    std::printf("VORL_ADVERSARIAL_SEED=%llu\n", static_cast<unsigned long long>(seed()));
    const Topology topology = Topology::tarn();
    Batch batch{seed()};
    std::size_t answered = 0;
    for (int run = 0; run < 80 && !::testing::Test::HasFailure(); ++run) {
        std::vector<Line> lines;
        std::string input;
        for (std::uint32_t n = 1 + batch.below(60); n > 0; --n) {
            lines.push_back(batch.below(40) == 0 ? batch.huge() : batch.line());
            if (lines.back().expect == Expect::Request && !fits(lines.back().request)) {
                lines.back().expect = Expect::BadRequest;
            }
            input += lines.back().text;
            if (n > 1 || batch.below(2) == 0) input += '\n';  // the last line may lack its break
        }
        std::istringstream in{input};
        std::ostringstream out;
        ASSERT_EQ(vorl_plan::run_batch(topology, in, out), 0);
        const std::string output = out.str();
        const std::vector<std::string> responses = split_lines(output);
        ASSERT_TRUE(output.empty() || output.back() == '\n');

        std::size_t next = 0;
        for (const Line& line : lines) {
            if (line.expect == Expect::Nothing) continue;
            const std::string context = "seed " + std::to_string(seed()) + " run " + std::to_string(run) +
                                        ", line of " + std::to_string(line.text.size()) +
                                        " bytes: " + line.text.substr(0, 80);
            ASSERT_LT(next, responses.size()) << context;
            const json response = json::parse(responses[next++], nullptr, false);
            ASSERT_TRUE(response.is_object() && response.size() <= 2) << context << "\n" << responses[next - 1];
            if (line.expect == Expect::BadRequest) {
                EXPECT_TRUE(response.contains("bad_request")) << context << "\n" << response.dump().substr(0, 200);
            } else if (line.expect == Expect::Request) {
                const json expected = library_answer(topology, line.request);
                const json actual = response.contains("ok") ? json{{"sender", response["ok"]["sender"]}} : response;
                EXPECT_EQ(actual, expected) << context;
            } else {
                EXPECT_TRUE(response.contains("bad_request") || response.contains("ok") || response.contains("err"))
                    << context;
            }
        }
        EXPECT_EQ(next, responses.size()) << "seed " << seed() << " run " << run << ": extra answers";
        answered += responses.size();

        if (run % 10 == 0) {  // the built program: same bytes, exit status 0
            const auto directory =
                std::filesystem::path{::testing::TempDir()} / ("vorl-plan-batch-fuzz-" + std::to_string(::getpid()));
            std::filesystem::create_directories(directory);
            std::ofstream{directory / "in", std::ios::binary} << input;
            const std::string command = std::string{"'"} + VORL_PLAN_EXE + "' batch <'" + (directory / "in").string() +
                                        "' >'" + (directory / "out").string() + "' 2>&1";
            const int status = std::system(command.c_str());
            std::ifstream produced{directory / "out", std::ios::binary};
            std::ostringstream bytes;
            bytes << produced.rdbuf();
            std::filesystem::remove_all(directory);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "seed " << seed() << " run " << run;
            EXPECT_TRUE(bytes.str() == output) << "seed " << seed() << " run " << run << ": program output differs";
        }
    }
    std::printf("%zu answers\n", answered);
}

}  // namespace
