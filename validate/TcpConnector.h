#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

// What the WHOIS client and the host address lookup need of a TCP client. Production code hands
// in PosixTcpConnector; tests hand in a connector that sends chosen host names to servers of
// their own on loopback.
namespace ostrevane {

using TcpClock = std::chrono::steady_clock;

// How one step of a connection ended.
enum class TcpStatus {
    Ok,          // the step completed
    PeerClosed,  // reading only: the peer closed its side and everything it sent has been read
    TimedOut,    // the time-out or deadline passed first
    Stopped,     // a stop was requested through the step's stop token
    Failed,      // anything else: name not found, refused, unreachable, reset, out of resources
};

// One open connection. Used by one thread at a time; the stop token of a step may be triggered
// from any thread, and the step then returns Stopped promptly. Destroying the object closes the
// socket, whatever step was last under way.
class TcpConnection {
public:
    virtual ~TcpConnection() = default;

    // Sends every byte before the deadline. Ok only when all of them went out.
    [[nodiscard]] virtual TcpStatus WriteAll(std::string_view bytes, TcpClock::time_point deadline,
                                             std::stop_token stop) = 0;
    // Waits until input arrives, the peer closes, the deadline passes or a stop is requested,
    // and appends what has arrived, at most maxBytes (at least one byte when the result is Ok and
    // maxBytes is not 0).
    // Once the deadline has passed it returns TimedOut even when input is waiting, so a peer that
    // trickles bytes cannot hold a reader past its deadline.
    [[nodiscard]] virtual TcpStatus ReadSome(std::string& into, std::size_t maxBytes, TcpClock::time_point deadline,
                                             std::stop_token stop) = 0;
    // The address the connection went to, in dotted-decimal form.
    [[nodiscard]] virtual std::string RemoteAddress() const = 0;
};

struct TcpConnectResult {
    TcpStatus Status = TcpStatus::Failed;
    // Set exactly when Status is Ok.
    std::unique_ptr<TcpConnection> Connection{};
};

// Opens connections. One connector serves every worker thread at once.
class TcpConnector {
public:
    virtual ~TcpConnector() = default;

    // Resolves the host name (a numeric address is used as it is) and connects to the port. The
    // time-out bounds the resolution and the connection attempt together (zero or less times out
    // at once); a stop request ends both promptly. Safe to call from any number of threads.
    [[nodiscard]] virtual TcpConnectResult Connect(const std::string& host, std::uint16_t port,
                                                   std::chrono::milliseconds timeout, std::stop_token stop) = 0;
};

}  // namespace ostrevane
