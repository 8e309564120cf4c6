#include "tests/support/LoopbackHttpServer.h"

#include "tests/support/BlockingClient.h"

#include <sys/socket.h>

#include <array>
#include <atomic>
#include <functional>
#include <future>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace ostrevane::test {
namespace {

using namespace std::chrono_literals;

// Generous: these bound waits for things that happen at once unless the server is broken.
constexpr std::chrono::milliseconds kDeadline = 10s;

std::string PatternBody(std::size_t size) {
    std::string body;
    body.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        body.push_back(static_cast<char>('a' + i % 26));
    }
    return body;
}

// One request on a fresh connection that asks the server to close afterwards.
ReadResult FetchOnce(const LoopbackHttpServer& server, std::string_view target) {
    const UniqueFd client = ConnectBlocking(server.Port());
    if (!client.Valid() || !SendText(client.Get(), GetRequest(target, "Connection: close\r\n"))) {
        return {};
    }
    return ReadToEnd(client.Get());
}

TEST(LoopbackHttpServerTest, RoutesOnTargetThenPathThenDefault) {
    LoopbackHttpServer server;
    server.Route("/page", HttpReply{.Body = "page"});
    server.Route("/search?q=one", HttpReply{.Body = "first result page"});
    server.Route("/search", HttpReply{.Status = 503, .Body = "any other query"});

    struct Case {
        std::string Target;
        int Status;
        std::string Body;
    };
    const std::vector<Case> cases = {
        {"/page", 200, "page"},
        {"/page?ignored=1", 200, "page"},
        {"/search?q=one", 200, "first result page"},
        {"/search?q=two", 503, "any other query"},
        {"/missing", 404, "not found\n"},
        {"/pag", 404, "not found\n"},
    };
    std::vector<std::string> sent;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Target);
        const ReadResult result = FetchOnce(server, c.Target);
        EXPECT_EQ(result.End, ReadEnd::PeerClosed);
        const std::optional<ParsedResponse> response = ParseResponse(result.Bytes, true);
        ASSERT_TRUE(response && response->Complete);
        EXPECT_EQ(response->Status, c.Status);
        EXPECT_EQ(response->Body, c.Body);
        EXPECT_EQ(response->Header("Connection"), "close");
        sent.push_back(c.Target);
    }
    EXPECT_EQ(server.Requests(), sent);
    EXPECT_EQ(server.RequestCount("/search"), 2u);
    EXPECT_EQ(server.RequestCount("/search?q=one"), 1u);
    EXPECT_EQ(server.RequestCount("/page"), 2u);
    EXPECT_EQ(server.RequestCount("/nowhere"), 0u);
    EXPECT_EQ(server.Url("/a?b=c"), "http://127.0.0.1:" + std::to_string(server.Port()) + "/a?b=c");
}

TEST(LoopbackHttpServerTest, RecordsHeadersAndBodyAndUsesNewDefault) {
    LoopbackHttpServer server;
    server.SetDefault(HttpReply{.Status = 410, .Body = "gone", .Headers = {{"X-Reason", "test"}}});
    server.RouteHandler("/echo", [](const HttpRequest& request) {
        return HttpReply{.Body =
                             request.Method + " " + request.Body + " " + request.Header("user-agent").value_or("-")};
    });

    const UniqueFd client = ConnectBlocking(server.Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendText(client.Get(),
                         "POST /echo?x=1 HTTP/1.1\r\nHost: h\r\nUser-Agent: Probe/1.0\r\n"
                         "Accept-Encoding: gzip, deflate\r\nContent-Length: 5\r\n\r\nhello"));
    std::string buffer;
    std::optional<ParsedResponse> echoed = ReadResponse(client.Get(), buffer);
    ASSERT_TRUE(echoed && echoed->Complete);
    EXPECT_EQ(echoed->Body, "POST hello Probe/1.0");

    ASSERT_TRUE(SendText(client.Get(), GetRequest("/other", "User-Agent: Second\r\n")));
    std::optional<ParsedResponse> fallback = ReadResponse(client.Get(), buffer);
    ASSERT_TRUE(fallback && fallback->Complete);
    EXPECT_EQ(fallback->Status, 410);
    EXPECT_EQ(fallback->Body, "gone");
    EXPECT_EQ(fallback->Header("x-reason"), "test");

    const std::optional<HttpRequest> recorded = server.LastRequest("/echo");
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->Method, "POST");
    EXPECT_EQ(recorded->Target, "/echo?x=1");
    EXPECT_EQ(recorded->Path, "/echo");
    EXPECT_EQ(recorded->Version, "HTTP/1.1");
    EXPECT_EQ(recorded->Header("ACCEPT-ENCODING"), "gzip, deflate");
    EXPECT_EQ(recorded->Header("User-Agent"), "Probe/1.0");
    EXPECT_EQ(recorded->Body, "hello");
    EXPECT_EQ(recorded->Header("Cookie"), std::nullopt);
    EXPECT_EQ(server.LastRequest("/other").value().Header("User-Agent"), "Second");
    EXPECT_FALSE(server.LastRequest("/never"));
    EXPECT_EQ(server.ConnectionCount(), 1u);
}

