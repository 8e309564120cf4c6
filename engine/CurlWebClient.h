#pragma once

#include "engine/WebClient.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ostrevane {

// The process-wide set-up libcurl needs: created once in main (and in each test binary) before
// any thread starts, destroyed after every thread that used curl has ended. It also ignores
// SIGPIPE for the whole process, since a peer that vanishes mid-write must fail a transfer, not
// end the program; that setting stays after destruction.
class CurlGlobal final {
public:
    // Throws std::runtime_error when curl cannot be initialised.
    CurlGlobal();
    ~CurlGlobal();
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

// The page fetcher's HTTP client over libcurl. Only http and https are spoken, also when
// following redirects; at most MaxRedirects are followed; TLS peers and host names are verified.
//
// Threads: Get, Body, BytesReceived and RemoteAddress belong to the thread that runs Get (the
// job's worker); the observer is called on that thread between reads, never from inside curl.
// Cancel may come from any thread at any time while the object lives.
class CurlWebClient final : public WebClient {
public:
    static constexpr long MaxRedirects = 5;
    // Bodies are counted after decoding, so a small compressed body cannot expand past this.
    static constexpr std::size_t MaxBodyBytes = 8u * 1024u * 1024u;
    static constexpr std::string_view UserAgent = "Mozilla/5.0 (compatible; Ostrevane Pro/1.0)";
    static constexpr std::string_view NoAddress = "0.0.0.0";

    // The texts of the errors that the client raises itself; other failures carry curl's text.
    static constexpr std::string_view CancelledError = "Transfer cancelled";
    static constexpr std::string_view TimedOutError = "Timed out: no data within the time-out";
    static constexpr std::string_view BodyTooLargeError = "Response body larger than 8 MiB";

    // The time-out bounds connecting and any stretch without incoming bytes (less than 1 ms
    // counts as 1 ms); time the observer spends inside PacketReceived is not counted. The
    // observer must outlive the client.
    CurlWebClient(std::chrono::milliseconds timeout, WebClientObserver& observer);
    ~CurlWebClient() override;
    CurlWebClient(const CurlWebClient&) = delete;
    CurlWebClient& operator=(const CurlWebClient&) = delete;

    void Get(const std::string& url) override;
    [[nodiscard]] const std::string& Body() const override;
    [[nodiscard]] std::int64_t BytesReceived() const override;
    [[nodiscard]] std::string RemoteAddress() const override;
    void Cancel() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Hands out CurlWebClients. Taking the CurlGlobal makes the order of set-up visible in main.
class CurlWebClientFactory final : public WebClientFactory {
public:
    explicit CurlWebClientFactory(const CurlGlobal& global);

    [[nodiscard]] std::unique_ptr<WebClient> Create(std::chrono::milliseconds timeout,
                                                    WebClientObserver& observer) override;
};

}  // namespace ostrevane
