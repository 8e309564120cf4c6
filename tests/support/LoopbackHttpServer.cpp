#include "tests/support/LoopbackHttpServer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace ostrevane::test {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t kReadPiece = 65536;
constexpr std::size_t kEndlessPiece = 16 * 1024;
// Looks like the start of a TLS handshake, then junk: nothing an HTTP parser can accept.
constexpr std::string_view kGarbage =
    "\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03 this is not HTTP \xff\xfe\x00\r\n"sv;
constexpr std::string_view kEndlessFiller = "<p>endless body filler line</p>\n";

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b,
                              [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether a comma-separated header value such as "keep-alive, Upgrade" holds the token.
bool HasToken(std::string_view value, std::string_view token) {
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        if (EqualsIgnoreCase(Trim(value.substr(0, comma)), token)) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        value.remove_prefix(comma + 1);
    }
    return false;
}

const std::pair<std::string, std::string>* FindHeader(const std::vector<std::pair<std::string, std::string>>& headers,
                                                      std::string_view name) {
    const auto it =
        std::ranges::find_if(headers, [&](const auto& header) { return EqualsIgnoreCase(header.first, name); });
    return it == headers.end() ? nullptr : &*it;
}

std::string_view ReasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

std::string ChunkFrame(std::string_view piece) {
    char size[32];
    const int length = std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    std::string frame(size, static_cast<std::size_t>(length));
    frame.append(piece);
    frame.append("\r\n");
    return frame;
}

// Built once, on first use, and shared by every HugeHeaders reply.
const std::string& HugeHeaderBlock() {
    static const std::string block = [] {
        std::string out;
        out.reserve(LoopbackHttpServer::HugeHeaderBytes + 2048);
        const std::string value(1000, 'h');
        for (std::size_t line = 0; out.size() < LoopbackHttpServer::HugeHeaderBytes; ++line) {
            out.append("X-Filler-").append(std::to_string(line)).append(": ").append(value).append("\r\n");
        }
        return out;
    }();
    return block;
}

std::string SimpleReply(int status, std::string_view body) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + std::string(ReasonPhrase(status)) + "\r\n";
    out +=
        "Content-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    out += body;
    return out;
}

// Where the header block ends: the index just past its blank line, or npos.
std::size_t HeaderBlockEnd(std::string_view buffer) {
    for (std::size_t newline = buffer.find('\n'); newline != std::string_view::npos;
         newline = buffer.find('\n', newline + 1)) {
        if (newline + 1 < buffer.size() && buffer[newline + 1] == '\n') {
            return newline + 2;
        }
        if (newline + 2 < buffer.size() && buffer[newline + 1] == '\r' && buffer[newline + 2] == '\n') {
            return newline + 3;
        }
    }
    return std::string_view::npos;
}

bool ParseHeaderBlock(std::string_view block, HttpRequest& request) {
    bool firstLine = true;
    while (!block.empty()) {
        const std::size_t newline = block.find('\n');
        std::string_view line = block.substr(0, newline);
        block.remove_prefix(newline == std::string_view::npos ? block.size() : newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        if (firstLine) {
            firstLine = false;
            const std::size_t space1 = line.find(' ');
            const std::size_t space2 = space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
            if (space2 == std::string_view::npos) {
                return false;
            }
            request.Method = line.substr(0, space1);
            request.Target = line.substr(space1 + 1, space2 - space1 - 1);
            request.Version = line.substr(space2 + 1);
            request.Path = request.Target.substr(0, request.Target.find('?'));
            if (request.Method.empty() || request.Target.empty() || !request.Version.starts_with("HTTP/")) {
                return false;
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return false;
        }
        request.Headers.emplace_back(std::string(line.substr(0, colon)), std::string(Trim(line.substr(colon + 1))));
    }
    return !firstLine;
}

bool ClientKeepsAlive(const HttpRequest& request) {
    const std::optional<std::string> connection = request.Header("Connection");
    if (request.Version == "HTTP/1.0") {
        return connection && HasToken(*connection, "keep-alive");
    }
    return !(connection && HasToken(*connection, "close"));
}

bool HasNoBody(int status) {
    return (status >= 100 && status < 200) || status == 204 || status == 304;
}

}  // namespace

std::optional<std::string> HttpRequest::Header(std::string_view name) const {
    if (const auto* header = FindHeader(Headers, name)) {
        return header->second;
    }
    return std::nullopt;
}

LoopbackHttpServer::LoopbackHttpServer()
    : default_{.Status = 404, .Body = "not found\n", .Headers = {{"Content-Type", "text/plain"}}},
      acceptor_([this](PeerSocket& peer) { Serve(peer); }) {}

LoopbackHttpServer::~LoopbackHttpServer() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    acceptor_.Stop();
}

