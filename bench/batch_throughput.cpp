// Throughput of `vorl-plan batch` as a user runs it: one process over a file of
// mixed request lines, its CPU time (user and system, from wait4) taken as the
// minimum and median of several runs.
//
//   batch_throughput write FILE [LINES]       writes LINES (default 200000) requests to FILE
//   batch_throughput time VORL_PLAN FILE [RUNS]  runs `VORL_PLAN batch FILE` RUNS times (default 7)
//
// The requests are those of batch_requests.hpp. The answers go to /dev/null;
// the first run's go to a file to be counted. Exit status: 0 measured, 1 a run failed, 2 bad arguments.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch_requests.hpp"
#include "vorl_exchange/topology.hpp"

extern char** environ;

namespace {

int write_requests(const char* file, std::size_t lines) {
    const vorl_exchange::Topology tarn = vorl_exchange::Topology::tarn();
    vorl_bench::Draw draw;
    std::string text;
    for (std::size_t line = 0; line < lines; ++line) {
        text += vorl_bench::request(draw, tarn);
        text += '\n';
    }
    std::ofstream out{file, std::ios::binary};
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "batch_throughput: cannot write %s\n", file);
        return 1;
    }
    return 0;
}

// The CPU seconds of one run, its standard input the requests and its standard output `output`.
std::optional<double> cpu_seconds(const char* program, const char* requests, const char* output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, requests, O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* const arguments[] = {const_cast<char*>(program), const_cast<char*>("batch"), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "batch_throughput: cannot start %s: %s\n", program, std::strerror(spawned));
        return std::nullopt;
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "batch_throughput: waiting for %s: %s\n", program, std::strerror(errno));
            return std::nullopt;
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "batch_throughput: %s batch did not exit successfully\n", program);
        return std::nullopt;
    }
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::size_t file_size(const std::string& file) {
    struct stat status{};
    return ::stat(file.c_str(), &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
}

std::size_t count_lines(const char* file) {
    std::ifstream in{file, std::ios::binary};
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line);) {
        ++lines;
    }
    return lines;
}

int time_batch(const char* program, const char* requests, int runs) {
    const std::string answers = std::string{requests} + ".answers";
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        const auto taken = cpu_seconds(program, requests, run == 0 ? answers.c_str() : "/dev/null");
        if (!taken) {
            return 1;
        }
        seconds.push_back(*taken);
    }
    std::ranges::sort(seconds);
    const double median = seconds[seconds.size() / 2];
    const auto lines = static_cast<double>(count_lines(requests));
    const auto in = static_cast<double>(file_size(requests));
    const auto out = static_cast<double>(file_size(answers));
    std::printf("vorl-plan batch: %.0f lines, %.1f MB in, %.1f MB out; CPU seconds min %.3f, median %.3f of %d runs\n",
                lines, in / 1e6, out / 1e6, seconds.front(), median, runs);
    std::printf("vorl-plan batch: %.2f M lines/s, %.0f MB/s in (median)\n", lines / median / 1e6, in / median / 1e6);
    std::remove(answers.c_str());
    return 0;
}

std::optional<long> number(const char* text) {
    long value = 0;
    const std::string_view view{text};
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    return error == std::errc{} && end == view.data() + view.size() && value > 0 ? std::optional{value} : std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && (argc == 3 || argc == 4)) {
        const auto lines = argc == 4 ? number(argv[3]) : std::optional<long>{200000};
        if (lines) {
            return write_requests(argv[2], static_cast<std::size_t>(*lines));
        }
    } else if (mode == "time" && (argc == 4 || argc == 5)) {
        const auto runs = argc == 5 ? number(argv[4]) : std::optional<long>{7};
        if (runs) {
            return time_batch(argv[2], argv[3], static_cast<int>(*runs));
        }
    }
    std::fprintf(stderr,
                 "usage: batch_throughput write FILE [LINES]\n"
                 "       batch_throughput time VORL_PLAN FILE [RUNS]\n");
    return 2;
}
