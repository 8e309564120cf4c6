#include "tests/support/LoopbackTcpServer.h"

#include <algorithm>
#include <utility>

namespace ostrevane::test {
namespace {

constexpr std::size_t kEndlessPiece = 16 * 1024;
constexpr std::string_view kEndlessFiller = "% endless answer filler line\r\n";

}  // namespace

LoopbackTcpServer::LoopbackTcpServer()
    : fixedReply_(TcpReply{.Bytes = std::string(DefaultAnswer)}),
      acceptor_([this](PeerSocket& peer) { Serve(peer); }) {}

LoopbackTcpServer::~LoopbackTcpServer() {
    acceptor_.Stop();
}

void LoopbackTcpServer::SetReply(TcpReply reply) {
    const std::lock_guard lock(mutex_);
    fixedReply_ = std::move(reply);
}

void LoopbackTcpServer::SetHandler(TcpHandler handler) {
    const std::lock_guard lock(mutex_);
    fixedReply_.reset();
    handler_ = std::move(handler);
}

void LoopbackTcpServer::SetGreeting(std::string greeting) {
    const std::lock_guard lock(mutex_);
    greeting_ = std::move(greeting);
}

void LoopbackTcpServer::SetAcceptOnly(bool acceptOnly) {
    const std::lock_guard lock(mutex_);
    acceptOnly_ = acceptOnly;
}

std::vector<std::string> LoopbackTcpServer::Requests() const {
    const std::lock_guard lock(mutex_);
    return log_;
}

bool LoopbackTcpServer::WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return log_.size() >= count; });
}

// Runs on the connection's own thread until the connection ends.
void LoopbackTcpServer::Serve(PeerSocket& peer) {
    std::optional<TcpReply> fixedReply;
    TcpHandler handler;
    std::string greeting;
    bool acceptOnly = false;
    {
        const std::lock_guard lock(mutex_);
        fixedReply = fixedReply_;
        handler = handler_;
        greeting = greeting_;
        acceptOnly = acceptOnly_;
    }
    if (acceptOnly) {
        peer.HoldOpenWithoutReading();
        return;
    }
    if (fixedReply && fixedReply->Fault == TcpFault::AcceptThenClose) {
        // Closed with the query (if it came already) unread, as a server that drops the
        // connection at once would.
        (void)peer.Pause(fixedReply->Delay);
        return;
    }
    if (!greeting.empty() && peer.SendAll(greeting) != IoStatus::Done) {
        return;
    }
    std::string line;
    if (!ReadLine(peer, line)) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        log_.push_back(line);
    }
    changed_.notify_all();

    const TcpReply reply = fixedReply ? *fixedReply : handler ? handler(line) : TcpReply{};
    if (!peer.Pause(reply.Delay)) {
        return;
    }
    switch (reply.Fault) {
    case TcpFault::None:
        if (SendPaced(peer, reply, reply.Bytes)) {
            peer.CloseGracefully();
        }
        return;
    case TcpFault::ResetMidReply:
        if (SendPaced(peer, reply, std::string_view(reply.Bytes).substr(0, reply.Bytes.size() / 2))) {
            peer.ResetConnection();
        }
        return;
    case TcpFault::Silent:
        // WHOIS clients may shut down their sending side after the query, so FIN does not
        // end the wait; only the stop or a failed connection does.
        peer.HoldOpen(false);
        return;
    case TcpFault::Endless:
        SendEndlessly(peer, reply);
        return;
    case TcpFault::NeverClose:
        if (SendPaced(peer, reply, reply.Bytes)) {
            peer.HoldOpen(false);
        }
        return;
    case TcpFault::AcceptThenClose:
        peer.CloseGracefully();
        return;
    }
}

bool LoopbackTcpServer::ReadLine(PeerSocket& peer, std::string& line) {
    std::string buffer;
    while (true) {
        const std::size_t newline = buffer.find('\n');
        if (newline != std::string::npos || buffer.size() >= MaxRequestLineBytes) {
            line = buffer.substr(0, std::min(newline, MaxRequestLineBytes));
            break;
        }
        const IoStatus status = peer.ReadSome(buffer, MaxRequestLineBytes - buffer.size());
        if (status == IoStatus::Stopped || (status == IoStatus::PeerGone && buffer.empty())) {
            return false;
        }
        if (status == IoStatus::PeerGone) {
            line = buffer;  // the client shut down its side after a last line without LF
            break;
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

bool LoopbackTcpServer::SendPaced(PeerSocket& peer, const TcpReply& reply, std::string_view bytes) {
    const std::size_t pieceSize = reply.ChunkSize == 0 ? bytes.size() : reply.ChunkSize;
    for (bool first = true; !bytes.empty(); first = false) {
        if (!first && !peer.Pause(reply.ChunkDelay)) {
            return false;
        }
        const std::string_view piece = bytes.substr(0, pieceSize);
        bytes.remove_prefix(piece.size());
        if (peer.SendAll(piece) != IoStatus::Done) {
            return false;
        }
    }
    return true;
}

void LoopbackTcpServer::SendEndlessly(PeerSocket& peer, const TcpReply& reply) {
    EndlessPieces pieces(reply.Bytes.empty() ? kEndlessFiller : std::string_view(reply.Bytes),
                         reply.ChunkSize == 0 ? kEndlessPiece : reply.ChunkSize);
    for (bool first = true;; first = false) {
        if (!first && !peer.Pause(reply.ChunkDelay)) {
            return;
        }
        const std::string& piece = pieces.Next();
        // Ends when the client leaves (the send fails) or the server stops.
        if (peer.SendAll(piece) != IoStatus::Done) {
            return;
        }
    }
}

}  // namespace ostrevane::test
