#include "validate/PosixTcpConnector.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace ostrevane {
namespace {

// Bytes taken from the socket per read call at most.
constexpr std::size_t ReadChunkBytes = 64 * 1024;

// Owns one file descriptor and closes it exactly once.
class FileDescriptor final {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            FileDescriptor old(std::exchange(fd_, std::exchange(other.fd_, -1)));
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] int Get() const { return fd_; }
    [[nodiscard]] bool Valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Registered as the stop callback of each blocking step. It runs on whichever thread requests
// the stop, and only bumps the eventfd counter, which is safe from any thread.
struct WakeOnStop {
    int Fd;
    void operator()() const noexcept {
        const std::uint64_t one = 1;
        // The counter only has to become non-zero; a failed write means it already is.
        [[maybe_unused]] const ssize_t written = ::write(Fd, &one, sizeof one);
    }
};

void DrainWakeup(int wakeFd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(wakeFd, &count, sizeof count);
}

int PollMilliseconds(TcpClock::duration left) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(ms, 0, INT_MAX));
}

// Waits until the socket reports one of the events (or an error or hang-up, which the next
// socket call then reports), the deadline passes or a stop is requested.
TcpStatus WaitReady(int fd, short events, int wakeFd, TcpClock::time_point deadline, const std::stop_token& stop) {
    while (true) {
        if (stop.stop_requested()) {
            return TcpStatus::Stopped;
        }
        const TcpClock::time_point now = TcpClock::now();
        if (now >= deadline) {
            return TcpStatus::TimedOut;
        }
        std::array<pollfd, 2> fds{pollfd{fd, events, 0}, pollfd{wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds.data(), fds.size(), PollMilliseconds(deadline - now));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return TcpStatus::Failed;
        }
        if (fds[0].revents != 0) {
            return TcpStatus::Ok;
        }
        if (fds[1].revents != 0) {
            // Either this step's stop (seen at the top of the loop) or a wake-up left over from
            // an earlier step whose token was stopped after that step had ended.
            DrainWakeup(wakeFd);
        }
    }
}

std::string DottedAddress(const sockaddr_in& address) {
    std::array<char, INET_ADDRSTRLEN> text{};
    if (::inet_ntop(AF_INET, &address.sin_addr, text.data(), text.size()) == nullptr) {
        return {};
    }
    return text.data();
}

// What a resolver helper thread and the connecting thread share. The helper holds its own
// reference, so the connecting thread may give up waiting and leave at any time.
struct PendingResolution {
    std::mutex Mutex;
    std::condition_variable_any Changed;
    bool Done = false;                   // guarded by Mutex
    std::vector<sockaddr_in> Addresses;  // guarded by Mutex
};

// Body of the resolver helper thread.
void ResolveOnHelper(const std::shared_ptr<PendingResolution>& pending, const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    std::vector<sockaddr_in> addresses;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) == 0) {
        for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
                addresses.push_back(*reinterpret_cast<const sockaddr_in*>(entry->ai_addr));
            }
        }
        ::freeaddrinfo(list);
    }
    {
        const std::lock_guard lock(pending->Mutex);
        pending->Addresses = std::move(addresses);
        pending->Done = true;
    }
    pending->Changed.notify_all();
}

struct Resolution {
    TcpStatus Status = TcpStatus::Failed;
    std::vector<sockaddr_in> Addresses{};
};

Resolution ResolveIpv4(const std::string& host, std::uint16_t port, TcpClock::time_point deadline,
                       const std::stop_token& stop) {
    Resolution resolution;
    sockaddr_in numeric{};
    numeric.sin_family = AF_INET;
    if (host.empty()) {
        // getaddrinfo() would take a missing name for the local host.
        return resolution;
    }
    if (::inet_pton(AF_INET, host.c_str(), &numeric.sin_addr) == 1) {
        resolution.Addresses.push_back(numeric);
    } else {
        auto pending = std::make_shared<PendingResolution>();
        try {
            std::thread(ResolveOnHelper, pending, host).detach();
        } catch (const std::system_error&) {
            return resolution;
        }
        std::unique_lock lock(pending->Mutex);
        if (!pending->Changed.wait_until(lock, stop, deadline, [&] { return pending->Done; })) {
            resolution.Status = stop.stop_requested() ? TcpStatus::Stopped : TcpStatus::TimedOut;
            return resolution;
        }
        resolution.Addresses = std::move(pending->Addresses);
    }
    if (resolution.Addresses.empty()) {
        return resolution;
    }
    for (sockaddr_in& address : resolution.Addresses) {
        address.sin_port = htons(port);
    }
    resolution.Status = TcpStatus::Ok;
    return resolution;
}

