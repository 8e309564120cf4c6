#include "validate/WhoisInterpretation.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"
#include "util/Text.h"
#include "validate/WhoisClient.h"

namespace ostrevane {
namespace {

using namespace std::literals;

// The answer as the WHOIS client hands it over: the banner and the note lines before the reply.
std::string AsClientAnswer(std::string_view reply) {
    std::string answer(WhoisBanner);
    for (const std::string_view server : {"whois.verisign-grs.com", "whois.example-registrar.com"}) {
        answer.append(WhoisConnectedNote).append(server).append(WhoisNoteEnd);
    }
    return answer.append(reply);
}

TEST(ExpiryDateFromWhoisTest, KeysInOrderThenLinesInOrder) {
    const DateFormatList formats{{'-', "yyyy-mm-dd"}, {'-', "dd-mm-yyyy"}};
    const std::vector<std::string> expiryKeys{"registry expiry date:", "expiration date:"};
    struct Row {
        const char* Name;
        std::string Answer;
        std::vector<std::string> Keys;
        std::string_view Expected;
    };
    const std::array Rows{
        Row{"a line with the key but no date does not stop the search",
            "Expiration Date: see below\nExpiration Date: 2011-02-03\n", expiryKeys, "2011-02-03"},
        Row{"the first key wins over a later key's earlier line",
            "Expiration Date: 2010-01-01\nRegistry Expiry Date: 2011-02-03\n", expiryKeys, "2011-02-03"},
        Row{"within one key the earlier line wins",
            "Expiration Date: 2010-01-01\nExpiration Date: 2011-02-03\n",
            {"expiration date:"},
            "2010-01-01"},
        Row{"a creation date on a line before is no candidate",
            "Creation Date: 1997-09-15\nRegistry Expiry Date: 2020-09-14T04:00:00Z\n", expiryKeys, "2020-09-14"},
        Row{"a key with a capital letter matches nothing",
            "Expiration Date: 2011-02-03\n",
            {"Expiration date:"},
            "n/a"},
        Row{"a label in capitals is found by a lower-case key", "EXPIRATION DATE: 03-FEB-2011\n", expiryKeys,
            "2011-02-03"},
        Row{"an empty key matches nothing", "Expiration Date: 2011-02-03\n", {""}, "n/a"},
        Row{"blanks around a key are part of it", "Expiration Date: 2011-02-03\n", {" expiration date:"}, "n/a"},
        Row{"lines end at a lone CR", "Expiration Date: 2010-01-01 \rSee: 2011-02-03\r", {"see:"}, "2011-02-03"},
        Row{"lines end at CR LF", "Creation: 2010-01-01\r\nExpires: 2011-02-03\r\n", {"expires:"}, "2011-02-03"},
        Row{"no key at all", "Expiration Date: 2011-02-03\n", {}, "n/a"},
        Row{"an empty answer", "", expiryKeys, "n/a"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ExpiryText(ExpiryDateFromWhois(AsClientAnswer(row.Answer), row.Keys, formats, 2026)), row.Expected);
    }
}

TEST(ExpiryDateFromWhoisTest, ReadsBothListsAfreshForEveryAnswer) {
    const test::TempDir dir;
    dir.Write("DateFormats.ini", "-yyyy-mm-dd\n");
    dir.Write("whoisresponse.ini", "expires:\n");
    const std::string answer = "Renewal: 2012-01-01\nExpires: 2011-02-03\n";
    EXPECT_EQ(ExpiryText(ExpiryDateFromWhois(answer, dir.Path(), 2026)), "2011-02-03");
    dir.Write("whoisresponse.ini", "renewal:\nexpires:\n");
    EXPECT_EQ(ExpiryText(ExpiryDateFromWhois(answer, dir.Path(), 2026)), "2012-01-01");
    dir.Write("DateFormats.ini", "/yyyy/mm/dd\n");
    EXPECT_EQ(ExpiryText(ExpiryDateFromWhois(answer, dir.Path(), 2026)), "n/a");
}

TEST(ExpiryDateFromWhoisTest, MissingListGoesToTheCaller) {
    const test::TempDir keysOnly;
    keysOnly.Write("whoisresponse.ini", "expires:\n");
    EXPECT_THROW((void)ExpiryDateFromWhois("Expires: 2011-02-03\n", keysOnly.Path(), 2026), ConfigListReadError);
    const test::TempDir formatsOnly;
    formatsOnly.Write("DateFormats.ini", "-yyyy-mm-dd\n");
    EXPECT_THROW((void)ReadWhoisAnswer("Expires: 2011-02-03\n", formatsOnly.Path(), 2026), ConfigListReadError);
}

TEST(ExpiryTextTest, ShowsTheDateOrNotAvailable) {
    struct Row {
        const char* Name;
        double Value;
        std::string_view Expected;
    };
    const std::array Rows{
        Row{"no date", NoDateValue, "n/a"},      Row{"whole-number part -1", -1.75, "n/a"},
        Row{"a date", 38367, "2005-01-15"},      Row{"a time of day is not shown", 38367.75, "2005-01-15"},
        Row{"day zero", 0, "1899-12-30"},        Row{"no date at all", std::nan(""), "n/a"},
        Row{"beyond the year 9999", 3e6, "n/a"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ExpiryText(row.Value), row.Expected);
    }
}

TEST(FirstEmailAddressTest, WordAroundTheFirstAtSign) {
    struct Row {
        const char* Name;
        std::string_view Answer;
        std::string_view Expected;
    };
    const std::array Rows{
        Row{"after a label and a blank", "Admin Email: hostmaster@example.com\nTech Email: x@y.z\n",
            "hostmaster@example.com"},
        Row{"in parentheses", "Contact: John (john@example.com)\n", "john@example.com"},
        Row{"straight after a label and a colon", "Email:john@example.com\n", "Email:john@example.com"},
        Row{"angle brackets stay", "Contact: <john@example.com>, other\n", "<john@example.com>,"},
        Row{"after a tab", "Email:\tjohn@example.com\tmore", "john@example.com"},
        Row{"ending the text without a line end", "Email: john@example.com", "john@example.com"},
        Row{"ending in a CR LF", "Email: john@example.com\r\n", "john@example.com"},
        Row{"the at sign last in the text", "see john@", "john@"},
        Row{"the at sign first in the text", "@example rest", "@example"},
        Row{"the at sign alone", "a @ b", "@"},
        Row{"a line end before it", "Email:\njohn@example.com", "john@example.com"},
        Row{"a lone CR before it", "Email:\rjohn@example.com", "john@example.com"},
        Row{"no at sign", "Registrar: Example\n", "n/a"},
        Row{"empty answer", "", "n/a"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(FirstEmailAddress(row.Answer), row.Expected);
    }
}

// Real answers read with the shipped configs/ files, as a results row shows them.
class ShippedConfigTest : public ::testing::Test {
protected:
    struct Expected {
        std::string File;
        std::string Tld;
        std::string Expiry;
        std::string FirstEmail;
    };

    static std::string ReadFixture(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        EXPECT_TRUE(in) << file;
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }

    static std::vector<Expected> ExpectedRows() {
        std::istringstream table(ReadFixture(FixtureDir / "expected.tsv"));
        std::vector<Expected> rows;
        std::string line;
        std::getline(table, line);  // the header
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            Expected row;
            std::string registrar;
            std::getline(fields, row.File, '\t');
            std::getline(fields, row.Tld, '\t');
            std::getline(fields, row.Expiry, '\t');
            std::getline(fields, registrar, '\t');
            std::getline(fields, row.FirstEmail, '\t');
            rows.push_back(row);
        }
        return rows;
    }

    static inline const std::filesystem::path FixtureDir{OSTREVANE_WHOIS_FIXTURES};
    static inline const std::filesystem::path ConfigsDir{OSTREVANE_SHIPPED_CONFIGS};
};

TEST_F(ShippedConfigTest, EveryAnswerOfTheListedTopLevelDomainsGivesItsExpiryAndAnAddress) {
    // Answers that state an expiry date which the collecting suite leaves out (it used them to
    // test other fields).
    const std::map<std::string, std::string> statedExpiry{
        {"weppos/whois.dreamhost.com/property_contact_private.txt", "2014-08-23"},
        {"weppos/whois.godaddy.com/property_dates_not_available.txt", "2012-04-13"},  // "13-Apr-12"
        {"weppos/whois.markmonitor.com/com/status_registered.txt", "2020-09-13"},
        {"weppos/whois.markmonitor.com/net/status_registered.txt", "2018-03-14"},
        {"weppos/whois.register.com/registered_without_updated_on.txt", "2019-08-04"},
        {"weppos/whois.rrpproxy.net/status_registered.txt", "2015-02-03"},
        {"weppos/whois.schlund.info/registered_without_update_on.txt", "2014-10-09"},
        {"weppos/whois.verisign-grs.com/com/property_nameserver_no_nameserver.txt", "2010-12-08"},
        {"weppos/whois.verisign-grs.com/com/property_status_pendingdelete.txt", "2013-05-26"},
        {"weppos/whois.verisign-grs.com/status_registered.txt", "2014-11-24"},
        {"weppos/whois.yoursrs.com/status_registered_with_no_last_updated.txt", "2014-11-24"},
    };
    // Answers whose expiry line no date pattern can read: "Fri Apr 18 23:59:59 GMT 2014" puts the
    // time of day between the day and the year, and a window must hold the date's numbers side
    // by side. Such an answer must show no date rather than a wrong one.
    const std::set<std::string> unreadable{"weppos/whois.nic.us/us/status_registered.txt"};

    const std::set<std::string> listedTlds{"com", "net", "org", "info", "biz", "us"};
    std::size_t checked = 0;
    for (const Expected& row : ExpectedRows()) {
        if (!listedTlds.contains(row.Tld)) {
            continue;
        }
        SCOPED_TRACE(row.File);
        std::string expiry = row.Expiry.empty() ? std::string(NoExpiryText) : row.Expiry;
        if (const auto stated = statedExpiry.find(row.File); stated != statedExpiry.end()) {
            ASSERT_TRUE(row.Expiry.empty()) << "the suite now lists a date for this answer";
            expiry = stated->second;
        }
        if (unreadable.contains(row.File)) {
            expiry = NoExpiryText;
        }
        const std::string answer = AsClientAnswer(ReadFixture(FixtureDir / "answers" / row.File));
        const WhoisAnswerReading reading = ReadWhoisAnswer(answer, ConfigsDir, 2026);
        EXPECT_EQ(reading.Expires, expiry);
        if (row.FirstEmail.empty()) {
            EXPECT_EQ(reading.Email, NoEmailText);
        } else {
            // The whole word around the at sign: the address, or the address with a label glued
            // to it ("Email:dns-admin@google.com"), never anything else.
            EXPECT_TRUE(reading.Email.ends_with(row.FirstEmail)) << reading.Email;
            EXPECT_LE(reading.Email.size(), row.FirstEmail.size() + "Email:"sv.size()) << reading.Email;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 59u);
}

TEST_F(ShippedConfigTest, EveryKeyIsLowerCaseAndEveryEntryHasAPattern) {
    // A key with a capital letter, or an empty one, would silently never match.
    for (const std::string& key : LoadExpiryKeys(ConfigsDir)) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(key.empty());
        EXPECT_EQ(key, AsciiLowerCopy(key));
    }
    for (const DateFormat& format : LoadDateFormats(ConfigsDir)) {
        SCOPED_TRACE(format.Pattern);
        EXPECT_FALSE(format.Pattern.empty());
        EXPECT_NE(format.Pattern.find(format.Separator), std::string::npos);
    }
}

TEST_F(ShippedConfigTest, TheClientsOwnLinesGiveNoDateAndNoAddress) {
    // The interpretation reads the whole answer, so the banner and the notes must not look like
    // an expiry line or hold an at sign, whatever server names the notes carry.
    std::string lines = AsClientAnswer("");
    lines.append(WhoisNotConnectedNote).append("whois.nic.us").append(WhoisNoteEnd);
    const WhoisAnswerReading reading = ReadWhoisAnswer(lines, ConfigsDir, 2026);
    EXPECT_EQ(reading.Expires, NoExpiryText);
    EXPECT_EQ(reading.Email, NoEmailText);
}

TEST_F(ShippedConfigTest, TwoDigitYearsFollowTheCurrentYear) {
    const std::string answer =
        AsClientAnswer(ReadFixture(FixtureDir / "answers/weppos/whois.godaddy.com/property_dates_not_available.txt"));
    EXPECT_EQ(ReadWhoisAnswer(answer, ConfigsDir, 2026).Expires, "2012-04-13");
    EXPECT_EQ(ReadWhoisAnswer(answer, ConfigsDir, 2061).Expires, "2012-04-13");
    EXPECT_EQ(ReadWhoisAnswer(answer, ConfigsDir, 2063).Expires, "2112-04-13");
}

}  // namespace
}  // namespace ostrevane
