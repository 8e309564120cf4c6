#include "engine/CurlWebClient.h"

#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/LoopbackTcpServer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace ostrevane {
namespace {

using namespace std::chrono_literals;
using test::ClosedPort;
using test::HttpFault;
using test::HttpReply;
using test::LoopbackHttpServer;

// For transfers that must not time out: far above anything loopback needs, even under a sanitizer.
constexpr std::chrono::milliseconds Patient = 10s;
// For transfers that must time out: short enough to keep the tests quick.
constexpr std::chrono::milliseconds Short = 300ms;
// Bounds waits for other threads; reached only when the client is broken.
constexpr std::chrono::milliseconds Deadline = 20s;

// curl's process-wide set-up, done once before any test starts a thread.
class CurlEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { global_.emplace(); }
    void TearDown() override { global_.reset(); }

private:
    std::optional<CurlGlobal> global_;
};

[[maybe_unused]] const ::testing::Environment* const RegisteredCurlEnvironment =
    ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

// The text of the WebClientError that Get raised, or nullopt when Get returned.
std::optional<std::string> FailureOf(WebClient& client, const std::string& url) {
    try {
        client.Get(url);
        return std::nullopt;
    } catch (const WebClientError& error) {
        return std::string(error.what());
    }
}

// What the client showed at one PacketReceived.
struct Sighting {
    std::int64_t Bytes = 0;
    std::string Address;
};

// Records what the client shows at each PacketReceived, on the thread that runs Get, and then
// runs the test's own action, if any.
class RecordingObserver final : public WebClientObserver {
public:
    void Watch(const WebClient& client) { client_ = &client; }

    void PacketReceived() override {
        Sightings.push_back({client_->BytesReceived(), client_->RemoteAddress()});
        if (OnPacket) {
            OnPacket();
        }
    }

    std::vector<Sighting> Sightings;
    std::function<void()> OnPacket;

private:
    const WebClient* client_ = nullptr;
};

// A one-shot signal between threads, waited for with a deadline.
class Flag final {
public:
    void Set() {
        const std::lock_guard lock(mutex_);
        set_ = true;
        changed_.notify_all();
    }
    [[nodiscard]] bool WaitFor(std::chrono::milliseconds deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, deadline, [&] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

// Whether the thread is blocked in a poll() that waits at least `atLeast`, as the kernel reports
// it: /proc gives the number of the system call under way ("running" fails the read) and its
// arguments, poll's third being its time-out. Where poll is not a system call of its own, any
// ppoll counts.
bool BlockedInLongPoll(pid_t threadId, std::chrono::milliseconds atLeast) {
    std::ifstream file("/proc/self/task/" + std::to_string(threadId) + "/syscall");
    long number = -1;
    unsigned long fds = 0;
    unsigned long count = 0;
    unsigned long timeout = 0;
    file >> number >> std::hex >> fds >> count >> timeout;
    if (!file) {
        return false;
    }
#ifdef SYS_poll
    return number == SYS_poll && timeout >= static_cast<unsigned long>(atLeast.count());
#else
    return number == SYS_ppoll;
#endif
}

// Waits until the thread blocks in a long poll(); false at the deadline.
bool WaitUntilBlockedInLongPoll(pid_t threadId, std::chrono::milliseconds atLeast, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        if (BlockedInLongPoll(threadId, atLeast)) {
            return true;
        }
        std::this_thread::yield();
    }
    return false;
}

std::string PatternBody(std::size_t size) {
    std::string body;
    body.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        body.push_back(static_cast<char>('a' + i % 26));
    }
    return body;
}