// One connection attempt to one address, ending by the deadline.
TcpStatus ConnectOne(const sockaddr_in& address, TcpClock::time_point deadline, int wakeFd, const std::stop_token& stop,
                     FileDescriptor& connected) {
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.Valid()) {
        return TcpStatus::Failed;
    }
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // EINTR leaves a non-blocking connect going on in the background, as EINPROGRESS does.
        if (errno != EINPROGRESS && errno != EINTR) {
            return TcpStatus::Failed;
        }
        const TcpStatus ready = WaitReady(socket.Get(), POLLOUT, wakeFd, deadline, stop);
        if (ready != TcpStatus::Ok) {
            return ready;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            return TcpStatus::Failed;
        }
    }
    connected = std::move(socket);
    return TcpStatus::Ok;
}

// Used by one thread at a time; only the stop callbacks of its steps run elsewhere, and they
// touch nothing but the eventfd.
class PosixTcpConnection final : public TcpConnection {
public:
    PosixTcpConnection(FileDescriptor socket, FileDescriptor wake, std::string remoteAddress)
        : socket_(std::move(socket)), wake_(std::move(wake)), remoteAddress_(std::move(remoteAddress)) {}

    [[nodiscard]] TcpStatus WriteAll(std::string_view bytes, TcpClock::time_point deadline,
                                     std::stop_token stop) override {
        const std::stop_callback wakeOnStop(stop, WakeOnStop{wake_.Get()});
        while (!bytes.empty()) {
            if (stop.stop_requested()) {
                return TcpStatus::Stopped;
            }
            if (TcpClock::now() >= deadline) {
                return TcpStatus::TimedOut;
            }
            // MSG_NOSIGNAL: a peer that has gone away must fail the write, not raise SIGPIPE.
            const ssize_t sent = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0) {
                bytes.remove_prefix(static_cast<std::size_t>(sent));
                continue;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return TcpStatus::Failed;
            }
            const TcpStatus ready = WaitReady(socket_.Get(), POLLOUT, wake_.Get(), deadline, stop);
            if (ready != TcpStatus::Ok) {
                return ready;
            }
        }
        return TcpStatus::Ok;
    }

    [[nodiscard]] TcpStatus ReadSome(std::string& into, std::size_t maxBytes, TcpClock::time_point deadline,
                                     std::stop_token stop) override {
        const std::stop_callback wakeOnStop(stop, WakeOnStop{wake_.Get()});
        while (true) {
            if (stop.stop_requested()) {
                return TcpStatus::Stopped;
            }
            if (TcpClock::now() >= deadline) {
                return TcpStatus::TimedOut;
            }
            if (maxBytes == 0) {
                return TcpStatus::Ok;
            }
            const std::size_t start = into.size();
            const std::size_t want = std::min(maxBytes, ReadChunkBytes);
            into.resize(start + want);
            const ssize_t got = ::recv(socket_.Get(), into.data() + start, want, MSG_DONTWAIT);
            into.resize(start + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
            if (got > 0) {
                return TcpStatus::Ok;
            }
            if (got == 0) {
                return TcpStatus::PeerClosed;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return TcpStatus::Failed;
            }
            const TcpStatus ready = WaitReady(socket_.Get(), POLLIN, wake_.Get(), deadline, stop);
            if (ready != TcpStatus::Ok) {
                return ready;
            }
        }
    }

    [[nodiscard]] std::string RemoteAddress() const override { return remoteAddress_; }

private:
    FileDescriptor socket_;
    FileDescriptor wake_;
    std::string remoteAddress_;
};

}  // namespace

TcpConnectResult PosixTcpConnector::Connect(const std::string& host, std::uint16_t port,
                                            std::chrono::milliseconds timeout, std::stop_token stop) {
    const TcpClock::time_point deadline = TcpClock::now() + timeout;
    if (stop.stop_requested()) {
        return {TcpStatus::Stopped};
    }
    Resolution resolution = ResolveIpv4(host, port, deadline, stop);
    if (resolution.Status != TcpStatus::Ok) {
        return {resolution.Status};
    }
    FileDescriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) {
        return {TcpStatus::Failed};
    }
    const std::stop_callback wakeOnStop(stop, WakeOnStop{wake.Get()});
    TcpStatus status = TcpStatus::Failed;
    const std::size_t count = resolution.Addresses.size();
    for (std::size_t i = 0; i < count; ++i) {
        const TcpClock::time_point now = TcpClock::now();
        if (now >= deadline) {
            return {TcpStatus::TimedOut};
        }
        const auto share = (deadline - now) / static_cast<TcpClock::rep>(count - i);
        FileDescriptor socket;
        status = ConnectOne(resolution.Addresses[i], now + share, wake.Get(), stop, socket);
        if (status == TcpStatus::Ok) {
            return {TcpStatus::Ok, std::make_unique<PosixTcpConnection>(std::move(socket), std::move(wake),
                                                                        DottedAddress(resolution.Addresses[i]))};
        }
        if (status == TcpStatus::Stopped) {
            break;
        }
    }
    return {status};
}

}  // namespace ostrevane
