#include "tests/support/LoopbackTcpServer.h"

#include "tests/support/BlockingClient.h"

#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ostrevane::test {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kDeadline = 10s;

struct Exchange {
    ReadResult Answer;
    bool Sent = false;
};

// One connection: optionally waits for the greeting, sends the bytes, optionally shuts down the
// sending side, then reads the answer to the end.
Exchange Ask(const LoopbackTcpServer& server, std::string_view query, bool shutDownAfter = false,
             std::string_view greeting = {}) {
    Exchange exchange;
    const UniqueFd client = ConnectBlocking(server.Port());
    if (!client.Valid()) {
        return exchange;
    }
    std::string received;
    std::array<char, 256> buffer{};
    while (received.size() < greeting.size()) {
        const ssize_t got = ::recv(client.Get(), buffer.data(), buffer.size(), 0);
        if (got <= 0) {
            return exchange;
        }
        received.append(buffer.data(), static_cast<std::size_t>(got));
    }
    exchange.Sent = SendText(client.Get(), query);
    if (shutDownAfter) {
        ::shutdown(client.Get(), SHUT_WR);
    }
    exchange.Answer = ReadToEnd(client.Get());
    exchange.Answer.Bytes.insert(0, received);
    return exchange;
}

TEST(LoopbackTcpServerTest, RecordsEachRequestLineAndAnswersIt) {
    LoopbackTcpServer server;
    server.SetHandler([](std::string_view line) { return TcpReply{.Bytes = "answer:" + std::string(line) + "\r\n"}; });

    struct Case {
        const char* Name;
        std::string Sent;
        bool ShutDownAfter;
        std::string Line;
    };
    const std::vector<Case> cases = {
        {"CrLf", "example.com\r\n", false, "example.com"},
        {"BareLf", "example.org\n", false, "example.org"},
        {"Flags", "-T dn,ace xn--bcher-kva.example\r\n", false, "-T dn,ace xn--bcher-kva.example"},
        {"EmptyLine", "\r\n", false, ""},
        {"TrailingBytesIgnored", "first.example\r\nsecond.example\r\n", false, "first.example"},
        {"NoNewlineThenShutdown", "last.example", true, "last.example"},
        {"CrLfThenShutdown", "half.example\r\n", true, "half.example"},
    };
    std::vector<std::string> expectedLog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Exchange exchange = Ask(server, c.Sent, c.ShutDownAfter);
        ASSERT_TRUE(exchange.Sent);
        EXPECT_EQ(exchange.Answer.Bytes, "answer:" + c.Line + "\r\n");
        EXPECT_EQ(exchange.Answer.End, ReadEnd::PeerClosed);
        expectedLog.push_back(c.Line);
    }
    EXPECT_EQ(server.Requests(), expectedLog);
    EXPECT_EQ(server.ConnectionCount(), cases.size());
    EXPECT_TRUE(server.WaitForClosedConnections(cases.size(), kDeadline));
}

TEST(LoopbackTcpServerTest, DeliversPacedDelayedGreetedAndDefaultAnswersWhole) {
    std::string longAnswer;
    for (int i = 0; i < 2000; ++i) {
        longAnswer += "line " + std::to_string(i) + "\r\n";
    }
    struct Case {
        const char* Name;
        std::optional<TcpReply> Reply;  // nullopt: the server's default
        std::string Greeting;
        std::string Expected;
    };
    const std::vector<Case> cases = {
        {"Default", std::nullopt, "", std::string(LoopbackTcpServer::DefaultAnswer)},
        {"Plain", TcpReply{.Bytes = "Domain Name: EXAMPLE.COM\r\n"}, "", "Domain Name: EXAMPLE.COM\r\n"},
        {"Paced", TcpReply{.Bytes = longAnswer, .ChunkSize = 1000, .ChunkDelay = 1ms}, "", longAnswer},
        {"Delayed", TcpReply{.Bytes = "late\r\n", .Delay = 30ms}, "", "late\r\n"},
        {"Greeted", TcpReply{.Bytes = "answer\r\n"}, "% hello\r\n", "% hello\r\nanswer\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        LoopbackTcpServer server;
        if (c.Reply) {
            server.SetReply(*c.Reply);
        }
        server.SetGreeting(c.Greeting);
        const Exchange exchange = Ask(server, "query.example\r\n", false, c.Greeting);
        ASSERT_TRUE(exchange.Sent);
        EXPECT_EQ(exchange.Answer.Bytes, c.Expected);
        EXPECT_EQ(exchange.Answer.End, ReadEnd::PeerClosed);
        EXPECT_EQ(server.Requests(), std::vector<std::string>{"query.example"});
    }
}

TEST(LoopbackTcpServerTest, CutsAnOverlongLineAtTheBound) {
    LoopbackTcpServer server;
    const Exchange exchange = Ask(server, std::string(3 * LoopbackTcpServer::MaxRequestLineBytes, 'x') + "\r\n");
    EXPECT_EQ(exchange.Answer.Bytes, LoopbackTcpServer::DefaultAnswer);
    const std::vector<std::string> log = server.Requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log.front(), std::string(LoopbackTcpServer::MaxRequestLineBytes, 'x'));
}

