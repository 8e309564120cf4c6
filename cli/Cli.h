#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ostrevane::cli {

inline constexpr const char* VersionText = "Ostrevane Pro 1.0";

// Runs the command line (the arguments after the program's name) and returns the exit status:
// 0 on success, 2 on a usage error.
int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace ostrevane::cli
