#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return ostrevane::cli::RunCli(arguments, std::cout, std::cerr);
}