// Packs bits least significant first, as deflate streams are laid out.
class BitWriter final {
public:
    void Put(std::uint32_t value, int count) {
        for (int bit = 0; bit < count; ++bit) {
            if (used_ == 0) {
                bytes_.push_back('\0');
            }
            bytes_.back() =
                static_cast<char>(static_cast<unsigned char>(bytes_.back()) | (((value >> bit) & 1u) << used_));
            used_ = (used_ + 1) % 8;
        }
    }
    // Huffman codes go out most significant bit first.
    void PutCode(std::uint32_t code, int length) {
        for (int bit = length - 1; bit >= 0; --bit) {
            Put((code >> bit) & 1u, 1);
        }
    }
    // A symbol of the fixed literal/length alphabet.
    void PutSymbol(std::uint32_t symbol) {
        if (symbol < 144) {
            PutCode(0x30 + symbol, 8);
        } else if (symbol < 256) {
            PutCode(0x190 + symbol - 144, 9);
        } else if (symbol < 280) {
            PutCode(symbol - 256, 7);
        } else {
            PutCode(0xC0 + symbol - 280, 8);
        }
    }
    [[nodiscard]] std::string Take() { return std::move(bytes_); }

private:
    std::string bytes_;
    int used_ = 0;
};

std::uint32_t Crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < entries.size(); ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
        return entries;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<unsigned char>(byte)) & 0xFFu] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

void PutLittleEndian(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFFu));
    }
}

// A gzip member holding the text, compressed just enough for these tests: each run of one byte
// becomes a literal and matches of 258 bytes at distance 1 (one fixed-Huffman block), so long
// runs shrink about 160-fold and a few kilobytes inflate to megabytes.
std::string Gzip(std::string_view text) {
    constexpr std::uint32_t EndOfBlock = 256;
    constexpr std::uint32_t Length258 = 285;
    BitWriter bits;
    bits.Put(1, 1);  // the last block
    bits.Put(1, 2);  // fixed Huffman codes
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[at]);
        std::size_t run = 1;
        while (at + run < text.size() && text[at + run] == text[at]) {
            ++run;
        }
        bits.PutSymbol(byte);
        std::size_t rest = run - 1;
        for (; rest >= 258; rest -= 258) {
            bits.PutSymbol(Length258);
            bits.PutCode(0, 5);  // distance code 0: one byte back
        }
        for (; rest > 0; --rest) {
            bits.PutSymbol(byte);
        }
        at += run;
    }
    bits.PutSymbol(EndOfBlock);

    std::string out{"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10};
    out += bits.Take();
    PutLittleEndian(out, Crc32(text));
    PutLittleEndian(out, static_cast<std::uint32_t>(text.size()));
    return out;
}

HttpReply GzipReply(std::string_view text) {
    return HttpReply{.Body = Gzip(text), .Headers = {{"Content-Encoding", "gzip"}}};
}

class CurlWebClientTest : public ::testing::Test {
protected:
    // A client watched by the fixture's observer.
    [[nodiscard]] std::unique_ptr<CurlWebClient> MakeClient(std::chrono::milliseconds timeout = Patient) {
        auto client = std::make_unique<CurlWebClient>(timeout, observer_);
        observer_.Watch(*client);
        return client;
    }

    // Connections that a failed Get made to the server since `before` connections had been
    // accepted. Accepting is first come first served, so once a later, fresh client has been
    // answered, every connection of the failed Get has been counted.
    [[nodiscard]] std::size_t ConnectionsSince(std::size_t before) {
        server_.Route("/sentinel", HttpReply{.Body = "sentinel"});
        RecordingObserver quiet;
        CurlWebClient sentinel(Patient, quiet);
        quiet.Watch(sentinel);
        EXPECT_EQ(FailureOf(sentinel, server_.Url("/sentinel")), std::nullopt);
        return server_.ConnectionCount() - before - 1;
    }

    LoopbackHttpServer server_;
    RecordingObserver observer_;
};