std::string LoopbackHttpServer::Url(std::string_view target) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + std::string(target);
}

void LoopbackHttpServer::Route(std::string target, HttpReply reply) {
    RouteHandler(std::move(target), [reply = std::move(reply)](const HttpRequest&) { return reply; });
}

void LoopbackHttpServer::RouteHandler(std::string target, HttpHandler handler) {
    const std::lock_guard lock(mutex_);
    routes_.insert_or_assign(std::move(target), std::move(handler));
}

void LoopbackHttpServer::SetDefault(HttpReply reply) {
    const std::lock_guard lock(mutex_);
    default_ = std::move(reply);
}

void LoopbackHttpServer::HoldReplies(bool hold) {
    {
        const std::lock_guard lock(mutex_);
        held_ = hold;
    }
    changed_.notify_all();
}

std::vector<std::string> LoopbackHttpServer::Requests() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::string> targets;
    targets.reserve(log_.size());
    for (const HttpRequest& request : log_) {
        targets.push_back(request.Target);
    }
    return targets;
}

std::size_t LoopbackHttpServer::RequestCount(std::string_view target) const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::ranges::count_if(
        log_, [&](const HttpRequest& request) { return request.Target == target || request.Path == target; }));
}

std::optional<HttpRequest> LoopbackHttpServer::LastRequest(std::string_view target) const {
    const std::lock_guard lock(mutex_);
    for (auto it = log_.rbegin(); it != log_.rend(); ++it) {
        if (it->Target == target || it->Path == target) {
            return *it;
        }
    }
    return std::nullopt;
}

bool LoopbackHttpServer::WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return log_.size() >= count; });
}

// Runs on the connection's own thread until the connection ends.
void LoopbackHttpServer::Serve(PeerSocket& peer) {
    std::string buffer;  // bytes read but not yet consumed: pipelined requests wait here
    while (true) {
        HttpRequest request;
        const ReadOutcome outcome = ReadRequest(peer, buffer, request);
        if (outcome == ReadOutcome::Closed) {
            return;
        }
        if (outcome != ReadOutcome::Request) {
            const int status = outcome == ReadOutcome::HeadersTooLarge ? 431
                               : outcome == ReadOutcome::BodyTooLarge  ? 413
                               : outcome == ReadOutcome::Unsupported   ? 501
                                                                       : 400;
            if (peer.SendAll(SimpleReply(status, "refused by the loopback server\n")) == IoStatus::Done) {
                peer.CloseGracefully();
            }
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            log_.push_back(request);
        }
        changed_.notify_all();

        const HttpReply reply = ReplyFor(request);
        const auto* connection = FindHeader(reply.Headers, "Connection");
        const bool keepAlive = ClientKeepsAlive(request) && !(connection && HasToken(connection->second, "close"));
        if (!Respond(peer, request, reply, keepAlive)) {
            return;
        }
        if (!keepAlive) {
            peer.CloseGracefully();
            return;
        }
    }
}

