// Whole-process wall times of two programs taken in alternation, so that both
// see the same machine: load that comes and goes moves both series alike, where
// all runs of one program and then all runs of the other would each catch a
// different part of it. The order inside a pair alternates too (AB, BA, ...), so
// that neither program always runs on a cache or a clock the other warmed.
//
//   alternating_runs PAIRS PROGRAM_A PROGRAM_B
//
// Prints each program's median and the ratio of the medians (A over B), and the
// quartiles of the pair ratios. Each run's standard output is discarded; a
// program that cannot be started or exits unsuccessfully stops the measurement.
// Exit status: 0 measured, 1 a run failed, 2 bad arguments.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

constexpr int warm_up_runs = 3;

// The wall time of one run of `program`, from its start to its exit, or nothing
// when it cannot be started or does not exit with status 0.
std::optional<double> timed_run(const char* program) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* const arguments[] = {const_cast<char*>(program), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "alternating_runs: cannot start %s: %s\n", program, std::strerror(spawned));
        return std::nullopt;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "alternating_runs: waiting for %s: %s\n", program, std::strerror(errno));
            return std::nullopt;
        }
    }
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "alternating_runs: %s did not exit successfully\n", program);
        return std::nullopt;
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double quantile(std::vector<double> values, double fraction) {
    std::ranges::sort(values);
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5)];
}

}  // namespace

int main(int argc, char** argv) {
    int pairs = 0;
    const std::string_view count = argc == 4 ? argv[1] : "";
    if (argc != 4 ||
        std::from_chars(count.data(), count.data() + count.size(), pairs).ptr != count.data() + count.size() ||
        pairs < 1) {
        std::fprintf(stderr, "usage: alternating_runs PAIRS PROGRAM_A PROGRAM_B\n");
        return 2;
    }
    const char* const programs[2] = {argv[2], argv[3]};
    for (const char* program : programs) {
        for (int run = 0; run < warm_up_runs; ++run) {
            if (!timed_run(program)) {
                return 1;
            }
        }
    }
    std::vector<double> times[2];
    std::vector<double> ratios;
    for (int pair = 0; pair < pairs; ++pair) {
        double taken[2] = {};
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (pair + turn) % 2;
            const auto time = timed_run(programs[which]);
            if (!time) {
                return 1;
            }
            taken[which] = *time;
            times[which].push_back(*time);
        }
        ratios.push_back(taken[0] / taken[1]);
    }
    const double median_a = quantile(times[0], 0.5);
    const double median_b = quantile(times[1], 0.5);
    if (std::printf("%d alternating pairs: A median %.3f ms, B median %.3f ms, ratio of medians %.3f "
                    "(pair ratios: quartiles %.3f and %.3f)\n",
                    pairs, median_a, median_b, median_a / median_b, quantile(ratios, 0.25),
                    quantile(ratios, 0.75)) < 0 ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "alternating_runs: cannot write the figures\n");
        return 1;
    }
    return 0;
}