TEST_F(CurlWebClientTest, CompletedRequestsReturnTheirBodyWhateverTheStatus) {
    const std::string page = "<html><body>" + std::string(1000, 'a') + "<a href=\"http://x.com/\">x</a></body></html>";
    struct Row {
        const char* Name;
        HttpReply Reply;
        std::string Expected;
    };
    const std::array rows{
        Row{"200 with a length", HttpReply{.Body = page}, page},
        Row{"200 chunked", HttpReply{.Body = page, .Chunked = true, .ChunkSize = 100}, page},
        Row{"200 empty", HttpReply{}, ""},
        Row{"404 with a body", HttpReply{.Status = 404, .Body = "no such page"}, "no such page"},
        Row{"500 with a body", HttpReply{.Status = 500, .Body = "server fault"}, "server fault"},
        Row{"503 chunked", HttpReply{.Status = 503, .Body = "busy", .Chunked = true}, "busy"},
        Row{"gzip-compressed body is decoded", GzipReply(page), page},
    };
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const Row& row = rows[index];
        SCOPED_TRACE(row.Name);
        const std::string target = "/page" + std::to_string(index);
        server_.Route(target, row.Reply);
        const auto client = MakeClient();

        EXPECT_EQ(FailureOf(*client, server_.Url(target)), std::nullopt);
        EXPECT_EQ(client->Body(), row.Expected);
        EXPECT_EQ(client->BytesReceived(), static_cast<std::int64_t>(row.Expected.size()));
        EXPECT_EQ(server_.RequestCount(target), 1u);
    }
}

TEST_F(CurlWebClientTest, SendsAGetWithTheUserAgentAndAcceptsCompression) {
    server_.Route("/page", HttpReply{.Body = "page"});
    const auto client = MakeClient();

    ASSERT_EQ(FailureOf(*client, server_.Url("/page")), std::nullopt);

    const std::optional<test::HttpRequest> request = server_.LastRequest("/page");
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->Method, "GET");
    EXPECT_EQ(request->Header("User-Agent"), std::string(CurlWebClient::UserAgent));
    const std::optional<std::string> encodings = request->Header("Accept-Encoding");
    ASSERT_TRUE(encodings.has_value());
    EXPECT_NE(encodings->find("gzip"), std::string::npos);
}

TEST_F(CurlWebClientTest, FollowsFiveRedirectsAndFailsOnTheSixth) {
    struct Row {
        const char* Name;
        int Hops;
        bool Succeeds;
    };
    constexpr std::array rows{
        Row{"one", 1, true},
        Row{"five", CurlWebClient::MaxRedirects, true},
        Row{"six", CurlWebClient::MaxRedirects + 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string chain = "/chain" + std::to_string(row.Hops);
        const std::string final = chain + "/final";
        for (int hop = 0; hop < row.Hops; ++hop) {
            const std::string next = hop + 1 == row.Hops ? final : chain + "/" + std::to_string(hop + 1);
            // Absolute and relative locations alternate: both kinds must be followed.
            const std::string location = hop % 2 == 0 ? server_.Url(next) : next;
            server_.Route(
                chain + "/" + std::to_string(hop),
                HttpReply{.Status = hop % 2 == 0 ? 302 : 301, .Body = "moved", .Headers = {{"Location", location}}});
        }
        server_.Route(final, HttpReply{.Body = "arrived"});
        const auto client = MakeClient();

        const std::optional<std::string> failure = FailureOf(*client, server_.Url(chain + "/0"));

        EXPECT_EQ(failure.has_value(), !row.Succeeds);
        EXPECT_EQ(client->Body(), row.Succeeds ? "arrived" : "");
        EXPECT_EQ(server_.RequestCount(final), row.Succeeds ? 1u : 0u);
    }
}

TEST_F(CurlWebClientTest, RefusesOtherSchemesWithoutConnectingAlsoBehindARedirect) {
    const std::string authority = "127.0.0.1:" + std::to_string(server_.Port());
    struct Row {
        const char* Name;
        std::string Url;
    };
    const std::array rows{
        Row{"dict", "dict://" + authority + "/d:word"},
        Row{"ftp", "ftp://" + authority + "/file.txt"},
        Row{"gopher", "gopher://" + authority + "/1"},
        Row{"file", "file:///etc/passwd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        {
            SCOPED_TRACE("asked for directly");
            const std::size_t before = server_.ConnectionCount();
            const auto client = MakeClient();
            EXPECT_NE(FailureOf(*client, row.Url), std::nullopt);
            EXPECT_EQ(client->Body(), "");
            EXPECT_EQ(ConnectionsSince(before), 0u);
        }
        {
            SCOPED_TRACE("as a redirect target");
            const std::string target = std::string("/to-") + row.Name;
            server_.Route(target, HttpReply{.Status = 302, .Headers = {{"Location", row.Url}}});
            const std::size_t before = server_.ConnectionCount();
            const auto client = MakeClient();
            EXPECT_NE(FailureOf(*client, server_.Url(target)), std::nullopt);
            EXPECT_EQ(client->Body(), "");
            // The redirect itself is the only connection the failed Get made.
            EXPECT_EQ(ConnectionsSince(before), 1u);
        }
    }
}

TEST_F(CurlWebClientTest, UnusableAddressesFail) {
    const ClosedPort closed;
    struct Row {
        const char* Name;
        std::string Url;
    };
    const std::array rows{
        Row{"refused port", "http://127.0.0.1:" + std::to_string(closed.Port()) + "/"},
        Row{"https to a plain-text server", "https://127.0.0.1:" + std::to_string(server_.Port()) + "/"},
        Row{"empty", ""},
        Row{"no host", "http://"},
        Row{"not an address", "not an address"},
        Row{"NUL inside", server_.Url("/page") + std::string(1, '\0') + ".evil.test"},
    };
    server_.Route("/page", HttpReply{.Body = "page"});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        // Short: a plain-text server may wait for the rest of a TLS hello that it cannot parse.
        const auto client = MakeClient(Short);
        EXPECT_NE(FailureOf(*client, row.Url), std::nullopt);
        EXPECT_EQ(client->Body(), "");
        EXPECT_EQ(client->RemoteAddress(), CurlWebClient::NoAddress);
    }
    EXPECT_EQ(server_.RequestCount("/page"), 0u);
}

