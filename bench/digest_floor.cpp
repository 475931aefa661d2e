// The floor of sablemark: a process that plans nothing, reads nothing and
// hashes a generated stream of the same length as sablemark's digest stream,
// written in the same sequence of sizes (one write per planner call, of the
// size that call's plan or error text feeds; see floor_write_sizes.hpp),
// through the same hasher. The whole-process wall time of sablemark over this
// program's is what the planners and the feeding cost on top of hashing.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "floor_write_sizes.hpp"
#include "vorl_exchange/digest.hpp"

namespace {

constexpr std::size_t case_table_stream_bytes = 23'996'602;

}  // namespace

int main() {
    // Bytes to write from: a fixed pseudo-random block, longer than any write.
    static std::array<std::byte, 4096> source{};
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (std::byte& byte : source) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<std::byte>(state);
    }

    vorl_exchange::DefaultHasher digest;
    std::size_t written = 0;
    sablemark_floor::for_each_write_size([&](std::size_t size) {
        digest.write(std::span{source}.subspan((written * 7) % 2048, size));
        written += size;
    });
    if (written != case_table_stream_bytes) {
        std::fprintf(stderr, "floor: wrote %zu bytes, not %zu\n", written, case_table_stream_bytes);
        return 1;
    }
    std::printf("%zu bytes: %016llx\n", written, static_cast<unsigned long long>(digest.finish()));
    return 0;
}
