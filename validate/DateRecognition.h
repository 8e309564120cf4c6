#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Recognition of dates inside single lines of WHOIS answers. A line is brought into a canonical
// form (one hyphen where blanks stood, no commas, month names as month numbers), and a window as
// wide as each pattern of the user's date-format list slides along it until one window reads as a
// date. Everything here is a pure function of its arguments and may run on any thread.
namespace ostrevane {

// The date-format list, found in the configs folder.
inline constexpr std::string_view DateFormatsFileName = "DateFormats.ini";

// A date value: days counted from 30 December 1899 (day 0), the time of day as fraction.
// This value stands for "no date".
inline constexpr double NoDateValue = -1.0;

// Raised when one of the line-list configuration files (the date formats, the expiry keys)
// cannot be read; the message names the file.
class ConfigListReadError final : public std::runtime_error {
public:
    explicit ConfigListReadError(const std::filesystem::path& file);
};

// The lines of a configuration file that is a plain list of lines, in file order, split by
// SplitLines (util/TextFile.h). A UTF-8 byte-order mark before the first line is dropped: an editor's mark is no
// part of the first entry. Throws ConfigListReadError when the file cannot be opened or read.
[[nodiscard]] std::vector<std::string> ReadConfigListLines(const std::filesystem::path& file);

// One entry of the date-format list: the line's first character is the separator expected
// between the numbers of a date, the rest of the line is the pattern.
struct DateFormat {
    char Separator = '-';
    std::string Pattern;

    bool operator==(const DateFormat&) const = default;
};
using DateFormatList = std::vector<DateFormat>;

// Reads configsDirectory/DateFormats.ini afresh. Empty lines carry no entry and are skipped.
// Throws ConfigListReadError when the file cannot be read.
[[nodiscard]] DateFormatList LoadDateFormats(const std::filesystem::path& configsDirectory);

// Every month name, full names first and then the three-letter forms, replaced by its two-digit
// number, every occurrence of each name in turn (also inside other words: "primary" becomes
// "pri03y").
[[nodiscard]] std::string MonthNamesToNumbers(std::string_view text);

// The 1-based position of the first month name that occurs in the text, the names tried in the
// order full names, then three-letter forms (not the leftmost occurrence); 0 when none occurs.
[[nodiscard]] std::size_t MonthNamePosition(std::string_view text);

// Reads a window of a canonical line as a date under one pattern: two or three numbers joined by
// the separator, in the field order the pattern's first d, m or y gives (none gives month, day,
// year). Years of one or two digits fall into the hundred years from currentYear - 50 to
// currentYear + 49; two numbers alone take currentYear. The whole window must be read and the
// date must exist. The date value (no fraction), or nothing.
[[nodiscard]] std::optional<double> ParseDate(std::string_view window, std::string_view pattern, char separator,
                                              int currentYear);

// The first date found in one WHOIS answer line that is already in lower case: the entries are
// tried in list order, and for each entry every window position from the left; the first window
// that reads as a date ends the search. A window holding a month name counts only where that
// name stands at the place of the pattern's first lower-case m.
[[nodiscard]] std::optional<double> FindDateInLine(std::string_view line, const DateFormatList& formats,
                                                   int currentYear);

// The date value of a calendar date of the proleptic Gregorian calendar (year 1 to 9999).
[[nodiscard]] double DateValue(int year, int month, int day);

// The date part of a date value (its whole-number part, truncated towards zero) written
// "yyyy-mm-dd"; nothing for a value that is not finite or lies outside the years 1 to 9999.
[[nodiscard]] std::optional<std::string> FormatDateValue(double value);

// The calendar year of the local date now; date recognition takes it as an argument so that
// two-digit years read the same way in tests at any time.
[[nodiscard]] int CurrentLocalYear();

}  // namespace ostrevane
