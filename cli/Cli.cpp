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
    "  validate [--input FILE] [--configs DIR] [--output FILE] [--errors-only]\n"
    "      Validates the rows of a CSV export (or one domain name per line) read from FILE or\n"
    "      standard input: availability from the reseller of the preferences' [reseller]\n"
    "      section, WHOIS record, expiry date, e-mail, registrar and web host address. Writes\n"
    "      the rows as CSV. --errors-only validates only the rows whose Registered column is\n"
    "      not a final answer. Ctrl+C stops and keeps what was validated.\n"
    "  whois DOMAIN [--configs DIR]\n"
    "      Prints the WHOIS lookup of DOMAIN (banner, servers asked, reply), then the\n"
    "      Registrar, Expires and Email lines as a results row would show them.\n"
    "  interpret [FILE] [--configs DIR]\n"
    "      Reads a saved WHOIS answer (FILE or standard input) and prints two lines:\n"
    "      'Expires: ' with yyyy-mm-dd or n/a, and 'Email: ' with the address or n/a.\n"
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
        if (command == "validate") {
            return ValidateCommand(rest, console);
        }
        if (command == "whois") {
            return WhoisCommand(rest, console);
        }
        if (command == "interpret") {
            return InterpretCommand(rest, console);
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
