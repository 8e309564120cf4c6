#include "validate/HostAddressLookup.h"

namespace ostrevane {

std::string HostAddressLookup(TcpConnector& connector, const std::string& hostName, std::stop_token stop) noexcept {
    try {
        const TcpConnectResult connected =
            connector.Connect(hostName, HostAddressPort, HostAddressTimeout, std::move(stop));
        if (connected.Status != TcpStatus::Ok || !connected.Connection) {
            return std::string(HostAddressUnavailable);
        }
        std::string address = connected.Connection->RemoteAddress();
        return address.empty() ? std::string(HostAddressUnavailable) : address;
    } catch (...) {
        // Whatever went wrong, out of memory included, the host counts as unreachable.
        return std::string(HostAddressUnavailable);
    }
}

}  // namespace ostrevane
