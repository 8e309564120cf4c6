#include "validate/WhoisClient.h"

#include <optional>
#include <set>
#include <utility>

#include "util/Text.h"
#include "util/TextFile.h"

namespace ostrevane {
namespace {

// The file error of the table, as the system words its file errors.
constexpr std::string_view CannotOpenFileText = "Cannot open file ";

// The note lines mention a name when it occurs anywhere in them; an empty name never does, so
// a server with an empty name still gets its note.
bool NotesMention(std::string_view notes, std::string_view name) {
    return !name.empty() && notes.find(name) != std::string_view::npos;
}

bool ListsSeveralRecords(std::string_view reply) {
    return AsciiLowerCopy(reply).find(WhoisMultipleMatchPhrase) != std::string::npos;
}

struct HopOutcome {
    bool Connected = false;
    bool Failed = false;
    bool Stopped = false;
    std::string Reply;
};

// One connection: connect, send the query line, read until the server closes, the read's
// time-out passes or the reply outgrows its bound. What arrived is kept in every case.
HopOutcome AskServer(TcpConnector& connector, const std::string& server, std::string_view query,
                     std::chrono::milliseconds timeout, const std::stop_token& stop) {
    HopOutcome hop;
    TcpConnectResult connected = connector.Connect(server, WhoisPort, timeout, stop);
    if (connected.Status != TcpStatus::Ok || !connected.Connection) {
        hop.Failed = true;
        hop.Stopped = connected.Status == TcpStatus::Stopped;
        return hop;
    }
    hop.Connected = true;
    TcpConnection& connection = *connected.Connection;

    const std::string line = std::string(query) + "\r\n";
    const TcpStatus sent = connection.WriteAll(line, TcpClock::now() + timeout, stop);
    if (sent != TcpStatus::Ok) {
        // A server may still answer a query it took only in part; only a stop ends the hop here.
        hop.Failed = true;
        if (sent == TcpStatus::Stopped) {
            hop.Stopped = true;
            return hop;
        }
    }

    const TcpClock::time_point readDeadline = TcpClock::now() + timeout;
    while (true) {
        // One byte past the bound tells a reply of exactly the bound from a longer one.
        const TcpStatus status =
            connection.ReadSome(hop.Reply, MaxWhoisReplyBytes + 1 - hop.Reply.size(), readDeadline, stop);
        if (status == TcpStatus::PeerClosed) {
            break;
        }
        if (status == TcpStatus::Ok) {
            if (hop.Reply.size() > MaxWhoisReplyBytes) {
                hop.Reply.resize(MaxWhoisReplyBytes);
                hop.Failed = true;
                break;
            }
            continue;
        }
        hop.Failed = true;
        hop.Stopped = status == TcpStatus::Stopped;
        break;
    }
    return hop;
}

}  // namespace

WhoisTableError::WhoisTableError(const std::filesystem::path& file)
    : std::runtime_error(std::string(CannotOpenFileText) + file.string()) {}

WhoisServerTable ReadWhoisServerTable(const std::filesystem::path& file) {
    const std::optional<std::string> bytes = ReadFileBytes(file);
    if (!bytes) {
        throw WhoisTableError(file);
    }
    WhoisServerTable table;
    for (const std::string_view line : SplitLines(*bytes)) {
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos) {
            table.Suffixes.emplace_back();
            table.Servers.emplace_back(line);
        } else {
            table.Suffixes.emplace_back(line.substr(0, blank));
            table.Servers.emplace_back(line.substr(blank + 1));
        }
    }
    return table;
}

std::string FindWhoisServer(const WhoisServerTable& table, std::string_view domain) {
    for (std::size_t i = 0; i < table.Suffixes.size(); ++i) {
        if (domain.ends_with(table.Suffixes[i])) {
            return table.Servers[i];
        }
    }
    return {};
}

std::string FindWhoisReferral(std::string_view reply) {
    const std::string lower = AsciiLowerCopy(reply);
    const std::size_t last = lower.rfind(WhoisReferralPhrase);
    if (last == std::string::npos) {
        return {};
    }
    const std::size_t lineStart = [&] {
        const std::size_t lineBreak = lower.find_last_of("\r\n", last);
        return lineBreak == std::string::npos ? 0 : lineBreak + 1;
    }();
    const std::size_t lineEnd = std::min(lower.find_first_of("\r\n", last), lower.size());
    const std::string_view line = std::string_view(lower).substr(lineStart, lineEnd - lineStart);
    // The name starts right after the colon; the blank that usually follows goes with the
    // white space, so "whois server:host" gives the host whole as well.
    const std::size_t phrase = line.find(WhoisReferralPhrase);
    return StripWhitespace(line.substr(phrase + WhoisReferralPhrase.size()));
}

bool IsPlausibleHostName(std::string_view name) {
    if (name.empty() || name.size() > MaxHostNameLength) {
        return false;
    }
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

std::string RegistrarFromServer(std::string_view server) {
    const std::size_t dot = server.find('.');
    return std::string(dot == std::string_view::npos ? server : server.substr(dot + 1));
}

WhoisLookupResult WhoisLookup(TcpConnector& connector, const std::filesystem::path& tableFile, std::string_view domain,
                              std::string_view registrar, std::chrono::milliseconds timeout, std::stop_token stop) {
    const WhoisServerTable table = ReadWhoisServerTable(tableFile);
    std::string server = FindWhoisServer(table, domain);

    WhoisLookupResult result;
    std::string notes;
    std::string lastReply;
    // Servers already asked for the exact name: each is asked so at most once.
    std::set<std::string> exactAsked;
    bool exactPending = false;
    int referrals = 0;
    bool again = true;
    while (again) {
        again = false;
        std::string query;
        if (exactPending) {
            exactPending = false;
            exactAsked.insert(server);
            query = "=";
        }
        query += domain;

        HopOutcome hop = AskServer(connector, server, query, timeout, stop);
        if (!NotesMention(notes, server)) {
            notes += hop.Connected ? WhoisConnectedNote : WhoisNotConnectedNote;
            notes += server;
            notes += WhoisNoteEnd;
        }
        result.Failed = result.Failed || hop.Failed;
        if (hop.Reply.empty()) {
            // Nothing to look at: no further hop, and the reply of the server before stays.
            continue;
        }
        lastReply = std::move(hop.Reply);
        if (hop.Stopped) {
            break;
        }

        if (ListsSeveralRecords(lastReply)) {
            if (!exactAsked.contains(server)) {
                exactPending = true;
                again = true;
            }
            continue;
        }
        std::string referral = FindWhoisReferral(lastReply);
        if (referrals < MaxWhoisReferrals && IsPlausibleHostName(referral) && !NotesMention(notes, referral)) {
            server = std::move(referral);
            ++referrals;
            again = true;
        }
    }

    result.Registrar = registrar == "0" ? std::string(registrar) : RegistrarFromServer(server);
    result.Text.reserve(WhoisBanner.size() + notes.size() + lastReply.size());
    result.Text.append(WhoisBanner).append(notes).append(lastReply);
    return result;
}

}  // namespace ostrevane
