#include "tests/support/BlockingClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>

namespace ostrevane::test {
namespace {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b,
                              [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

timeval ToTimeval(std::chrono::milliseconds duration) {
    timeval value{};
    value.tv_sec = static_cast<time_t>(duration.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((duration.count() % 1000) * 1000);
    return value;
}

}  // namespace

UniqueFd ConnectBlocking(std::uint16_t port, std::chrono::milliseconds ioTimeout) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        return fd;
    }
    const timeval timeout = ToTimeval(ioTimeout);
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        fd.Reset();
        errno = error;
    }
    return fd;
}

int ConnectError(std::uint16_t port) {
    const UniqueFd fd = ConnectBlocking(port);
    return fd.Valid() ? 0 : errno;
}

bool SendText(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t sent = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

ReadResult ReadToEnd(int fd, const std::function<void(std::string_view)>& onProgress) {
    ReadResult result;
    if (onProgress) {
        onProgress(result.Bytes);
    }
    std::array<char, 65536> buffer{};
    while (true) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got > 0) {
            result.Bytes.append(buffer.data(), static_cast<std::size_t>(got));
            if (onProgress) {
                onProgress(result.Bytes);
            }
            continue;
        }
        if (got == 0) {
            result.End = ReadEnd::PeerClosed;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            result.End = ReadEnd::TimedOut;
        } else if (errno == ECONNRESET) {
            result.End = ReadEnd::Reset;
        } else {
            result.End = ReadEnd::Failed;
        }
        return result;
    }
}

bool ReadableWithin(int fd, std::chrono::milliseconds wait) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, static_cast<int>(wait.count())) > 0;
}

std::optional<std::string> ParsedResponse::Header(std::string_view name) const {
    for (const auto& [headerName, value] : Headers) {
        if (EqualsIgnoreCase(headerName, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<ParsedResponse> ParseResponse(std::string_view bytes, bool atEof) {
    ParsedResponse response;
    if (bytes.size() >= 5 && !bytes.starts_with("HTTP/")) {
        return std::nullopt;
    }
    const std::size_t headEnd = bytes.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) {
        return response;
    }
    response.HeaderBlock = bytes.substr(0, headEnd + 4);
    std::string_view head = bytes.substr(0, headEnd + 2);
    const std::size_t statusEnd = head.find("\r\n");
    const std::string_view statusLine = head.substr(0, statusEnd);
    const std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos ||
        std::from_chars(statusLine.data() + space + 1, statusLine.data() + statusLine.size(), response.Status).ec !=
            std::errc()) {
        return std::nullopt;
    }
    head.remove_prefix(statusEnd + 2);
    while (!head.empty()) {
        const std::size_t lineEnd = head.find("\r\n");
        const std::string_view line = head.substr(0, lineEnd);
        head.remove_prefix(lineEnd + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') {
            value.remove_prefix(1);
        }
        response.Headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }

    std::string_view rest = bytes.substr(headEnd + 4);
    const std::size_t bodyStart = headEnd + 4;
    const std::optional<std::string> encoding = response.Header("Transfer-Encoding");
    const std::optional<std::string> length = response.Header("Content-Length");
    if ((response.Status >= 100 && response.Status < 200) || response.Status == 204 || response.Status == 304) {
        response.Complete = true;
        response.Consumed = bodyStart;
    } else if (encoding && EqualsIgnoreCase(*encoding, "chunked")) {
        response.Chunked = true;
        std::size_t at = 0;
        while (true) {
            const std::size_t sizeEnd = rest.find("\r\n", at);
            if (sizeEnd == std::string_view::npos) {
                break;
            }
            std::size_t size = 0;
            if (std::from_chars(rest.data() + at, rest.data() + sizeEnd, size, 16).ec != std::errc()) {
                return std::nullopt;
            }
            if (size == 0) {
                if (rest.substr(sizeEnd + 2).starts_with("\r\n")) {
                    response.Complete = true;
                    response.Consumed = bodyStart + sizeEnd + 4;
                }
                break;
            }
            const std::string_view data = rest.substr(sizeEnd + 2, size);
            response.Body.append(data);
            if (data.size() < size || rest.size() < sizeEnd + 2 + size + 2) {
                break;
            }
            response.ChunkSizes.push_back(size);
            at = sizeEnd + 2 + size + 2;
        }
    } else if (length) {
        std::size_t expected = 0;
        std::from_chars(length->data(), length->data() + length->size(), expected);
        response.Body = rest.substr(0, expected);
        if (rest.size() >= expected) {
            response.Complete = true;
            response.Consumed = bodyStart + expected;
        }
    } else {
        response.Body = rest;
        response.Complete = atEof;
        response.Consumed = bytes.size();
    }
    return response;
}

std::optional<ParsedResponse> ReadResponse(int fd, std::string& buffer) {
    std::array<char, 65536> chunk{};
    bool atEof = false;
    while (true) {
        std::optional<ParsedResponse> response = ParseResponse(buffer, atEof);
        if (!response) {
            return std::nullopt;
        }
        if (response->Complete) {
            buffer.erase(0, response->Consumed);
            return response;
        }
        if (atEof) {
            return response;
        }
        const ssize_t got = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return response;  // incomplete: reset or timed out
        }
        atEof = got == 0;
        buffer.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

std::string GetRequest(std::string_view target, std::string_view extraHeaders) {
    std::string request = "GET ";
    request.append(target).append(" HTTP/1.1\r\nHost: 127.0.0.1\r\n").append(extraHeaders).append("\r\n");
    return request;
}

}  // namespace ostrevane::test
