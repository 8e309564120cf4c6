#include "validate/WhoisClient.h"

#include "tests/support/LoopbackSocket.h"
#include "tests/support/LoopbackTcpServer.h"
#include "tests/support/TempDir.h"
#include "tests/validate/MappedTcpConnector.h"
#include "util/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ostrevane {
namespace {

using namespace std::chrono_literals;
using test::LoopbackTcpServer;
using test::MappedTcpConnector;
using test::TcpFault;
using test::TcpReply;

constexpr std::chrono::milliseconds Timeout = 10s;
constexpr std::chrono::milliseconds GenerousWait = 20s;

constexpr std::string_view Registry = "whois.registry.test";
constexpr std::string_view Registrar = "whois.registrar.test";
constexpr std::string_view RegistryReply = "Domain Name: EXAMPLE.COM\r\nRegistry Expiry Date: 2027-01-02\r\n";
constexpr std::string_view RegistrarReply = "Domain Name: example.com\r\nRegistrar: Example Registrar\r\n";
// As a registry prints it when the query matches name servers as well as the domain.
constexpr std::string_view SeveralRecords =
    "   Server Name: EXAMPLE.COM.NS.TEST\r\n   Domain Name: EXAMPLE.COM\r\n\r\n"
    "To single out one record, look it up with \"xxx\", where xxx is one of the\r\n"
    "records displayed above. If the records are the same, look them up\r\n"
    "with \"=xxx\" to receive a full display for each record.\r\n";

std::string Connected(std::string_view server) {
    return std::string(WhoisConnectedNote) + std::string(server) + std::string(WhoisNoteEnd);
}

std::string NotConnected(std::string_view server) {
    return std::string(WhoisNotConnectedNote) + std::string(server) + std::string(WhoisNoteEnd);
}

std::string Answer(std::string_view notes, std::string_view reply) {
    return std::string(WhoisBanner) + std::string(notes) + std::string(reply);
}

TcpReply Reply(std::string_view bytes) {
    return TcpReply{.Bytes = std::string(bytes)};
}

// A registry and a registrar on loopback, with the suffix table pointing .com at the registry.
class WhoisLookupTest : public ::testing::Test {
protected:
    WhoisLookupTest() {
        registry_.SetReply(Reply(RegistryReply));
        registrar_.SetReply(Reply(RegistrarReply));
        WriteTable(".com " + std::string(Registry) + "\n");
    }

    void WriteTable(std::string_view lines) { table_ = dir_.Write("configs/whoistldconf.ini", lines); }

    // A connector that knows the registry and the registrar, plus whatever a test adds.
    std::unique_ptr<MappedTcpConnector> NewConnector() {
        auto connector = std::make_unique<MappedTcpConnector>();
        connector->Map(std::string(Registry), registry_.Port());
        connector->Map(std::string(Registrar), registrar_.Port());
        return connector;
    }

    WhoisLookupResult Lookup(TcpConnector& connector, std::string_view domain = "example.com",
                             std::chrono::milliseconds timeout = Timeout, std::string_view registrar = "",
                             std::stop_token stop = {}) {
        return WhoisLookup(connector, table_, domain, registrar, timeout, std::move(stop));
    }

