#include "util/IniFile.h"

#include <array>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ostrevane {
namespace {

using namespace std::string_literals;

TEST(ParseProfileIntegerTest, ReadsDecimalAndHexadecimal) {
    struct Row {
        const char* Text;
        std::optional<int> Expected;
    };
    constexpr std::array Rows{
        Row{"500", 500},           Row{"-12", -12},
        Row{"+7", 7},              Row{"0x1F4", 500},
        Row{"0X1f4", 500},         Row{"$1F4", 500},
        Row{"-$10", -16},          Row{"$FFFFFFFF", -1},
        Row{"2147483647", 2147483647}, Row{"-2147483648", -2147483647 - 1},
        Row{"2147483648", std::nullopt}, Row{"$100000000", std::nullopt},
        Row{"abc", std::nullopt},  Row{"", std::nullopt},
        Row{"12abc", std::nullopt}, Row{"0x", std::nullopt},
        Row{"$", std::nullopt},    Row{"1 2", std::nullopt},
        Row{"--1", std::nullopt},  Row{"0x-1", std::nullopt},
        Row{"1.5", std::nullopt},  Row{" 42 ", 42},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Text);
        EXPECT_EQ(ParseProfileInteger(row.Text), row.Expected);
    }
}

TEST(IniFileReadTest, FollowsTheProfileRules) {
    const test::TempDir temp;
    const std::string longValue(3000, 'v');
    const IniFile ini(temp.Write("prefs.ini", "\xEF\xBB\xBF; settings written by hand\r\n"
                                              "orphan=1\r\n"
                                              "[General]\r\n"
                                              "  Timeout = 0x1F4  \r\n"
                                              "interval=$FA0\r\n"
                                              "pages=abc\r\n"
                                              "name = \"quoted value\"\r\n"
                                              "empty=\r\n"
                                              "# a comment=with an equals sign\r\n"
                                              "long=" + longValue + "\r\n"
                                              "timeout=1\r\n"
                                              "\r\n"
                                              "[engine one]\n"
                                              "url=https://example.test/?q=$Keyword&p=$Page\n"
                                              "[general]\n"
                                              "mcs=99\n"
                                              "[last]\n"
                                              "tail=no line end"));
    struct Row {
        const char* Name;
        const char* Section;
        const char* Key;
        std::string Expected;
    };
    const std::array Rows{
        Row{"case-insensitive section and key, blanks trimmed", "general", "TIMEOUT", "0x1F4"},
        Row{"quotes removed", "general", "name", "quoted value"},
        Row{"empty value is not the default", "general", "empty", ""},
        Row{"text cut to 2047 bytes", "general", "long", std::string(2047, 'v')},
        Row{"section with a space", "Engine One", "url", "https://example.test/?q=$Keyword&p=$Page"},
        Row{"only the first section of a name counts", "general", "mcs", "(default)"},
        Row{"lines before any section belong to none", "", "orphan", "(default)"},
        Row{"comment lines are not keys", "general", "# a comment", "(default)"},
        Row{"last line without a line end", "last", "tail", "no line end"},
        Row{"missing key", "general", "nothing", "(default)"},
        Row{"missing section", "absent", "timeout", "(default)"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ini.ReadString(row.Section, row.Key, "(default)"), row.Expected);
    }
    EXPECT_EQ(ini.ReadInteger("general", "timeout", 60000), 500);
    EXPECT_EQ(ini.ReadInteger("general", "interval", 0), 4000);
    EXPECT_EQ(ini.ReadInteger("general", "pages", 10), 10);
    EXPECT_EQ(ini.ReadInteger("general", "empty", 4), 4);
    EXPECT_EQ(ini.ReadInteger("general", "mcv", 4), 4);
}

TEST(IniFileReadTest, ReadsAfreshEachTime) {
    const test::TempDir temp;
    const IniFile ini(temp.Path() / "prefs.ini");
    EXPECT_EQ(ini.ReadInteger("general", "pages", 10), 10);
    temp.Write("prefs.ini", "[general]\npages=25\n");
    EXPECT_EQ(ini.ReadInteger("general", "pages", 10), 25);
    temp.Write("prefs.ini", "[general]\npages=30\n");
    EXPECT_EQ(ini.ReadInteger("general", "pages", 10), 30);
}

// Files that are not profiles at all give the defaults and never crash or hang.
TEST(IniFileReadTest, BadFilesGiveDefaults) {
    const test::TempDir temp;
    std::mt19937 random(3);
    std::string junk(1 << 20, '\0');
    for (char& c : junk) {
        c = static_cast<char>(random());
    }
    std::string manySections;
    for (int i = 0; i < 10000; ++i) {
        manySections += "[s" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
    }
    struct Row {
        const char* Name;
        std::optional<std::string> Content;  // nothing: no file at all
    };
    const std::array Rows{
        Row{"missing file", std::nullopt},
        Row{"binary junk", junk},
        Row{"10 000 sections", manySections},
        Row{"lines of 1 MB", "[general]\n" + std::string(1 << 20, 'x') + "\n" + "timeout=" + std::string(1 << 20, '7') + "\n"},
        Row{"NUL bytes", "[general]\0timeout=5\n"s},
        Row{"a folder in its place", std::nullopt},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        const std::filesystem::path file = temp.Path() / (std::string(row.Name) + ".ini");
        if (row.Content) {
            temp.Write(file.filename().string(), *row.Content);
        } else if (std::string_view(row.Name) == "a folder in its place") {
            std::filesystem::create_directory(file);
        }
        const IniFile ini(file);
        EXPECT_EQ(ini.ReadInteger("general", "timeout", 60000), 60000);
        EXPECT_EQ(ini.ReadString("general", "name", "n/a"), "n/a");
    }
    EXPECT_EQ(IniFile(temp.Path() / "10 000 sections.ini").ReadInteger("S9999", "K", -1), 9999);
}

