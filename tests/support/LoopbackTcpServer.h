#pragma once

#include "tests/support/LoopbackSocket.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrevane::test {

// Ways an answer can go wrong on purpose. Delay applies before any of them.
enum class TcpFault {
    // Send the bytes, then close (FIN).
    None,
    // Send about half the bytes, then reset the connection.
    ResetMidReply,
    // Read the request line, send nothing, keep the connection open until the server stops.
    Silent,
    // Send the bytes over and over (filler when empty) until the client leaves or the server stops.
    Endless,
    // Send the bytes, then keep the connection open until the server stops.
    NeverClose,
    // Close without answering. As the fixed reply (SetReply) the server closes before reading
    // anything; returned by a handler, the request line has been read and logged already.
    AcceptThenClose,
};

struct TcpReply {
    // Brace-initialised so designated initialisers may leave it out without a warning.
    std::string Bytes{};
    // When non-zero, the bytes go out in pieces of this size with ChunkDelay between them.
    std::size_t ChunkSize = 0;
    std::chrono::milliseconds ChunkDelay{0};
    // Holds the whole answer (or the close) this long.
    std::chrono::milliseconds Delay{0};
    TcpFault Fault = TcpFault::None;
};

// Computes the answer to one request line (without its CR LF); runs on the connection's thread,
// concurrently with others.
using TcpHandler = std::function<TcpReply(std::string_view requestLine)>;

// A line-oriented TCP server on 127.0.0.1 for WHOIS-like clients: per connection it sends the
// greeting (if any), reads one request line (up to LF, CR stripped, cut at MaxRequestLineBytes;
// a last line without LF counts when the client shuts down its side), logs it and sends the
// answer. The destructor closes every connection, ends every wait and joins every thread.
//
// Threads: one accept thread and one thread per connection. Settings and the request log are
// guarded by one mutex; a connection uses the settings that were in force when it arrived.
class LoopbackTcpServer final {
public:
    static constexpr std::size_t MaxRequestLineBytes = 8192;
    // What the server answers until SetReply() or SetHandler() says otherwise.
    static constexpr std::string_view DefaultAnswer = "% loopback whois server\r\n\r\nNo match for the query.\r\n";

    LoopbackTcpServer();
    ~LoopbackTcpServer();
    LoopbackTcpServer(const LoopbackTcpServer&) = delete;
    LoopbackTcpServer& operator=(const LoopbackTcpServer&) = delete;

    [[nodiscard]] std::uint16_t Port() const { return acceptor_.Port(); }

    // The same answer for every request.
    void SetReply(TcpReply reply);
    // An answer computed from each request line.
    void SetHandler(TcpHandler handler);
    // Bytes sent as soon as a connection is accepted, before the request is read.
    void SetGreeting(std::string greeting);
    // Accept-only mode, for peers that only connect: nothing is read and nothing is sent; the
    // connection stays open until the client shuts down its side or the server stops.
    void SetAcceptOnly(bool acceptOnly);

    // Request lines in arrival order.
    [[nodiscard]] std::vector<std::string> Requests() const;
    [[nodiscard]] bool WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const;

    // Connections accepted so far, and connections the server has finished with.
    [[nodiscard]] std::size_t ConnectionCount() const { return acceptor_.ConnectionCount(); }
    [[nodiscard]] std::size_t ClosedConnectionCount() const { return acceptor_.ClosedConnectionCount(); }
    [[nodiscard]] bool WaitForConnections(std::size_t count, std::chrono::milliseconds deadline) const {
        return acceptor_.WaitForConnections(count, deadline);
    }
    [[nodiscard]] bool WaitForClosedConnections(std::size_t count, std::chrono::milliseconds deadline) const {
        return acceptor_.WaitForClosedConnections(count, deadline);
    }

private:
    void Serve(PeerSocket& peer);
    // Reads one request line. False when the client left without sending anything or the
    // server stops.
    static bool ReadLine(PeerSocket& peer, std::string& line);
    static bool SendPaced(PeerSocket& peer, const TcpReply& reply, std::string_view bytes);
    static void SendEndlessly(PeerSocket& peer, const TcpReply& reply);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::optional<TcpReply> fixedReply_;  // wins over handler_ when set
    TcpHandler handler_;
    std::string greeting_;
    bool acceptOnly_ = false;
    std::vector<std::string> log_;

    // Last member: it starts the threads that use everything above, and the destructor stops it
    // before anything else goes away.
    LoopbackAcceptor acceptor_;
};

}  // namespace ostrevane::test
