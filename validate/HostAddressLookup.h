#pragma once

#include "validate/TcpConnector.h"

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

namespace ostrevane {

// The address column's text when the web host could not be reached.
inline constexpr std::string_view HostAddressUnavailable = "n/a";
// Port and time-out of the probe. The time-out is fixed: it does not follow the connection
// time-out of the preferences.
inline constexpr std::uint16_t HostAddressPort = 80;
inline constexpr std::chrono::milliseconds HostAddressTimeout{60000};

// The IPv4 address, in dotted-decimal form, that a TCP connection to port 80 of the host went
// to; nothing is sent, and the connection is closed once the address is known. A name that does
// not resolve, a host that refuses or does not answer within the time-out, and a stop request
// all give HostAddressUnavailable: the lookup never throws, so the caller's "not looked up"
// value never comes back from it. Runs on any thread; calls share nothing but the connector.
[[nodiscard]] std::string HostAddressLookup(TcpConnector& connector, const std::string& hostName,
                                            std::stop_token stop) noexcept;

}  // namespace ostrevane
