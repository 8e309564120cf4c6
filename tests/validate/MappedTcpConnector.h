#pragma once

#include "validate/PosixTcpConnector.h"
#include "validate/TcpConnector.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace ostrevane::test {

// Sends chosen host names to servers on loopback, whatever port is asked for, through real
// sockets (PosixTcpConnector). A name that has no mapping is answered as a name that does not
// resolve, so no test ever reaches out to the network. Records every connect asked of it.
// Safe to share between threads, like the connector it stands in for.
class MappedTcpConnector final : public TcpConnector {
public:
    struct Request {
        std::string Host;
        std::uint16_t Port = 0;
    };

    // Connections to host go to target:port instead (the target may be a name, e.g. localhost).
    void Map(std::string host, std::uint16_t port, std::string target = "127.0.0.1") {
        const std::lock_guard lock(mutex_);
        targets_[std::move(host)] = {std::move(target), port};
    }

    [[nodiscard]] std::vector<Request> Requests() const {
        const std::lock_guard lock(mutex_);
        return requests_;
    }

    [[nodiscard]] std::vector<std::string> RequestedHosts() const {
        std::vector<std::string> hosts;
        for (const Request& request : Requests()) {
            hosts.push_back(request.Host);
        }
        return hosts;
    }

    [[nodiscard]] TcpConnectResult Connect(const std::string& host, std::uint16_t port,
                                           std::chrono::milliseconds timeout, std::stop_token stop) override {
        std::pair<std::string, std::uint16_t> target;
        {
            const std::lock_guard lock(mutex_);
            requests_.push_back({host, port});
            const auto found = targets_.find(host);
            if (found == targets_.end()) {
                return {TcpStatus::Failed};
            }
            target = found->second;
        }
        return real_.Connect(target.first, target.second, timeout, std::move(stop));
    }

private:
    PosixTcpConnector real_;
    mutable std::mutex mutex_;
    std::map<std::string, std::pair<std::string, std::uint16_t>> targets_;
    std::vector<Request> requests_;
};

}  // namespace ostrevane::test