// Replies that arrive whole, however they are framed and paced, and leave the connection usable.
struct DeliveryCase {
    const char* Name;
    HttpReply Reply;
    bool ExpectChunked;
};

class LoopbackHttpDeliveryTest : public testing::TestWithParam<DeliveryCase> {};

TEST_P(LoopbackHttpDeliveryTest, DeliversTheWholeBodyOverAKeptConnection) {
    const DeliveryCase& param = GetParam();
    LoopbackHttpServer server;
    server.Route("/body", param.Reply);
    server.Route("/next", HttpReply{.Body = "next"});

    const UniqueFd client = ConnectBlocking(server.Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendText(client.Get(), GetRequest("/body")));
    std::string buffer;
    const std::optional<ParsedResponse> response = ReadResponse(client.Get(), buffer);
    ASSERT_TRUE(response && response->Complete);
    EXPECT_EQ(response->Status, param.Reply.Status);
    EXPECT_EQ(response->Body, param.Reply.Body);
    EXPECT_EQ(response->Chunked, param.ExpectChunked);
    if (param.ExpectChunked) {
        EXPECT_EQ(response->Header("Content-Length"), std::nullopt);
        const std::size_t pieceSize = param.Reply.ChunkSize == 0 ? param.Reply.Body.size() : param.Reply.ChunkSize;
        ASSERT_FALSE(response->ChunkSizes.empty());
        for (std::size_t i = 0; i + 1 < response->ChunkSizes.size(); ++i) {
            EXPECT_EQ(response->ChunkSizes[i], pieceSize) << "chunk " << i;
        }
        EXPECT_LE(response->ChunkSizes.back(), pieceSize);
    } else {
        EXPECT_EQ(response->Header("Content-Length"), std::to_string(param.Reply.Body.size()));
    }
    if (param.Reply.Fault == HttpFault::HugeHeaders) {
        EXPECT_GE(response->HeaderBlock.size(), LoopbackHttpServer::HugeHeaderBytes);
    }
    for (const auto& [name, value] : param.Reply.Headers) {
        EXPECT_EQ(response->Header(name), value);
    }

    // Keep-alive: the next request goes over the same connection.
    ASSERT_TRUE(SendText(client.Get(), GetRequest("/next")));
    const std::optional<ParsedResponse> next = ReadResponse(client.Get(), buffer);
    ASSERT_TRUE(next && next->Complete);
    EXPECT_EQ(next->Body, "next");
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(server.ConnectionCount(), 1u);
    EXPECT_EQ(server.Requests(), (std::vector<std::string>{"/body", "/next"}));
}

