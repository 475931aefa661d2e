// vorl-plan: plan, inspect and draw exchanges from the command line.
#include <csignal>
#include <iostream>

#include "cli.hpp"

int main(int argc, char** argv) {
    // A reader that goes away (| head -1) ends the run quietly, as it does for
    // other filters, even when the parent left the signal ignored.
    std::signal(SIGPIPE, SIG_DFL);
    std::ios::sync_with_stdio(false);
    return vorl_plan::run(argc, argv);
}
