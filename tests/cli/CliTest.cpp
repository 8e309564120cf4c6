#include "cli/Cli.h"

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ostrevane::cli {
namespace {

struct Outcome {
    int Status;
    std::string Out;
    std::string Err;
};

Outcome RunWith(std::vector<std::string> arguments, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    Console console{in, out, err, false, "", nullptr};
    const int status = RunCli(arguments, console);
    return {status, out.str(), err.str()};
}

TEST(CliTest, VersionAndHelp) {
    const Outcome version = RunWith({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, "Ostrevane Pro 1.0\n");
    EXPECT_EQ(version.Err, "");

    const Outcome help = RunWith({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("Usage: ostrevane-cli"), std::string::npos);
    EXPECT_NE(help.Out.find("--version"), std::string::npos);
}

TEST(CliTest, UsageErrorsExitWithTwo) {
    const std::array<std::vector<std::string>, 3> cases{
        std::vector<std::string>{},
        std::vector<std::string>{"--frobnicate"},
        std::vector<std::string>{"harvest"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.empty() ? "(none)" : arguments.front());
        const Outcome outcome = RunWith(arguments);
        EXPECT_EQ(outcome.Status, 2);
        EXPECT_EQ(outcome.Out, "");
        EXPECT_FALSE(outcome.Err.empty());
    }
}

}  // namespace
}  // namespace ostrevane::cli