INSTANTIATE_TEST_SUITE_P(
    HttpFraming, LoopbackHttpDeliveryTest,
    testing::Values(
        DeliveryCase{"ContentLength", HttpReply{.Body = PatternBody(1000), .Headers = {{"Content-Type", "text/html"}}},
                     false},
        DeliveryCase{"EmptyBody", HttpReply{.Status = 200}, false},
        DeliveryCase{"ChunkedWhole", HttpReply{.Body = PatternBody(1000), .Chunked = true}, true},
        DeliveryCase{"SlowChunks",
                     HttpReply{.Body = PatternBody(1000), .Chunked = true, .ChunkSize = 97, .ChunkDelay = 3ms}, true},
        DeliveryCase{"SlowPiecesWithLength", HttpReply{.Body = PatternBody(1000), .ChunkSize = 128, .ChunkDelay = 3ms},
                     false},
        DeliveryCase{"Delayed", HttpReply{.Status = 201, .Body = "late", .Delay = 30ms}, false},
        DeliveryCase{"LargeBody", HttpReply{.Body = PatternBody(3 * 1024 * 1024)}, false},
        DeliveryCase{"HugeHeaders", HttpReply{.Body = "after the headers", .Fault = HttpFault::HugeHeaders}, false}),
    [](const testing::TestParamInfo<DeliveryCase>& info) { return std::string(info.param.Name); });

// Faults that end the connection on their own.
struct BrokenReplyCase {
    const char* Name;
    HttpFault Fault;
    bool ExpectHttpHead;  // a status line and headers arrive first
    bool ExpectAnyBytes;
};

class LoopbackHttpBrokenReplyTest : public testing::TestWithParam<BrokenReplyCase> {};

TEST_P(LoopbackHttpBrokenReplyTest, ClientSeesAnIncompleteAnswerAndTheEnd) {
    const BrokenReplyCase& param = GetParam();
    LoopbackHttpServer server;
    const std::string body = PatternBody(200000);
    server.Route("/broken", HttpReply{.Body = body, .Fault = param.Fault});

    const UniqueFd client = ConnectBlocking(server.Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendText(client.Get(), GetRequest("/broken")));
    const ReadResult result = ReadToEnd(client.Get());
    EXPECT_TRUE(result.End == ReadEnd::PeerClosed || result.End == ReadEnd::Reset);
    EXPECT_EQ(!result.Bytes.empty(), param.ExpectAnyBytes);

    const std::optional<ParsedResponse> response = ParseResponse(result.Bytes, true);
    if (param.ExpectHttpHead) {
        ASSERT_TRUE(response);
        EXPECT_FALSE(response->Complete);
        EXPECT_EQ(response->Header("Content-Length"), std::to_string(body.size()));
        EXPECT_LT(response->Body.size(), body.size());
        EXPECT_EQ(response->Body, body.substr(0, response->Body.size()));
    } else if (param.ExpectAnyBytes) {
        EXPECT_FALSE(response) << "the bytes parse as HTTP";
    }
    EXPECT_EQ(server.RequestCount("/broken"), 1u);
    EXPECT_TRUE(server.WaitForClosedConnections(1, kDeadline));
}

INSTANTIATE_TEST_SUITE_P(
    HttpFaults, LoopbackHttpBrokenReplyTest,
    testing::Values(BrokenReplyCase{"ResetMidBody", HttpFault::ResetMidBody, true, true},
                    BrokenReplyCase{"Garbage", HttpFault::Garbage, false, true},
                    BrokenReplyCase{"CloseWithoutReply", HttpFault::CloseWithoutReply, false, false}),
    [](const testing::TestParamInfo<BrokenReplyCase>& info) { return std::string(info.param.Name); });

TEST(LoopbackHttpServerTest, GarbageSendsTheScriptedBytesVerbatim) {
    LoopbackHttpServer server;
    server.Route("/raw", HttpReply{.Body = "SSH-2.0-Nope\r\n", .Fault = HttpFault::Garbage});
    const ReadResult result = FetchOnce(server, "/raw");
    EXPECT_EQ(result.Bytes, "SSH-2.0-Nope\r\n");
    EXPECT_EQ(result.End, ReadEnd::PeerClosed);
}

// Replies that never end by themselves: the client stays stuck reading until something ends them.
struct HangingCase {
    const char* Name;
    HttpReply Reply;
    bool HoldReplies;
    // True once the client has everything the server will ever send before it stops.
    std::function<bool(std::string_view)> ReceivedAll;
};

const std::string kHangingBody = std::string(5000, 'a') + std::string(5000, 'b');

bool HasHalfBody(std::string_view bytes) {
    const std::size_t bodyStart = bytes.find("\r\n\r\n");
    return bodyStart != std::string_view::npos && bytes.substr(bodyStart + 4) == std::string(5000, 'a');
}

