// `vorl-plan asm`: the text disasm prints read back. Known words from their
// layouts, every field of every family at its edges, a million random words,
// malformed lines, and a whole plan edited as text and checked by the built tool.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "arguments.hpp"
#include "render.hpp"
#include "word_text.hpp"

namespace {

using namespace vorl_plan;
using vorl_exchange::TextField;
using vorl_exchange::WordFormat;

// A word as `disasm` prints it where it stands in a row under `role`.
std::string printed(std::uint32_t word, WordRole role) {
    TimelineWord entry;
    entry.role = role;
    entry.decoded = vorl_exchange::decode(word);
    return disassemble(entry);
}

std::uint32_t assembled(const std::string& line) { return assemble_line(line, "test line 1"); }

// Words worked out from the bit layouts by hand, and lines as a person may type them.
TEST(WordText, KnownLinesAssembleToTheirWords) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"open", 0x41800003},
        {"close", 0x43a00000},
        {"send count=1 base_word=0 control=1", 0x78000001},
        {"send count=64 base_word=0 control=2", 0x7fe00002},
        {"send count=64 base_word=262143 control=7", 0x7fffffff},
        {"send control=7 count=64 base_word=0x3ffff", 0x7fffffff},  // any order, hex values
        {"send-off count=4084 base_word=0 control=1", 0x766fc001},
        {"send-off count=4096 base_word=2047 control=7", 0x77efffff},
        {"send-control operand=0", 0x70100000},
        {"send-control operand=67108863", 0x77ffffff},
        {"sendpicp count=64 source_word_address=262143 control=7 pointer_selector=1", 0xffffffff},
        {"sendpicp count=1 source_word_address=0 control=0 pointer_selector=0", 0xf0000000},
        {"delay advance_cycles=1", 0x40a00000},
        {"delay advance_cycles=524288", 0x40a7ffff},
        {"pic-delay advance_cycles=52 flag=0 control=0", 0x61980000},
        {"pic-delay advance_cycles=128 flag=1 control=262143", 0x63ffffff},
        {"xpic-delay advance_cycles=113 flag=0 control=0", 0x641c0000},
        {"xpic-delay advance_cycles=51 flag=0 control=1600", 0x640c8640},
        {"xpic-delay advance_cycles=4096 flag=0 control=1600", 0x67ffc640},
        {"unknown 0xdeadbeef", 0xdeadbeef},
        {"0x00000000  unknown 0x00000000", 0},
        {"0x00000001  mark", 1},
        {"0x00000000  fill", 0},
        {"0xd556a5a5  payload xpic_bits=13653 pic_bits=173477", 0xd556a5a5},
        {"0x41800003  stray: open", 0x41800003},
        // The hex column is what disasm printed before a field was edited: the fields win.
        {"0x78800001  send count=5 base_word=0 control=2", 0x78800002},
        {"\tsend  count=5\tbase_word=0 control=1 ", 0x78800001},
    };
    for (const auto& [line, word] : cases) {
        EXPECT_EQ(assembled(line), word) << line;
    }
}

// Every field of every format at 0 or 1 (its smallest), the next, the largest but
// one and the largest, the other fields at their smallest: asm of disasm is the word.
TEST(WordText, EveryFieldAtItsEdgesComesBack) {
    std::vector<std::pair<const WordFormat*, WordRole>> formats;
    for (const WordFormat& format : vorl_exchange::word_formats) {
        formats.emplace_back(&format, WordRole::Instruction);
    }
    for (const WordRole role : {WordRole::Mark, WordRole::Fill, WordRole::Payload}) {
        formats.emplace_back(role_format(role), role);
    }
    std::size_t words = 0;
    for (const auto& [format, role] : formats) {
        std::uint32_t base = format->opcode.value;
        for (const TextField& field : format->fields()) {
            base |= field.place(field.smallest());
        }
        ASSERT_EQ(assembled(printed(base, role)), base) << format->mnemonic;
        for (const TextField& field : format->fields()) {
            for (const std::uint32_t value :
                 {field.smallest(), field.smallest() + 1, field.largest() - 1, field.largest()}) {
                const std::uint32_t word = (base & ~field.mask()) | field.place(value);
                ASSERT_EQ(field.read(word), value) << format->mnemonic << " " << field.name;
                const std::string line = printed(word, role);
                ASSERT_NE(line.find(std::string{field.name} + "=" + std::to_string(value)), std::string::npos) << line;
                ASSERT_EQ(assembled(line), word) << line;
                ++words;
            }
        }
    }
    EXPECT_EQ(words, 4u * 20u);  // 18 fields of the families, 2 of the payload
}

