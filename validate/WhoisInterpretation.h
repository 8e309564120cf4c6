#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "validate/DateRecognition.h"

// Reading the expiry date and a contact e-mail address out of a WHOIS answer: the text the WHOIS
// client returns, a banner line and note lines followed by the last server's reply. Job completion
// calls this on the main thread; nothing here keeps state, so any thread may.
namespace ostrevane {

// The key phrases of expiry-date lines, one per line in order of priority, in the configs folder.
inline constexpr std::string_view WhoisResponseFileName = "whoisresponse.ini";

// What the Expires and Email columns show when the answer yields no date or no address.
inline constexpr std::string_view NoExpiryText = "n/a";
inline constexpr std::string_view NoEmailText = "n/a";

// Reads configsDirectory/whoisresponse.ini afresh: every line is a key, exactly as written
// (blanks included). Throws ConfigListReadError when the file cannot be read.
[[nodiscard]] std::vector<std::string> LoadExpiryKeys(const std::filesystem::path& configsDirectory);

// The expiry date in the answer: the keys are tried in order, and for each key the answer's lines
// from the first to the last; the first line whose lower-case form contains the key and in which
// FindDateInLine finds a date gives the result. An empty key, or one with a capital letter, never
// matches. NoDateValue when no key leads to a date.
[[nodiscard]] double ExpiryDateFromWhois(std::string_view answer, const std::vector<std::string>& keys,
                                         const DateFormatList& formats, int currentYear);

// The same with both lists read afresh from the configs folder, the keys first. Throws
// ConfigListReadError when either file cannot be read.
[[nodiscard]] double ExpiryDateFromWhois(std::string_view answer, const std::filesystem::path& configsDirectory,
                                         int currentYear);

// The word around the first at sign of the answer, delimited by blanks, line ends, tabs and
// parentheses only (angle brackets, colons and quotes stay part of it); NoEmailText when the
// answer holds no at sign.
[[nodiscard]] std::string FirstEmailAddress(std::string_view answer);

// What the Expires column shows for a date value: "yyyy-mm-dd", or NoExpiryText when the value's
// whole-number part is -1 (no date) or the value is no date at all.
[[nodiscard]] std::string ExpiryText(double expiry);

// Everything a results row shows of one answer.
struct WhoisAnswerReading {
    double Expiry = NoDateValue;
    std::string Expires;  // ExpiryText(Expiry)
    std::string Email;    // FirstEmailAddress
};

// Reads a saved or fresh answer with the configuration of one configs folder, the way a results
// row shows it. Throws ConfigListReadError when a configuration file cannot be read.
[[nodiscard]] WhoisAnswerReading ReadWhoisAnswer(std::string_view answer, const std::filesystem::path& configsDirectory,
                                                 int currentYear);

}  // namespace ostrevane
