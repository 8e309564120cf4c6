#include "validate/DateRecognition.h"

#include "util/TextFile.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ostrevane {
namespace {

using namespace std::literals;

// Dates are compared as text so that a failure shows which day came out.
std::string Shown(const std::optional<double>& date) {
    if (!date) {
        return "none";
    }
    if (*date != std::trunc(*date)) {
        return "fraction";
    }
    return FormatDateValue(*date).value_or("unformattable");
}

TEST(DateValueTest, CountsDaysFromTheLastDaysOf1899) {
    struct Row {
        const char* Name;
        int Year;
        int Month;
        int Day;
        double Value;
    };
    const std::array Rows{
        Row{"day zero", 1899, 12, 30, 0},
        Row{"the day after", 1899, 12, 31, 1},
        Row{"first day of 1900", 1900, 1, 1, 2},
        Row{"leap day of a year divisible by 400", 2000, 2, 29, 36585},
        Row{"the worked example", 2005, 1, 15, 38367},
        Row{"first representable day", 1, 1, 1, -693593},
        Row{"last representable day", 9999, 12, 31, 2958465},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(DateValue(row.Year, row.Month, row.Day), row.Value);
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", row.Year, row.Month, row.Day);
        EXPECT_EQ(FormatDateValue(row.Value), std::optional<std::string>(text));
    }
}

TEST(DateValueTest, FormatsOnlyTheDatePartOfRepresentableValues) {
    EXPECT_EQ(FormatDateValue(38367.99), "2005-01-15");
    // The whole-number part is taken towards zero, as the row's Expires text is made.
    EXPECT_EQ(FormatDateValue(-0.5), "1899-12-30");
    EXPECT_EQ(FormatDateValue(-693594), std::nullopt);
    EXPECT_EQ(FormatDateValue(2958466), std::nullopt);
    EXPECT_EQ(FormatDateValue(std::nan("")), std::nullopt);
    EXPECT_EQ(FormatDateValue(HUGE_VAL), std::nullopt);
}

TEST(ParseDateTest, ReadsWindowsUnderOnePattern) {
    struct Row {
        const char* Name;
        std::string_view Window;
        std::string_view Pattern;
        char Separator;
        int CurrentYear;
        std::string_view Expected;  // yyyy-mm-dd, or "none"
    };
    const std::array Rows{
        // Field order from the pattern's first d, m or y, in either case.
        Row{"day first", "15-01-2005", "dd-mm-yyyy", '-', 2026, "2005-01-15"},
        Row{"month first", "01-15-2005", "mm-dd-yyyy", '-', 2026, "2005-01-15"},
        Row{"year first", "2005/01/15", "yyyy/mm/dd", '/', 2026, "2005-01-15"},
        Row{"capital letters order too", "15.01.2005", "DD.MM.YYYY", '.', 2026, "2005-01-15"},
        Row{"no letter reads month first", "01-15-2005", "xx-xx-xxxx", '-', 2026, "2005-01-15"},
        Row{"only the first letter counts", "01-15-2005", "md-dd-yyyy", '-', 2026, "2005-01-15"},
        Row{"another separator is no date", "2005/01/15", "yyyy-mm-dd", '-', 2026, "none"},
        // Years of one or two digits fall into currentYear - 50 .. currentYear + 49.
        Row{"55 in 2005", "15-01-55", "dd-mm-yy", '-', 2005, "1955-01-15"},
        Row{"54 in 2005", "15-01-54", "dd-mm-yy", '-', 2005, "2054-01-15"},
        Row{"05 in 2005", "15-01-05", "dd-mm-yy", '-', 2005, "2005-01-15"},
        Row{"one digit in 2005", "15-01-5", "dd-mm-y", '-', 2005, "2005-01-15"},
        Row{"76 in 2026", "15-01-76", "dd-mm-yy", '-', 2026, "1976-01-15"},
        Row{"75 in 2026", "15-01-75", "dd-mm-yy", '-', 2026, "2075-01-15"},
        Row{"00 in 2050", "15-01-00", "dd-mm-yy", '-', 2050, "2000-01-15"},
        Row{"a two-digit year first", "09-04-18", "yy-mm-dd", '-', 2026, "2009-04-18"},
        Row{"three digits stay as written", "15-01-015", "dd-mm-yyy", '-', 2026, "0015-01-15"},
        Row{"four digits with a leading zero stay", "15-01-0099", "dd-mm-yyyy", '-', 2026, "0099-01-15"},
        // Two numbers alone take the current year.
        Row{"day and month", "15-01", "dd-mm", '-', 2026, "2026-01-15"},
        Row{"month and day", "01-15", "mm-dd", '-', 2026, "2026-01-15"},
        Row{"year-first pattern reads month and day", "03-04", "yyyy-mm", '-', 2026, "2026-03-04"},
        // Blanks around the numbers, one trailing separator.
        Row{"blanks are skipped", " 15 - 01 - 2005 ", "dd-mm-yyyy", '-', 2026, "2005-01-15"},
        Row{"one trailing separator", "15/01/2005/", "dd/mm/yyyy", '/', 2026, "2005-01-15"},
        Row{"two trailing separators", "15/01/2005//", "dd/mm/yyyy", '/', 2026, "none"},
        // The whole window must be read.
        Row{"a fifth digit is left unread", "15-01-20051", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"text after the date", "15-01-2005t", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"text before the date", "x15-01-2005", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"a separator without a third number", "15-01-", "dd-mm-yy", '-', 2026, "none"},
        Row{"a lone number", "2005", "yyyy", '-', 2026, "none"},
        Row{"empty window", "", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"a tab is no blank", "15\t-01-2005", "dd-mm-yyyy", '-', 2026, "none"},
        // Impossible dates.
        Row{"31 April", "31-04-2005", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"29 February of a common year", "29-02-2005", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"29 February of a leap year", "29-02-2004", "dd-mm-yyyy", '-', 2026, "2004-02-29"},
        Row{"29 February 1900", "29-02-1900", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"29 February 2000", "29-02-2000", "dd-mm-yyyy", '-', 2026, "2000-02-29"},
        Row{"month 13", "15-13-2005", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"month 0", "15-00-2005", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"day 0", "00-01-2005", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"year 0", "0000-01-15", "yyyy-mm-dd", '-', 2026, "none"},
        Row{"day 32", "32-01-2005", "dd-mm-yyyy", '-', 2026, "none"},
        Row{"29 February in a leap current year", "29-02", "dd-mm", '-', 2028, "2028-02-29"},
        Row{"29 February in a common current year", "29-02", "dd-mm", '-', 2026, "none"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(Shown(ParseDate(row.Window, row.Pattern, row.Separator, row.CurrentYear)), row.Expected);
    }
}

TEST(MonthNamesTest, ReplacesNamesEvenInsideWords) {
    struct Row {
        const char* Name;
        std::string_view Text;
        std::string_view Expected;
    };
    const std::array Rows{
        Row{"full name", "january 15, 2005", "01 15, 2005"},
        Row{"full name before its short form", "march", "03"},
        Row{"short form", "15-jan-2005", "15-01-2005"},
        Row{"inside another word", "primary", "pri03y"},
        Row{"a longer spelling keeps its tail", "sept", "09t"},
        Row{"every occurrence", "jan jan feb", "01 01 02"},
        Row{"names meeting", "decjan", "1201"},
        Row{"capitals are no names", "JANUARY", "JANUARY"},
        Row{"nothing to replace", "2005-01-15", "2005-01-15"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(MonthNamesToNumbers(row.Text), row.Expected);
    }
}

TEST(MonthNamesTest, PositionOfTheFirstNameInTableOrder) {
    struct Row {
        const char* Name;
        std::string_view Text;
        std::size_t Expected;
    };
    const std::array Rows{
        Row{"short name", "15-jan-2005", 4},
        Row{"full name", "january-15", 1},
        Row{"a name earlier in the table wins over a leftmost one", "jan-may", 5},
        Row{"a full name wins over an earlier short one", "dec-april", 5},
        Row{"no name", "15-01-2005", 0},
        Row{"empty", "", 0},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(MonthNamePosition(row.Text), row.Expected);
    }
}

TEST(FindDateInLineTest, FirstEntryThenFirstWindowThatReads) {
    const DateFormatList dayFirst{{'-', "dd-mm-yyyy"}};
    const DateFormatList monthFirst{{'-', "mm-dd-yyyy"}};
    const DateFormatList shortYearFirst{{'-', "dd-mm-yy"}, {'-', "dd-mm-yyyy"}};
    const DateFormatList longYearFirst{{'-', "dd-mm-yyyy"}, {'-', "dd-mm-yy"}};
    const DateFormatList slashYearFirst{{'/', "yyyy/mm/dd"}};
    const DateFormatList hyphenYearFirst{{'-', "yyyy-mm-dd"}};
    const DateFormatList slashThenDay{{'/', "yyyy/mm/dd"}, {'-', "dd-mm-yyyy"}};
    const DateFormatList capitalMonth{{'-', "DD-MM-YYYY"}};
    const DateFormatList dayMonth{{'-', "dd-mm"}};
    const DateFormatList trailingHyphen{{'-', "dd-mm-yyyy-"}};
    const DateFormatList trailingSlash{{'/', "dd/mm/yyyy/"}};
    struct Row {
        const char* Name;
        std::string_view Line;
        const DateFormatList* Formats;
        std::string_view Expected;
    };
    const std::array Rows{
        Row{"worked example: name where the pattern's m stands", "expires on: january 15, 2005", &monthFirst,
            "2005-01-15"},
        Row{"worked example: name where the pattern has d", "expires on: january 15, 2005", &dayFirst, "none"},
        Row{"short name after the day", "expiration date: 20-feb-2010", &dayFirst, "2010-02-20"},
        Row{"short name read month first is rejected", "expiration date: 05-feb-2010", &monthFirst, "none"},
        Row{"the same read day first", "expiration date: 05-feb-2010", &dayFirst, "2010-02-05"},
        Row{"two-digit year listed first reads the century", "15-01-2005", &shortYearFirst, "2020-01-15"},
        Row{"four-digit year listed first", "15-01-2005", &longYearFirst, "2005-01-15"},
        Row{"slashes under a slash entry", "created 2005/01/15", &slashYearFirst, "2005-01-15"},
        Row{"slashes under a hyphen entry", "created 2005/01/15", &hyphenYearFirst, "none"},
        Row{"two dates: the first from the left", "created 2001-02-03 expires 2011-02-03", &hyphenYearFirst,
            "2001-02-03"},
        Row{"an earlier entry wins over an earlier position", "15-01-2005 or 2006/02/03", &slashThenDay, "2006-02-03"},
        Row{"a name inside a word does not read", "sept 15 2005", &monthFirst, "none"},
        Row{"capital M admits no name", "15-jan-2005", &capitalMonth, "none"},
        Row{"capital M still reads digits", "15-01-2005", &capitalMonth, "2005-01-15"},
        Row{"two numbers take the current year", "renewal 15-01", &dayMonth, "2026-01-15"},
        Row{"a line shorter than the pattern", "5-1-2005", &dayFirst, "none"},
        Row{"runs of blanks become one hyphen", "expires:     15   01   2005", &dayFirst, "2005-01-15"},
        Row{"commas go after the blanks became hyphens", "15 , 01 , 2005", &dayFirst, "none"},
        Row{"a comma after a name", "expires: 15 jan, 2005", &dayFirst, "2005-01-15"},
        Row{"a tab before the date", "expires:\t15-01-2005", &dayFirst, "2005-01-15"},
        Row{"tabs between the numbers", "15\t01\t2005", &dayFirst, "none"},
        Row{"digits beyond the window do not matter", "15-01-20051", &dayFirst, "2005-01-15"},
        Row{"a window may not end with a hyphen", "15-01-2005-", &trailingHyphen, "none"},
        Row{"the same shape with another separator", "15/01/2005/", &trailingSlash, "2005-01-15"},
        Row{"time of day after the date", "expiration date: 04-oct-2008 04:00:00 utc", &dayFirst, "2008-10-04"},
        Row{"day, month and year apart", "domain expiration date: fri apr 18 23:59:59 gmt 2014", &longYearFirst,
            "none"},
        Row{"no entries", "15-01-2005", nullptr, "none"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        const DateFormatList none;
        EXPECT_EQ(Shown(FindDateInLine(row.Line, row.Formats != nullptr ? *row.Formats : none, 2026)), row.Expected);
    }
}

TEST(LoadDateFormatsTest, SeparatorAndPatternPerLine) {
    const test::TempDir dir;
    dir.Write("DateFormats.ini", "\xEF\xBB\xBF-dd-mm-yyyy\r\n\r\n/yyyy/mm/dd\r.dd.mm.yy\n-\n -dd mm\n");
    const DateFormatList expected{
        {'-', "dd-mm-yyyy"}, {'/', "yyyy/mm/dd"}, {'.', "dd.mm.yy"}, {'-', ""}, {' ', "-dd mm"},
    };
    EXPECT_EQ(LoadDateFormats(dir.Path()), expected);
}

TEST(LoadDateFormatsTest, UnreadableFileGoesToTheCaller) {
    const test::TempDir dir;
    EXPECT_THROW((void)LoadDateFormats(dir.Path()), ConfigListReadError);
    // A folder in place of the file opens but cannot be read.
    std::filesystem::create_directory(dir.Path() / DateFormatsFileName);
    EXPECT_THROW((void)LoadDateFormats(dir.Path()), ConfigListReadError);
    try {
        (void)LoadDateFormats(dir.Path());
    } catch (const ConfigListReadError& error) {
        EXPECT_NE(std::string(error.what()).find((dir.Path() / DateFormatsFileName).string()), std::string::npos);
    }
}

TEST(SplitLinesTest, SplitsAtEveryKindOfLineEnd) {
    struct Row {
        const char* Name;
        std::string_view Text;
        std::vector<std::string_view> Expected;
    };
    const std::array Rows{
        Row{"LF, CR LF and CR", "a\nb\r\nc\rd", {"a", "b", "c", "d"}},
        Row{"a final line end starts no line", "a\n", {"a"}},
        Row{"empty lines stay", "a\n\n\r\rb", {"a", "", "", "", "b"}},
        Row{"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        Row{"empty text", "", {}},
        Row{"a NUL is an ordinary byte", "a\0b\nc"sv, {"a\0b"sv, "c"}},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(SplitLines(row.Text), row.Expected);
    }
}

}  // namespace
}  // namespace ostrevane
