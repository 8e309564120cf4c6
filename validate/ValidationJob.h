#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

#include "engine/JobHandlers.h"

namespace ostrevane {

class TcpConnector;

// The Registered column's texts, chosen from the reseller's availability answer.
inline constexpr std::string_view CouldNotConnectText = "Could not connect to Enom!";
inline constexpr std::string_view RegisteredText = "Registered!";
inline constexpr std::string_view NotRegisteredText = "Not Registered!";
inline constexpr std::string_view NoRegistrationInformationText = "Could not get registration information!";
inline constexpr std::string_view RegisteredMarker = "RRPCode1=211";
inline constexpr std::string_view NotRegisteredMarker = "RRPCode1=210";

inline constexpr std::string_view NoWhoisText = "Could not get whois information";
inline constexpr std::string_view StatusWhoisFailed = "Failed to get whois information!";

// A row is marked expiring when its expiry date lies fewer than this many whole days from now,
// before or after.
inline constexpr int ExpiringWithinDays = 90;

// The Registered text for an availability answer: empty -> could not connect; the registered
// marker anywhere -> registered; else the not-registered marker -> not registered; else no
// information. Markers are matched exactly.
[[nodiscard]] std::string_view AvailabilityText(std::string_view answer);

// The picture of a validated row: validated or error by the failure flag, replaced by expiring
// when the expiry date (a day count, -1 for none) lies fewer than 90 whole days from `now`.
[[nodiscard]] int ValidatedPicture(bool failed, double expiry, double now);

// The present local date and time as a day count from 30 December 1899.
[[nodiscard]] double LocalNowAsDateValue();

// What a validation job does beyond fetching the availability answer: the WHOIS lookup and the
// host address in the worker, the row's pictures and columns on the main thread. Configuration
// files come from one folder and are read afresh by every job.
struct ValidationClock {
    std::function<double()> Now;  // the present as a day count; the local clock when empty
    std::function<int()> Year;    // the current year, for two-digit years; the local one when empty
};

class ValidationJob final : public ValidationJobHandler {
public:
    ValidationJob(TcpConnector& connector, std::filesystem::path configsDirectory, ValidationClock clock = {});

    void MarkValidating(const TDomainExtractor& worker, ResultsList& results) override;
    void RunValidationSteps(TDomainExtractor& worker, std::stop_token stop) override;
    void MergeValidationResult(const TDomainExtractor& worker, ResultsList& results) override;

private:
    TcpConnector& connector_;
    std::filesystem::path configsDirectory_;
    ValidationClock clock_;
};

}  // namespace ostrevane
