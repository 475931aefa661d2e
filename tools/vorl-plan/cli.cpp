#include "cli.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "arguments.hpp"
#include "batch.hpp"
#include "hints.hpp"
#include "io.hpp"
#include "named_topology.hpp"
#include "plan_document.hpp"
#include "plan_view.hpp"
#include "render.hpp"
#include "topology_input.hpp"
#include "visible_text.hpp"
#include "vorl_exchange/diagnostics.hpp"
#include "vorl_exchange/version.hpp"
#include "word_input.hpp"
#include "word_text.hpp"

namespace vorl_plan {

namespace {

constexpr const char* exit_statuses =
    "Exit status: 0 done, 1 the plan failed, 2 wrong command line (or a malformed value read for it),\n"
    "3 check found a timing mismatch, 4 a file or standard stream could not be read or written.\n"
    "Diagnostics go to standard error; a failed plan or a usage error keeps its status even when\n"
    "standard output is closed or full.";

// Point-to-point refuses SENDER = RECEIVER; the receiver lists of the other two
// kinds may hold the sender, as the planners have always allowed.
void note_sender_among_receivers(CLI::App& app, ExchangeKind kind) {
    const char* note =
        kind == ExchangeKind::Multicast
            ? "The sender may be one of the receivers when at least one other tile is listed: it then gets a\n"
              "receiver row like any other receiver and takes its own words from the exchange at its own mux\n"
              "time. A list holding the sender alone is refused, as p2p refuses SENDER = RECEIVER: a\n"
              "point-to-point exchange moves words between two tiles, a multicast to every tile listed.\n"
        : kind == ExchangeKind::PairedMulticast
            ? "The sender may be one of the receivers, with its partner: a pair receives together, so a\n"
              "sender that is one tile of a pair is listed with its pair, and every send word then carries\n"
              "send control 7. p2p refuses SENDER = RECEIVER: a point-to-point exchange moves words between\n"
              "two tiles, a paired multicast to every pair listed.\n"
            : "";
    app.footer(note + app.get_footer());
}

// The text arguments of one planning subcommand, converted after parsing so that
// every bad value gets the same kind of reason.
struct PlanArguments {
    std::string sender;
    std::string receivers;
    std::string count;
    std::string offset = "0";
    std::string format = "text";
    std::string receivers_from;
};

// Standard input holds one stream: a second reader in the same run is refused by
// name, instead of reading whatever the first one left of it.
class StandardInput {
public:
    // `reader` names the use, e.g. "--topology -".
    void claim(std::string reader) {
        if (reader_) {
            throw UsageError{*reader_ + " and " + reader + " both read standard input; give one of them a file"};
        }
        reader_ = std::move(reader);
    }

private:
    std::optional<std::string> reader_;
};

struct Interface;

// One leaf subcommand: where CLI11 parses it, its usage line, what it does and
// which of its arguments, as given, read standard input (named as in messages).
struct Command {
    CLI::App* app = nullptr;
    std::string usage;
    std::function<int(Interface&, const NamedTopology&)> run;
    std::function<std::vector<std::string>(const Interface&)> standard_input_readers;
};

struct Interface {
    CLI::App app{
        "Plan, inspect and draw exchanges between tiles of the 1472-tile processor, or of a custom "
        "topology read from a file.",
        "vorl-plan"};
    bool verbose = false;
    std::optional<std::string> topology_file;
    PlanArguments plan;
    std::vector<std::string> words;
    std::string batch_input = "-";
    std::optional<std::string> check_document;  // `check FILE`
    std::string assembly_input = "-";           // `asm FILE`
    bool assembly_document = false;             // `asm --document`
    std::vector<Command> commands;
};

void add_verbose(CLI::App& app, bool& verbose) {
    app.add_flag("--verbose", verbose, "Print the library's diagnostic events to standard error, one per line");
}

std::string usage_prefix(const CLI::App& app) {
    std::string prefix;
    for (const CLI::App* at = &app; at != nullptr; at = at->get_parent()) {
        prefix.insert(0, at->get_name() + (prefix.empty() ? "" : " "));
    }
    return prefix;
}

CLI::App* add_exchange_arguments(Interface& cli, CLI::App& parent, ExchangeKind kind, const std::string& name,
                                 const std::string& description, std::string& usage) {
    CLI::App* app = parent.add_subcommand(name, description);
    const bool point_to_point = kind == ExchangeKind::PointToPoint;
    app->add_option("SENDER", cli.plan.sender, "Logical tile that sends (0..65535)")->required()->type_name("TILE");
    if (point_to_point) {
        app->add_option("RECEIVER", cli.plan.receivers, "Logical tile that receives (0..65535)")
            ->required()
            ->type_name("TILE");
        app->add_option("COUNT", cli.plan.count, "Number of words sent (0..4294967295; plans accept 1..4148)")
            ->required()
            ->type_name("N");
        usage = usage_prefix(*app) + " SENDER RECEIVER COUNT";
        return app;
    }
    CLI::Option* const receivers =
        app->add_option("RECEIVERS", cli.plan.receivers,
                        "Receiving tiles, comma separated, e.g. 2,1 (may be empty: \"\"), or @FILE to read them from "
                        "FILE (- for standard input), separated by commas, spaces or line breaks")
            ->required()
            ->type_name("LIST");
    CLI::Option* const count =
        app->add_option("COUNT", cli.plan.count, "Number of words sent (0..4294967295; plans accept 1..4148)")
            ->required()
            ->type_name("N");
    // With the list left out, the count lands in the place of RECEIVERS: both
    // places may then stay empty, and to_request names what is missing.
    app->add_option("--receivers-from", cli.plan.receivers_from,
                    "Read the receivers from FILE, as @FILE does; RECEIVERS is then left out")
        ->type_name("FILE")
        ->each([receivers, count](const std::string&) {
            receivers->required(false);
            count->required(false);
        });
    usage = usage_prefix(*app) + " SENDER {R1,R2,...|@FILE} COUNT";
    return app;
}

void add_offset(CLI::App& app, PlanArguments& plan, std::string& usage) {
    app.add_option("--offset", plan.offset, "Cycles to delay the exchange beyond its earliest start")->type_name("N");
    usage += " [--offset N]";
}

void add_topology(CLI::App& app, std::optional<std::string>& file, std::string& usage) {
    app.add_option_function<std::string>(
           "--topology", [&file](const std::string& name) { file = name; },
           "Plan on the table of physical identifiers in FILE (- for standard input), entry n for logical tile "
           "n: a JSON array, or one number a line; default the 1472-tile tarn")
        ->type_name("FILE");
    usage += " [--topology FILE]";
}

void add_format(CLI::App& app, PlanArguments& plan, std::vector<std::string> formats, std::string& usage) {
    std::string names;
    for (const std::string& format : formats) {
        names += (names.empty() ? "" : "|") + format;
    }
    app.add_option("--format", plan.format, "Output format (default text)")
        ->check(CLI::IsMember(std::move(formats)))
        ->type_name("FORMAT");
    usage += " [--format " + names + "]";
}

int show_plan(Interface& cli, const NamedTopology& topology, ExchangeKind kind);
int check_plan(Interface& cli, const NamedTopology& topology, ExchangeKind kind);
int check_document(Interface& cli, const NamedTopology& topology);
int show_offset_limit(Interface& cli, const NamedTopology& topology);
int disassemble_words(Interface& cli);
int assemble_words(Interface& cli);
int assemble_document(Interface& cli, const NamedTopology& topology, ExchangeKind kind);
int answer_batch(Interface& cli, const NamedTopology& topology);

void add_command(Interface& cli, CLI::App* app, std::string usage,
                 std::function<int(Interface&, const NamedTopology&)> run,
                 std::function<std::vector<std::string>(const Interface&)> standard_input_readers) {
    add_verbose(*app, cli.verbose);
    usage += " [--verbose]";
    app->footer("usage: " + usage);
    cli.commands.push_back({app, std::move(usage), std::move(run), std::move(standard_input_readers)});
}

// The receivers of a multicast or paired command, when they come from standard input.
std::vector<std::string> receivers_readers(const Interface& cli) {
    const PlanArguments& plan = cli.plan;
    if (plan.receivers_from == "-" || (plan.receivers_from.empty() && plan.receivers == "@-")) {
        return {"the receivers (@- or --receivers-from -)"};
    }
    return {};
}

std::vector<std::string> no_readers(const Interface& /*cli*/) { return {}; }

// Every subcommand is named here and nowhere else: the usage lines, the check
// for unknown names and the dispatch all read this tree.
void build(Interface& cli) {
    CLI::App& app = cli.app;
    app.require_subcommand(1);
    app.set_version_flag("--version", "vorl-plan " + std::string{vorl_exchange::version()},
                         "Print the version and exit");
    add_verbose(app, cli.verbose);
    app.footer(std::string{exit_statuses} +
               "\nA reader that closes early (| head -1) ends the run at once, without a message.\n"
               "Every subcommand but disasm plans on tarn, or with --topology FILE on the table of physical\n"
               "identifiers in FILE (entry n for logical tile n): a JSON array, or one number a line.\n"
               "Run 'vorl-plan SUBCOMMAND --help' for the arguments of each subcommand.\n"
               "Pipeline: vorl-plan p2p 0 2 1 --format json | vorl-plan disasm -");
    const struct {
        ExchangeKind kind;
        const char* name;
        const char* description;
    } planners[] = {
        {ExchangeKind::PointToPoint, "p2p", "Plan a point-to-point exchange and show its rows"},
        {ExchangeKind::Multicast, "multicast", "Plan a multicast exchange and show its rows"},
        {ExchangeKind::PairedMulticast, "paired",
         "Plan a paired multicast (receivers in whole pairs) and show its rows"},
    };
    for (const auto& planner : planners) {
        std::string usage;
        CLI::App* command = add_exchange_arguments(cli, app, planner.kind, planner.name, planner.description, usage);
        if (planner.kind == ExchangeKind::Multicast) {
            add_offset(*command, cli.plan, usage);
        }
        add_format(*command, cli.plan, {"text", "json", "svg"}, usage);
        add_topology(*command, cli.topology_file, usage);
        const ExchangeKind kind = planner.kind;
        add_command(
            cli, command, usage,
            [kind](Interface& in, const NamedTopology& topology) { return show_plan(in, topology, kind); },
            kind == ExchangeKind::PointToPoint ? no_readers : receivers_readers);
        note_sender_among_receivers(*command, kind);
    }

    std::string usage;
    CLI::App* limit = add_exchange_arguments(
        cli, app, ExchangeKind::Multicast, "offset-limit",
        "Print the largest --offset at which the multicast plans (every smaller one plans too)", usage);
    add_format(*limit, cli.plan, {"text", "json"}, usage);
    add_topology(*limit, cli.topology_file, usage);
    add_command(
        cli, limit, usage, [](Interface& in, const NamedTopology& topology) { return show_offset_limit(in, topology); },
        receivers_readers);

    CLI::App* disasm = app.add_subcommand("disasm", "Decode instruction words, one line per word");
    disasm
        ->add_option("WORD", cli.words,
                     "Hexadecimal word, with or without 0x; - reads words from standard input: hexadecimal "
                     "tokens, and JSON arrays of decimal words (rows as the JSON and batch output print them). "
                     "Each row read from JSON is listed under a line naming it, its mark and fill words named; "
                     "a JSON document without rows (a failed plan, an offset limit) is one line saying so")
        ->required()
        ->type_name("HEX|-");
    add_command(
        cli, disasm, "vorl-plan disasm {WORD...|-}",
        [](Interface& in, const NamedTopology&) { return disassemble_words(in); },
        [](const Interface& in) {
            return std::vector<std::string>(static_cast<std::size_t>(std::ranges::count(in.words, "-")), "WORD -");
        });
    disasm->footer(
        "Examples: vorl-plan disasm 41800003 0x641c0000\n"
        "          vorl-plan p2p 0 2 1 --format json | vorl-plan disasm -\n"
        "          vorl-plan batch requests.jsonl | vorl-plan disasm -   (batch answers as they are)\n" +
        disasm->get_footer());

    // asm reads what disasm prints; with --document the exchange named after it gets the rows read.
    CLI::App* assembler =
        app.add_subcommand("asm", "Assemble the text disasm prints back into words, or into a plan document");
    assembler->require_subcommand(0, 1);
    assembler->add_option("FILE", cli.assembly_input, "The text, one word a line as disasm prints it (default -)")
        ->type_name("FILE|-");
    assembler->add_flag("--document", cli.assembly_document,
                        "Write the plan document (as --format json writes it) of the exchange named after it, "
                        "with the rows read: p2p, multicast or paired and their arguments");
    for (const auto& planner : planners) {
        std::string document_usage;
        CLI::App* command = add_exchange_arguments(
            cli, *assembler, planner.kind, planner.name,
            std::string{"Write a "} + std::string{to_string(planner.kind)} + " plan document with the rows read",
            document_usage);
        // The text FILE may follow the request: a positional left over goes back to asm.
        command->fallthrough();
        document_usage.replace(0, std::string_view{"vorl-plan asm"}.size(), "vorl-plan asm [FILE|-] --document");
        if (planner.kind == ExchangeKind::Multicast) {
            add_offset(*command, cli.plan, document_usage);
        }
        add_topology(*command, cli.topology_file, document_usage);
        const ExchangeKind kind = planner.kind;
        add_command(
            cli, command, document_usage,
            [kind](Interface& in, const NamedTopology& topology) { return assemble_document(in, topology, kind); },
            [kind](const Interface& in) {
                auto readers = kind == ExchangeKind::PointToPoint ? no_readers(in) : receivers_readers(in);
                if (in.assembly_input == "-") {
                    readers.emplace_back("the text (asm -)");
                }
                return readers;
            });
    }
    // After its subcommands, which dispatch must find first.
    add_command(
        cli, assembler, "vorl-plan asm [FILE|-] [--document {p2p|multicast|paired} ...]",
        [](Interface& in, const NamedTopology&) { return assemble_words(in); },
        [](const Interface& in) {
            return in.assembly_input == "-" ? std::vector<std::string>{"the text (asm -)"} : std::vector<std::string>{};
        });
    assembler->footer(
        "Each line is what disasm prints: the hex column, which is not read (edit the fields, not the hex),\n"
        "then MNEMONIC name=value ... with every field of the word once (decimal or 0x hex), unknown\n"
        "0xHHHHHHHH, or a row's mark, fill or payload. A line \"line N: NAME\" starts a row; blank lines\n"
        "and # comments are skipped. Writes the words as disasm - reads them: a row as a JSON array, other\n"
        "words as hex. With --document, the rows in order (the sender's, then one per receiver; words\n"
        "without a row heading are taken nine a row) go into the plan document of the exchange named.\n"
        "Examples: vorl-plan p2p 0 2 5 --format json | vorl-plan disasm - > plan.txt\n"
        "          vorl-plan asm plan.txt --document p2p 0 2 5 | vorl-plan check -\n" +
        assembler->get_footer());

    CLI::App* batch =
        app.add_subcommand("batch", "Answer JSON request lines from FILE or standard input, one response line each");
    batch->add_option("FILE", cli.batch_input, "Request lines; - or nothing for standard input")->type_name("FILE");
    std::string batch_usage = "vorl-plan batch [FILE|-]";
    add_topology(*batch, cli.topology_file, batch_usage);
    add_command(
        cli, batch, batch_usage,
        [](Interface& in, const NamedTopology& topology) { return answer_batch(in, topology); },
        [](const Interface& in) {
            return in.batch_input == "-" ? std::vector<std::string>{"the batch requests"} : std::vector<std::string>{};
        });
    batch->footer(
        "Requests: {\"op\":\"point_to_point\",\"sender\":S,\"receiver\":R,\"count\":C},\n"
        "{\"op\":\"multicast\",\"sender\":S,\"receivers\":[...],\"count\":C,\"offset\":O} (offset 0 if left out),\n"
        "{\"op\":\"paired_multicast\",\"sender\":S,\"receivers\":[...],\"count\":C},\n"
        "{\"op\":\"multicast_offset_limit\",\"sender\":S,\"receivers\":[...],\"count\":C}.\n"
        "A field an op does not take, or one given twice, is refused.\n"
        "Answers: {\"ok\":...}, {\"err\":...,\"debug\":...} or {\"bad_request\":...}; exit status 0 at end of input.\n"
        "Lines refused in a FILE are also named on standard error as FILE:LINE: reason.\n" +
        batch->get_footer());

    CLI::App* check = app.add_subcommand(
        "check",
        "Check that a plan's rows are exactly the plan for its request, word by word and field by field "
        "(exit 3 on a mismatch): plan it here, or read a plan document");
    check->require_subcommand(0, 1);
    check
        ->add_option_function<std::string>(
            "FILE", [&cli](const std::string& name) { cli.check_document = name; },
            "A plan document as --format json writes it (- for standard input): its rows are checked against "
            "the exchange it names")
        ->type_name("FILE|-");
    std::string document_usage = "vorl-plan check {p2p|multicast|paired} ... | vorl-plan check {FILE|-}";
    add_topology(*check, cli.topology_file, document_usage);
    add_format(*check, cli.plan, {"text", "json"}, document_usage);
    for (const auto& planner : planners) {
        std::string check_usage;
        CLI::App* command = add_exchange_arguments(
            cli, *check, planner.kind, planner.name,
            std::string{"Check a "} + std::string{to_string(planner.kind)} + " plan", check_usage);
        if (planner.kind == ExchangeKind::Multicast) {
            add_offset(*command, cli.plan, check_usage);
        }
        add_topology(*command, cli.topology_file, check_usage);
        add_format(*command, cli.plan, {"text", "json"}, check_usage);
        const ExchangeKind kind = planner.kind;
        add_command(
            cli, command, check_usage,
            [kind](Interface& in, const NamedTopology& topology) { return check_plan(in, topology, kind); },
            kind == ExchangeKind::PointToPoint ? no_readers : receivers_readers);
        note_sender_among_receivers(*command, kind);
    }
    // After its subcommands, which dispatch must find first.
    add_command(cli, check, document_usage, check_document, [](const Interface& in) {
        return in.check_document == "-" ? std::vector<std::string>{"the plan document (check -)"}
                                        : std::vector<std::string>{};
    });
    check->footer(
        "Every word of every row is laid out again from the route timing and the row formats and\n"
        "compared field by field (docs/cli.md lists the facts): one line per fact, then ok, or the\n"
        "first mismatch on standard error. A plan document's request fields (exchange, sender,\n"
        "receivers, count, offset, 0 when left out) name the plan its rows must be; its other\n"
        "members, when present, must be what vorl-plan writes for those rows. A plan document made\n"
        "on a --topology table is checked with --topology naming that table again.\n" +
        check->get_footer());
}

// The subcommand path the arguments name ("check multicast"), as far as it is known.
std::vector<const CLI::App*> named_path(const Interface& cli, const std::vector<std::string>& arguments) {
    std::vector<const CLI::App*> path{&cli.app};
    for (const std::string& argument : arguments) {
        if (argument.starts_with("-")) {
            continue;
        }
        const auto children = path.back()->get_subcommands([](const CLI::App*) { return true; });
        const auto child =
            std::ranges::find_if(children, [&](const CLI::App* app) { return app->get_name() == argument; });
        if (child == children.end()) {
            break;
        }
        path.push_back(*child);
    }
    return path;
}

std::string names_of(const CLI::App& app, std::string_view separator) {
    const auto children = app.get_subcommands([](const CLI::App*) { return true; });
    std::string names;
    for (std::size_t index = 0; index < children.size(); ++index) {
        names += std::string{index == 0                     ? ""
                             : index + 1 == children.size() ? separator
                                                            : "|"} +
                 children[index]->get_name();
    }
    return names;
}

std::string usage_of(const Interface& cli, const std::vector<std::string>& arguments) {
    const CLI::App* named = named_path(cli, arguments).back();
    for (const Command& command : cli.commands) {
        if (command.app == named) {
            return command.usage;
        }
    }
    return usage_prefix(*named) + (named == &cli.app ? " [--verbose]" : "") + " {" + names_of(*named, "|") + "} ...";
}

// CLI11 would report a misspelt subcommand as a missing one; name it instead.
void reject_unknown_subcommands(const Interface& cli, const std::vector<std::string>& arguments) {
    const auto path = named_path(cli, arguments);
    const bool takes_positionals =
        !path.back()->get_options([](const CLI::Option* option) { return option->get_positional(); }).empty();
    if (!takes_positionals && !path.back()->get_subcommands([](const CLI::App*) { return true; }).empty()) {
        // The path stopped at a command that takes a subcommand: the next word is not one.
        std::size_t words = 0;
        for (const std::string& argument : arguments) {
            if (argument.starts_with("-")) {
                continue;
            }
            if (++words == path.size()) {
                throw UsageError{path.size() == 1 ? "unknown subcommand \"" + argument + "\""
                                                  : path.back()->get_name() + " takes " +
                                                        names_of(*path.back(), " or ") + ", not \"" + argument + "\""};
            }
        }
    }
}

int usage_error(const Interface& cli, const std::string& reason, const std::vector<std::string>& arguments) {
    std::cerr << "vorl-plan: " << visible(reason) << "\nusage: " << usage_of(cli, arguments) << "\n";
    return exit_usage;
}

// CLI11 takes "-1" for an option; before it does, a negative value is refused
// under the name of the argument it was given for: the option it follows, or
// the positional it fills ("COUNT").
void reject_negative_values(const Interface& cli, const std::vector<std::string>& arguments) {
    const auto path = named_path(cli, arguments);
    const CLI::App& command = *path.back();
    std::vector<std::string> positionals;
    for (const CLI::Option* option : command.get_options([](const CLI::Option* o) { return o->get_positional(); })) {
        positionals.push_back(option->get_name());
    }
    // With --receivers-from the count moves up into the place of RECEIVERS.
    if (std::ranges::any_of(arguments, [](const std::string& a) { return a.starts_with("--receivers-from"); })) {
        std::erase(positionals, "RECEIVERS");
    }
    std::size_t subcommands = path.size() - 1;
    std::size_t filled = 0;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& argument = arguments[at];
        std::string name;
        std::string value = argument;
        if (argument.starts_with("-") && !looks_negative(argument)) {
            const std::size_t equals = argument.find('=');
            const CLI::Option* option = command.get_option_no_throw(argument.substr(0, equals));
            if (equals != std::string::npos) {
                name = argument.substr(0, equals);
                value = argument.substr(equals + 1);
            } else if (option != nullptr && option->get_items_expected_max() > 0 && at + 1 < arguments.size()) {
                name = argument;
                value = arguments[++at];
            } else {
                continue;
            }
        } else if (subcommands > 0) {
            --subcommands;
            continue;
        } else {
            name = positionals.empty() ? "an argument" : positionals[std::min(filled, positionals.size() - 1)];
            ++filled;
        }
        if (looks_negative(value)) {
            std::string why = name;
            why.append(" \"").append(value).append("\" is negative; tiles, counts, offsets and words are unsigned");
            throw UsageError{why};
        }
    }
}

std::vector<std::uint16_t> receivers_from_file(const std::string& name) {
    InputFile file{name};
    return parse_tile_text(read_all(file), file.name());
}

// The table is read and validated in full before anything is planned.
NamedTopology read_topology(const std::string& name) {
    if (name.empty()) {
        throw UsageError{"--topology needs a FILE name, or - for standard input"};
    }
    const auto table = [&] {
        try {
            InputFile file{name};
            return parse_topology_text(read_topology_text(file), file.name());
        } catch (const InputError& error) {
            throw InputError{"--topology: " + std::string{error.what()}};
        }
    }();
    const std::string source = name == "-" ? "standard input" : name;
    auto topology = vorl_exchange::Topology::from_table(table);
    if (!topology) {
        throw UsageError{"--topology " + source + ": " + std::string{topology.error().display().view()}};
    }
    return {std::move(*topology), name};
}

PlanRequest to_request(const PlanArguments& given, ExchangeKind kind) {
    PlanArguments arguments = given;
    if (!arguments.receivers_from.empty()) {
        if (!arguments.count.empty()) {
            throw UsageError{"give the receivers as RECEIVERS or with --receivers-from, not both"};
        }
        arguments.count = std::exchange(arguments.receivers, "@" + arguments.receivers_from);
    }
    if (arguments.count.empty()) {
        throw UsageError{"COUNT is required"};
    }
    PlanRequest request;
    request.kind = kind;
    request.sender = parse_tile(arguments.sender, "SENDER");
    if (kind == ExchangeKind::PointToPoint) {
        request.receivers = {parse_tile(arguments.receivers, "RECEIVER")};
    } else if (arguments.receivers.starts_with("@")) {
        request.receivers = receivers_from_file(arguments.receivers.substr(1));
    } else {
        request.receivers = parse_tile_list(arguments.receivers, "RECEIVERS");
    }
    request.count = parse_u32(arguments.count, "COUNT");
    request.offset = parse_u32(arguments.offset, "--offset");
    return request;
}

// The fixed text and the hints on standard error; with --format json the caller
// also writes the failure document on standard output, so that a script always
// has JSON to read.
std::vector<std::string> report_failure(const NamedTopology& topology, const PlanRequest& request,
                                        const vorl_exchange::ExchangeError& error) {
    std::vector<std::string> lines = hints(topology.topology, request, error);
    std::cerr << error.display().view() << "\n";
    for (const std::string& line : lines) {
        std::cerr << line << "\n";
    }
    return lines;
}

int show_plan(Interface& cli, const NamedTopology& topology, ExchangeKind kind) {
    const PlanRequest request = to_request(cli.plan, kind);
    const auto view = make_plan(topology.topology, request);
    if (!view) {
        const auto lines = report_failure(topology, request, view.error());
        if (cli.plan.format == "json") {
            std::cout << render_json_failure(topology, request, view.error(), lines);
        }
        return exit_failed;
    }
    if (cli.plan.format == "json") {
        std::cout << render_json(topology, *view);
    } else if (cli.plan.format == "svg") {
        std::cout << render_svg(topology, *view);
    } else {
        std::cout << render_text(topology, *view);
    }
    return exit_ok;
}

int show_offset_limit(Interface& cli, const NamedTopology& topology) {
    const PlanRequest request = to_request(cli.plan, ExchangeKind::Multicast);
    const auto limit = topology.topology.multicast_offset_limit(request.sender, request.receivers, request.count);
    if (!limit) {
        const auto lines = report_failure(topology, request, limit.error());
        if (cli.plan.format == "json") {
            std::cout << render_json_offset_limit_failure(topology, request, limit.error(), lines);
        }
        return exit_failed;
    }
    if (cli.plan.format == "json") {
        std::cout << render_json_offset_limit(topology, request, *limit);
    } else {
        std::cout << *limit << "\n";
    }
    return exit_ok;
}

// What `check` prints: the facts on standard output, as text or JSON, and the
// first mismatch on standard error.
int report_check(const Interface& cli, const NamedTopology& topology, const PlanView& view,
                 const vorl_exchange::PlanCheck& check) {
    if (cli.plan.format == "json") {
        std::cout << render_json_check(topology, view, check);
    } else {
        for (const std::string& line : check_lines(view, check)) {
            std::cout << line << "\n";
        }
        if (check.ok()) {
            std::cout << "ok\n";
        }
    }
    if (!check.ok()) {
        std::cerr << "timing mismatch: " << check_problem(view, check) << "\n";
        return exit_mismatch;
    }
    return exit_ok;
}

int check_plan(Interface& cli, const NamedTopology& topology, ExchangeKind kind) {
    if (cli.check_document) {
        throw UsageError{"check takes a plan document FILE or a subcommand, not both"};
    }
    const PlanRequest request = to_request(cli.plan, kind);
    const auto view = make_plan(topology.topology, request);
    if (!view) {
        report_failure(topology, request, view.error());
        return exit_failed;
    }
    return report_check(cli, topology, *view, check_plan(topology.topology, *view));
}

// A plan document names its exchange and its topology; a table read with
// --topology cannot be found again from the name a document gives it (it may
// have been standard input), so it must be given again.
int check_document(Interface& cli, const NamedTopology& topology) {
    if (!cli.check_document) {
        throw UsageError{"check needs a plan document FILE (- for standard input), or p2p, multicast or paired"};
    }
    InputFile file{*cli.check_document};
    const DocumentCheck checked = check_plan_document(read_all(file), file.name(), topology);
    const PlanDocument& document = checked.document;
    if (document.failure) {
        std::cerr << "vorl-plan: " << file.name()
                  << " holds a failed plan, with no rows to check: " << *document.failure << "\n";
        return exit_failed;
    }
    if (document.view.request.kind == ExchangeKind::Multicast && !document.offset_given) {
        std::cerr << "vorl-plan: " << file.name() << " has no \"offset\": checked as a multicast at offset 0\n";
    }
    if (document.format_version != json_format_version) {
        std::cerr << "vorl-plan: " << file.name() << " is of format_version " << document.format_version
                  << ", whose \"timing\" had another form: the rows are checked, its \"timing\" is not compared\n";
    }
    const int status = report_check(cli, topology, document.view, checked.check);
    if (status != exit_ok) {
        return status;
    }
    // The rows are right; what the document says it derived from them must be too.
    if (checked.difference) {
        std::cerr << "document mismatch: " << *checked.difference << "\n";
        return exit_mismatch;
    }
    return exit_ok;
}

int disassemble_words(Interface& cli) {
    std::vector<WordGroup> groups;
    for (const std::string& word : cli.words) {
        if (word == "-") {
            InputFile input{"-"};
            auto read = parse_word_text(read_all(input), input.name());
            std::ranges::move(read, std::back_inserter(groups));
        } else {
            // All are read before any is printed.
            groups.push_back({WordGroup::Kind::Words, "", {parse_word(word, "WORD")}});
        }
    }
    for (const WordGroup& group : groups) {
        if (group.kind != WordGroup::Kind::Words) {
            std::cout << group.heading << "\n";
        }
        // A whole row is read as a row, so that its mark and fill words are named.
        if (group.kind == WordGroup::Kind::Row && group.words.size() == vorl_exchange::row_length) {
            vorl_exchange::Row row{};
            std::ranges::copy(group.words, row.begin());
            for (const TimelineWord& entry : read_timeline(row).words) {
                std::cout << disassemble(entry) << "\n";
            }
            continue;
        }
        for (const std::uint32_t value : group.words) {
            std::cout << disassemble(value) << "\n";
        }
    }
    return exit_ok;
}

// The text asm reads, and its name in messages.
struct Assembly {
    std::vector<TextGroup> groups;
    std::string source;
};

Assembly read_assembly(const Interface& cli) {
    InputFile input{cli.assembly_input};
    return {assemble_text(read_all(input), input.name()), input.name()};
}

int assemble_words(Interface& cli) {
    if (cli.assembly_document) {
        throw UsageError{
            "--document needs the exchange its rows belong to: p2p, multicast or paired, and its "
            "arguments"};
    }
    std::cout << word_listing(read_assembly(cli).groups);
    return exit_ok;
}

// The request comes from the command line, as for a plan; the rows from the text.
int assemble_document(Interface& cli, const NamedTopology& topology, ExchangeKind kind) {
    if (!cli.assembly_document) {
        throw UsageError{"asm writes a plan document only when asked: put --document before the exchange"};
    }
    const PlanRequest request = to_request(cli.plan, kind);
    const Assembly assembly = read_assembly(cli);
    const auto rows = plan_rows(assembly.groups, request, assembly.source);
    const PlanView view{request, rows.front(), {std::next(rows.begin()), rows.end()}};
    std::cout << render_json(topology, view);
    return exit_ok;
}

// The answers do not name the topology: they keep the one format of the golden
// files, and the caller chose the topology for the whole run.
int answer_batch(Interface& cli, const NamedTopology& topology) {
    InputFile input{cli.batch_input};
    std::istream in{&input.reader()};
    if (cli.batch_input == "-") {
        run_batch(topology.topology, in, std::cout);
    } else {
        run_batch(topology.topology, in, std::cout, {input.name(), std::cerr});
    }
    input.check_read();
    return exit_ok;
}

int dispatch(Interface& cli) {
    if (cli.verbose) {
        vorl_exchange::set_event_sink(
            [](const vorl_exchange::Event& event) { std::cerr << vorl_exchange::render(event) << "\n"; });
    }
    for (Command& command : cli.commands) {
        if (command.app->parsed()) {
            // Every reader of standard input is known before any of them reads,
            // so that two of them are refused whatever the input holds.
            StandardInput standard_input;
            if (cli.topology_file == "-") {
                standard_input.claim("--topology -");
            }
            for (std::string& reader : command.standard_input_readers(cli)) {
                standard_input.claim(std::move(reader));
            }
            const NamedTopology topology = cli.topology_file ? read_topology(*cli.topology_file) : tarn_topology();
            return command.run(cli, topology);
        }
    }
    throw UsageError{"a subcommand is required"};
}

int parse_and_dispatch(Interface& cli, int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        reject_unknown_subcommands(cli, arguments);
        reject_negative_values(cli, arguments);
        cli.app.parse(argc, argv);
        return dispatch(cli);
    } catch (const CLI::CallForHelp& help) {
        return cli.app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return cli.app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return cli.app.exit(version);
    } catch (const CLI::ExtrasError& error) {
        // `check pairde 0 2,3 1`: the misspelt subcommand was taken for a FILE.
        return usage_error(cli,
                           cli.check_document ? "\"" + *cli.check_document +
                                                    "\" is not p2p, multicast or paired, and a plan document "
                                                    "FILE comes alone"
                                              : std::string{error.what()},
                           arguments);
    } catch (const CLI::ParseError& error) {
        return usage_error(cli, error.what(), arguments);
    } catch (const UsageError& error) {
        return usage_error(cli, error.what(), arguments);
    } catch (const InputError& error) {
        std::cerr << "vorl-plan: " << visible(error.what()) << "\n";
        return exit_io;
    }
}

