#include "cli/Cli.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempDir.h"

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

namespace ostrevane::cli {
namespace {

using namespace std::chrono_literals;

TEST(CliLinksTest, PrintsTheNamesOrTheLinksOfAPage) {
    const std::string page =
        "<html><body><a href=\"https://www.shop.example.com/x\">x</a> <A HREF='http://blog.widgets.net/'>"
        "<a href=\"/l/?uddg=https%3A%2F%2Fwww.target.org%2Fpage\">t</a><a href=\"https://SHOP.example.com\">";
    const Outcome names = RunWith({"links"}, page);
    EXPECT_EQ(names.Status, 0);
    EXPECT_EQ(names.Out, "example.com\nwidgets.net\ntarget.org\n");
    const Outcome raw = RunWith({"links", "-", "--raw"}, page);
    EXPECT_EQ(raw.Out, "https://www.shop.example.com/x\nhttp://blog.widgets.net/\n"
                       "/l/?uddg=https%3a%2f%2fwww.target.org%2fpage\nhttps://shop.example.com\n");
}

// A keyword search through the real web client against result pages served on loopback: one
// page, one error page whose body still counts, one page that never arrives.
TEST(CliSearchTest, WritesTheNamesFoundAsCsv) {
    test::LoopbackHttpServer server;
    server.Route("/search?q=blue%20widgets&first=1",
                 {.Body = "<a href=\"http://www.widgets.net/\">1</a><a href=\"https://a.com/x\">2</a>"
                          "<a href=\"http://x.co.uk/\">3</a>"});
    server.Route("/search?q=blue%20widgets&first=11", {.Status = 500, .Body = "<a href='http://c.org/'>e</a>"});
    server.Route("/search?q=blue%20widgets&first=21", {.Body = std::string(4000, 'x'), .Fault = test::HttpFault::ResetMidBody});
    const test::TempDir configs;
    configs.Write("searchengines.ini", "[general]\nsecount=2\nse0=Fixture\nse1=Other\n[Fixture]\nurl=" +
                                           server.Url("/search?q=$Keyword&first=$Page") +
                                           "\nmp=3\noffset=1\nlpp=10\n[Other]\nurl=" + server.Url("/other") + "\nmp=0\n");
    configs.Write("preferences.ini", "[general]\ntimeout=5000\nmcs=1\nmcv=1\npages=9\n");

    const Outcome outcome = RunWith({"search", "--keyword", "blue widgets", "--engine", "Fixture", "--pages", "3",
                                     "--configs", configs.Path().string()});
    ASSERT_EQ(outcome.Status, 0) << outcome.Err;
    // One worker takes the pages last first: the names come out in reverse order of discovery.
    EXPECT_EQ(outcome.Out, "1,a.com,\"Fixture,1\",,,,,\r\n2,widgets.net,\"Fixture,1\",,,,,\r\n3,c.org,\"Fixture,2\",,,,,\r\n");
    EXPECT_NE(outcome.Err.find("Search complete. 3 domains found related to your keyword."), std::string::npos)
        << outcome.Err;
    EXPECT_NE(outcome.Err.find("2 of 3 result pages fetched, 1 not"), std::string::npos);
    EXPECT_EQ(server.RequestCount("/search?q=blue%20widgets&first=21"), 10u);
    // An error page is a completed request: its body counts after one attempt.
    EXPECT_EQ(server.RequestCount("/search?q=blue%20widgets&first=11"), 1u);
    EXPECT_EQ(server.RequestCount("/other"), 0u);
}

TEST(CliSearchTest, BadInputIsAOneLineErrorWithStatusTwo) {
    const test::TempDir configs;
    configs.Write("searchengines.ini", "[general]\nsecount=1\nse0=Bing\n[Bing]\nurl=http://127.0.0.1:9/?q=$Keyword\nmp=1\n");
    const std::string dir = configs.Path().string();
    struct Row {
        const char* Name;
        std::vector<std::string> Arguments;
        const char* Message;
    };
    const std::array Rows{
        Row{"no keyword", {"search", "--configs", dir}, "--keyword"},
        Row{"unknown engine", {"search", "--keyword", "x", "--engine", "Bong", "--configs", dir}, "unknown engine 'Bong'"},
        Row{"pages not a number", {"search", "--keyword", "x", "--pages", "ten", "--configs", dir}, "--pages"},
        Row{"pages out of range", {"search", "--keyword", "x", "--pages", "1001", "--configs", dir}, "--pages"},
        Row{"no catalogue", {"search", "--keyword", "x", "--configs", dir + "/nowhere"}, "catalogue"},
        Row{"output folder missing", {"search", "--keyword", "x", "--configs", dir, "--output", dir + "/no/x.csv"}, "cannot write"},
        Row{"validate nothing", {"validate", "--configs", OSTREVANE_SHIPPED_CONFIGS}, "no domain names"},
        Row{"validate without configuration", {"validate", "--configs", dir}, "missing configuration file"},
        Row{"interpret an unreadable file", {"interpret", dir + "/none.txt", "--configs", OSTREVANE_SHIPPED_CONFIGS}, "cannot read"},
        Row{"whois of nothing", {"whois", "--configs", OSTREVANE_SHIPPED_CONFIGS}, "DOMAIN"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        const Outcome outcome = RunWith(row.Arguments);
        EXPECT_EQ(outcome.Status, 2);
        EXPECT_EQ(outcome.Out, "");
        EXPECT_NE(outcome.Err.find(row.Message), std::string::npos) << outcome.Err;
        EXPECT_EQ(std::count(outcome.Err.begin(), outcome.Err.end(), '\n'), 1) << outcome.Err;
    }
}

TEST(CliInterpretTest, PrintsTheExpiryAndTheEmail) {
    const std::string answer =
        "Domain Name: EXAMPLE.COM\r\nCreation Date: 1995-08-14T04:00:00Z\r\n"
        "Registry Expiry Date: 2031-08-13T04:00:00Z\r\nRegistrar Abuse Contact Email: abuse@registrar.test\r\n";
    const Outcome outcome = RunWith({"interpret", "--configs", OSTREVANE_SHIPPED_CONFIGS}, answer);
    EXPECT_EQ(outcome.Status, 0) << outcome.Err;
    EXPECT_EQ(outcome.Out, "Expires: 2031-08-13\nEmail: abuse@registrar.test\n");
    EXPECT_EQ(RunWith({"interpret", "--configs", OSTREVANE_SHIPPED_CONFIGS}, "nothing here").Out,
              "Expires: n/a\nEmail: n/a\n");
}

}  // namespace
}  // namespace ostrevane::cli
