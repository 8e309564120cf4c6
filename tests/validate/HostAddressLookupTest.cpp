#include "validate/HostAddressLookup.h"

#include "tests/support/LoopbackSocket.h"
#include "tests/support/LoopbackTcpServer.h"
#include "tests/validate/MappedTcpConnector.h"
#include "validate/PosixTcpConnector.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <stop_token>
#include <string>
#include <string_view>

namespace ostrevane {
namespace {

using namespace std::chrono_literals;
using test::LoopbackTcpServer;
using test::MappedTcpConnector;

constexpr std::chrono::milliseconds GenerousWait = 20s;

TEST(HostAddressLookupTest, GivesTheAddressConnectedToOrNotAvailable) {
    LoopbackTcpServer web;
    web.SetAcceptOnly(true);
    const test::ClosedPort refused;
    MappedTcpConnector connector;
    connector.Map("www.example.com", web.Port());
    connector.Map("www.by-name.com", web.Port(), "localhost");
    connector.Map("www.refused.com", refused.Port());
    struct Row {
        std::string_view Name;
        std::string Host;
        std::string_view Expected;
    };
    const std::array rows{
        Row{"host accepting connections", "www.example.com", "127.0.0.1"},
        Row{"host found through the system's resolver", "www.by-name.com", "127.0.0.1"},
        Row{"host refusing connections", "www.refused.com", "n/a"},
        Row{"name that does not resolve", "www.nowhere.com", "n/a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(HostAddressLookup(connector, row.Host, {}), row.Expected);
        ASSERT_FALSE(connector.Requests().empty());
        EXPECT_EQ(connector.Requests().back().Host, row.Host);
        EXPECT_EQ(connector.Requests().back().Port, 80);
    }
    // Nothing is sent, and each connection is closed as soon as its address is known.
    EXPECT_TRUE(web.WaitForClosedConnections(2, GenerousWait));
    EXPECT_TRUE(web.Requests().empty());
}

TEST(HostAddressLookupTest, RealConnectorGivesNotAvailableForNamesThatCannotBeReached) {
    struct Row {
        std::string_view Name;
        std::string Host;
        bool Stopped;
    };
    const std::array rows{
        Row{"name that does not resolve", "www.nosuchhost.invalid", false},
        Row{"empty name", "", false},
        Row{"lookup stopped before it began", "127.0.0.1", true},
    };
    PosixTcpConnector connector;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        std::stop_source stop;
        if (row.Stopped) {
            stop.request_stop();
        }
        EXPECT_EQ(HostAddressLookup(connector, row.Host, stop.get_token()), HostAddressUnavailable);
    }
}

}  // namespace
}  // namespace ostrevane