std::vector<HangingCase> HangingCases() {
    return {
        HangingCase{"Stall", HttpReply{.Body = kHangingBody, .Fault = HttpFault::Stall}, false, HasHalfBody},
        HangingCase{"NeverClose", HttpReply{.Body = kHangingBody + "END", .Fault = HttpFault::NeverClose}, false,
                    [](std::string_view bytes) { return bytes.ends_with("bbbEND"); }},
        HangingCase{"EndlessBody", HttpReply{.Body = "<a href=x>", .Fault = HttpFault::EndlessBody}, false,
                    [](std::string_view bytes) { return bytes.size() > 256 * 1024; }},
        HangingCase{"EndlessChunkedSlowly",
                    HttpReply{.Chunked = true, .ChunkSize = 100, .ChunkDelay = 1ms, .Fault = HttpFault::EndlessBody},
                    false, [](std::string_view bytes) { return bytes.size() > 2000; }},
        HangingCase{"StallWhileChunked", HttpReply{.Body = kHangingBody, .Chunked = true, .Fault = HttpFault::Stall},
                    false, [](std::string_view bytes) { return bytes.ends_with(std::string(100, 'a') + "\r\n"); }},
        HangingCase{"LongDelay", HttpReply{.Body = "never", .Delay = 1h}, false, [](std::string_view) { return true; }},
        HangingCase{"HeldReply", HttpReply{.Body = "never"}, true, [](std::string_view) { return true; }},
        HangingCase{"LongChunkPause", HttpReply{.Body = kHangingBody, .ChunkSize = 5000, .ChunkDelay = 1h}, false,
                    HasHalfBody},
    };
}

// The replies that also watch the client while they hang; a delay, a pause or a hold watches
// only the server's stop.
std::vector<HangingCase> CasesEndingWhenTheClientLeaves() {
    std::vector<HangingCase> cases = HangingCases();
    std::erase_if(cases, [](const HangingCase& c) { return c.HoldReplies || c.Reply.Fault == HttpFault::None; });
    return cases;
}

std::string CaseName(const testing::TestParamInfo<HangingCase>& info) {
    return info.param.Name;
}

class LoopbackHttpHangingTest : public testing::TestWithParam<HangingCase> {};
class LoopbackHttpAbandonedReplyTest : public testing::TestWithParam<HangingCase> {};

TEST_P(LoopbackHttpHangingTest, DestructorEndsTheReplyWhileTheClientReads) {
    const HangingCase& param = GetParam();
    auto server = std::make_unique<LoopbackHttpServer>();
    server->Route("/hang", param.Reply);
    server->HoldReplies(param.HoldReplies);

    const UniqueFd client = ConnectBlocking(server->Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendText(client.Get(), GetRequest("/hang")));
    std::promise<void> receivedAll;
    std::future<void> receivedAllFuture = receivedAll.get_future();
    std::future<ReadResult> reader = std::async(std::launch::async, [&] {
        bool signalled = false;
        return ReadToEnd(client.Get(), [&](std::string_view bytes) {
            if (!signalled && param.ReceivedAll(bytes)) {
                signalled = true;
                receivedAll.set_value();
            }
        });
    });
    ASSERT_TRUE(server->WaitForRequests(1, kDeadline));
    ASSERT_EQ(receivedAllFuture.wait_for(kDeadline), std::future_status::ready);

    server.reset();  // must not wait for the reply to end
    const ReadResult result = reader.get();
    EXPECT_NE(result.End, ReadEnd::TimedOut) << "the connection outlived the server";
    EXPECT_NE(result.End, ReadEnd::Failed);
    EXPECT_TRUE(param.ReceivedAll(result.Bytes));
}

TEST_P(LoopbackHttpAbandonedReplyTest, ServerLetsGoWhenTheClientLeaves) {
    const HangingCase& param = GetParam();
    LoopbackHttpServer server;
    server.Route("/hang", param.Reply);
    {
        const UniqueFd client = ConnectBlocking(server.Port());
        ASSERT_TRUE(client.Valid());
        ASSERT_TRUE(SendText(client.Get(), GetRequest("/hang")));
        std::string received;
        std::array<char, 4096> buffer{};
        while (!param.ReceivedAll(received)) {
            const ssize_t got = ::recv(client.Get(), buffer.data(), buffer.size(), 0);
            ASSERT_GT(got, 0);
            received.append(buffer.data(), static_cast<std::size_t>(got));
        }
    }  // the client leaves here
    EXPECT_TRUE(server.WaitForClosedConnections(1, kDeadline));
}

