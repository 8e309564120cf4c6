#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace ostrevane::cli {

inline constexpr const char* VersionText = "Ostrevane Pro 1.0";

// Where a command reads and writes, and what it knows of its surroundings.
struct Console {
    std::istream& In;
    std::ostream& Out;
    std::ostream& Err;
    // Progress is drawn on the error stream only when it is a terminal.
    bool ErrIsTerminal = false;
    // The program's folder, holding configs/ (unless --configs names another).
    std::string AppDirectory;
    // Set when the user interrupts: a run under way stops, keeping what it found so far.
    const std::atomic<bool>* Interrupted = nullptr;
};

// Runs the command line (the arguments after the program's name) and returns the exit status:
// 0 on success, 2 on a usage error or bad input (with a one-line message on the error stream).
int RunCli(const std::vector<std::string>& arguments, Console& console);

}  // namespace ostrevane::cli