TEST(WordText, AMillionRandomWordsComeBack) {
    std::mt19937 random{20261210};
    for (int count = 0; count < 1'000'000; ++count) {
        const auto word = static_cast<std::uint32_t>(random());
        const std::string line = disassemble(word);
        ASSERT_EQ(assembled(line), word) << line;
    }
    // Out of place in a row, and as the second word of a SENDPICP pair.
    for (int count = 0; count < 10'000; ++count) {
        const auto word = static_cast<std::uint32_t>(random());
        ASSERT_EQ(assembled(printed(word, WordRole::Stray)), word);
        ASSERT_EQ(assembled(printed(word, WordRole::Payload)), word);
    }
}

// Two good lines, then the bad one: the message names line 3 and what is wrong.
TEST(WordText, MalformedLinesAreRefusedByLineAndField) {
    const std::pair<const char*, const char*> cases[] = {
        {"sned count=1", "line 3: \"sned\" is not a mnemonic"},
        {"0x78000001", "line 3: no mnemonic"},
        {"send count=1 base_word=0", "line 3: send needs control="},
        {"send count=1 base_word=0 control=1 flag=0", "line 3: send has no field flag"},
        {"send count=1 base_word=0 control=1 control=1", "line 3: control is given twice"},
        {"send count=0 base_word=0 control=1", "line 3: count=0 is out of range 1..64"},
        {"send count=65 base_word=0 control=1", "line 3: count=65 is out of range 1..64"},
        {"send-off count=4097 base_word=0 control=1", "line 3: count=4097 is out of range 1..4096"},
        {"delay advance_cycles=0", "line 3: advance_cycles=0 is out of range 1..524288"},
        {"xpic-delay advance_cycles=1 flag=2 control=0", "line 3: flag=2 is out of range 0..1"},
        {"pic-delay advance_cycles=1 flag=0 control=262144", "line 3: control=262144 is out of range 0..262143"},
        {"send count=-1 base_word=0 control=1", "line 3: count=-1 is not a number 1..64"},
        {"send count=4294967296 base_word=0 control=1", "line 3: count=4294967296 is not a number"},
        {"send count base_word=0 control=1", "line 3: count has no value"},
        {"open count=1", "line 3: open has no field count (its fields: none)"},
        {"0xg0000000  open", "line 3: the word column 0xg0000000"},
        {"unknown 0x41800003", "line 3: unknown word 0x41800003 is not unknown: it reads \"open\""},
        {"unknown", "line 3: unknown takes one word"},
        {"unknown 12", "line 3: unknown word 12 is not 0x"},
    };
    for (const auto& [line, message] : cases) {
        try {
            (void)assemble_text(std::string{"open\n\n"} + line + "\n", "plan.txt");
            ADD_FAILURE() << "accepted: " << line;
        } catch (const UsageError& error) {
            EXPECT_NE(std::string{error.what()}.find(std::string{"plan.txt "} + message), std::string::npos)
                << error.what();
        }
    }
}

TEST(WordText, HeadingsStartRowsAndCommentsAreSkipped) {
    const auto groups = assemble_text(
        "# a loose word first\n0x43a00000  close\nline 1: sender 0\nopen  # the row starts\n\nclose\n"
        "line 7: no rows (err: count 0 is outside 1..4148)\n",
        "-");
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].heading, "");
    EXPECT_EQ(groups[0].words, std::vector<std::uint32_t>{0x43a00000});
    EXPECT_EQ(groups[1].heading, "sender 0");
    EXPECT_EQ(groups[1].line, 3u);
    EXPECT_EQ(groups[1].words, (std::vector<std::uint32_t>{0x41800003, 0x43a00000}));
    EXPECT_TRUE(groups[2].words.empty());
    // As `disasm -` reads them back: the row as a JSON array, the loose word as hex.
    EXPECT_EQ(word_listing(groups), "0x43a00000\n[1098907651,1134559232]\n");
}

