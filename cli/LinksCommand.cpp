#include <fstream>
#include <iterator>
#include <ostream>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "engine/FoundDomains.h"
#include "harvest/LinkExtraction.h"

namespace ostrevane::cli {

std::filesystem::path ConfigsDirectory(const std::vector<std::string>& configsOption, const Console& console) {
    if (!configsOption.empty()) {
        return configsOption.back();
    }
    return std::filesystem::path(console.AppDirectory) / "configs";
}

std::string ReadInput(const std::vector<std::string>& positional, Console& console) {
    if (positional.size() > 1) {
        throw UsageError("only one input file may be given");
    }
    if (positional.empty() || positional.front() == "-") {
        return {std::istreambuf_iterator<char>(console.In), std::istreambuf_iterator<char>()};
    }
    const std::filesystem::path file = positional.front();
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        throw UsageError("cannot read " + file.string() + ": it is a folder");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw UsageError("cannot read " + file.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int LinksCommand(const std::vector<std::string>& arguments, Console& console) {
    const Arguments options(arguments, {}, {"raw"});
    const std::string page = ReadInput(options.Positional(), console);
    if (options.Flag("raw")) {
        std::vector<std::string> links;
        ExtractLinks(page, links);
        for (const std::string& link : links) {
            console.Out << link << '\n';
        }
        return ExitSuccess;
    }
    FoundDomainList found;
    CollectDomains(page, found, "");
    for (const std::string& name : found.Domains()) {
        console.Out << name << '\n';
    }
    return ExitSuccess;
}

}  // namespace ostrevane::cli
