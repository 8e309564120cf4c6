#pragma once

#include "tests/support/LoopbackSocket.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrevane::test {

// Ways a reply can go wrong on purpose. Delay and HoldReplies() apply before any of them.
enum class HttpFault {
    None,
    // Headers (with the full Content-Length, or chunked) and about half the body, then a reset.
    ResetMidBody,
    // Headers and about half the body, then silence until the client leaves or the server stops.
    Stall,
    // The whole body with neither Content-Length nor chunking, then the connection stays open
    // until the client leaves or the server stops: the body never ends for the client.
    NeverClose,
    // Body bytes without end (Body repeated, or filler when empty) until the client leaves or the
    // server stops. Chunked when Chunked is set, otherwise without any length.
    EndlessBody,
    // Non-HTTP bytes (Body verbatim when it is not empty), then close.
    Garbage,
    // About 10 MB of header lines between the status line and the real headers, then the body.
    HugeHeaders,
    // Close the connection without sending anything.
    CloseWithoutReply,
};

struct HttpReply {
    int Status = 200;
    // Brace-initialised members keep designated initialisers that leave them out warning-free.
    std::string Body{};
    // Sent as given, in order. If they name Content-Length or Transfer-Encoding the server adds
    // no framing header of its own (so a test can send a lying length); "Connection: close"
    // makes the server close after the reply.
    std::vector<std::pair<std::string, std::string>> Headers{};
    // Transfer-Encoding: chunked instead of Content-Length.
    bool Chunked = false;
    // When non-zero, the body goes out in pieces of this size (one HTTP chunk each when Chunked)
    // with ChunkDelay between them. For EndlessBody it is the piece size (16 KiB when zero).
    std::size_t ChunkSize = 0;
    std::chrono::milliseconds ChunkDelay{0};
    // Holds the whole answer this long before the first byte.
    std::chrono::milliseconds Delay{0};
    HttpFault Fault = HttpFault::None;
};

struct HttpRequest {
    std::string Method;
    std::string Target;                                        // path and query, as sent
    std::string Path;                                          // the target without its query
    std::string Version;                                       // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> Headers;  // in order, names as sent
    std::string Body;

    // The first header of that name (case-insensitive), if any.
    [[nodiscard]] std::optional<std::string> Header(std::string_view name) const;
};

// Computes a reply per request; runs on the connection's thread, concurrently with others.
using HttpHandler = std::function<HttpReply(const HttpRequest&)>;

// A small HTTP/1.1 server on 127.0.0.1 with scripted replies and faults, for tests of HTTP
// clients. It serves from construction until destruction; the destructor closes every
// connection, ends every wait (delays, stalls, held replies) and joins every thread.
//
// Threads: one accept thread and one thread per connection (keep-alive is supported, pipelined
// requests are answered in order). The routes, the gate and the request log are guarded by one
// mutex, so every method may be called from any thread while the server runs.
class LoopbackHttpServer final {
public:
    // Size of the header block sent by HttpFault::HugeHeaders.
    static constexpr std::size_t HugeHeaderBytes = 10u * 1024u * 1024u;
    // Requests with a larger header block get 431, larger bodies 413; both close.
    static constexpr std::size_t MaxRequestHeaderBytes = 1024u * 1024u;
    static constexpr std::size_t MaxRequestBodyBytes = 64u * 1024u * 1024u;

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    [[nodiscard]] std::uint16_t Port() const { return acceptor_.Port(); }
    // "http://127.0.0.1:PORT" followed by the target, e.g. Url("/search?q=x").
    [[nodiscard]] std::string Url(std::string_view target) const;

    // Replies for a target. A request is matched on its whole target first, then on its path
    // without the query; otherwise the default reply answers (404 with a short body).
    void Route(std::string target, HttpReply reply);
    void RouteHandler(std::string target, HttpHandler handler);
    void SetDefault(HttpReply reply);

    // While held, replies that have not started wait before their first byte, and replies in
    // progress wait before their next piece. Releasing lets them all continue.
    void HoldReplies(bool hold);

    // Targets of every complete request, in arrival order. Requests are logged when fully read,
    // before any delay or hold.
    [[nodiscard]] std::vector<std::string> Requests() const;
    // Requests whose whole target, or whose path, equals the given text.
    [[nodiscard]] std::size_t RequestCount(std::string_view target) const;
    // The latest request matching like RequestCount().
    [[nodiscard]] std::optional<HttpRequest> LastRequest(std::string_view target) const;
    // True once at least count requests have arrived in total; false at the deadline.
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
    enum class ReadOutcome { Request, Closed, BadRequest, HeadersTooLarge, BodyTooLarge, Unsupported };

    void Serve(PeerSocket& peer);
    ReadOutcome ReadRequest(PeerSocket& peer, std::string& buffer, HttpRequest& request);
    HttpReply ReplyFor(const HttpRequest& request);
    // Sends the reply; false when the connection must not be used again.
    bool Respond(PeerSocket& peer, const HttpRequest& request, const HttpReply& reply, bool keepAlive);
    bool SendBody(PeerSocket& peer, const HttpReply& reply, std::string_view body, bool chunked);
    void StreamEndlessBody(PeerSocket& peer, const HttpReply& reply);
    // Waits while replies are held. False when the server stops first.
    bool WaitWhileHeld();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, HttpHandler, std::less<>> routes_;
    HttpReply default_;
    bool held_ = false;
    bool stopping_ = false;
    std::vector<HttpRequest> log_;

    // Last member: it starts the threads that use everything above, and the destructor stops it
    // before anything else goes away.
    LoopbackAcceptor acceptor_;
};

}  // namespace ostrevane::test