TEST(LoopbackTcpServerTest, ResetMidReplyDeliversOnlyAPrefix) {
    LoopbackTcpServer server;
    const std::string answer(400000, 'r');
    server.SetReply(TcpReply{.Bytes = answer, .Fault = TcpFault::ResetMidReply});
    const Exchange exchange = Ask(server, "reset.example\r\n");
    EXPECT_TRUE(exchange.Answer.End == ReadEnd::Reset || exchange.Answer.End == ReadEnd::PeerClosed);
    EXPECT_LT(exchange.Answer.Bytes.size(), answer.size());
    EXPECT_EQ(exchange.Answer.Bytes, answer.substr(0, exchange.Answer.Bytes.size()));
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"reset.example"});
}

TEST(LoopbackTcpServerTest, AcceptThenCloseReadsNothingAsTheFixedReplyButLogsFromAHandler) {
    LoopbackTcpServer server;
    server.SetReply(TcpReply{.Fault = TcpFault::AcceptThenClose});
    const Exchange unread = Ask(server, "dropped.example\r\n");
    EXPECT_TRUE(unread.Answer.Bytes.empty());
    EXPECT_TRUE(unread.Answer.End == ReadEnd::PeerClosed || unread.Answer.End == ReadEnd::Reset);
    EXPECT_TRUE(server.Requests().empty());

    server.SetHandler([](std::string_view) { return TcpReply{.Bytes = "unsent", .Fault = TcpFault::AcceptThenClose}; });
    const Exchange read = Ask(server, "read.example\r\n");
    EXPECT_TRUE(read.Answer.Bytes.empty());
    EXPECT_EQ(read.Answer.End, ReadEnd::PeerClosed);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"read.example"});
    EXPECT_EQ(server.ConnectionCount(), 2u);
}

TEST(LoopbackTcpServerTest, AcceptOnlyModeNeitherReadsNorSends) {
    LoopbackTcpServer server;
    server.SetGreeting("never sent\r\n");
    server.SetAcceptOnly(true);
    {
        const UniqueFd probe = ConnectBlocking(server.Port());
        ASSERT_TRUE(probe.Valid());
        ASSERT_TRUE(server.WaitForConnections(1, kDeadline));
        ASSERT_TRUE(SendText(probe.Get(), "ignored\r\n"));
        EXPECT_FALSE(ReadableWithin(probe.Get(), 50ms));
        EXPECT_EQ(server.ClosedConnectionCount(), 0u);
    }  // the probe leaves
    EXPECT_TRUE(server.WaitForClosedConnections(1, kDeadline));
    EXPECT_TRUE(server.Requests().empty());
}

// Answers that never end by themselves.
struct HangingCase {
    const char* Name;
    TcpReply Reply;
    bool AcceptOnly;
    std::size_t BytesBeforeStop;  // what the client must have before the server is destroyed
    bool EndsWhenClientLeaves;
};

std::vector<HangingCase> HangingCases() {
    return {
        HangingCase{"Silent", TcpReply{.Bytes = "unsent", .Fault = TcpFault::Silent}, false, 0, false},
        HangingCase{"NeverClose", TcpReply{.Bytes = "all of it\r\n", .Fault = TcpFault::NeverClose}, false, 11, false},
        HangingCase{"Endless", TcpReply{.Bytes = "more\r\n", .Fault = TcpFault::Endless}, false, 512 * 1024, true},
        HangingCase{"EndlessSlowly", TcpReply{.ChunkSize = 64, .ChunkDelay = 1ms, .Fault = TcpFault::Endless}, false,
                    1024, true},
        HangingCase{"LongDelay", TcpReply{.Bytes = "never", .Delay = 1h}, false, 0, false},
        HangingCase{"LongPause", TcpReply{.Bytes = "firstsecond", .ChunkSize = 5, .ChunkDelay = 1h}, false, 5, false},
        HangingCase{"AcceptOnly", TcpReply{}, true, 0, false},
    };
}

