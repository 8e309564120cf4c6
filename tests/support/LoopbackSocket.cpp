#include "tests/support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace ostrevane::test {
namespace {

// How long CloseGracefully() waits at most for the peer to take everything sent.
constexpr std::chrono::milliseconds kLingerDrain{1000};
constexpr std::chrono::milliseconds kAcknowledgementCheck{2};

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Binds a fresh TCP socket to 127.0.0.1 on an ephemeral port and reports the port chosen.
UniqueFd BindLoopback(std::uint16_t& port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.Valid()) {
        ThrowErrno("socket");
    }
    sockaddr_in address = LoopbackAddress(0);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ThrowErrno("bind 127.0.0.1");
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ThrowErrno("getsockname");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// poll() that restarts after signals and treats a negative timeout as "no time-out".
int PollRestarting(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const bool forever = timeout.count() < 0;
    const Clock::time_point deadline = Clock::now() + (forever ? std::chrono::milliseconds(0) : timeout);
    while (true) {
        int waitMs = -1;
        if (!forever) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        const int ready = ::poll(fds, count, waitMs);
        if (ready >= 0 || errno != EINTR) {
            return ready;
        }
    }
}

}  // namespace

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

ClosedPort::ClosedPort() {
    // Bound and never listening: connects are answered with a reset.
    socket_ = BindLoopback(port_);
}

StopSignal::StopSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!fd_.Valid()) {
        ThrowErrno("eventfd");
    }
}

void StopSignal::Trigger() {
    triggered_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    // The counter only has to become non-zero; a failed write means it already is.
    [[maybe_unused]] const ssize_t written = ::write(fd_.Get(), &one, sizeof one);
}

IoStatus PeerSocket::ReadSome(std::string& into, std::size_t maxBytes) {
    std::array<char, 65536> buffer{};
    while (true) {
        if (stop_.Triggered()) {
            return IoStatus::Stopped;
        }
        const std::size_t want = std::min(maxBytes, buffer.size());
        const ssize_t got = ::recv(fd_.Get(), buffer.data(), want, MSG_DONTWAIT);
        if (got > 0) {
            into.append(buffer.data(), static_cast<std::size_t>(got));
            return IoStatus::Done;
        }
        if (got == 0) {
            return IoStatus::PeerGone;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoStatus::PeerGone;
        }
        std::array<pollfd, 2> fds{pollfd{fd_.Get(), POLLIN, 0}, pollfd{stop_.Fd(), POLLIN, 0}};
        if (PollRestarting(fds.data(), fds.size(), std::chrono::milliseconds(-1)) < 0) {
            return IoStatus::PeerGone;
        }
    }
}

IoStatus PeerSocket::SendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        if (stop_.Triggered()) {
            return IoStatus::Stopped;
        }
        const ssize_t sent = ::send(fd_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoStatus::PeerGone;
        }
        // The send buffer is full: wait for room (a failed connection also wakes this up, and
        // the next send() reports it).
        std::array<pollfd, 2> fds{pollfd{fd_.Get(), POLLOUT, 0}, pollfd{stop_.Fd(), POLLIN, 0}};
        if (PollRestarting(fds.data(), fds.size(), std::chrono::milliseconds(-1)) < 0) {
            return IoStatus::PeerGone;
        }
    }
    return stop_.Triggered() ? IoStatus::Stopped : IoStatus::Done;
}

bool PeerSocket::Pause(std::chrono::milliseconds duration) const {
    if (duration.count() > 0) {
        pollfd stopFd{stop_.Fd(), POLLIN, 0};
        PollRestarting(&stopFd, 1, duration);
    }
    return !stop_.Triggered();
}

void PeerSocket::HoldOpen(bool endOnPeerEof) {
    std::array<char, 4096> scratch{};
    bool peerSentEof = false;
    while (!stop_.Triggered()) {
        // After the peer's FIN there is nothing left to read; only errors and the stop can end
        // the wait then (POLLERR and POLLHUP are reported even with no events asked for).
        const short events = peerSentEof ? short{0} : short{POLLIN | POLLRDHUP};
        std::array<pollfd, 2> fds{pollfd{fd_.Get(), events, 0}, pollfd{stop_.Fd(), POLLIN, 0}};
        if (PollRestarting(fds.data(), fds.size(), std::chrono::milliseconds(-1)) < 0) {
            return;
        }
        if (stop_.Triggered() || (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return;
        }
        if ((fds[0].revents & (POLLIN | POLLRDHUP)) == 0) {
            continue;
        }
        const ssize_t got = ::recv(fd_.Get(), scratch.data(), scratch.size(), MSG_DONTWAIT);
        if (got == 0) {
            if (endOnPeerEof) {
                return;
            }
            peerSentEof = true;
        } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return;
        }
    }
}