INSTANTIATE_TEST_SUITE_P(HttpFaults, LoopbackHttpHangingTest, testing::ValuesIn(HangingCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(HttpFaults, LoopbackHttpAbandonedReplyTest,
                         testing::ValuesIn(CasesEndingWhenTheClientLeaves()), CaseName);

TEST(LoopbackHttpServerTest, HeldRepliesWaitUntilReleased) {
    LoopbackHttpServer server;
    server.Route("/held", HttpReply{.Body = "released"});
    server.HoldReplies(true);

    std::vector<UniqueFd> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(ConnectBlocking(server.Port()));
        ASSERT_TRUE(clients.back().Valid());
        ASSERT_TRUE(SendText(clients.back().Get(), GetRequest("/held")));
    }
    ASSERT_TRUE(server.WaitForRequests(3, kDeadline));
    // Only a sanity check: a server that ignored the hold would most likely have answered by now.
    EXPECT_FALSE(ReadableWithin(clients.front().Get(), 50ms));

    server.HoldReplies(false);
    for (const UniqueFd& client : clients) {
        std::string buffer;
        const std::optional<ParsedResponse> response = ReadResponse(client.Get(), buffer);
        ASSERT_TRUE(response && response->Complete);
        EXPECT_EQ(response->Body, "released");
    }
}

TEST(LoopbackHttpServerTest, HoldingStopsAReplyBetweenPiecesUntilReleased) {
    constexpr std::size_t kPiece = 4096;
    // More than the socket buffers of both ends can hold, so bytes beyond it mean the hold failed.
    constexpr std::size_t kMoreThanBuffered = 64u * 1024u * 1024u;
    LoopbackHttpServer server;
    server.Route("/stream", HttpReply{.Chunked = true, .ChunkSize = kPiece, .Fault = HttpFault::EndlessBody});
    const UniqueFd client = ConnectBlocking(server.Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendText(client.Get(), GetRequest("/stream")));

    std::array<char, 65536> buffer{};
    const auto receive = [&](std::size_t& total) {
        const ssize_t got = ::recv(client.Get(), buffer.data(), buffer.size(), 0);
        if (got > 0) {
            total += static_cast<std::size_t>(got);
        }
        return got > 0;
    };
    std::size_t beforeHold = 0;
    while (beforeHold < 16 * kPiece) {
        ASSERT_TRUE(receive(beforeHold));
    }

    server.HoldReplies(true);
    // A held reply finishes at most the piece in progress, so the flow dries up once the socket
    // buffers are drained.
    std::size_t duringHold = 0;
    while (duringHold < kMoreThanBuffered && ReadableWithin(client.Get(), 200ms)) {
        ASSERT_TRUE(receive(duringHold));
    }
    EXPECT_LT(duringHold, kMoreThanBuffered) << "the reply kept flowing while held";

    server.HoldReplies(false);
    std::size_t afterRelease = 0;
    while (afterRelease < 16 * kPiece) {
        ASSERT_TRUE(receive(afterRelease));
    }
}

TEST(LoopbackHttpServerTest, AnswersExpectContinueBeforeTheBody) {
    LoopbackHttpServer server;
    server.RouteHandler("/upload", [](const HttpRequest& request) { return HttpReply{.Body = "got " + request.Body}; });
    const UniqueFd client = ConnectBlocking(server.Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(
        SendText(client.Get(), "PUT /upload HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n"));
    std::string buffer;
    const std::optional<ParsedResponse> interim = ReadResponse(client.Get(), buffer);
    ASSERT_TRUE(interim && interim->Complete);
    EXPECT_EQ(interim->Status, 100);
    EXPECT_TRUE(server.Requests().empty()) << "logged before the body came";

    ASSERT_TRUE(SendText(client.Get(), "data"));
    const std::optional<ParsedResponse> final = ReadResponse(client.Get(), buffer);
    ASSERT_TRUE(final && final->Complete);
    EXPECT_EQ(final->Body, "got data");
}

TEST(LoopbackHttpServerTest, ServesManyConcurrentKeepAliveClients) {
    constexpr int kClients = 64;
    constexpr int kRequestsEach = 3;
    LoopbackHttpServer server;
    server.RouteHandler("/work", [](const HttpRequest& request) { return HttpReply{.Body = "for " + request.Target}; });

    std::latch allConnected(kClients);
    std::atomic<int> goodResponses{0};
    std::vector<std::thread> workers;
    for (int worker = 0; worker < kClients; ++worker) {
        workers.emplace_back([&, worker] {
            const UniqueFd client = ConnectBlocking(server.Port());
            std::string buffer;
            for (int round = 0; round < kRequestsEach; ++round) {
                const std::string target = "/work?client=" + std::to_string(worker) + "&round=" + std::to_string(round);
                if (client.Valid() && SendText(client.Get(), GetRequest(target))) {
                    const std::optional<ParsedResponse> response = ReadResponse(client.Get(), buffer);
                    if (response && response->Complete && response->Body == "for " + target) {
                        goodResponses.fetch_add(1);
                    }
                }
                if (round == 0) {
                    // Every connection is open and has been served once before any goes on.
                    allConnected.arrive_and_wait();
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(goodResponses.load(), kClients * kRequestsEach);
    EXPECT_EQ(server.ConnectionCount(), static_cast<std::size_t>(kClients));
    EXPECT_EQ(server.RequestCount("/work"), static_cast<std::size_t>(kClients * kRequestsEach));
    EXPECT_TRUE(server.WaitForClosedConnections(kClients, kDeadline));
}

TEST(LoopbackHttpServerTest, AnswersPipelinedRequestsInOrder) {
    LoopbackHttpServer server;
    server.Route("/one", HttpReply{.Body = "1"});
    server.Route("/two", HttpReply{.Body = "22", .Chunked = true});
    const UniqueFd client = ConnectBlocking(server.Port());
    ASSERT_TRUE(client.Valid());
    ASSERT_TRUE(SendText(client.Get(),
                         GetRequest("/one") + GetRequest("/two") + GetRequest("/three", "Connection: close\r\n")));
    const ReadResult result = ReadToEnd(client.Get());
    EXPECT_EQ(result.End, ReadEnd::PeerClosed);
    std::string_view rest = result.Bytes;
    std::vector<std::pair<int, std::string>> seen;
    for (int i = 0; i < 3; ++i) {
        const std::optional<ParsedResponse> response = ParseResponse(rest, true);
        ASSERT_TRUE(response && response->Complete);
        seen.emplace_back(response->Status, response->Body);
        rest.remove_prefix(response->Consumed);
    }
    EXPECT_TRUE(rest.empty());
    EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{200, "1"}, {200, "22"}, {404, "not found\n"}}));
}

TEST(LoopbackHttpServerTest, RejectsMalformedRequestsAndKeepsServing) {
    LoopbackHttpServer server;
    struct Case {
        const char* Name;
        std::string Request;
        int Status;
    };
    const std::vector<Case> cases = {
        {"NoTarget", "GARBAGE\r\n\r\n", 400},
        {"NotHttp", "GET / FTP/1.0\r\n\r\n", 400},
        {"BadLength", "POST / HTTP/1.1\r\nContent-Length: ten\r\n\r\n", 400},
        {"ChunkedUpload", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"HeaderFlood", "GET / HTTP/1.1\r\nX: " + std::string(LoopbackHttpServer::MaxRequestHeaderBytes + 10, 'x'),
         431},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const UniqueFd client = ConnectBlocking(server.Port());
        ASSERT_TRUE(client.Valid());
        ASSERT_TRUE(SendText(client.Get(), c.Request));
        const ReadResult result = ReadToEnd(client.Get());
        const std::optional<ParsedResponse> response = ParseResponse(result.Bytes, true);
        ASSERT_TRUE(response && response->Complete);
        EXPECT_EQ(response->Status, c.Status);
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(FetchOnce(server, "/after").End, ReadEnd::PeerClosed);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/after"});
}

}  // namespace
}  // namespace ostrevane::test
