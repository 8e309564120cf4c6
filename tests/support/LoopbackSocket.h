#pragma once

#include <algorithm>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

// Plumbing shared by the loopback servers: file-descriptor ownership, the stop wake-up, the
// per-connection I/O that never blocks past a server stop, and the accept loop with one thread
// per connection. Every wait in here polls the stop signal as well, so a stopping server never
// waits on a peer.

namespace ostrevane::test {

// Owns one file descriptor and closes it exactly once.
class UniqueFd final {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    [[nodiscard]] int Get() const { return fd_; }
    [[nodiscard]] bool Valid() const { return fd_ >= 0; }
    [[nodiscard]] int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd = -1);

private:
    int fd_ = -1;
};

// A port on 127.0.0.1 where connections are refused. The socket is bound but never listens, so
// the kernel answers every connect with a reset (ECONNREFUSED), and holding the binding keeps
// any other socket from taking the port while the object lives.
class ClosedPort final {
public:
    ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;

    [[nodiscard]] std::uint16_t Port() const { return port_; }

private:
    UniqueFd socket_;
    std::uint16_t port_ = 0;
};

// A latched wake-up: once triggered, its eventfd stays readable, so every poll() that includes
// it returns at once, now and later. Triggered from the owner's thread, watched by all others.
class StopSignal final {
public:
    StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Trigger();
    [[nodiscard]] bool Triggered() const { return triggered_.load(std::memory_order_acquire); }
    [[nodiscard]] int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
    std::atomic<bool> triggered_{false};
};

enum class IoStatus {
    Done,      // the operation completed
    PeerGone,  // the peer closed or reset the connection (or it failed otherwise)
    Stopped,   // the server is stopping
};

// One accepted connection as seen by the server thread that serves it. Only that thread touches
// the object; the socket is non-blocking and every wait also watches the stop signal.
class PeerSocket final {
public:
    PeerSocket(UniqueFd fd, const StopSignal& stop) : fd_(std::move(fd)), stop_(stop) {}
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;

    // Waits for input and appends what is there, at most maxBytes.
    [[nodiscard]] IoStatus ReadSome(std::string& into, std::size_t maxBytes);
    // Sends every byte, waiting for room as needed. Never raises SIGPIPE.
    [[nodiscard]] IoStatus SendAll(std::string_view bytes);
    // Waits for the given time. False when the server stops first.
    [[nodiscard]] bool Pause(std::chrono::milliseconds duration) const;
    // Keeps the connection open, discarding anything the peer sends, until the server stops or
    // the connection fails. With endOnPeerEof, the peer's FIN also ends the wait (an HTTP client
    // never half-closes, so FIN means it left); without it a half-closed peer is held too.
    void HoldOpen(bool endOnPeerEof);
    // Keeps the connection open without reading a byte, until the peer shuts down its side,
    // the connection fails or the server stops.
    void HoldOpenWithoutReading();
    // Aborts the connection: SO_LINGER 0 makes close() send a reset instead of a FIN.
    void ResetConnection();
    // Sends FIN, then reads and drops input until the peer has acknowledged everything sent (at
    // most a second), so that unread input cannot turn the close into a reset that loses the end
    // of the reply.
    void CloseGracefully();

private:
    UniqueFd fd_;
    const StopSignal& stop_;
};

// A listening socket on 127.0.0.1 (ephemeral port) with an accept thread and one thread per
// connection, each running the handler with its PeerSocket. Threads of finished connections are
// joined by the accept thread as it goes; Stop() wakes every wait and joins everything.
class LoopbackAcceptor final {
public:
    using ConnectionHandler = std::function<void(PeerSocket&)>;

    // Starts accepting at once. The handler runs on connection threads, concurrently.
    explicit LoopbackAcceptor(ConnectionHandler handler);
    ~LoopbackAcceptor();
    LoopbackAcceptor(const LoopbackAcceptor&) = delete;
    LoopbackAcceptor& operator=(const LoopbackAcceptor&) = delete;

    // Idempotent. Returns once every connection is closed and every thread joined.
    void Stop();

    [[nodiscard]] std::uint16_t Port() const { return port_; }
    [[nodiscard]] std::size_t ConnectionCount() const;
    [[nodiscard]] std::size_t ClosedConnectionCount() const;
    [[nodiscard]] bool WaitForConnections(std::size_t count, std::chrono::milliseconds deadline) const;
    [[nodiscard]] bool WaitForClosedConnections(std::size_t count, std::chrono::milliseconds deadline) const;

private:
    struct Worker {
        std::thread Thread;
        std::atomic<bool> Finished{false};
    };

    void AcceptLoop();
    void ServeConnection(UniqueFd fd, Worker& worker);
    void ReapFinishedWorkers();

    ConnectionHandler handler_;
    StopSignal stop_;
    UniqueFd listener_;
    std::uint16_t port_ = 0;

    mutable std::mutex countMutex_;
    mutable std::condition_variable countChanged_;
    std::size_t accepted_ = 0;
    std::size_t closed_ = 0;

    // Owned by the accept thread while it runs, then by Stop() once it has been joined.
    std::list<Worker> workers_;
    std::thread acceptThread_;
    std::once_flag stopOnce_;
};

// The pieces of an endless stream: `source` repeated without end, cut into pieces of one size.
class EndlessPieces final {
public:
    EndlessPieces(std::string_view source, std::size_t pieceSize) : source_(source), pieceSize_(pieceSize) {}
    // The next piece; valid until the next call.
    [[nodiscard]] const std::string& Next() {
        piece_.clear();
        while (piece_.size() < pieceSize_) {
            const std::size_t take = std::min(pieceSize_ - piece_.size(), source_.size() - offset_);
            piece_.append(source_.substr(offset_, take));
            offset_ = (offset_ + take) % source_.size();
        }
        return piece_;
    }

private:
    std::string_view source_;
    std::size_t pieceSize_;
    std::size_t offset_ = 0;
    std::string piece_;
};

}  // namespace ostrevane::test
