#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace ostrevane {

// Raised by WebClient::Get when a request fails: no connection, a time-out, a broken transfer,
// a body over the size bound, or a cancelled transfer.
class WebClientError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Told about the progress of a transfer, on the thread that runs Get.
class WebClientObserver {
public:
    virtual ~WebClientObserver() = default;
    // After each chunk of a response has been received (the client may coalesce chunks). May
    // block (a paused run freezes its workers here); the time it blocks never counts as a stall.
    virtual void PacketReceived() = 0;
};

// What a worker needs of an HTTP client. One object serves one job and is used by that job's
// thread only, Cancel excepted; nothing of its connections carries over to another object.
class WebClient {
public:
    virtual ~WebClient() = default;

    // Sends a GET for the URL and waits for the whole response. Returns when the request
    // completed, whatever its status, with the body in Body(). Throws WebClientError when it
    // failed. Each call starts a new transfer: Body() empties and BytesReceived() restarts at 0.
    virtual void Get(const std::string& url) = 0;
    // The body of the last completed request; empty after a failed one.
    [[nodiscard]] virtual const std::string& Body() const = 0;
    // Bytes of the response received so far in the current transfer.
    [[nodiscard]] virtual std::int64_t BytesReceived() const = 0;
    // The peer's address as dotted text; "0.0.0.0" while there is no connection.
    [[nodiscard]] virtual std::string RemoteAddress() const = 0;
    // From any thread: aborts the transfer under way at once, and every later one.
    virtual void Cancel() = 0;
};

class WebClientFactory {
public:
    virtual ~WebClientFactory() = default;
    // A client whose connecting, and any stall in a transfer, is bounded by the time-out.
    [[nodiscard]] virtual std::unique_ptr<WebClient> Create(std::chrono::milliseconds timeout,
                                                            WebClientObserver& observer) = 0;
};

}  // namespace ostrevane
