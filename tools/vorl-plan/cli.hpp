// The command line of vorl-plan: subcommands, their arguments and exit statuses.
#pragma once

namespace vorl_plan {

// Exit statuses: 0 done, 1 the plan or the check failed, 2 the command line is wrong.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;
inline constexpr int exit_usage = 2;

[[nodiscard]] int run(int argc, char** argv);

}  // namespace vorl_plan
