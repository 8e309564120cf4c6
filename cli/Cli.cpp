#include "cli/Cli.h"

#include <ostream>

namespace ostrevane::cli {
namespace {

constexpr const char* HelpText =
    "Usage: ostrevane-cli [--help] [--version]\n"
    "\n"
    "Ostrevane Pro finds domain names worth registering or buying: it harvests the names\n"
    "linked from search-engine result pages for a keyword and validates them (availability,\n"
    "WHOIS record, expiry date, contact e-mail, registrar, web host address).\n"
    "\n"
    "Options:\n"
    "  --help       show this help and exit\n"
    "  --version    print the version and exit\n";

constexpr int UsageError = 2;

}  // namespace

int RunCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.empty()) {
        err << HelpText;
        return UsageError;
    }
    const std::string& command = arguments.front();
    if (command == "--help" || command == "-h") {
        out << HelpText;
        return 0;
    }
    if (command == "--version") {
        out << VersionText << '\n';
        return 0;
    }
    err << "ostrevane-cli: unknown command or option '" << command << "' (see ostrevane-cli --help)\n";
    return UsageError;
}

}  // namespace ostrevane::cli