    test::TempDir dir_;
    std::filesystem::path table_;
    LoopbackTcpServer registry_;
    LoopbackTcpServer registrar_;
};

TEST_F(WhoisLookupTest, TheFirstTableLineWhoseSuffixEndsTheNameChoosesTheServer) {
    LoopbackTcpServer other;
    other.SetReply(Reply("Other reply\r\n"));
    struct Row {
        std::string_view Name;
        std::string_view Table;
        std::string Expected;
        bool Failed;
    };
    const std::string registryAnswer = Answer(Connected(Registry), RegistryReply);
    const std::string otherAnswer = Answer(Connected("whois.other.test"), "Other reply\r\n");
    const std::array rows{
        Row{"top-level domain line before the name's line", ".com whois.registry.test\nexample.com whois.other.test\n",
            registryAnswer, false},
        Row{"name's line before the top-level domain line", "example.com whois.other.test\n.com whois.registry.test\n",
            otherAnswer, false},
        Row{"suffix longer than the name", "xexample.com whois.other.test\n.com whois.registry.test\n", registryAnswer,
            false},
        Row{"CR LF line ends", ".net whois.other.test\r\n.com whois.registry.test\r\n", registryAnswer, false},
        Row{"last line without a line end", ".net whois.other.test\n.com whois.registry.test", registryAnswer, false},
        Row{"suffix in another case matches nothing", ".COM whois.registry.test\n", Answer(NotConnected(""), ""), true},
        Row{"line without a blank matches every name", "whois.other.test\n.com whois.registry.test\n", otherAnswer,
            false},
        Row{"empty line matches every name with an empty server", ".net whois.other.test\n\n.com whois.registry.test\n",
            Answer(NotConnected(""), ""), true},
        Row{"only the first blank separates", ".com  whois.registry.test\n",
            Answer(NotConnected(" whois.registry.test"), ""), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteTable(row.Table);
        auto connector = NewConnector();
        connector->Map("whois.other.test", other.Port());
        const WhoisLookupResult result = Lookup(*connector);
        EXPECT_EQ(result.Text, row.Expected);
        EXPECT_EQ(result.Failed, row.Failed);
        for (const MappedTcpConnector::Request& request : connector->Requests()) {
            EXPECT_EQ(request.Port, WhoisPort);
        }
    }
    EXPECT_EQ(other.Requests().front(), "example.com");
}

TEST_F(WhoisLookupTest, TheLastReferralLineIsFollowedWhenItNamesANewPlausibleHost) {
    const test::ClosedPort refused;
    LoopbackTcpServer silentAfterQuery;
    silentAfterQuery.SetReply(Reply(""));
    LoopbackTcpServer longName;
    longName.SetReply(Reply(RegistrarReply));
    // 253 characters, the most a host name may have.
    const std::string longest = (std::string(62, 'a') + "." + std::string(62, 'b') + "." + std::string(62, 'c') + "." +
                                 std::string(59, 'd') + ".test");
    ASSERT_EQ(longest.size(), MaxHostNameLength);
    const std::string tooLong = "x" + longest;

    const std::string registryOnly = Answer(Connected(Registry), RegistryReply);
    const std::string followed = Answer(Connected(Registry) + Connected(Registrar), RegistrarReply);
    struct Row {
        std::string_view Name;
        std::string RegistryAnswer;
        std::vector<std::string> Hosts;
        std::string Expected;
        std::string Registrar;
        bool Failed;
    };
    const std::array rows{
        Row{"no referral", std::string(RegistryReply), {"whois.registry.test"}, registryOnly, "registry.test", false},
        Row{"referral followed",
            "Domain Name: EXAMPLE.COM\r\nRegistrar WHOIS Server: whois.registrar.test\r\n",
            {"whois.registry.test", "whois.registrar.test"},
            followed,
            "registrar.test",
            false},
        Row{"referral written in capitals",
            "REGISTRAR WHOIS SERVER: WHOIS.REGISTRAR.TEST\r\n",
            {"whois.registry.test", "whois.registrar.test"},
            followed,
            "registrar.test",
            false},
        Row{"two referral lines: the last one wins",
            "Whois Server: whois.other.test\nRegistrar WHOIS Server: whois.registrar.test\n",
            {"whois.registry.test", "whois.registrar.test"},
            followed,
            "registrar.test",
            false},
        Row{"tab after the colon and blanks after the name",
            "whois server:\twhois.registrar.test  \r\nRegistrar: x\r\n",
            {"whois.registry.test", "whois.registrar.test"},
            followed,
            "registrar.test",
            false},
        Row{"no blank after the colon",
            "Whois Server:whois.registrar.test",
            {"whois.registry.test", "whois.registrar.test"},
            followed,
            "registrar.test",
            false},
        Row{"referral back to the same server",
            "Registrar WHOIS Server: whois.registry.test\r\n",
            {"whois.registry.test"},
            Answer(Connected(Registry), "Registrar WHOIS Server: whois.registry.test\r\n"),
            "registry.test",
            false},
        Row{"name already inside a note",
            "Registrar WHOIS Server: registry.test\r\n",
            {"whois.registry.test"},
            Answer(Connected(Registry), "Registrar WHOIS Server: registry.test\r\n"),
            "registry.test",
            false},
        Row{"empty referral, as registrars without port 43 print it",
            "Registrar WHOIS Server: \r\n",
            {"whois.registry.test"},
            Answer(Connected(Registry), "Registrar WHOIS Server: \r\n"),
            "registry.test",
            false},
        Row{"address with a scheme is no host name",
            "Registrar WHOIS Server: http://whois.registrar.test/\r\n",
            {"whois.registry.test"},
            Answer(Connected(Registry), "Registrar WHOIS Server: http://whois.registrar.test/\r\n"),
            "registry.test",
            false},
        Row{"host with a port is no host name",
            "Registrar WHOIS Server: whois.registrar.test:43\r\n",
            {"whois.registry.test"},
            Answer(Connected(Registry), "Registrar WHOIS Server: whois.registrar.test:43\r\n"),
            "registry.test",
            false},
        Row{"underscore is no host name character",
            "Registrar WHOIS Server: whois_registrar.test\r\n",
            {"whois.registry.test"},
            Answer(Connected(Registry), "Registrar WHOIS Server: whois_registrar.test\r\n"),
            "registry.test",
            false},
        Row{"longest host name is followed",
            "Registrar WHOIS Server: " + longest + "\r\n",
            {"whois.registry.test", longest},
            Answer(Connected(Registry) + Connected(longest), RegistrarReply),
            longest.substr(longest.find('.') + 1),
            false},
        Row{"longer host name is not",
            "Registrar WHOIS Server: " + tooLong + "\r\n",
            {"whois.registry.test"},
            Answer(Connected(Registry), "Registrar WHOIS Server: " + tooLong + "\r\n"),
            "registry.test",
            false},
        // The registry's record, with its expiry date, outlives a registrar that has switched
        // its port-43 service off.
        Row{"refused referral keeps the registry's reply",
            "Registrar WHOIS Server: whois.refused.test\r\n",
            {"whois.registry.test", "whois.refused.test"},
            Answer(Connected(Registry) + NotConnected("whois.refused.test"),
                   "Registrar WHOIS Server: whois.refused.test\r\n"),
            "refused.test",
            true},
        Row{"unknown referral host keeps the registry's reply",
            "Registrar WHOIS Server: whois.nowhere.test\r\n",
            {"whois.registry.test", "whois.nowhere.test"},
            Answer(Connected(Registry) + NotConnected("whois.nowhere.test"),
                   "Registrar WHOIS Server: whois.nowhere.test\r\n"),
            "nowhere.test",
            true},
        Row{"referral that sends nothing keeps the registry's reply",
            "Registrar WHOIS Server: whois.empty.test\r\n",
            {"whois.registry.test", "whois.empty.test"},
            Answer(Connected(Registry) + Connected("whois.empty.test"), "Registrar WHOIS Server: whois.empty.test\r\n"),
            "empty.test",
            false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        registry_.SetReply(Reply(row.RegistryAnswer));
        auto connector = NewConnector();
        connector->Map("whois.refused.test", refused.Port());
        connector->Map("whois.empty.test", silentAfterQuery.Port());
        connector->Map(longest, longName.Port());
        connector->Map(tooLong, longName.Port());
        const WhoisLookupResult result = Lookup(*connector);
        EXPECT_EQ(connector->RequestedHosts(), row.Hosts);
        EXPECT_EQ(result.Text, row.Expected);
        EXPECT_EQ(result.Registrar, row.Registrar);
        EXPECT_EQ(result.Failed, row.Failed);
    }
    ASSERT_TRUE(registrar_.WaitForRequests(1, GenerousWait));
    EXPECT_EQ(registrar_.Requests().front(), "example.com");
}

TEST_F(WhoisLookupTest, AChainOfReferralsEndsAfterFiveOfThem) {
    // Every server names the next one: whois.hop0.test refers to hop1, hop1 to hop2, and so on.
    LoopbackTcpServer hops;
    std::atomic<int> asked{0};
    hops.SetHandler([&asked](std::string_view) {
        const int hop = asked.fetch_add(1);
        return Reply("Hop " + std::to_string(hop) + "\r\nWhois Server: whois.hop" + std::to_string(hop + 1) +
                     ".test\r\n");
    });
    WriteTable(".com whois.hop0.test\n");
    auto connector = NewConnector();
    std::vector<std::string> expectedHosts;
    std::string expectedNotes;
    for (int hop = 0; hop <= 10; ++hop) {
        const std::string host = "whois.hop" + std::to_string(hop) + ".test";
        connector->Map(host, hops.Port());
        if (hop <= MaxWhoisReferrals) {
            expectedHosts.push_back(host);
            expectedNotes += Connected(host);
        }
    }
    const WhoisLookupResult result = Lookup(*connector);
    EXPECT_EQ(connector->RequestedHosts(), expectedHosts);
    EXPECT_EQ(result.Text, Answer(expectedNotes, "Hop 5\r\nWhois Server: whois.hop6.test\r\n"));
    EXPECT_EQ(result.Registrar, "hop5.test");
    EXPECT_FALSE(result.Failed);
}

TEST_F(WhoisLookupTest, AListOfSeveralRecordsIsAskedAgainForTheExactNameOnce) {
    struct Row {
        std::string_view Name;
        std::string ExactReply;
        std::vector<std::string> Hosts;
        std::string Expected;
        std::string Registrar;
    };
    const std::string listWithReferral =
        std::string(SeveralRecords) + "Registrar WHOIS Server: whois.registrar.test\r\n";
    const std::array rows{
        Row{"exact query singles out the record",
            std::string(RegistryReply),
            {"whois.registry.test", "whois.registry.test"},
            Answer(Connected(Registry), RegistryReply),
            "registry.test"},
        Row{"record of the exact query refers on",
            "Registrar WHOIS Server: whois.registrar.test\r\n",
            {"whois.registry.test", "whois.registry.test", "whois.registrar.test"},
            Answer(Connected(Registry) + Connected(Registrar), RegistrarReply),
            "registrar.test"},
        // A server that keeps answering with the list would be asked for ever; its second list
        // is the reply, and a referral line inside a list is not followed.
        Row{"exact query answered with the list again",
            listWithReferral,
            {"whois.registry.test", "whois.registry.test"},
            Answer(Connected(Registry), listWithReferral),
            "registry.test"},
        Row{"exact query answered with nothing keeps the list",
            "",
            {"whois.registry.test", "whois.registry.test"},
            Answer(Connected(Registry), SeveralRecords),
            "registry.test"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        LoopbackTcpServer registry;
        registry.SetHandler([&row](std::string_view query) {
            return Reply(query.starts_with('=') ? row.ExactReply : std::string(SeveralRecords));
        });
        auto connector = NewConnector();
        connector->Map(std::string(Registry), registry.Port());
        const WhoisLookupResult result = Lookup(*connector);
        EXPECT_EQ(registry.Requests(), (std::vector<std::string>{"example.com", "=example.com"}));
        EXPECT_EQ(connector->RequestedHosts(), row.Hosts);
        EXPECT_EQ(result.Text, row.Expected);
        EXPECT_EQ(result.Registrar, row.Registrar);
        EXPECT_FALSE(result.Failed);
    }
}

TEST_F(WhoisLookupTest, ARegistrarThatListsSeveralRecordsIsAskedAgainAsWell) {
    registry_.SetReply(Reply("Registrar WHOIS Server: whois.registrar.test\r\n"));
    registrar_.SetHandler([](std::string_view query) {
        return Reply(query.starts_with('=') ? std::string(RegistrarReply) : std::string(SeveralRecords));
    });
    auto connector = NewConnector();
    const WhoisLookupResult result = Lookup(*connector);
    EXPECT_EQ(registry_.Requests(), std::vector<std::string>{"example.com"});
    EXPECT_EQ(registrar_.Requests(), (std::vector<std::string>{"example.com", "=example.com"}));
    EXPECT_EQ(result.Text, Answer(Connected(Registry) + Connected(Registrar), RegistrarReply));
}

TEST_F(WhoisLookupTest, AReplyIsBoundedByTheTimeOutAndTheSizeLimitKeepingWhatArrived) {
    const std::string record(RegistryReply);
    std::string endless;
    while (endless.size() < MaxWhoisReplyBytes) {
        endless += record;
    }
    endless.resize(MaxWhoisReplyBytes);
    std::string exactlyTheBound = endless;
    exactlyTheBound.back() = '\n';
    struct Row {
        std::string_view Name;
        TcpReply Reply;
        std::chrono::milliseconds Timeout;
        std::string ExpectedReply;
        bool Failed;
    };
    const std::array rows{
        Row{"server that closes without a word", Reply(""), Timeout, "", false},
        Row{"silent server", TcpReply{.Fault = TcpFault::Silent}, 300ms, "", true},
        Row{"server that answers and never closes", TcpReply{.Bytes = record, .Fault = TcpFault::NeverClose}, 300ms,
            record, true},
        Row{"server that sends for ever", TcpReply{.Bytes = record, .Fault = TcpFault::Endless}, 60s, endless, true},
        Row{"reply of exactly the size limit", Reply(exactlyTheBound), 60s, exactlyTheBound, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        registry_.SetReply(row.Reply);
        auto connector = NewConnector();
        const WhoisLookupResult result = Lookup(*connector, "example.com", row.Timeout);
        EXPECT_EQ(result.Failed, row.Failed);
        EXPECT_TRUE(result.Text == Answer(Connected(Registry), row.ExpectedReply));
        EXPECT_EQ(result.Text.size(), Answer(Connected(Registry), row.ExpectedReply).size());
    }
}

TEST_F(WhoisLookupTest, AReplyCutByAResetIsKeptAndItsReferralFollowed) {
    const std::string partial = "Registrar WHOIS Server: whois.registrar.test\r\n";
    // Half of the bytes go out before the reset: the referral line and some of the filler.
    registry_.SetReply(
        TcpReply{.Bytes = partial + std::string(2 * 100000 - partial.size(), '%'), .Fault = TcpFault::ResetMidReply});
    auto connector = NewConnector();
    const WhoisLookupResult result = Lookup(*connector);
    EXPECT_TRUE(result.Failed);
    EXPECT_EQ(connector->RequestedHosts(), (std::vector<std::string>{"whois.registry.test", "whois.registrar.test"}));
    EXPECT_EQ(result.Text, Answer(Connected(Registry) + Connected(Registrar), RegistrarReply));
}

TEST_F(WhoisLookupTest, AnUnreadableTableIsAnErrorBeforeAnyConnection) {
    struct Row {
        std::string_view Name;
        std::filesystem::path Table;
    };
    const std::array rows{Row{"missing file", dir_.Path() / "configs" / "missing.ini"},
                          Row{"folder in the file's place", dir_.Path() / "configs"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        auto connector = NewConnector();
        try {
            (void)WhoisLookup(*connector, row.Table, "example.com", "", Timeout, {});
            ADD_FAILURE() << "no error raised";
        } catch (const WhoisTableError& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot open file " + row.Table.string());
        }
        EXPECT_TRUE(connector->Requests().empty());
    }
}

TEST_F(WhoisLookupTest, TheRegistrarComesFromTheLastServerUnlessTheCallerPassedZero) {
    LoopbackTcpServer bare;
    struct Row {
        std::string_view Name;
        std::string_view Server;
        std::string_view RegistrarIn;
        std::string_view Expected;
    };
    const std::array rows{
        Row{"empty on entry", "whois.registry.test", "", "registry.test"},
        Row{"zero on entry stays zero", "whois.registry.test", "0", "0"},
        Row{"anything else is replaced", "whois.registry.test", "0 ", "registry.test"},
        Row{"server name without a dot", "localwhois", "", "localwhois"},
        Row{"no server at all", "", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteTable(".com " + std::string(row.Server) + "\n");
        auto connector = NewConnector();
        connector->Map("localwhois", bare.Port());
        EXPECT_EQ(Lookup(*connector, "example.com", Timeout, row.RegistrarIn).Registrar, row.Expected);
    }
}

TEST_F(WhoisLookupTest, AStopRequestEndsALookupWaitingOnASilentServer) {
    registry_.SetReply(TcpReply{.Fault = TcpFault::Silent});
    auto connector = NewConnector();
    std::stop_source stop;
    auto lookup =
        std::async(std::launch::async, [&] { return Lookup(*connector, "example.com", 60s, "", stop.get_token()); });
    ASSERT_TRUE(registry_.WaitForRequests(1, GenerousWait));
    stop.request_stop();
    ASSERT_EQ(lookup.wait_for(GenerousWait), std::future_status::ready);
    const WhoisLookupResult result = lookup.get();
    EXPECT_TRUE(result.Failed);
    EXPECT_EQ(result.Text, Answer(Connected(Registry), ""));
}

// Guards the connector's shared parts (the resolver helpers, the mapping) and the lookup's
// per-call state against races when workers look names up at the same time.
TEST_F(WhoisLookupTest, ConcurrentLookupsThroughOneConnectorGetTheirOwnAnswers) {
    registry_.SetHandler([](std::string_view query) {
        return Reply("Domain Name: " + std::string(query) + "\r\nRegistrar WHOIS Server: whois.registrar.test\r\n");
    });
    registrar_.SetHandler([](std::string_view query) { return Reply("Record of " + std::string(query) + "\r\n"); });
    auto connector = NewConnector();
    connector->Map(std::string(Registrar), registrar_.Port(), "localhost");
    constexpr int Threads = 8;
    constexpr int LookupsEach = 4;
    std::latch start(Threads);
    std::vector<std::future<std::vector<std::string>>> results;
    for (int t = 0; t < Threads; ++t) {
        results.push_back(std::async(std::launch::async, [&, t] {
            start.arrive_and_wait();
            std::vector<std::string> texts;
            for (int i = 0; i < LookupsEach; ++i) {
                texts.push_back(Lookup(*connector, "name" + std::to_string(t * LookupsEach + i) + ".com").Text);
            }
            return texts;
        }));
    }
    for (int t = 0; t < Threads; ++t) {
        const std::vector<std::string> texts = results[t].get();
        for (int i = 0; i < LookupsEach; ++i) {
            const std::string name = "name" + std::to_string(t * LookupsEach + i) + ".com";
            EXPECT_EQ(texts[i], Answer(Connected(Registry) + Connected(Registrar), "Record of " + name + "\r\n"));
        }
    }
}

// The shipped table is data the lookup trusts line by line: an empty line or a line without a
// blank would send every later name to one server, and a line below a shorter suffix that ends
// it could never be reached.
TEST(ShippedWhoisTableTest, ListsTheFilteredDomainsFirstAndEveryEntryIsReachable) {
    const WhoisServerTable table =
        ReadWhoisServerTable(std::filesystem::path(OSTREVANE_SHIPPED_CONFIGS) / "whoistldconf.ini");
    ASSERT_EQ(table.Suffixes.size(), table.Servers.size());
    const std::vector<std::string> firstSix(table.Suffixes.begin(),
                                            table.Suffixes.begin() + std::min<std::size_t>(6, table.Suffixes.size()));
    EXPECT_EQ(firstSix, (std::vector<std::string>{".com", ".net", ".org", ".info", ".biz", ".us"}));
    for (std::size_t i = 0; i < table.Suffixes.size(); ++i) {
        const std::string& suffix = table.Suffixes[i];
        SCOPED_TRACE(suffix + " " + table.Servers[i]);
        EXPECT_TRUE(suffix.starts_with('.'));
        EXPECT_EQ(suffix, AsciiLowerCopy(suffix));
        EXPECT_TRUE(IsPlausibleHostName(table.Servers[i]));
        for (std::size_t earlier = 0; earlier < i; ++earlier) {
            EXPECT_FALSE(suffix.ends_with(table.Suffixes[earlier])) << "hidden by " << table.Suffixes[earlier];
        }
    }

    struct Row {
        std::string_view Domain;
        std::string_view Server;
    };
    const std::array rows{
        Row{"example.com", "whois.verisign-grs.com"}, Row{"example.net", "whois.verisign-grs.com"},
        Row{"example.org", "whois.pir.org"},          Row{"example.info", "whois.nic.info"},
        Row{"example.biz", "whois.nic.biz"},          Row{"example.us", "whois.nic.us"},
        Row{"example.co.uk", "whois.nic.uk"},         Row{"example.de", "whois.denic.de"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Domain);
        EXPECT_EQ(FindWhoisServer(table, row.Domain), row.Server);
    }
}

}  // namespace
}  // namespace ostrevane