LoopbackHttpServer::ReadOutcome LoopbackHttpServer::ReadRequest(PeerSocket& peer, std::string& buffer,
                                                                HttpRequest& request) {
    std::size_t headerEnd = std::string::npos;
    while (true) {
        // Blank lines before a request line are allowed and skipped.
        const std::size_t start = buffer.find_first_not_of("\r\n");
        buffer.erase(0, start == std::string::npos ? buffer.size() : start);
        headerEnd = HeaderBlockEnd(buffer);
        if (headerEnd != std::string::npos) {
            break;
        }
        if (buffer.size() > MaxRequestHeaderBytes) {
            return ReadOutcome::HeadersTooLarge;
        }
        if (peer.ReadSome(buffer, kReadPiece) != IoStatus::Done) {
            return ReadOutcome::Closed;
        }
    }
    if (headerEnd > MaxRequestHeaderBytes) {
        return ReadOutcome::HeadersTooLarge;
    }
    if (!ParseHeaderBlock(std::string_view(buffer).substr(0, headerEnd), request)) {
        return ReadOutcome::BadRequest;
    }
    if (request.Header("Transfer-Encoding")) {
        return ReadOutcome::Unsupported;
    }

    std::size_t bodyLength = 0;
    if (const std::optional<std::string> length = request.Header("Content-Length")) {
        const char* end = length->data() + length->size();
        const auto [parsedTo, error] = std::from_chars(length->data(), end, bodyLength);
        if (error != std::errc() || parsedTo != end) {
            return ReadOutcome::BadRequest;
        }
        if (bodyLength > MaxRequestBodyBytes) {
            return ReadOutcome::BodyTooLarge;
        }
    }
    if (bodyLength > 0 && buffer.size() < headerEnd + bodyLength) {
        const std::optional<std::string> expect = request.Header("Expect");
        if (expect && EqualsIgnoreCase(*expect, "100-continue") &&
            peer.SendAll("HTTP/1.1 100 Continue\r\n\r\n") != IoStatus::Done) {
            return ReadOutcome::Closed;
        }
    }
    while (buffer.size() < headerEnd + bodyLength) {
        if (peer.ReadSome(buffer, headerEnd + bodyLength - buffer.size()) != IoStatus::Done) {
            return ReadOutcome::Closed;
        }
    }
    request.Body = buffer.substr(headerEnd, bodyLength);
    buffer.erase(0, headerEnd + bodyLength);
    return ReadOutcome::Request;
}

HttpReply LoopbackHttpServer::ReplyFor(const HttpRequest& request) {
    HttpHandler handler;
    {
        const std::lock_guard lock(mutex_);
        auto route = routes_.find(request.Target);
        if (route == routes_.end()) {
            route = routes_.find(request.Path);
        }
        if (route == routes_.end()) {
            return default_;
        }
        handler = route->second;
    }
    // Called unlocked: a handler may use the server's own methods.
    return handler(request);
}

