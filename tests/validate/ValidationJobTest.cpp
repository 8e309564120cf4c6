#include "validate/ValidationJob.h"

#include <array>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/CurlWebClient.h"
#include "engine/MainLoop.h"
#include "engine/MainThread.h"
#include "engine/RunEngine.h"
#include "engine/Worker.h"
#include "harvest/KeywordSearch.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/LoopbackTcpServer.h"
#include "tests/support/TempDir.h"
#include "tests/validate/MappedTcpConnector.h"
#include "validate/DateRecognition.h"
#include "validate/ValidationCommands.h"

namespace ostrevane {
namespace {

using namespace std::chrono_literals;

TEST(AvailabilityTextTest, FollowsTheMarkersInOrder) {
    struct Row {
        const char* Name;
        const char* Answer;
        std::string_view Expected;
    };
    constexpr std::array Rows{
        Row{"empty: the fetch failed", "", "Could not connect to Enom!"},
        Row{"registered", "Command=CHECK\r\nRRPCode1=211\r\n", "Registered!"},
        Row{"not registered", "Command=CHECK\r\nRRPCode1=210\r\n", "Not Registered!"},
        Row{"both: registered wins", "RRPCode1=210 RRPCode1=211", "Registered!"},
        Row{"marker in lower case", "rrpcode1=211", "Could not get registration information!"},
        Row{"an error page", "<html>503</html>", "Could not get registration information!"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(AvailabilityText(row.Answer), row.Expected);
    }
}

TEST(ValidatedPictureTest, ExpiringWithinNinetyWholeDaysEitherWay) {
    const double today = DateValue(2026, 12, 11);
    const double noon = today + 0.5;
    struct Row {
        const char* Name;
        bool Failed;
        double Expiry;
        int Picture;
    };
    const std::array Rows{
        Row{"no date, fine", false, -1, ImageValidated},
        Row{"no date, failed", true, -1, ImageError},
        Row{"90 days ahead at midnight, seen at noon: 89 whole days", false, today + 90, ImageExpiring},
        Row{"91 days ahead", false, today + 91, ImageValidated},
        Row{"passed 30 days ago", false, today - 30, ImageExpiring},
        Row{"passed 120 days ago", true, today - 120, ImageError},
        Row{"failed, but expiring in 10 days", true, today + 10, ImageExpiring},
        Row{"far ahead", false, DateValue(2031, 1, 1), ImageValidated},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ValidatedPicture(row.Failed, row.Expiry, noon), row.Picture);
    }
}

TEST(ValidationCommandsTest, QueuesRowsFromTheLastToTheFirst) {
    ResultsList results;
    const std::array<std::pair<const char*, int>, 6> rows{{{"a.com", ImageFound},
                                                           {"b.com", ImageValidated},
                                                           {"c.com", ImageError},
                                                           {"d.com", ImageExpiring},
                                                           {"e.com", ImageValidating},
                                                           {"a.com", ImageValidated}}};
    for (const auto& [name, picture] : rows) {
        results.Append(name, "e,1").Picture = picture;
    }
    EXPECT_EQ(ValidationQueue(results, false),
              (std::vector<std::string>{"a.com", "e.com", "d.com", "c.com", "b.com", "a.com"}));
    EXPECT_EQ(ValidationQueue(results, true), (std::vector<std::string>{"e.com", "c.com", "a.com"}));
}

TEST(ValidationCommandsTest, AvailabilityAddressComesFromThePreferences) {
    const test::TempDir temp;
    EXPECT_EQ(ReadAvailabilityCheckUrl(temp.Path() / "missing.ini"),
              "https://reseller.example.invalid/interface.asp?command=check&uid=Tremvik&pw=plumtree&DomainList=");
    const auto file = temp.Write("preferences.ini", "[general]\nmcv=4\n[reseller]\nurl=http://127.0.0.1:8081/\n"
                                                    "uid=me&you\npw=p w\n");
    EXPECT_EQ(ReadAvailabilityCheckUrl(file),
              "http://127.0.0.1:8081/interface.asp?command=check&uid=me%26you&pw=p%20w&DomainList=");
}

// A run of validations against a reseller and WHOIS servers on loopback, through the real web
// client and TCP connector.
class ValidationRunTest : public ::testing::Test {
protected:
    ValidationRunTest() {
        // The shipped interpretation lists, and a server table that sends every name to one server.
        for (const char* name : {"whoisresponse.ini", "DateFormats.ini"}) {
            std::filesystem::copy_file(std::filesystem::path(OSTREVANE_SHIPPED_CONFIGS) / name, Temp.Path() / name);
        }
        Temp.Write("whoistldconf.ini", ".com whois.registry.test\n.net whois.registry.test\n");
        Preferences = Temp.Write("preferences.ini", "[reseller]\nurl=" + Reseller.Url("") + "\n");
        Reseller.RouteHandler("/interface.asp", [](const test::HttpRequest& request) {
            test::HttpReply reply;
            reply.Body = request.Target.find("DomainList=free.net") != std::string::npos ? "RRPCode1=210\r\n"
                                                                                         : "RRPCode1=211\r\n";
            return reply;
        });
        Whois.SetHandler([](std::string_view query) {
            test::TcpReply reply;
            reply.Bytes = "Domain Name: " + std::string(query) +
                          "\r\nCreation Date: 2001-02-03T04:05:06Z\r\nRegistry Expiry Date: 2031-07-08T00:00:00Z\r\n"
                          "Registrar Abuse Contact Email: abuse@registrar.test\r\n";
            return reply;
        });
        Connector.Map("whois.registry.test", Whois.Port());
        Connector.Map("www.example.com", WebHost.Port());
        Connector.Map("www.free.net", WebHost.Port());
        WebHost.SetAcceptOnly(true);
    }