void PeerSocket::HoldOpenWithoutReading() {
    while (!stop_.Triggered()) {
        std::array<pollfd, 2> fds{pollfd{fd_.Get(), POLLRDHUP, 0}, pollfd{stop_.Fd(), POLLIN, 0}};
        if (PollRestarting(fds.data(), fds.size(), std::chrono::milliseconds(-1)) < 0) {
            return;
        }
        if ((fds[0].revents & (POLLRDHUP | POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return;
        }
    }
}

void PeerSocket::ResetConnection() {
    if (!fd_.Valid()) {
        return;
    }
    const linger abort{1, 0};
    ::setsockopt(fd_.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    fd_.Reset();
}

void PeerSocket::CloseGracefully() {
    if (!fd_.Valid()) {
        return;
    }
    ::shutdown(fd_.Get(), SHUT_WR);
    // close() turns into a reset, throwing away whatever is still unsent, when input is left
    // unread. So keep reading until everything sent (the FIN included) has been acknowledged,
    // the peer closes, or the time is up. On loopback the acknowledgement comes at once.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + kLingerDrain;
    std::array<char, 4096> scratch{};
    while (!stop_.Triggered()) {
        ssize_t got = 0;
        do {
            got = ::recv(fd_.Get(), scratch.data(), scratch.size(), MSG_DONTWAIT);
        } while (got > 0 || (got < 0 && errno == EINTR));
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            break;  // the peer closed, or the connection failed
        }
        int unacknowledged = 0;
        if (::ioctl(fd_.Get(), SIOCOUTQ, &unacknowledged) != 0 || unacknowledged == 0) {
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        // Input wakes this at once; the acknowledgement has no event of its own, hence the short
        // time-out between checks.
        std::array<pollfd, 2> fds{pollfd{fd_.Get(), POLLIN, 0}, pollfd{stop_.Fd(), POLLIN, 0}};
        PollRestarting(fds.data(), fds.size(), std::min(left, kAcknowledgementCheck));
    }
    fd_.Reset();
}

LoopbackAcceptor::LoopbackAcceptor(ConnectionHandler handler) : handler_(std::move(handler)) {
    listener_ = BindLoopback(port_);
    if (::listen(listener_.Get(), SOMAXCONN) != 0) {
        ThrowErrno("listen");
    }
    // Started last: the thread reads every member above.
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackAcceptor::~LoopbackAcceptor() {
    Stop();
}

void LoopbackAcceptor::Stop() {
    std::call_once(stopOnce_, [this] {
        stop_.Trigger();
        if (acceptThread_.joinable()) {
            acceptThread_.join();
        }
        // The accept thread is gone, so the worker list is ours now.
        for (Worker& worker : workers_) {
            if (worker.Thread.joinable()) {
                worker.Thread.join();
            }
        }
        workers_.clear();
        listener_.Reset();
    });
}

std::size_t LoopbackAcceptor::ConnectionCount() const {
    const std::lock_guard lock(countMutex_);
    return accepted_;
}

std::size_t LoopbackAcceptor::ClosedConnectionCount() const {
    const std::lock_guard lock(countMutex_);
    return closed_;
}

bool LoopbackAcceptor::WaitForConnections(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(countMutex_);
    return countChanged_.wait_for(lock, deadline, [&] { return accepted_ >= count; });
}

bool LoopbackAcceptor::WaitForClosedConnections(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(countMutex_);
    return countChanged_.wait_for(lock, deadline, [&] { return closed_ >= count; });
}

void LoopbackAcceptor::AcceptLoop() {
    while (!stop_.Triggered()) {
        std::array<pollfd, 2> fds{pollfd{listener_.Get(), POLLIN, 0}, pollfd{stop_.Fd(), POLLIN, 0}};
        if (PollRestarting(fds.data(), fds.size(), std::chrono::milliseconds(-1)) < 0 || stop_.Triggered()) {
            break;
        }
        ReapFinishedWorkers();
        UniqueFd connection(::accept4(listener_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!connection.Valid()) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of resources: back off instead of spinning on a listener that stays readable.
                pollfd stopFd{stop_.Fd(), POLLIN, 0};
                PollRestarting(&stopFd, 1, std::chrono::milliseconds(10));
            }
            continue;
        }
        // Replies are written in deliberate pieces; Nagle would merge them.
        const int one = 1;
        ::setsockopt(connection.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        {
            const std::lock_guard lock(countMutex_);
            ++accepted_;
        }
        countChanged_.notify_all();
        Worker& worker = workers_.emplace_back();
        try {
            worker.Thread = std::thread(
                [this, &worker, fd = std::move(connection)]() mutable { ServeConnection(std::move(fd), worker); });
        } catch (const std::system_error&) {
            // No thread to serve it: the connection was closed with the discarded callable.
            workers_.pop_back();
            {
                const std::lock_guard lock(countMutex_);
                ++closed_;
            }
            countChanged_.notify_all();
        }
    }
}

void LoopbackAcceptor::ServeConnection(UniqueFd fd, Worker& worker) {
    {
        PeerSocket peer(std::move(fd), stop_);
        try {
            handler_(peer);
        } catch (...) {
            // A failing handler only loses its own connection; the server keeps serving.
        }
    }  // the connection closes here, before it is counted as closed
    {
        const std::lock_guard lock(countMutex_);
        ++closed_;
    }
    countChanged_.notify_all();
    worker.Finished.store(true, std::memory_order_release);
}

void LoopbackAcceptor::ReapFinishedWorkers() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->Finished.load(std::memory_order_acquire)) {
            it->Thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace ostrevane::test
