#include "validate/DateRecognition.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

#include "util/Text.h"
#include "util/TextFile.h"

namespace ostrevane {
namespace {

// The text of the file error, as the toolkit words a file it cannot open.
constexpr std::string_view CannotOpenFileText = "Cannot open file ";

struct MonthName {
    std::string_view Name;
    std::string_view Number;
};

// Full names before the three-letter forms: "march" must become "03" before "mar" could turn it
// into "03ch". The order is also the order in which MonthNamePosition tries the names.
constexpr std::array<MonthName, 24> MonthNames{{
    {"january", "01"},  {"february", "02"}, {"march", "03"},  {"april", "04"},     {"may", "05"},
    {"june", "06"},     {"july", "07"},     {"august", "08"}, {"september", "09"}, {"october", "10"},
    {"november", "11"}, {"december", "12"}, {"jan", "01"},    {"feb", "02"},       {"mar", "03"},
    {"apr", "04"},      {"may", "05"},      {"jun", "06"},    {"jul", "07"},       {"aug", "08"},
    {"sep", "09"},      {"oct", "10"},      {"nov", "11"},    {"dec", "12"},
}};

enum class FieldOrder { DayMonthYear, MonthDayYear, YearMonthDay };

FieldOrder FieldOrderOf(std::string_view pattern) {
    const std::size_t first = pattern.find_first_of("dDmMyY");
    if (first == std::string_view::npos) {
        return FieldOrder::MonthDayYear;
    }
    switch (AsciiLower(pattern[first])) {
    case 'd':
        return FieldOrder::DayMonthYear;
    case 'y':
        return FieldOrder::YearMonthDay;
    default:
        return FieldOrder::MonthDayYear;
    }
}

// Where a month name must stand in a window read under the pattern: the 1-based position of the
// pattern's first lower-case m, 0 when it has none.
std::size_t MonthPlaceOf(std::string_view pattern) {
    const std::size_t at = pattern.find('m');
    return at == std::string_view::npos ? 0 : at + 1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> Days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Days[static_cast<std::size_t>(month - 1)];
}

// Reads a window from left to right the way the date formats describe it.
class WindowReader final {
public:
    explicit WindowReader(std::string_view window) : window_(window) {}

    void SkipBlanks() {
        while (pos_ < window_.size() && window_[pos_] == ' ') {
            ++pos_;
        }
    }

