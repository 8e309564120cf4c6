#pragma once

#include "validate/TcpConnector.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

// The WHOIS client: asks the server that the suffix table names for a domain, follows the
// referral of a registry to the registrar's server, and returns one text made of the banner, a
// note line per server and the last reply received.
namespace ostrevane {

// Heads every answer. The interpretation reads the whole answer, banner included, so this line
// holds no at sign and none of the phrases that mark an expiry date.
inline constexpr std::string_view WhoisBanner = "Ostrevane Pro WHOIS client\n";
inline constexpr std::string_view WhoisConnectedNote = "[Connected to: ";
inline constexpr std::string_view WhoisNotConnectedNote = "[Could not connect to: ";
inline constexpr std::string_view WhoisNoteEnd = "]\n";

// A reply line holding this phrase (in any case) lists several records; the same server is
// then asked again for "=" + the name.
inline constexpr std::string_view WhoisMultipleMatchPhrase =
    "to single out one record, look it up with \"xxx\", where xxx is one of the";
// The last reply line holding this phrase (in any case) names the server to ask next.
inline constexpr std::string_view WhoisReferralPhrase = "whois server:";

inline constexpr std::uint16_t WhoisPort = 43;
// A reply is kept up to this size; a server that sends more is cut off and the lookup fails.
inline constexpr std::size_t MaxWhoisReplyBytes = 1024 * 1024;
// Referrals followed per lookup at most, so that servers referring on and on cannot hold a worker.
inline constexpr int MaxWhoisReferrals = 5;
// Longest host name a referral may give.
inline constexpr std::size_t MaxHostNameLength = 253;

// Raised when the suffix table cannot be read; no server has been asked then.
class WhoisTableError final : public std::runtime_error {
public:
    explicit WhoisTableError(const std::filesystem::path& file);
};

// configs/whoistldconf.ini: one line per entry, the suffix before the line's first blank and the
// server after it; a line without a blank has an empty suffix and the whole line as server. Line
// order matters: the first suffix that ends a name wins.
struct WhoisServerTable {
    std::vector<std::string> Suffixes;
    std::vector<std::string> Servers;  // parallel to Suffixes
};

// Reads the table afresh. Lines end at CR LF, LF or CR. Throws WhoisTableError.
[[nodiscard]] WhoisServerTable ReadWhoisServerTable(const std::filesystem::path& file);

// The server of the first entry whose suffix ends the domain name exactly (case-sensitive, byte
// for byte); the empty text when none does.
[[nodiscard]] std::string FindWhoisServer(const WhoisServerTable& table, std::string_view domain);

// The server named by the reply's last line that holds WhoisReferralPhrase in any case: the
// rest of that line after the phrase, lower-cased, without CR, LF, TAB and blanks. The empty
// text when no line holds the phrase or the line names nothing.
[[nodiscard]] std::string FindWhoisReferral(std::string_view reply);

// Whether a referral may be followed: letters, digits, "-" and "." only, 1 to 253 characters.
// Anything else (an address with a scheme, a port, text in the wrong field) is not a host name.
[[nodiscard]] bool IsPlausibleHostName(std::string_view name);

// The server's host name without its text up to and including the first "."; the whole name
// when it has no dot.
[[nodiscard]] std::string RegistrarFromServer(std::string_view server);

struct WhoisLookupResult {
    // WhoisBanner + the note lines + the reply of the last server that sent one. Never empty.
    std::string Text;
    // Taken from the last server asked (also when it could not be reached), or "0" when the
    // caller passed "0".
    std::string Registrar;
    // Any connection, send or receive step failed, a reply hit its time-out or size bound, or
    // the lookup was stopped; never cleared by a later hop that succeeds.
    bool Failed = false;
};

// Looks the domain up over TCP port 43. Each hop connects, sends the query and reads the reply
// within the time-out each (the whole reply within one time-out). The table file is read first;
// WhoisTableError goes to the caller before any network step.
//
// A server whose reply lists several records is asked once more for the exact name; when it
// answers that query with a list again, the list is the reply and no referral is looked for.
// A referral is followed when it names a plausible host that no note line mentions yet, at most
// MaxWhoisReferrals times. When a referred server cannot be reached or sends nothing, the reply
// of the server before it stays the answer.
//
// A stop request ends the step under way and the lookup at once, with Failed set. Runs on any
// thread; calls share nothing but the connector.
[[nodiscard]] WhoisLookupResult WhoisLookup(TcpConnector& connector, const std::filesystem::path& tableFile,
                                            std::string_view domain, std::string_view registrar,
                                            std::chrono::milliseconds timeout, std::stop_token stop);

}  // namespace ostrevane
