#include "cli.hpp"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "arguments.hpp"
#include "batch.hpp"
#include "plan_view.hpp"
#include "render.hpp"
#include "timing_check.hpp"
#include "vorl_exchange/diagnostics.hpp"
#include "vorl_exchange/version.hpp"

namespace vorl_plan {

namespace {

constexpr const char* format_usage = " [--format text|json|svg] [--verbose]";

// The text arguments of one planning subcommand, converted after parsing so that
// every bad value gets the same kind of reason.
struct PlanArguments {
    std::string sender;
    std::string receivers;
    std::string count;
    std::string offset = "0";
    std::string format = "text";
};

struct Command {
    CLI::App* app = nullptr;
    ExchangeKind kind = ExchangeKind::PointToPoint;
    std::string usage;
};

struct Interface {
    CLI::App app{"Plan, inspect and draw exchanges between tiles of the 1472-tile processor.", "vorl-plan"};
    bool verbose = false;
    PlanArguments plan;
    std::vector<std::string> words;
    std::vector<Command> planners;  // p2p, multicast, paired
    std::vector<Command> checks;    // check p2p, check multicast
    CLI::App* disasm = nullptr;
    CLI::App* batch = nullptr;
    CLI::App* check = nullptr;
};

void add_verbose(CLI::App& app, bool& verbose) {
    app.add_flag("--verbose", verbose, "Print the library's diagnostic events to standard error, one per line");
}

Command add_planner(Interface& cli, CLI::App& parent, ExchangeKind kind, const std::string& name,
                    const std::string& description, bool with_format) {
    CLI::App* app = parent.add_subcommand(name, description);
    const bool point_to_point = kind == ExchangeKind::PointToPoint;
    app->add_option("SENDER", cli.plan.sender, "Logical tile that sends (0..65535)")->required()->type_name("TILE");
    app->add_option(point_to_point ? "RECEIVER" : "RECEIVERS", cli.plan.receivers,
                    point_to_point ? "Logical tile that receives (0..65535)"
                                   : "Receiving tiles, comma separated, e.g. 2,1 (may be empty: \"\")")
        ->required()
        ->type_name(point_to_point ? "TILE" : "LIST");
    app->add_option("COUNT", cli.plan.count, "Number of words sent (0..4294967295; plans accept 1..4148)")
        ->required()
        ->type_name("N");
    std::string usage = "vorl-plan " + std::string{&parent == &cli.app ? "" : "check "} + name + " SENDER " +
                        (point_to_point ? "RECEIVER" : "R1,R2,...") + " COUNT";
    if (kind == ExchangeKind::Multicast) {
        app->add_option("--offset", cli.plan.offset, "Cycles to delay the exchange beyond its earliest start")
            ->type_name("N");
        usage += " [--offset N]";
    }
    if (with_format) {
        app->add_option("--format", cli.plan.format, "Output format (default text)")
            ->check(CLI::IsMember({"text", "json", "svg"}))
            ->type_name("FORMAT");
        usage += format_usage;
    } else {
        usage += " [--verbose]";
    }
    add_verbose(*app, cli.verbose);
    app->footer("usage: " + usage);
    return {app, kind, usage};
}

void build(Interface& cli) {
    CLI::App& app = cli.app;
    app.require_subcommand(1);
    app.set_version_flag("--version", "vorl-plan " + std::string{vorl_exchange::version()},
                         "Print the version and exit");
    add_verbose(app, cli.verbose);
    app.footer("Exit status: 0 done, 1 the plan or the check failed, 2 wrong command line.\n"
               "Run 'vorl-plan SUBCOMMAND --help' for the arguments of each subcommand.");
    cli.planners.push_back(add_planner(cli, app, ExchangeKind::PointToPoint, "p2p",
                                       "Plan a point-to-point exchange and show its rows", true));
    cli.planners.push_back(add_planner(cli, app, ExchangeKind::Multicast, "multicast",
                                       "Plan a multicast exchange and show its rows", true));
    cli.planners.push_back(add_planner(cli, app, ExchangeKind::PairedMulticast, "paired",
                                       "Plan a paired multicast (receivers in whole pairs) and show its rows", true));

    cli.disasm = app.add_subcommand("disasm", "Decode instruction words, one line per word");
    cli.disasm->add_option("WORD", cli.words, "Hexadecimal word, with or without 0x")->required()->type_name("HEX");
    cli.disasm->footer("Example: vorl-plan disasm 41800003 0x641c0000");
    add_verbose(*cli.disasm, cli.verbose);

    cli.batch = app.add_subcommand(
        "batch", "Answer JSON request lines from standard input, one response line each");
    add_verbose(*cli.batch, cli.verbose);
    cli.batch->footer(
        "Requests: {\"op\":\"point_to_point\",\"sender\":S,\"receiver\":R,\"count\":C},\n"
        "{\"op\":\"multicast\",\"sender\":S,\"receivers\":[...],\"count\":C,\"offset\":O},\n"
        "{\"op\":\"paired_multicast\",\"sender\":S,\"receivers\":[...],\"count\":C}.\n"
        "Answers: {\"ok\":...}, {\"err\":...,\"debug\":...} or {\"bad_request\":...}; exit status 0 at end of input.");

    cli.check = app.add_subcommand(
        "check", "Plan an exchange and cross-check its timing from the rows alone (exit 1 on a mismatch)");
    cli.check->require_subcommand(1);
    add_verbose(*cli.check, cli.verbose);
    cli.check->footer("The first XPIC word of every receiver row must hold the cycle at which the data\n"
                      "reaches its mux: the sender's first send start plus time_to_mux of the route.");
    cli.checks.push_back(add_planner(cli, *cli.check, ExchangeKind::PointToPoint, "p2p",
                                     "Check a point-to-point plan", false));
    cli.checks.push_back(add_planner(cli, *cli.check, ExchangeKind::Multicast, "multicast",
                                     "Check a multicast plan", false));
}

std::string usage_of(const Interface& cli, const std::vector<std::string>& arguments) {
    // The subcommand is the first argument that is not an option; "check" has its own.
    std::vector<std::string> names;
    for (const std::string& argument : arguments) {
        if (!argument.starts_with("-")) {
            names.push_back(argument);
            if (names.size() == 2 || names.front() != "check") {
                break;
            }
        }
    }
    const auto find = [&](const std::vector<Command>& commands, std::size_t at) -> const Command* {
        for (const Command& command : commands) {
            if (names.size() > at && names[at] == command.app->get_name()) {
                return &command;
            }
        }
        return nullptr;
    };
    if (const Command* command = find(cli.planners, 0)) {
        return command->usage;
    }
    if (!names.empty() && names.front() == "check") {
        const Command* command = find(cli.checks, 1);
        return command ? command->usage : "vorl-plan check {p2p|multicast} ...";
    }
    if (!names.empty() && names.front() == "disasm") {
        return "vorl-plan disasm WORD... [--verbose]";
    }
    if (!names.empty() && names.front() == "batch") {
        return "vorl-plan batch [--verbose] < requests.jsonl";
    }
    return "vorl-plan [--verbose] {p2p|multicast|paired|disasm|batch|check} ...";
}

// CLI11 would report a misspelt subcommand as a missing one; name it instead.
void reject_unknown_subcommands(const std::vector<std::string>& arguments) {
    const auto is_word = [](const std::string& argument) { return !argument.starts_with("-"); };
    const auto subcommand = std::ranges::find_if(arguments, is_word);
    if (subcommand == arguments.end()) {
        return;
    }
    constexpr std::string_view known[] = {"p2p", "multicast", "paired", "disasm", "batch", "check"};
    if (std::ranges::find(known, *subcommand) == std::end(known)) {
        throw UsageError{"unknown subcommand \"" + *subcommand + "\""};
    }
    const auto checked = std::find_if(subcommand + 1, arguments.end(), is_word);
    if (*subcommand == "check" && checked != arguments.end() && *checked != "p2p" && *checked != "multicast") {
        throw UsageError{"check takes p2p or multicast, not \"" + *checked + "\""};
    }
}

int usage_error(const Interface& cli, const std::string& reason, const std::vector<std::string>& arguments) {
    const std::string usage = usage_of(cli, arguments);
    std::cerr << "vorl-plan: " << reason << "\nusage: " << usage << "\n";
    return exit_usage;
}

PlanRequest to_request(const PlanArguments& arguments, ExchangeKind kind) {
    PlanRequest request;
    request.kind = kind;
    request.sender = parse_tile(arguments.sender, "SENDER");
    if (kind == ExchangeKind::PointToPoint) {
        request.receivers = {parse_tile(arguments.receivers, "RECEIVER")};
    } else {
        request.receivers = parse_tile_list(arguments.receivers, "RECEIVERS");
    }
    request.count = parse_u32(arguments.count, "COUNT");
    request.offset = parse_u32(arguments.offset, "--offset");
    return request;
}

int show_plan(const vorl_exchange::Topology& topology, const PlanRequest& request, const std::string& format) {
    const auto view = make_plan(topology, request);
    if (!view) {
        std::cerr << view.error().display().view() << "\n";
        return exit_failed;
    }
    if (format == "json") {
        std::cout << render_json(topology, *view);
    } else if (format == "svg") {
        std::cout << render_svg(topology, *view);
    } else {
        std::cout << render_text(topology, *view);
    }
    return exit_ok;
}

int check_plan(const vorl_exchange::Topology& topology, const PlanRequest& request) {
    const auto view = make_plan(topology, request);
    if (!view) {
        std::cerr << view.error().display().view() << "\n";
        return exit_failed;
    }
    const TimingReport report = *plan_timing(topology, *view);
    if (report.send_start) {
        std::cout << "first send starts at cycle " << *report.send_start << "\n";
        for (const ReceiverTiming& receiver : report.receivers) {
            std::cout << "receiver " << receiver.receiver << ": " << describe(receiver, *report.send_start)
                      << "\n";
        }
    }
    if (!report.ok()) {
        std::cerr << "timing mismatch: " << report.problem << "\n";
        return exit_failed;
    }
    std::cout << "ok\n";
    return exit_ok;
}

int disassemble_words(const std::vector<std::string>& words) {
    std::vector<std::uint32_t> values;
    values.reserve(words.size());
    for (const std::string& word : words) {
        values.push_back(parse_word(word));  // all are read before any is printed
    }
    for (const std::uint32_t value : values) {
        std::cout << disassemble(value) << "\n";
    }
    return exit_ok;
}

int dispatch(Interface& cli) {
    const auto topology = vorl_exchange::Topology::tarn();
    if (cli.verbose) {
        vorl_exchange::set_event_sink(
            [](const vorl_exchange::Event& event) { std::cerr << vorl_exchange::render(event) << "\n"; });
    }
    for (const Command& command : cli.planners) {
        if (command.app->parsed()) {
            return show_plan(topology, to_request(cli.plan, command.kind), cli.plan.format);
        }
    }
    for (const Command& command : cli.checks) {
        if (command.app->parsed()) {
            return check_plan(topology, to_request(cli.plan, command.kind));
        }
    }
    if (cli.disasm->parsed()) {
        return disassemble_words(cli.words);
    }
    return run_batch(topology, std::cin, std::cout);
}

}  // namespace

int run(int argc, char** argv) {
    Interface cli;
    build(cli);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        reject_unknown_subcommands(arguments);
        for (const std::string& argument : arguments) {
            if (looks_negative(argument)) {
                throw UsageError{"\"" + argument + "\" is negative; tiles, counts, offsets and words are unsigned"};
            }
        }
        cli.app.parse(argc, argv);
        return dispatch(cli);
    } catch (const CLI::CallForHelp& help) {
        return cli.app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return cli.app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return cli.app.exit(version);
    } catch (const CLI::ParseError& error) {
        return usage_error(cli, error.what(), arguments);
    } catch (const UsageError& error) {
        return usage_error(cli, error.what(), arguments);
    }
}

}  // namespace vorl_plan