    // Skips blanks, then reads digits while the value so far is below 1000, so at most four
    // significant digits; digits counts every digit read, leading zeros included.
    bool ReadNumber(int& value, int& digits) {
        SkipBlanks();
        value = 0;
        digits = 0;
        while (pos_ < window_.size() && IsDigit(window_[pos_]) && value < 1000) {
            value = value * 10 + (window_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        return digits > 0;
    }

    bool Take(char c) {
        if (pos_ < window_.size() && window_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    [[nodiscard]] bool AtEnd() const { return pos_ == window_.size(); }

private:
    std::string_view window_;
    std::size_t pos_ = 0;
};

int CenturyYear(int year, int currentYear) {
    const int pivot = currentYear - 50;
    // Rounded down to a whole hundred, also for a pivot below zero.
    const int century = pivot >= 0 ? pivot / 100 * 100 : -((-pivot + 99) / 100 * 100);
    int result = year + century;
    if (result < pivot) {
        result += 100;
    }
    return result;
}

using Days = std::chrono::days;
constexpr std::chrono::sys_days DayZero{std::chrono::year{1899} / std::chrono::December / 30};

}  // namespace

ConfigListReadError::ConfigListReadError(const std::filesystem::path& file)
    : std::runtime_error(std::string(CannotOpenFileText) + file.string()) {}

std::vector<std::string> ReadConfigListLines(const std::filesystem::path& file) {
    const std::optional<std::string> content = ReadFileBytes(file);
    if (!content) {
        throw ConfigListReadError(file);
    }
    std::string_view text = *content;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::vector<std::string> lines;
    for (const std::string_view line : SplitLines(text)) {
        lines.emplace_back(line);
    }
    return lines;
}

DateFormatList LoadDateFormats(const std::filesystem::path& configsDirectory) {
    DateFormatList formats;
    for (const std::string& line : ReadConfigListLines(configsDirectory / DateFormatsFileName)) {
        if (!line.empty()) {
            formats.push_back(DateFormat{line.front(), line.substr(1)});
        }
    }
    return formats;
}

std::string MonthNamesToNumbers(std::string_view text) {
    std::string result(text);
    for (const MonthName& month : MonthNames) {
        // Most lines hold no month name at all; skip the copy ReplaceAll would make.
        if (result.find(month.Name) != std::string::npos) {
            result = ReplaceAll(result, month.Name, month.Number);
        }
    }
    return result;
}

std::size_t MonthNamePosition(std::string_view text) {
    for (const MonthName& month : MonthNames) {
        const std::size_t at = text.find(month.Name);
        if (at != std::string_view::npos) {
            return at + 1;
        }
    }
    return 0;
}

std::optional<double> ParseDate(std::string_view window, std::string_view pattern, char separator, int currentYear) {
    const FieldOrder order = FieldOrderOf(pattern);
    WindowReader reader(window);
    int first = 0;
    int second = 0;
    int third = 0;
    int firstDigits = 0;
    int secondDigits = 0;
    int thirdDigits = 0;
    if (!reader.ReadNumber(first, firstDigits)) {
        return std::nullopt;
    }
    reader.SkipBlanks();
    if (!reader.Take(separator) || !reader.ReadNumber(second, secondDigits)) {
        return std::nullopt;
    }
    reader.SkipBlanks();
    int year = 0;
    int month = 0;
    int day = 0;
    if (reader.Take(separator)) {
        if (!reader.ReadNumber(third, thirdDigits)) {
            return std::nullopt;
        }
        int yearDigits = 0;
        switch (order) {
        case FieldOrder::DayMonthYear:
            day = first, month = second, year = third, yearDigits = thirdDigits;
            break;
        case FieldOrder::MonthDayYear:
            month = first, day = second, year = third, yearDigits = thirdDigits;
            break;
        case FieldOrder::YearMonthDay:
            year = first, month = second, day = third, yearDigits = firstDigits;
            break;
        }
        if (yearDigits <= 2) {
            year = CenturyYear(year, currentYear);
        }
        reader.Take(separator);
        reader.SkipBlanks();
    } else {
        year = currentYear;
        if (order == FieldOrder::DayMonthYear) {
            day = first, month = second;
        } else {
            month = first, day = second;
        }
    }
    if (!reader.AtEnd() || year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return std::nullopt;
    }
    return DateValue(year, month, day);
}

std::optional<double> FindDateInLine(std::string_view line, const DateFormatList& formats, int currentYear) {
    // Canonical form: runs of blanks become one blank, every blank a hyphen, and then the commas
    // go (so "15 , 2005" keeps two hyphens). Tabs stay as they are.
    std::string canonical;
    canonical.reserve(line.size());
    char previous = '\0';
    for (const char c : line) {
        if (c == ' ' && previous == ' ') {
            continue;
        }
        previous = c;
        if (c != ',') {
            canonical.push_back(c == ' ' ? '-' : c);
        }
    }
    const std::string numbered = MonthNamesToNumbers(canonical);
    const std::string_view n = canonical;
    const std::string_view m = numbered;

    for (const DateFormat& format : formats) {
        const std::size_t width = format.Pattern.size();
        if (width > m.size()) {
            continue;
        }
        const std::size_t monthPlace = MonthPlaceOf(format.Pattern);
        for (std::size_t k = 0; k + width <= m.size(); ++k) {
            const std::string_view windowM = m.substr(k, width);
            if (!windowM.empty() && (windowM.front() == '-' || windowM.back() == '-')) {
                continue;
            }
            // The month-name test and the reading must both pass; the reading fails on most
            // windows at their first character, so it goes first.
            const std::optional<double> date = ParseDate(windowM, format.Pattern, format.Separator, currentYear);
            if (!date) {
                continue;
            }
            // The window of the line before month names were replaced, at the same position; the
            // two forms drift apart after a replaced name.
            const std::string_view windowN = k < n.size() ? n.substr(k, width) : std::string_view{};
            const std::size_t namePlace = MonthNamePosition(windowN);
            if (namePlace != 0 && namePlace != monthPlace) {
                continue;
            }
            return date;
        }
    }
    return std::nullopt;
}

double DateValue(int year, int month, int day) {
    const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    return static_cast<double>((std::chrono::sys_days{date} - DayZero).count());
}

std::optional<std::string> FormatDateValue(double value) {
    static const double First = DateValue(1, 1, 1);
    static const double Last = DateValue(9999, 12, 31);
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double whole = std::trunc(value);
    if (whole < First || whole > Last) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{DayZero + Days{static_cast<long>(whole)}};
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return std::string(text.data());
}

int CurrentLocalYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
}

}  // namespace ostrevane