std::vector<HangingCase> CasesEndingWhenTheClientLeaves() {
    std::vector<HangingCase> cases = HangingCases();
    std::erase_if(cases, [](const HangingCase& c) { return !c.EndsWhenClientLeaves; });
    return cases;
}

std::string CaseName(const testing::TestParamInfo<HangingCase>& info) {
    return info.param.Name;
}

class LoopbackTcpHangingTest : public testing::TestWithParam<HangingCase> {};
class LoopbackTcpAbandonedAnswerTest : public testing::TestWithParam<HangingCase> {};

TEST_P(LoopbackTcpHangingTest, DestructorEndsTheConnectionWhileTheClientReads) {
    const HangingCase& param = GetParam();
    auto server = std::make_unique<LoopbackTcpServer>();
    server->SetReply(param.Reply);
    server->SetAcceptOnly(param.AcceptOnly);

    const UniqueFd client = ConnectBlocking(server->Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendText(client.Get(), "hang.example\r\n"));
    if (!param.AcceptOnly) {
        // A WHOIS-style half-close must not end the wait for any of these answers. (In accept-only
        // mode it means the client left.)
        ASSERT_EQ(::shutdown(client.Get(), SHUT_WR), 0);
    }
    std::promise<void> enough;
    std::future<void> enoughFuture = enough.get_future();
    std::future<ReadResult> reader = std::async(std::launch::async, [&] {
        bool signalled = false;
        return ReadToEnd(client.Get(), [&](std::string_view bytes) {
            if (!signalled && bytes.size() >= param.BytesBeforeStop) {
                signalled = true;
                enough.set_value();
            }
        });
    });
    ASSERT_TRUE(server->WaitForConnections(1, kDeadline));
    if (!param.AcceptOnly) {
        ASSERT_TRUE(server->WaitForRequests(1, kDeadline));
    }
    ASSERT_EQ(enoughFuture.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(server->ClosedConnectionCount(), 0u);

    server.reset();
    const ReadResult result = reader.get();
    EXPECT_TRUE(result.End == ReadEnd::PeerClosed || result.End == ReadEnd::Reset)
        << "the connection outlived the server";
    EXPECT_GE(result.Bytes.size(), param.BytesBeforeStop);
}

TEST_P(LoopbackTcpAbandonedAnswerTest, ServerLetsGoWhenTheClientLeaves) {
    const HangingCase& param = GetParam();
    LoopbackTcpServer server;
    server.SetReply(param.Reply);
    {
        const UniqueFd client = ConnectBlocking(server.Port());
        ASSERT_TRUE(client.Valid());
        ASSERT_TRUE(SendText(client.Get(), "leave.example\r\n"));
        std::string received;
        std::array<char, 4096> buffer{};
        while (received.size() < param.BytesBeforeStop) {
            const ssize_t got = ::recv(client.Get(), buffer.data(), buffer.size(), 0);
            ASSERT_GT(got, 0);
            received.append(buffer.data(), static_cast<std::size_t>(got));
        }
    }
    EXPECT_TRUE(server.WaitForClosedConnections(1, kDeadline));
}

INSTANTIATE_TEST_SUITE_P(TcpFaults, LoopbackTcpHangingTest, testing::ValuesIn(HangingCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(TcpFaults, LoopbackTcpAbandonedAnswerTest, testing::ValuesIn(CasesEndingWhenTheClientLeaves()),
                         CaseName);

TEST(ClosedPortTest, RefusesConnectionsOnDistinctPorts) {
    const ClosedPort first;
    const ClosedPort second;
    const ClosedPort third;
    const std::set<std::uint16_t> ports = {first.Port(), second.Port(), third.Port()};
    EXPECT_EQ(ports.size(), 3u);
    for (const std::uint16_t port : ports) {
        SCOPED_TRACE(port);
        EXPECT_NE(port, 0);
        EXPECT_EQ(ConnectError(port), ECONNREFUSED);
    }
}

}  // namespace
}  // namespace ostrevane::test
