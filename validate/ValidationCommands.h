#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ostrevane {

class ResultsList;
class RunEngine;

// The registrar reseller's availability check, from section "reseller" of the preferences: `url`
// (scheme, host and port), `uid` and `pw`. A fresh install ships a placeholder address under the
// reserved .invalid domain, so that checks fail cleanly until the user enters an account.
inline constexpr std::string_view ResellerSection = "reseller";
inline constexpr std::string_view DefaultResellerUrl = "https://reseller.example.invalid";
inline constexpr std::string_view DefaultResellerUid = "Tremvik";
inline constexpr std::string_view DefaultResellerPw = "plumtree";

// The address the domain name is appended to: the reseller's url, "/interface.asp" and the check
// query up to "DomainList=", with the account's uid and pw encoded as query values.
[[nodiscard]] std::string ReadAvailabilityCheckUrl(const std::filesystem::path& preferencesFile);

// The names a validation queues: the Domain of every row from the last to the first (the
// dispatcher takes them from the end, so the top row goes first). With `errorsOnly`, rows showing
// ImageValidated or ImageExpiring are passed over.
[[nodiscard]] std::vector<std::string> ValidationQueue(const ResultsList& results, bool errorsOnly);

// Validate and Re-validate errors: start a validation run of the results list. They do nothing
// (and return false) while the Validate command is disabled, that is while a run is active.
bool StartValidation(RunEngine& engine, const std::filesystem::path& preferencesFile, bool errorsOnly);

}  // namespace ostrevane