TEST_F(CurlWebClientTest, BrokenRepliesFailAndStallsFailAtTheTimeOut) {
    const std::string body = PatternBody(64 * 1024);
    struct Row {
        const char* Name;
        HttpReply Reply;
        // Whether the failure is the client's own time-out (with a short one), or curl's error
        // long before a patient one.
        bool TimesOut;
    };
    const std::array rows{
        Row{"reset mid-body with a length", HttpReply{.Body = body, .Fault = HttpFault::ResetMidBody}, false},
        Row{"reset mid-body, chunked", HttpReply{.Body = body, .Chunked = true, .Fault = HttpFault::ResetMidBody},
            false},
        Row{"garbage", HttpReply{.Body = "SSH-2.0-OpenSSH_9.2\r\n", .Fault = HttpFault::Garbage}, false},
        Row{"closed without a reply", HttpReply{.Fault = HttpFault::CloseWithoutReply}, false},
        Row{"10 MB of headers", HttpReply{.Body = "page", .Fault = HttpFault::HugeHeaders}, false},
        Row{"stall mid-body", HttpReply{.Body = body, .Fault = HttpFault::Stall}, true},
        Row{"stall mid-body, chunked", HttpReply{.Body = body, .Chunked = true, .Fault = HttpFault::Stall}, true},
        Row{"body whose end never comes", HttpReply{.Body = body, .Fault = HttpFault::NeverClose}, true},
        Row{"silence before the first byte", HttpReply{.Body = "late", .Delay = 60s}, true},
    };
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const Row& row = rows[index];
        SCOPED_TRACE(row.Name);
        const std::string target = "/broken" + std::to_string(index);
        server_.Route(target, row.Reply);
        const auto client = MakeClient(row.TimesOut ? Short : Patient);

        const std::optional<std::string> failure = FailureOf(*client, server_.Url(target));

        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(*failure == CurlWebClient::TimedOutError, row.TimesOut) << *failure;
        EXPECT_EQ(client->Body(), "");
    }
}

