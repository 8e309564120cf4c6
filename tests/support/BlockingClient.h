#pragma once

#include "tests/support/LoopbackSocket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Plain blocking socket clients for the servers' own tests. Every socket gets send and receive
// time-outs, so a server that misbehaves fails a test instead of hanging it.

namespace ostrevane::test {

inline constexpr std::chrono::milliseconds kClientIoTimeout{15000};

// Connects to 127.0.0.1:port. Invalid (with errno set) when the connection fails.
[[nodiscard]] UniqueFd ConnectBlocking(std::uint16_t port, std::chrono::milliseconds ioTimeout = kClientIoTimeout);
// The errno of a failed connect to 127.0.0.1:port, or 0 when it succeeds.
[[nodiscard]] int ConnectError(std::uint16_t port);

[[nodiscard]] bool SendText(int fd, std::string_view text);

// How a read ended.
enum class ReadEnd { PeerClosed, Reset, TimedOut, Failed };

struct ReadResult {
    std::string Bytes;
    ReadEnd End = ReadEnd::Failed;
};

// Reads until the connection ends or the receive time-out passes. The optional callback sees
// the bytes after every read (it may, for example, tell another thread that enough has come).
[[nodiscard]] ReadResult ReadToEnd(int fd, const std::function<void(std::string_view)>& onProgress = {});
// Whether any byte (or the end of the connection) arrives within the given time.
[[nodiscard]] bool ReadableWithin(int fd, std::chrono::milliseconds wait);

struct ParsedResponse {
    bool Complete = false;     // the whole response, as its framing defines it, is there
    std::size_t Consumed = 0;  // bytes of the input it spans, when complete
    int Status = 0;
    std::string HeaderBlock;  // status line and header lines, with the blank line
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;  // decoded when chunked; what has come so far when incomplete
    bool Chunked = false;
    std::vector<std::size_t> ChunkSizes;  // sizes of the data chunks, in order

    [[nodiscard]] std::optional<std::string> Header(std::string_view name) const;
};

// Parses the response at the start of the bytes. A body without length is complete only at the
// end of the connection (atEof). Nullopt when the bytes are not an HTTP response at all.
[[nodiscard]] std::optional<ParsedResponse> ParseResponse(std::string_view bytes, bool atEof);

// Reads one whole response from a keep-alive connection; leftover bytes stay in the buffer.
[[nodiscard]] std::optional<ParsedResponse> ReadResponse(int fd, std::string& buffer);

// "GET target HTTP/1.1" with a Host header and the extra header lines given.
[[nodiscard]] std::string GetRequest(std::string_view target, std::string_view extraHeaders = {});

}  // namespace ostrevane::test
