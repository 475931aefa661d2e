// vorl-plan: plan, inspect and draw exchanges from the command line.
#include <iostream>

#include "cli.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    return vorl_plan::run(argc, argv);
}
