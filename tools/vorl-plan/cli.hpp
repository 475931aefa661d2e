// The command line of vorl-plan: subcommands, their arguments and exit statuses.
#pragma once

namespace vorl_plan {

// Exit statuses.
inline constexpr int exit_ok = 0;        // done
inline constexpr int exit_failed = 1;    // the plan failed
inline constexpr int exit_usage = 2;     // the command line (or a value read for it) is wrong
inline constexpr int exit_mismatch = 3;  // `check` found rows whose timing does not match
inline constexpr int exit_io = 4;        // a file or a standard stream could not be read or written

[[nodiscard]] int run(int argc, char** argv);

}  // namespace vorl_plan