    // Validates the rows of the list and waits for the run to close.
    void Validate(bool errorsOnly = false) {
        ASSERT_TRUE(StartValidation(Engine, Preferences, errorsOnly));
        ASSERT_TRUE(Loop.RunUntilIdle(30s));
    }

    test::TempDir Temp;
    std::filesystem::path Preferences;
    test::LoopbackHttpServer Reseller;
    test::LoopbackTcpServer Whois;
    test::LoopbackTcpServer WebHost;
    test::MappedTcpConnector Connector;
    CurlGlobal Curl;
    CallQueue Calls;
    CurlWebClientFactory Web{Curl};
    HarvestJobHandler Harvest;
    ValidationJob Job{Connector, Temp.Path(), ValidationClock{[] { return DateValue(2026, 12, 11) + 0.5; }, [] { return 2026; }}};
    RunEngine Engine{RunEngine::Services{Calls, Web, Harvest, Job}};
    MainLoop Loop{Calls, Engine};
};

TEST_F(ValidationRunTest, FillsEveryColumnOfAFreshRow) {
    // Launches 100 ms apart keep the reseller's requests in row order.
    Engine.ApplyPreferences({.Timeout = 5000, .Interval = 100});
    Engine.Results().Append("example.com", "Bing,1");
    Engine.Results().Append("free.net", "Bing,2");
    Validate();

    const ResultRow& row = Engine.Results()[0];
    EXPECT_EQ(row.SubItems[SubRegistered], "Registered!");
    EXPECT_EQ(row.SubItems[SubExpires], "2031-07-08");
    EXPECT_EQ(row.SubItems[SubRegistrar], "registry.test");
    EXPECT_EQ(row.SubItems[SubIp], "127.0.0.1");
    EXPECT_EQ(row.SubItems[SubEmail], "abuse@registrar.test");
    EXPECT_NE(row.SubItems[SubWhoisText].find("[Connected to: whois.registry.test]"), std::string::npos);
    EXPECT_NE(row.SubItems[SubWhoisText].find("Registry Expiry Date: 2031-07-08"), std::string::npos);
    EXPECT_EQ(row.Picture, ImageValidated);
    EXPECT_EQ(row.Caption, "1");
    EXPECT_EQ(Engine.Results()[1].SubItems[SubRegistered], "Not Registered!");
    EXPECT_EQ(Engine.View().Heading, "Search complete. 2 domains found related to your keyword.");
    // The reseller was asked once per name, top row first.
    EXPECT_EQ(Reseller.RequestCount("/interface.asp"), 2u);
    ASSERT_GE(Reseller.Requests().size(), 1u);
    EXPECT_NE(Reseller.Requests()[0].find("DomainList=example.com"), std::string::npos);
}

TEST_F(ValidationRunTest, ANameInTwoRowsFillsBoth) {
    Engine.ApplyPreferences({.Timeout = 5000, .Interval = 0, .MaxValidateConnections = 1});
    Engine.Results().Append("example.com", "Bing,1");
    Engine.Results().Append("example.com", "Yahoo,1");
    Validate();
    for (const ResultRow& row : Engine.Results().Rows()) {
        EXPECT_EQ(row.SubItems[SubExpires], "2031-07-08");
        EXPECT_EQ(row.Picture, ImageValidated);
    }
}

TEST_F(ValidationRunTest, FailuresFoldIntoTheRow) {
    Engine.ApplyPreferences({.Timeout = 5000, .Interval = 0});
    // No WHOIS server for .org, no web host, and a reseller that cannot be reached.
    const test::ClosedPort closed;
    Temp.Write("preferences.ini", "[reseller]\nurl=http://127.0.0.1:" + std::to_string(closed.Port()) + "\n");
    Engine.Results().Append("nowhere.org", "Bing,1");
    Validate();
    const ResultRow& row = Engine.Results()[0];
    EXPECT_EQ(row.SubItems[SubRegistered], "Could not connect to Enom!");
    EXPECT_EQ(row.SubItems[SubIp], "n/a");
    EXPECT_EQ(row.SubItems[SubExpires], "n/a");
    EXPECT_EQ(row.SubItems[SubRegistrar], "");
    EXPECT_EQ(row.Picture, ImageError);
}

TEST_F(ValidationRunTest, AnUnreadableServerTableFailsTheLookupOnly) {
    Engine.ApplyPreferences({.Timeout = 5000, .Interval = 0});
    std::filesystem::remove(Temp.Path() / "whoistldconf.ini");
    Engine.Results().Append("example.com", "Bing,1");
    Validate();
    const ResultRow& row = Engine.Results()[0];
    EXPECT_EQ(row.SubItems[SubWhoisText], "Could not get whois information");
    EXPECT_EQ(row.SubItems[SubRegistered], "Registered!");
    EXPECT_EQ(row.SubItems[SubIp], "127.0.0.1");
    EXPECT_EQ(row.Picture, ImageError);
}

// Without its key list the answer cannot be read: the row shows the error and the run still
// closes.
TEST_F(ValidationRunTest, AnUnreadableKeyListMarksTheRowAndTheRunCloses) {
    Engine.ApplyPreferences({.Timeout = 5000, .Interval = 0});
    std::filesystem::remove(Temp.Path() / "whoisresponse.ini");
    Engine.Results().Append("example.com", "Bing,1");
    Validate();
    EXPECT_EQ(Engine.Results()[0].Picture, ImageError);
    EXPECT_FALSE(Engine.RunActive());
}

TEST_F(ValidationRunTest, RevalidateErrorsSkipsValidatedAndExpiringRows) {
    Engine.ApplyPreferences({.Timeout = 5000, .Interval = 0});
    Engine.Results().Append("example.com", "Bing,1").Picture = ImageValidated;
    Engine.Results().Append("free.net", "Bing,1").Picture = ImageError;
    Validate(true);
    EXPECT_EQ(Reseller.RequestCount("/interface.asp"), 1u);
    EXPECT_EQ(Engine.Results()[0].SubItems[SubRegistered], "");
    EXPECT_EQ(Engine.Results()[1].SubItems[SubRegistered], "Not Registered!");
    // While a run is active the commands do nothing.
    Engine.StartValidationRun({}, "http://x.invalid/?d=");
    EXPECT_FALSE(StartValidation(Engine, Preferences, false));
}

}  // namespace
}  // namespace ostrevane