bool LoopbackHttpServer::Respond(PeerSocket& peer, const HttpRequest& request, const HttpReply& reply, bool keepAlive) {
    if (!peer.Pause(reply.Delay) || !WaitWhileHeld()) {
        return false;
    }
    switch (reply.Fault) {
    case HttpFault::CloseWithoutReply:
        peer.CloseGracefully();
        return false;
    case HttpFault::Garbage:
        if (peer.SendAll(reply.Body.empty() ? kGarbage : std::string_view(reply.Body)) == IoStatus::Done) {
            peer.CloseGracefully();
        }
        return false;
    default:
        break;
    }

    const bool sendsBody = request.Method != "HEAD" && !HasNoBody(reply.Status);
    const bool framedByTest = FindHeader(reply.Headers, "Content-Length") != nullptr ||
                              FindHeader(reply.Headers, "Transfer-Encoding") != nullptr;
    bool chunked = false;
    std::string head =
        "HTTP/1.1 " + std::to_string(reply.Status) + " " + std::string(ReasonPhrase(reply.Status)) + "\r\n";
    if (reply.Fault == HttpFault::HugeHeaders) {
        head += HugeHeaderBlock();
    }
    for (const auto& [name, value] : reply.Headers) {
        head.append(name).append(": ").append(value).append("\r\n");
    }
    if (framedByTest || HasNoBody(reply.Status)) {
        // The test's own headers say how the body ends, or there is none.
    } else if (reply.Fault == HttpFault::NeverClose) {
        // No length at all: the body ends only when the connection does.
    } else if (reply.Fault == HttpFault::EndlessBody) {
        chunked = reply.Chunked;
        if (chunked) {
            head += "Transfer-Encoding: chunked\r\n";
        }
    } else if (reply.Chunked) {
        chunked = true;
        head += "Transfer-Encoding: chunked\r\n";
    } else {
        head += "Content-Length: " + std::to_string(reply.Body.size()) + "\r\n";
    }
    if (!keepAlive && FindHeader(reply.Headers, "Connection") == nullptr &&
        (reply.Fault == HttpFault::None || reply.Fault == HttpFault::HugeHeaders)) {
        head += "Connection: close\r\n";
    }
    head += "\r\n";
    if (peer.SendAll(head) != IoStatus::Done) {
        return false;
    }

    const std::string_view body = sendsBody ? std::string_view(reply.Body) : std::string_view();
    const std::string_view firstHalf = body.substr(0, body.size() / 2);
    switch (reply.Fault) {
    case HttpFault::ResetMidBody:
        if (SendBody(peer, reply, firstHalf, chunked)) {
            peer.ResetConnection();
        }
        return false;
    case HttpFault::Stall:
        if (SendBody(peer, reply, firstHalf, chunked)) {
            peer.HoldOpen(true);
        }
        return false;
    case HttpFault::NeverClose:
        if (SendBody(peer, reply, body, false)) {
            peer.HoldOpen(true);
        }
        return false;
    case HttpFault::EndlessBody:
        if (sendsBody) {
            StreamEndlessBody(peer, reply);
        }
        return false;
    default:
        break;
    }
    if (!SendBody(peer, reply, body, chunked)) {
        return false;
    }
    return !(chunked && sendsBody) || peer.SendAll("0\r\n\r\n") == IoStatus::Done;
}

bool LoopbackHttpServer::SendBody(PeerSocket& peer, const HttpReply& reply, std::string_view body, bool chunked) {
    const std::size_t pieceSize = reply.ChunkSize == 0 ? body.size() : reply.ChunkSize;
    for (bool first = true; !body.empty(); first = false) {
        if (!first && (!peer.Pause(reply.ChunkDelay) || !WaitWhileHeld())) {
            return false;
        }
        const std::string_view piece = body.substr(0, pieceSize);
        body.remove_prefix(piece.size());
        if (peer.SendAll(chunked ? std::string_view(ChunkFrame(piece)) : piece) != IoStatus::Done) {
            return false;
        }
    }
    return true;
}

void LoopbackHttpServer::StreamEndlessBody(PeerSocket& peer, const HttpReply& reply) {
    EndlessPieces pieces(reply.Body.empty() ? kEndlessFiller : std::string_view(reply.Body),
                         reply.ChunkSize == 0 ? kEndlessPiece : reply.ChunkSize);
    for (bool first = true;; first = false) {
        if (!first && (!peer.Pause(reply.ChunkDelay) || !WaitWhileHeld())) {
            return;
        }
        const std::string& piece = pieces.Next();
        // Ends when the client leaves (the send fails) or the server stops.
        if (peer.SendAll(reply.Chunked ? ChunkFrame(piece) : piece) != IoStatus::Done) {
            return;
        }
    }
}

bool LoopbackHttpServer::WaitWhileHeld() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !held_ || stopping_; });
    return !stopping_;
}

}  // namespace ostrevane::test