// Standard output goes through a writer that remembers a failed write, so that
// a full disk or a closed output is reported instead of passed over. The buffer
// is restored before the writer goes away.
class CheckedStandardOutput {
public:
    CheckedStandardOutput() : previous_{std::cout.rdbuf(&writer_)} {}
    CheckedStandardOutput(const CheckedStandardOutput&) = delete;
    CheckedStandardOutput& operator=(const CheckedStandardOutput&) = delete;
    ~CheckedStandardOutput() { std::cout.rdbuf(previous_); }

    // 0 if every byte reached standard output, else the errno of the failure.
    int finish() {
        std::cout.flush();
        if (writer_.error() != 0) {
            return writer_.error();
        }
        // A file system may report a failed write only when the file is closed.
        return ::close(STDOUT_FILENO) == 0 || errno == EINTR ? 0 : errno;
    }

private:
    FdWriter writer_{STDOUT_FILENO};
    std::streambuf* previous_;
};

// A closed standard output keeps its descriptor taken, by /dev/null opened for
// reading only, so that no file the run opens lands on it, and every write to
// it fails as a write to the closed descriptor would (EBADF).
void hold_closed_standard_output() {
    if (::fcntl(STDOUT_FILENO, F_GETFD) != -1 || errno != EBADF) {
        return;
    }
    const int fd = ::open("/dev/null", O_RDONLY);
    if (fd >= 0 && fd != STDOUT_FILENO) {
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
}

}  // namespace

int run(int argc, char** argv) {
    hold_closed_standard_output();
    int status = exit_ok;
    int write_error = 0;
    {
        CheckedStandardOutput output;
        Interface cli;
        build(cli);
        status = parse_and_dispatch(cli, argc, argv);
        write_error = output.finish();
    }
    if (write_error != 0) {
        std::cerr << "vorl-plan: cannot write standard output: " << std::strerror(write_error) << "\n";
    }
    // A failure the run found itself (a usage error, a failed plan, a mismatch)
    // keeps its own status; output that could not be written fails a run that
    // would otherwise have succeeded.
    return status == exit_ok && write_error != 0 ? exit_io : status;
}

}  // namespace vorl_plan