TEST(WordText, PlanRowsAreWholeRowsInTheNumberAndOrderThePlanHas) {
    const std::string row = "open\nclose\nfill\nfill\nfill\nfill\nfill\nfill\nfill\n";
    const PlanRequest request{ExchangeKind::Multicast, 0, {2, 1}, 1, 0};
    EXPECT_EQ(plan_rows(assemble_text(row + row + row, "t"), request, "t").size(), 3u);  // no headings: nine a row
    EXPECT_EQ(plan_rows(assemble_text("line 1: sender 0\n" + row + "line 1: receiver 2\n" + row +
                                          "line 1: ok.receivers[1]\n" + row,
                                      "t"),
                        request, "t")
                  .size(),
              3u);
    const std::pair<std::string, const char*> refused[] = {
        {"line 1: sender 0\n" + row + "fill\n", "t line 1: the row \"sender 0\" holds 10 words, not 9"},
        {row + "fill\n", "t line 1: the 10 words from here are not rows of 9"},
        {row + row, "t holds 2 rows; the plan has 3"},
        {row + "line 1: receiver 1\n" + row + "line 1: receiver 2\n" + row,
         "t line 10: the row of receiver 1 stands where the exchange named has the row of receiver 2"},
    };
    for (const auto& [text, message] : refused) {
        try {
            (void)plan_rows(assemble_text(text, "t"), request, "t");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const UsageError& error) {
            EXPECT_NE(std::string{error.what()}.find(message), std::string::npos) << error.what();
        }
    }
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built `vorl-plan <arguments>` with `input` on standard input.
Outcome run(const std::string& arguments, const std::string& input = "") {
    static int serial = 0;
    const auto directory = std::filesystem::path{::testing::TempDir()} /
                           ("vorl-plan-asm-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    std::filesystem::create_directories(directory);
    std::ofstream{directory / "in", std::ios::binary} << input;
    const std::string command = std::string{"'"} + VORL_PLAN_EXE + "' " + arguments + " <'" +
                                (directory / "in").string() + "' >'" + (directory / "out").string() + "' 2>'" +
                                (directory / "err").string() + "'";
    const int raw = std::system(command.c_str());
    const auto slurp = [&](const char* name) {
        std::ostringstream text;
        text << std::ifstream{directory / name, std::ios::binary}.rdbuf();
        return text.str();
    };
    Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp("out"), slurp("err")};
    std::filesystem::remove_all(directory);
    return outcome;
}

// plan | disasm | asm --document | check: the document is the planner's own, and
// one field edited as text makes check refuse it.
TEST(WordTextCli, APlanEditedAsTextIsCheckedAgain) {
    const char* requests[] = {"p2p 0 2 5", "multicast 0 2,1,5 100 --offset 3", "paired 0 2,3 100"};
    for (const std::string request : requests) {
        const Outcome plan = run(request + " --format json");
        const Outcome text = run("disasm -", plan.out);
        ASSERT_EQ(text.status, 0) << text.err;
        const Outcome document = run("asm - --document " + request, text.out);
        ASSERT_EQ(document.status, 0) << document.err;
        EXPECT_EQ(document.out, plan.out) << request;
        EXPECT_EQ(run("check -", document.out).status, 0) << request;
    }
    const Outcome text = run("disasm -", run("p2p 0 2 5 --format json").out);
    std::string edited = text.out;
    const std::string field = "xpic-delay advance_cycles=113";
    ASSERT_NE(edited.find(field), std::string::npos) << edited;
    edited.replace(edited.find(field), field.size(), "xpic-delay advance_cycles=114");
    const Outcome document = run("asm --document p2p 0 2 5", edited);
    ASSERT_EQ(document.status, 0) << document.err;
    const Outcome check = run("check -", document.out);
    EXPECT_EQ(check.status, 3);
    EXPECT_NE(check.err.find("advance field 113, expected 112 = send start 143"), std::string::npos) << check.err;
}

TEST(WordTextCli, WordsComeOutAsDisasmReadsThem) {
    const Outcome words = run("asm", "0x41800003  open\nxpic-delay advance_cycles=113 flag=0 control=0\n");
    EXPECT_EQ(words.status, 0);
    EXPECT_EQ(words.out, "0x41800003\n0x641c0000\n");
    EXPECT_EQ(run("disasm -", words.out).out,
              "0x41800003  open\n0x641c0000  xpic-delay advance_cycles=113 flag=0 control=0\n");
}

TEST(WordTextCli, MalformedTextAndMisusedOptionsExitTwo) {
    const std::pair<std::string, std::string> cases[] = {
        {"asm", "standard input line 2: send needs control="},
        {"asm --document", "--document needs the exchange"},
        {"asm p2p 0 2 5", "put --document before the exchange"},
        {"asm --document p2p 0 2 5", "standard input line 2: send needs control="},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome outcome = run(arguments, "open\nsend count=1 base_word=0\n");
        EXPECT_EQ(outcome.status, 2) << arguments;
        EXPECT_NE(outcome.err.find(message), std::string::npos) << arguments << ": " << outcome.err;
    }
}

}  // namespace
