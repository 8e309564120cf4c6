#include "validate/PosixTcpConnector.h"

#include "tests/support/LoopbackSocket.h"
#include "tests/support/LoopbackTcpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <latch>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

namespace ostrevane {
namespace {

using namespace std::chrono_literals;
using test::LoopbackTcpServer;
using test::TcpFault;
using test::TcpReply;
using test::UniqueFd;

// Long enough that a step which returns within GenerousWait can only have been ended by a stop.
constexpr std::chrono::milliseconds LongTimeout = 60s;
constexpr std::chrono::milliseconds GenerousWait = 20s;

TcpClock::time_point In(std::chrono::milliseconds wait) {
    return TcpClock::now() + wait;
}

// A listener on 127.0.0.1 whose accept queue is full: it never accepts, its backlog is 0 and one
// queued connection fills it, so the kernel drops the handshake of every further connect and
// that connect neither succeeds nor fails until its time-out.
class FullBacklogListener final {
public:
    FullBacklogListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        const auto* raw = reinterpret_cast<sockaddr*>(&address);
        EXPECT_EQ(::bind(listener_.Get(), raw, sizeof address), 0);
        EXPECT_EQ(::listen(listener_.Get(), 0), 0);
        EXPECT_EQ(::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
        EXPECT_EQ(::connect(filler_.Get(), raw, sizeof address), 0);
    }
    [[nodiscard]] std::uint16_t Port() const { return port_; }

private:
    UniqueFd listener_{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    UniqueFd filler_{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    std::uint16_t port_ = 0;
};

// Reads until the connection ends one way or another; returns how it ended.
TcpStatus ReadToEnd(TcpConnection& connection, std::string& into, std::chrono::milliseconds wait = 15s) {
    const TcpClock::time_point deadline = In(wait);
    TcpStatus status = TcpStatus::Ok;
    while (status == TcpStatus::Ok) {
        status = connection.ReadSome(into, 4096, deadline, {});
    }
    return status;
}

TEST(PosixTcpConnectorTest, ConnectsByNumberOrNameExchangesALineAndReportsTheAddress) {
    struct Row {
        std::string_view Name;
        std::string Host;
    };
    const std::array rows{Row{"numeric address", "127.0.0.1"}, Row{"name resolved by the system", "localhost"}};
    LoopbackTcpServer server;
    PosixTcpConnector connector;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TcpConnectResult connected = connector.Connect(row.Host, server.Port(), 10s, {});
        ASSERT_EQ(connected.Status, TcpStatus::Ok);
        ASSERT_NE(connected.Connection, nullptr);
        EXPECT_EQ(connected.Connection->RemoteAddress(), "127.0.0.1");
        EXPECT_EQ(connected.Connection->WriteAll("example.com\r\n", In(10s), {}), TcpStatus::Ok);
        std::string reply;
        EXPECT_EQ(ReadToEnd(*connected.Connection, reply), TcpStatus::PeerClosed);
        EXPECT_EQ(reply, LoopbackTcpServer::DefaultAnswer);
    }
    EXPECT_EQ(server.Requests(), (std::vector<std::string>{"example.com", "example.com"}));
}

TEST(PosixTcpConnectorTest, ConnectFailuresAreReportedNotThrown) {
    const test::ClosedPort closedPort;
    const FullBacklogListener silentPeer;
    struct Row {
        std::string_view Name;
        std::string Host;
        std::uint16_t Port;
        std::chrono::milliseconds Timeout;
        TcpStatus Expected;
    };
    const std::array rows{
        Row{"connection refused", "127.0.0.1", closedPort.Port(), 10s, TcpStatus::Failed},
        Row{"empty host name", "", closedPort.Port(), 10s, TcpStatus::Failed},
        // The resolver's own give-up comes well before this time-out.
        Row{"name that does not resolve", "nosuchhost.invalid", 80, 60s, TcpStatus::Failed},
        Row{"peer that never completes the handshake", "127.0.0.1", silentPeer.Port(), 300ms, TcpStatus::TimedOut},
    };
    PosixTcpConnector connector;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const TcpConnectResult connected = connector.Connect(row.Host, row.Port, row.Timeout, {});
        EXPECT_EQ(connected.Status, row.Expected);
        EXPECT_EQ(connected.Connection, nullptr);
    }
}

TEST(PosixTcpConnectorTest, ReadEndsAtTheDeadlineKeepingWhatArrived) {
    struct Row {
        std::string_view Name;
        TcpReply Reply;
        std::string Expected;
    };
    const std::array rows{
        Row{"silent server", TcpReply{.Fault = TcpFault::Silent}, ""},
        Row{"server that sends part and keeps the line open",
            TcpReply{.Bytes = "Domain Name: EXAMPLE.COM\r\n", .Fault = TcpFault::NeverClose},
            "Domain Name: EXAMPLE.COM\r\n"},
    };
    PosixTcpConnector connector;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        LoopbackTcpServer server;
        server.SetReply(row.Reply);
        TcpConnectResult connected = connector.Connect("127.0.0.1", server.Port(), 10s, {});
        ASSERT_EQ(connected.Status, TcpStatus::Ok);
        ASSERT_EQ(connected.Connection->WriteAll("example.com\r\n", In(10s), {}), TcpStatus::Ok);
        std::string reply;
        EXPECT_EQ(ReadToEnd(*connected.Connection, reply, 300ms), TcpStatus::TimedOut);
        EXPECT_EQ(reply, row.Expected);
    }
}

TEST(PosixTcpConnectorTest, ResetMidReplyFailsAfterDeliveringAPrefix) {
    LoopbackTcpServer server;
    const std::string answer(200000, 'r');
    server.SetReply(TcpReply{.Bytes = answer, .Fault = TcpFault::ResetMidReply});
    PosixTcpConnector connector;
    TcpConnectResult connected = connector.Connect("127.0.0.1", server.Port(), 10s, {});
    ASSERT_EQ(connected.Status, TcpStatus::Ok);
    ASSERT_EQ(connected.Connection->WriteAll("example.com\r\n", In(10s), {}), TcpStatus::Ok);
    std::string reply;
    EXPECT_EQ(ReadToEnd(*connected.Connection, reply), TcpStatus::Failed);
    EXPECT_LT(reply.size(), answer.size());
    EXPECT_EQ(reply, answer.substr(0, reply.size()));
}

TEST(PosixTcpConnectorTest, WritingToAPeerThatLeftFailsWithoutRaisingSigpipe) {
    LoopbackTcpServer server;
    server.SetReply(TcpReply{.Fault = TcpFault::AcceptThenClose});
    PosixTcpConnector connector;
    TcpConnectResult connected = connector.Connect("127.0.0.1", server.Port(), 10s, {});
    ASSERT_EQ(connected.Status, TcpStatus::Ok);
    ASSERT_TRUE(server.WaitForClosedConnections(1, GenerousWait));
    // The first bytes may still be taken by the kernel; the reset they draw fails a later send,
    // which without MSG_NOSIGNAL would end the process with SIGPIPE.
    const std::string block(64 * 1024, 'x');
    TcpStatus status = TcpStatus::Ok;
    for (int attempt = 0; attempt < 100 && status == TcpStatus::Ok; ++attempt) {
        status = connected.Connection->WriteAll(block, In(10s), {});
    }
    EXPECT_EQ(status, TcpStatus::Failed);
}

TEST(PosixTcpConnectorTest, WriteEndsAtTheDeadlineWhenThePeerReadsNothing) {
    LoopbackTcpServer server;
    server.SetAcceptOnly(true);
    PosixTcpConnector connector;
    TcpConnectResult connected = connector.Connect("127.0.0.1", server.Port(), 10s, {});
    ASSERT_EQ(connected.Status, TcpStatus::Ok);
    // More than the socket buffers of both ends hold.
    const std::string bytes(64 * 1024 * 1024, 'x');
    EXPECT_EQ(connected.Connection->WriteAll(bytes, In(300ms), {}), TcpStatus::TimedOut);
}

// A stop request must end a step that would otherwise wait out its whole time-out. The stop
// comes from another thread once the step has (most likely) begun; a stop that lands just before
// the step gives the same result, so the test holds either way.
TEST(PosixTcpConnectorTest, StopRequestEndsAConnectOrReadPromptly) {
    enum class Step { Connect, Read, Write };
    struct Row {
        std::string_view Name;
        Step Blocked;
    };
    const std::array rows{Row{"connect to a peer that never completes the handshake", Step::Connect},
                          Row{"read from a silent server", Step::Read},
                          Row{"write to a peer that reads nothing", Step::Write}};
    PosixTcpConnector connector;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const FullBacklogListener silentPeer;
        LoopbackTcpServer server;
        server.SetReply(TcpReply{.Fault = TcpFault::Silent});
        server.SetAcceptOnly(row.Blocked == Step::Write);
        std::unique_ptr<TcpConnection> connection;
        if (row.Blocked != Step::Connect) {
            TcpConnectResult connected = connector.Connect("127.0.0.1", server.Port(), 10s, {});
            ASSERT_EQ(connected.Status, TcpStatus::Ok);
            connection = std::move(connected.Connection);
            if (row.Blocked == Step::Read) {
                ASSERT_EQ(connection->WriteAll("example.com\r\n", In(10s), {}), TcpStatus::Ok);
            }
        }
        std::stop_source stop;
        std::latch started(1);
        const std::string bigBlock(row.Blocked == Step::Write ? 64 * 1024 * 1024 : 0, 'x');
        auto blocked = std::async(std::launch::async, [&] {
            started.count_down();
            std::string reply;
            switch (row.Blocked) {
            case Step::Connect:
                return connector.Connect("127.0.0.1", silentPeer.Port(), LongTimeout, stop.get_token()).Status;
            case Step::Read:
                return connection->ReadSome(reply, 4096, In(LongTimeout), stop.get_token());
            case Step::Write:
                return connection->WriteAll(bigBlock, In(LongTimeout), stop.get_token());
            }
            return TcpStatus::Failed;
        });
        started.wait();
        stop.request_stop();
        ASSERT_EQ(blocked.wait_for(GenerousWait), std::future_status::ready);
        EXPECT_EQ(blocked.get(), TcpStatus::Stopped);
    }
}

TEST(PosixTcpConnectorTest, StepsOfAConnectionCanUseFreshTokensAfterAStop) {
    // A stop of one read leaves the connection's wake-up signalled; the next read, with a token
    // of its own, must wait for its data rather than spin or report a stop.
    LoopbackTcpServer server;
    server.SetReply(TcpReply{.Bytes = "late reply\r\n", .Delay = 200ms});
    PosixTcpConnector connector;
    TcpConnectResult connected = connector.Connect("127.0.0.1", server.Port(), 10s, {});
    ASSERT_EQ(connected.Status, TcpStatus::Ok);
    ASSERT_EQ(connected.Connection->WriteAll("example.com\r\n", In(10s), {}), TcpStatus::Ok);
    std::stop_source stopped;
    stopped.request_stop();
    std::string reply;
    EXPECT_EQ(connected.Connection->ReadSome(reply, 4096, In(10s), stopped.get_token()), TcpStatus::Stopped);
    EXPECT_EQ(ReadToEnd(*connected.Connection, reply), TcpStatus::PeerClosed);
    EXPECT_EQ(reply, "late reply\r\n");
}

}  // namespace
}  // namespace ostrevane
