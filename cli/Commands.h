#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace ostrevane::cli {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitUsage = 2;

int LinksCommand(const std::vector<std::string>& arguments, Console& console);
int SearchCommand(const std::vector<std::string>& arguments, Console& console);
int ValidateCommand(const std::vector<std::string>& arguments, Console& console);
int WhoisCommand(const std::vector<std::string>& arguments, Console& console);
int InterpretCommand(const std::vector<std::string>& arguments, Console& console);

// The configuration folder: --configs DIR, or configs/ beside the program.
[[nodiscard]] std::filesystem::path ConfigsDirectory(const std::vector<std::string>& configsOption,
                                                     const Console& console);
// The whole of a file, or of standard input for "-" or no name; UsageError when unreadable.
[[nodiscard]] std::string ReadInput(const std::vector<std::string>& positional, Console& console);

}  // namespace ostrevane::cli
