#include <cstdio>

#include "render.hpp"
#include "word_text.hpp"

namespace vorl_plan {

namespace {

constexpr int instruction_width = 50;

std::string word_line(const TimelineWord& entry) {
    char line[160];
    const std::string hex = hex_word(entry.decoded.word);
    if (entry.is_instruction()) {
        const std::string text = vorl_exchange::describe(entry.decoded);
        std::snprintf(line, sizeof line, "  %4u  %s  %-*s %7llu %7llu\n", entry.index, hex.c_str(), instruction_width,
                      text.c_str(), static_cast<unsigned long long>(entry.start),
                      static_cast<unsigned long long>(entry.end));
    } else {
        const std::string_view role = to_string(entry.role);
        std::snprintf(line, sizeof line, "  %4u  %s  %.*s\n", entry.index, hex.c_str(), static_cast<int>(role.size()),
                      role.data());
    }
    return line;
}

std::string lane_listing(const Lane& lane) {
    std::string text = lane.role + " " + std::to_string(lane.tile);
    text += lane.physical ? " (physical " + std::to_string(*lane.physical) + ")\n" : std::string{"\n"};
    char header[120];
    std::snprintf(header, sizeof header, "  %4s  %-10s  %-*s %7s %7s\n", "word", "hex", instruction_width,
                  "instruction", "start", "end");
    text += header;
    const auto& words = lane.timeline.words;
    for (std::size_t index = 0; index < words.size(); ++index) {
        // A run of fill words is one line: "  4..8  0x00000000  fill".
        std::size_t last = index;
        while (words[index].role == WordRole::Fill && last + 1 < words.size() &&
               words[last + 1].role == WordRole::Fill) {
            ++last;
        }
        if (last > index) {
            char line[80];
            std::snprintf(line, sizeof line, "  %zu..%zu  %s  fill\n", index, last,
                          hex_word(words[index].decoded.word).c_str());
            text += line;
            index = last;
            continue;
        }
        text += word_line(words[index]);
    }
    return text;
}

}  // namespace

std::string render_text(const NamedTopology& named, const PlanView& view) {
    const vorl_exchange::Topology& topology = named.topology;
    std::string text = title(view.request) + "\n";
    // Tarn is what a listing means when it says nothing; any other table is named.
    if (named.file) {
        text += "topology " + describe(named) + "\n";
    }
    for (const Lane& lane : lanes(topology, view)) {
        text += "\n" + lane_listing(lane);
    }
    text += "\ntiming\n";
    const vorl_exchange::PlanCheck check = check_plan(topology, view);
    for (const std::string& line : check_lines(view, check)) {
        text += "  " + line + "\n";
    }
    text += check.ok() ? "  check: ok\n" : "  check: MISMATCH " + check_problem(view, check) + "\n";
    return text;
}

std::string hex_word(std::uint32_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", word);
    return text;
}

std::string disassemble(std::uint32_t word) { return hex_word(word) + "  " + vorl_exchange::describe(word); }

std::string disassemble(const TimelineWord& entry) {
    const std::string_view role = to_string(entry.role);
    switch (entry.role) {
        case WordRole::Instruction: return disassemble(entry.decoded.word);
        case WordRole::Stray:
            return hex_word(entry.decoded.word) + "  " + std::string{role} + ": " +
                   vorl_exchange::describe(entry.decoded.word);
        case WordRole::Mark:
        case WordRole::Payload:
        case WordRole::Fill: break;
    }
    // Printed from the format `asm` reads it back with: a payload's fields, a fixed word's role.
    return hex_word(entry.decoded.word) + "  " + vorl_exchange::describe(*role_format(entry.role), entry.decoded.word);
}

}  // namespace vorl_plan
