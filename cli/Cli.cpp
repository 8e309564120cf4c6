#include "cli/Cli.h"

#include <ostream>

#include "cli/Arguments.h"
#include "cli/Commands.h"

namespace ostrevane::cli {
namespace {

constexpr const char* HelpText =
    "Usage: ostrevane-cli COMMAND [OPTIONS]\n"
    "       ostrevane-cli --help | --version\n"
    "\n"
    "Ostrevane Pro finds domain names worth registering or buying: it harvests the names\n"
    "linked from search-engine result pages for a keyword and validates them (availability,\n"
    "WHOIS record, expiry date, contact e-mail, registrar, web host address).\n"
    "\n"
    "Commands:\n"
    "  search --keyword WORD [--engine NAME]... [--pages N] [--configs DIR] [--output FILE]\n"
    "      Runs a keyword search: fetches N result pages (0 to 1000; default: the preference\n"
    "      'pages') from each named engine (default: every engine of the catalogue) and writes\n"
    "      the names found as CSV to FILE or standard output. Progress and the summary go to\n"
    "      standard error. Ctrl+C stops the search and keeps the names found so far.\n"
    "  links [FILE] [--raw]\n"
    "      Reads one result page (FILE, or standard input when FILE is absent or '-') and\n"
    "      prints the domain names it yields, one per line in order; --raw prints the links.\n"
    "\n"
    "Options:\n"
    "  --configs DIR   read the configuration files from DIR instead of the configs folder\n"
    "                  beside the program\n"
    "  --help          show this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Exit status: 0 on success (pages that cannot be fetched are counted, not errors),\n"
    "2 on a usage error or unusable input.\n";

}  // namespace

int RunCli(const std::vector<std::string>& arguments, Console& console) {
    if (arguments.empty()) {
        console.Err << HelpText;
        return ExitUsage;
    }
    const std::string& command = arguments.front();
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            console.Out << HelpText;
            return ExitSuccess;
        }
        if (command == "--version") {
            console.Out << VersionText << '\n';
            return ExitSuccess;
        }
        if (command == "links") {
            return LinksCommand(rest, console);
        }
        if (command == "search") {
            return SearchCommand(rest, console);
        }
        throw UsageError("unknown command or option '" + command + "' (see ostrevane-cli --help)");
    } catch (const UsageError& error) {
        console.Err << "ostrevane-cli: " << error.what() << '\n';
        return ExitUsage;
    } catch (const std::exception& error) {
        console.Err << "ostrevane-cli: " << error.what() << '\n';
        return ExitUsage;
    }
}

}  // namespace ostrevane::cli
