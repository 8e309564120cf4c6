#pragma once

#include "validate/TcpConnector.h"

namespace ostrevane {

// TCP over POSIX sockets, IPv4 only: the system reports a web host's address in dotted-decimal
// form, and every WHOIS server it asks is reachable over IPv4.
//
// Name resolution runs on a helper thread per lookup, since getaddrinfo() cannot be interrupted:
// when the time-out passes or a stop is requested, Connect() returns at once and the helper,
// which owns everything it touches, finishes and frees its result on its own. Each resolved
// address is then tried in turn; an address gets an equal share of the time left, so one that
// never answers does not use up the time of the addresses after it. Sockets are non-blocking;
// every wait polls the socket together with an eventfd that the stop token signals.
//
// Holds no state: one object may serve any number of threads at once.
class PosixTcpConnector final : public TcpConnector {
public:
    [[nodiscard]] TcpConnectResult Connect(const std::string& host, std::uint16_t port,
                                           std::chrono::milliseconds timeout, std::stop_token stop) override;
};

}  // namespace ostrevane