TEST(IniFileWriteTest, SetsOneKeyAndKeepsEveryOtherLine) {
    struct Row {
        const char* Name;
        std::optional<std::string> Before;  // nothing: no file yet
        const char* Section;
        const char* Key;
        int Value;
        std::string After;
    };
    const std::array Rows{
        Row{"replaces in place, keeping spelling, indentation and comments",
            "; top\n[General]\n  Pages = 10 ; old\ntimeout=60000\n\n[other]\npages=1\n", "general", "PAGES", 25,
            "; top\n[General]\n  Pages=25\ntimeout=60000\n\n[other]\npages=1\n"},
        Row{"adds a key after the last key of its section", "[general]\ntimeout=1\n\n; engines\n[se]\nx=1\n",
            "general", "pages", 5, "[general]\ntimeout=1\npages=5\n\n; engines\n[se]\nx=1\n"},
        Row{"adds a key to an empty section", "[general]\n[se]\n", "general", "pages", 5,
            "[general]\npages=5\n[se]\n"},
        Row{"adds a section at the end", "[se]\nx=1", "general", "pages", -3, "[se]\nx=1\n\n[general]\npages=-3\n"},
        Row{"creates the file", std::nullopt, "general", "pages", 10, "[general]\npages=10\n"},
        Row{"keeps CRLF and the byte-order mark", "\xEF\xBB\xBF[general]\r\npages=1\r\nmcs=2\r\n", "general", "mcv",
            4, "\xEF\xBB\xBF[general]\r\npages=1\r\nmcs=2\r\nmcv=4\r\n"},
        Row{"keeps each line's own ending", "[general]\r\npages=1\nmcs=2\r\n", "general", "pages", 7,
            "[general]\r\npages=7\nmcs=2\r\n"},
        Row{"only the first section of a name", "[general]\na=1\n[general]\npages=1\n", "general", "pages", 2,
            "[general]\na=1\npages=2\n[general]\npages=1\n"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        const test::TempDir temp;
        if (row.Before) {
            temp.Write("prefs.ini", *row.Before);
        }
        const IniFile ini(temp.Path() / "prefs.ini");
        ini.WriteInteger(row.Section, row.Key, row.Value);
        EXPECT_EQ(temp.Read("prefs.ini"), row.After);
        EXPECT_EQ(ini.ReadInteger(row.Section, row.Key, 12345), row.Value);
        // Nothing but the file itself is left in the folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()), std::filesystem::directory_iterator()), 1);
    }
}

TEST(IniFileWriteTest, KeepsTheFilesPermissionsAndLinks) {
    const test::TempDir temp;
    const std::filesystem::path real = temp.Write("real.ini", "[general]\npages=1\n");
    ::chmod(real.c_str(), 0600);
    std::filesystem::create_symlink(real, temp.Path() / "link.ini");
    IniFile(temp.Path() / "link.ini").WriteInteger("general", "pages", 2);
    EXPECT_TRUE(std::filesystem::is_symlink(temp.Path() / "link.ini"));
    EXPECT_EQ(temp.Read("real.ini"), "[general]\npages=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(IniFileWriteTest, FailureRaisesUnableToWrite) {
    const test::TempDir temp;
    const std::filesystem::path missingFolder = temp.Path() / "no-such-folder" / "preferences.ini";
    try {
        IniFile(missingFolder).WriteInteger("general", "pages", 25);
        FAIL() << "no error raised";
    } catch (const IniWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + missingFolder.string());
    }
    const std::filesystem::path underAFile = temp.Write("plain-file", "x") / "preferences.ini";
    EXPECT_THROW(IniFile(underAFile).WriteInteger("general", "pages", 25), IniWriteError);
}

TEST(IniFileWriteTest, ReadOnlyFolderRaisesAndLeavesTheFileAlone) {
    const test::TempDir temp;
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    const std::filesystem::path file = temp.Write("locked/preferences.ini", "[general]\npages=10\n");
    std::filesystem::permissions(file.parent_path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_THROW(IniFile(file).WriteInteger("general", "pages", 25), IniWriteError);
    EXPECT_EQ(temp.Read("locked/preferences.ini"), "[general]\npages=10\n");
}

TEST(IniFileWriteTest, RefusesTextThatWouldBreakTheFormat) {
    const test::TempDir temp;
    const IniFile ini(temp.Path() / "prefs.ini");
    EXPECT_THROW(ini.WriteString("general", "url", "a\nmcs=0"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("general]\n[x", "url", "a"), std::invalid_argument);
    EXPECT_THROW(ini.WriteString("general", "a=b", "c"), std::invalid_argument);
    EXPECT_FALSE(std::filesystem::exists(ini.Path()));
}

TEST(IniFileWriteTest, RelativePathsAreReportedInFull) {
    const test::TempDir temp;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(temp.Path());
    try {
        IniFile(std::filesystem::path("missing") / "preferences.ini").WriteInteger("general", "pages", 1);
        ADD_FAILURE() << "no error raised";
    } catch (const IniWriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + (temp.Path() / "missing" / "preferences.ini").string());
    }
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace ostrevane
