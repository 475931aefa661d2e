// Loads that a recent store overlaps without containing, from a memory trace.
// Such a load cannot take its value from the store (store-to-load
// forwarding); it waits until the store has reached the cache. Where the
// loaded value feeds further work, the wait can stall a whole call: this is
// how the paired planner's 16-bit spills read back as 32-bit words were found.
//
//   valgrind --tool=lackey --trace-mem=yes --log-fd=1 PROGRAM 2>/dev/null | forwarding_trace PROGRAM [WINDOW]
//
// Reads lackey's trace on standard input ("I addr,size" for an instruction,
// " L", " S" and " M" for a load, a store and a modify) and counts, for each
// pair of load and store instructions, the loads that the youngest store
// overlapping them, among the stores of the last WINDOW instructions (120 by
// default, about what the processor holds in flight), does not contain. Prints
// the totals and the 40 most frequent pairs, each instruction as
// function+offset from `nm -C PROGRAM`. Exit status: 0, or 2 on bad arguments
// or a program whose symbols cannot be read.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct Store {
    std::uint64_t address = 0;
    std::uint64_t size = 0;
    std::uint64_t instruction = 0;  // its index in the trace
    std::uint64_t at = 0;           // its code address
};

struct Symbol {
    std::uint64_t address;
    std::string name;
};

// Where valgrind loads a position-independent executable on x86-64; a fixed
// executable runs at the addresses its symbols name.
constexpr std::uint64_t valgrind_pie_base = 0x108000;

// Whether `program` is a position-independent executable (ELF type ET_DYN).
bool position_independent(const std::string& program) {
    FILE* file = std::fopen(program.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::array<unsigned char, 18> header{};
    const bool read = std::fread(header.data(), 1, header.size(), file) == header.size();
    std::fclose(file);
    constexpr unsigned elf_type_shared = 3;
    return read && header[0] == 0x7f && header[1] == 'E' && header[16] == elf_type_shared && header[17] == 0;
}

// The text symbols of `program`, by the address they run at under valgrind.
std::vector<Symbol> text_symbols(const std::string& program) {
    std::vector<Symbol> symbols;
    // Quoted for the shell popen runs; a quote in the path is refused outright.
    if (program.find('\'') != std::string::npos) {
        return symbols;
    }
    const std::string command = "nm -C --defined-only '" + program + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return symbols;
    }
    std::array<char, 4096> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), pipe) != nullptr) {
        const std::string_view text{line.data()};
        // "address type name"
        const auto first_space = text.find(' ');
        if (first_space == std::string_view::npos || first_space + 3 > text.size()) {
            continue;
        }
        const char type = text[first_space + 1];
        if (type != 't' && type != 'T' && type != 'w' && type != 'W') {
            continue;
        }
        std::uint64_t address = 0;
        std::from_chars(text.data(), text.data() + first_space, address, 16);
        std::string name{text.substr(first_space + 3)};
        if (!name.empty() && name.back() == '\n') {
            name.pop_back();
        }
        symbols.push_back({address, std::move(name)});
    }
    pclose(pipe);
    if (position_independent(program)) {
        for (Symbol& symbol : symbols) {
            symbol.address += valgrind_pie_base;
        }
    }
    std::ranges::sort(symbols, {}, &Symbol::address);
    return symbols;
}

std::string describe(const std::vector<Symbol>& symbols, std::uint64_t address) {
    const auto after = std::ranges::upper_bound(symbols, address, {}, &Symbol::address);
    if (after == symbols.begin()) {
        return "?";
    }
    const Symbol& symbol = *(after - 1);
    char offset[32];
    std::snprintf(offset, sizeof offset, "+0x%llx", static_cast<unsigned long long>(address - symbol.address));
    // The name without its parameter list.
    std::size_t cut = 0;
    while ((cut = symbol.name.find('(', cut)) != std::string::npos &&
           symbol.name.compare(cut, 20, "(anonymous namespace") == 0) {
        ++cut;
    }
    return symbol.name.substr(0, cut) + offset;
}

// "addr,size" after the record's letter and its spaces.
bool parse_access(std::string_view text, std::uint64_t& address, std::uint64_t& size) {
    while (text.starts_with(' ')) {
        text.remove_prefix(1);
    }
    const auto comma = text.find(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + comma, address, 16);
    if (error != std::errc{}) {
        return false;
    }
    (void)end;
    return std::from_chars(text.data() + comma + 1, text.data() + text.size(), size).ec == std::errc{};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: forwarding_trace PROGRAM [WINDOW] < lackey-trace\n");
        return 2;
    }
    std::uint64_t window = 120;
    if (argc == 3) {
        const std::string_view text{argv[2]};
        if (std::from_chars(text.data(), text.data() + text.size(), window).ec != std::errc{} || window == 0) {
            std::fprintf(stderr, "forwarding_trace: WINDOW must be a positive number of instructions\n");
            return 2;
        }
    }
    const std::vector<Symbol> symbols = text_symbols(argv[1]);
    if (symbols.empty()) {
        std::fprintf(stderr, "forwarding_trace: no symbols read from %s with nm\n", argv[1]);
        return 2;
    }

    std::array<Store, 256> recent{};  // a ring of the latest stores
    std::size_t next = 0;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint64_t> failures;
    std::uint64_t instructions = 0;
    std::uint64_t at = 0;
    std::uint64_t loads = 0;
    std::uint64_t failed = 0;
    std::array<char, 256> line{};
    while (std::fgets(line.data(), static_cast<int>(line.size()), stdin) != nullptr) {
        std::string_view text{line.data()};
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
            text.remove_suffix(1);
        }
        std::uint64_t address = 0;
        std::uint64_t size = 0;
        if (text.starts_with('I')) {
            if (parse_access(text.substr(1), address, size)) {
                at = address;
                ++instructions;
            }
            continue;
        }
        if (text.size() < 4 || text[0] != ' ' || text[2] != ' ' || !parse_access(text.substr(3), address, size)) {
            continue;
        }
        const char kind = text[1];
        if (kind == 'L' || kind == 'M') {
            ++loads;
            for (std::size_t back = 1; back <= recent.size(); ++back) {
                const Store& store = recent[(next + recent.size() - back) % recent.size()];
                if (store.size == 0 || instructions - store.instruction > window) {
                    break;
                }
                if (store.address < address + size && address < store.address + store.size) {
                    if (address < store.address || address + size > store.address + store.size) {
                        ++failures[{at, store.at}];
                        ++failed;
                    }
                    break;
                }
            }
        }
        if (kind == 'S' || kind == 'M') {
            recent[next] = {address, size, instructions, at};
            next = (next + 1) % recent.size();
        }
    }

    std::printf(
        "%llu instructions, %llu loads, %llu loads that a store of the last %llu instructions overlaps "
        "without containing\n",
        static_cast<unsigned long long>(instructions), static_cast<unsigned long long>(loads),
        static_cast<unsigned long long>(failed), static_cast<unsigned long long>(window));
    std::vector<std::pair<std::uint64_t, std::pair<std::uint64_t, std::uint64_t>>> ranked;
    for (const auto& [pair, count] : failures) {
        ranked.push_back({count, pair});
    }
    std::ranges::sort(ranked, std::greater{});
    for (std::size_t index = 0; index < ranked.size() && index < 40; ++index) {
        const auto& [count, pair] = ranked[index];
        std::printf("%10llu  load %s  after store %s\n", static_cast<unsigned long long>(count),
                    describe(symbols, pair.first).c_str(), describe(symbols, pair.second).c_str());
    }
    return 0;
}