TEST_F(CurlWebClientTest, SlowPiecesEachWithinTheTimeOutSucceed) {
    // Ten pieces 60 ms apart: the whole takes twice the time-out, no gap comes near it.
    const std::string body = PatternBody(10 * 64);
    struct Row {
        const char* Name;
        bool Chunked;
    };
    constexpr std::array rows{Row{"with a length", false}, Row{"chunked", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string target = std::string("/slow-") + (row.Chunked ? "chunked" : "length");
        server_.Route(target, HttpReply{.Body = body, .Chunked = row.Chunked, .ChunkSize = 64, .ChunkDelay = 60ms});
        const auto client = MakeClient(Short);

        EXPECT_EQ(FailureOf(*client, server_.Url(target)), std::nullopt);
        EXPECT_EQ(client->Body(), body);
    }
}

// Header lines are bytes too: a server that is still sending them has not stalled.
TEST_F(CurlWebClientTest, HeadersArrivingSlowlyAreNotAStall) {
    test::LoopbackTcpServer raw;
    const std::string reply =
        "HTTP/1.1 200 OK\r\nX-One: slow\r\nX-Two: slower\r\nX-Three: slowest\r\nContent-Length: 4\r\n\r\npage";
    // About a dozen pieces 60 ms apart; the length ends the reply, so no close races the last piece.
    raw.SetReply(
        test::TcpReply{.Bytes = reply, .ChunkSize = 8, .ChunkDelay = 60ms, .Fault = test::TcpFault::NeverClose});
    const auto client = MakeClient(Short);

    EXPECT_EQ(FailureOf(*client, "http://127.0.0.1:" + std::to_string(raw.Port()) + "/"), std::nullopt);
    EXPECT_EQ(client->Body(), "page");
}

TEST_F(CurlWebClientTest, BodiesAreBoundedAfterDecoding) {
    constexpr std::size_t Bound = CurlWebClient::MaxBodyBytes;
    const std::string atBound(Bound, 'x');
    const std::string overBound(Bound + 1, 'x');
    struct Row {
        const char* Name;
        HttpReply Reply;
        bool Fits;
    };
    const std::array rows{
        Row{"exactly the bound, with a length", HttpReply{.Body = atBound}, true},
        Row{"exactly the bound, chunked", HttpReply{.Body = atBound, .Chunked = true, .ChunkSize = 100'000}, true},
        Row{"exactly the bound, gzip", GzipReply(atBound), true},
        Row{"one byte over, with a length", HttpReply{.Body = overBound}, false},
        Row{"one byte over, chunked", HttpReply{.Body = overBound, .Chunked = true, .ChunkSize = 100'000}, false},
        Row{"one byte over once inflated", GzipReply(overBound), false},
        // Refused on its header: waiting for the rest of the body would end in a time-out instead.
        Row{"declared length over the bound, body stalling", HttpReply{.Body = overBound, .Fault = HttpFault::Stall},
            false},
        Row{"gzip bomb", GzipReply(std::string(2 * Bound, '\0')), false},
        Row{"endless, chunked", HttpReply{.Chunked = true, .Fault = HttpFault::EndlessBody}, false},
        Row{"endless, without a length", HttpReply{.Fault = HttpFault::EndlessBody}, false},
    };
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const Row& row = rows[index];
        SCOPED_TRACE(row.Name);
        const std::string target = "/big" + std::to_string(index);
        server_.Route(target, row.Reply);
        const auto client = MakeClient();

        const std::optional<std::string> failure = FailureOf(*client, server_.Url(target));

        if (row.Fits) {
            EXPECT_EQ(failure, std::nullopt);
            EXPECT_EQ(client->Body().size(), Bound);
        } else {
            EXPECT_EQ(failure, std::string(CurlWebClient::BodyTooLargeError));
            EXPECT_EQ(client->Body(), "");
        }
        EXPECT_LE(client->BytesReceived(), static_cast<std::int64_t>(Bound));
    }
}

// The race: Cancel comes from another thread while the Get thread waits inside curl with
// nothing arriving; only the wake-up can end that wait before the (long) time-out.
TEST_F(CurlWebClientTest, CancelFromAnotherThreadEndsAWaitingTransfer) {
    struct Row {
        const char* Name;
        HttpReply Reply;
        bool AfterFirstPacket;  // otherwise once the request has arrived
    };
    const std::array rows{
        Row{"before the first byte", HttpReply{.Body = "late", .Delay = 60s}, false},
        Row{"in a stalled body", HttpReply{.Body = PatternBody(64 * 1024), .Fault = HttpFault::Stall}, true},
    };
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const Row& row = rows[index];
        SCOPED_TRACE(row.Name);
        const std::string target = "/cancel" + std::to_string(index);
        server_.Route(target, row.Reply);
        // The time-out is far longer than the deadline below: only Cancel can end the Get in time.
        const auto client = MakeClient(2 * Deadline);
        const std::size_t requestsBefore = server_.Requests().size();
        Flag firstPacket;
        observer_.OnPacket = [&] { firstPacket.Set(); };
        Flag returned;
        std::atomic<pid_t> getterId{0};
        std::optional<std::string> failure;
        std::thread getter([&] {
            getterId = gettid();
            failure = FailureOf(*client, server_.Url(target));
            returned.Set();
        });

        const bool underWay = row.AfterFirstPacket ? firstPacket.WaitFor(Deadline)
                                                   : server_.WaitForRequests(requestsBefore + 1, Deadline);
        EXPECT_TRUE(underWay);
        // Earlier, the Get thread would find the cancellation by a plain look at the flag, and a
        // short poll (one of curl's own timers) would end by itself; only a wait that outlasts the
        // deadline takes the wake-up to end.
        EXPECT_TRUE(WaitUntilBlockedInLongPoll(getterId, Deadline, Deadline));
        client->Cancel();
        const bool ended = returned.WaitFor(Deadline);
        getter.join();
        observer_.OnPacket = nullptr;

        EXPECT_TRUE(ended);
        EXPECT_EQ(failure, std::string(CurlWebClient::CancelledError));
        EXPECT_EQ(client->Body(), "");
        // Every later Get fails at once, without a request.
        server_.Route("/after-cancel", HttpReply{.Body = "never fetched"});
        EXPECT_EQ(FailureOf(*client, server_.Url("/after-cancel")), std::string(CurlWebClient::CancelledError));
        EXPECT_EQ(server_.RequestCount("/after-cancel"), 0u);
    }
}

TEST_F(CurlWebClientTest, CancelBeforeGetFailsWithoutConnecting) {
    server_.Route("/page", HttpReply{.Body = "page"});
    const auto client = MakeClient();

    client->Cancel();

    EXPECT_EQ(FailureOf(*client, server_.Url("/page")), std::string(CurlWebClient::CancelledError));
    EXPECT_EQ(client->Body(), "");
    EXPECT_EQ(ConnectionsSince(0), 0u);
}

// A retired worker cancels from inside PacketReceived, on the Get thread itself.
TEST_F(CurlWebClientTest, CancelFromTheObserverEndsTheTransfer) {
    server_.Route("/slow", HttpReply{.Body = PatternBody(10 * 64), .ChunkSize = 64, .ChunkDelay = 50ms});
    const auto client = MakeClient();
    observer_.OnPacket = [&] { client->Cancel(); };

    EXPECT_EQ(FailureOf(*client, server_.Url("/slow")), std::string(CurlWebClient::CancelledError));
    EXPECT_EQ(observer_.Sightings.size(), 1u);
    EXPECT_EQ(client->Body(), "");
}

// A paused run holds its workers inside PacketReceived for as long as the pause lasts; that
// time must not count as a stall of the transfer.
TEST_F(CurlWebClientTest, TimeBlockedInTheObserverIsNotAStall) {
    const std::string body = PatternBody(4 * 1024);
    server_.Route("/paused", HttpReply{.Body = body, .ChunkSize = 1024, .ChunkDelay = 50ms});
    const auto client = MakeClient(Short);
    bool first = true;
    observer_.OnPacket = [&] {
        if (!first) {
            return;
        }
        first = false;
        // The server keeps the next piece back until the observer returns, so no byte waits in
        // the socket to mask a stall clock that ran on while the observer blocked.
        server_.HoldReplies(true);
        // Stands for the pause: longer than the time-out is the point of the test.
        std::this_thread::sleep_for(3 * Short);
        server_.HoldReplies(false);
    };

    EXPECT_EQ(FailureOf(*client, server_.Url("/paused")), std::nullopt);
    EXPECT_EQ(client->Body(), body);
}

TEST_F(CurlWebClientTest, PacketReceivedSeesTheByteCountGrowAndThePeerAddress) {
    const std::string body = PatternBody(5 * 1000);
    server_.Route("/pieces", HttpReply{.Body = body, .Chunked = true, .ChunkSize = 1000, .ChunkDelay = 30ms});
    server_.Route("/tiny", HttpReply{.Body = "tiny"});
    const ClosedPort closed;
    const auto client = MakeClient();
    EXPECT_EQ(client->RemoteAddress(), CurlWebClient::NoAddress);
    EXPECT_EQ(client->BytesReceived(), 0);

    ASSERT_EQ(FailureOf(*client, server_.Url("/pieces")), std::nullopt);
    ASSERT_GE(observer_.Sightings.size(), 2u);
    for (std::size_t index = 0; index < observer_.Sightings.size(); ++index) {
        SCOPED_TRACE(index);
        const Sighting& sighting = observer_.Sightings[index];
        EXPECT_EQ(sighting.Address, "127.0.0.1");
        EXPECT_GT(sighting.Bytes, index == 0 ? 0 : observer_.Sightings[index - 1].Bytes);
    }
    EXPECT_EQ(observer_.Sightings.back().Bytes, static_cast<std::int64_t>(body.size()));

    {
        SCOPED_TRACE("the next Get counts from 0 again");
        observer_.Sightings.clear();
        ASSERT_EQ(FailureOf(*client, server_.Url("/tiny")), std::nullopt);
        ASSERT_EQ(observer_.Sightings.size(), 1u);
        EXPECT_EQ(observer_.Sightings[0].Bytes, 4);
        EXPECT_EQ(client->BytesReceived(), 4);
        EXPECT_EQ(client->Body(), "tiny");
    }
    {
        SCOPED_TRACE("a failed Get leaves no body and no address");
        EXPECT_NE(FailureOf(*client, "http://127.0.0.1:" + std::to_string(closed.Port()) + "/"), std::nullopt);
        EXPECT_EQ(client->Body(), "");
        EXPECT_EQ(client->RemoteAddress(), CurlWebClient::NoAddress);
    }
}

TEST_F(CurlWebClientTest, TheSetUpIgnoresSigpipeAndTheFactoryMakesWorkingClients) {
    ASSERT_NE(signal(SIGPIPE, SIG_DFL), SIG_ERR);
    // A second set-up beside the binary's own: curl counts them, so this one is harmless.
    const CurlGlobal global;
    struct sigaction pipe {};
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &pipe), 0);
    EXPECT_EQ(pipe.sa_handler, SIG_IGN);
    CurlWebClientFactory factory(global);
    server_.Route("/page", HttpReply{.Body = "page"});

    const std::unique_ptr<WebClient> client = factory.Create(Patient, observer_);
    observer_.Watch(*client);

    EXPECT_EQ(FailureOf(*client, server_.Url("/page")), std::nullopt);
    EXPECT_EQ(client->Body(), "page");
    EXPECT_EQ(client->RemoteAddress(), "127.0.0.1");
}

}  // namespace
}  // namespace ostrevane
