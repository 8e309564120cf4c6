#include "validate/WhoisInterpretation.h"

#include <cmath>
#include <optional>

#include "util/Text.h"
#include "util/TextFile.h"

namespace ostrevane {
namespace {

// The characters that end an e-mail word besides the ends of the text.
bool IsEmailDelimiter(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '(' || c == ')';
}

}  // namespace

std::vector<std::string> LoadExpiryKeys(const std::filesystem::path& configsDirectory) {
    return ReadConfigListLines(configsDirectory / WhoisResponseFileName);
}

double ExpiryDateFromWhois(std::string_view answer, const std::vector<std::string>& keys, const DateFormatList& formats,
                           int currentYear) {
    // Lowering byte by byte commutes with splitting at CR and LF, so the answer is lowered once.
    const std::string lowered = AsciiLowerCopy(answer);
    const std::vector<std::string_view> lines = SplitLines(lowered);
    // A line that carries several keys reads the same each time; remember what it gave.
    std::vector<std::optional<std::optional<double>>> examined(lines.size());
    for (const std::string& key : keys) {
        if (key.empty()) {
            continue;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].find(key) == std::string_view::npos) {
                continue;
            }
            if (!examined[i]) {
                examined[i] = FindDateInLine(lines[i], formats, currentYear);
            }
            if (*examined[i]) {
                return **examined[i];
            }
        }
    }
    return NoDateValue;
}

double ExpiryDateFromWhois(std::string_view answer, const std::filesystem::path& configsDirectory, int currentYear) {
    const std::vector<std::string> keys = LoadExpiryKeys(configsDirectory);
    const DateFormatList formats = LoadDateFormats(configsDirectory);
    return ExpiryDateFromWhois(answer, keys, formats, currentYear);
}

std::string FirstEmailAddress(std::string_view answer) {
    const std::size_t at = answer.find('@');
    if (at == std::string_view::npos) {
        return std::string(NoEmailText);
    }
    std::size_t begin = at;
    while (begin > 0 && !IsEmailDelimiter(answer[begin - 1])) {
        --begin;
    }
    std::size_t end = at + 1;
    while (end < answer.size() && !IsEmailDelimiter(answer[end])) {
        ++end;
    }
    return std::string(answer.substr(begin, end - begin));
}

std::string ExpiryText(double expiry) {
    if (std::trunc(expiry) == NoDateValue) {
        return std::string(NoExpiryText);
    }
    return FormatDateValue(expiry).value_or(std::string(NoExpiryText));
}

WhoisAnswerReading ReadWhoisAnswer(std::string_view answer, const std::filesystem::path& configsDirectory,
                                   int currentYear) {
    WhoisAnswerReading reading;
    reading.Expiry = ExpiryDateFromWhois(answer, configsDirectory, currentYear);
    reading.Expires = ExpiryText(reading.Expiry);
    reading.Email = FirstEmailAddress(answer);
    return reading;
}

}  // namespace ostrevane
