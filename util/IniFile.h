#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace ostrevane {

// Raised when a profile file cannot be written; the message names the file's full path.
class IniWriteError final : public std::runtime_error {
public:
    explicit IniWriteError(const std::filesystem::path& file);
};

// A text value holds at most this many bytes; longer ones are cut.
inline constexpr std::size_t MaxProfileValueLength = 2047;

// An integer as the profile files write it: decimal with an optional sign, or hexadecimal after
// "0x", "0X" or "$" (up to eight digits, read as a 32-bit pattern). Nothing when the text is
// anything else or does not fit in 32 bits.
[[nodiscard]] std::optional<int> ParseProfileInteger(std::string_view text);

// A Windows-style profile (INI) file: [section] lines followed by key=value lines. Section and
// key names match without regard to case; the first matching section and the first matching key
// in it count. Blank lines and lines starting with ';' or '#' are comments. CRLF or LF line ends
// and a UTF-8 byte-order mark are accepted.
//
// Nothing is cached: every read opens the file afresh and every write rewrites it at once, so
// the object is only a path and may be used from any thread.
class IniFile final {
public:
    explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

    // The value of the key, trimmed of surrounding blanks and of one pair of enclosing quotes,
    // cut to MaxProfileValueLength bytes; the default when the file, section or key is missing.
    [[nodiscard]] std::string ReadString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const;
    // The value read by ParseProfileInteger; the default when it is missing or not an integer.
    [[nodiscard]] int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;

    // Sets one key, keeping every other line of the file as it was, and creates the file or the
    // section when missing. The file is replaced atomically (a temporary file beside it, synced,
    // then renamed over it): a crash or a full disk leaves the old file or the new one, never a
    // half-written one. Throws IniWriteError when the file cannot be written, and
    // std::invalid_argument for a section, key or value that would break the line format.
    void WriteString(std::string_view section, std::string_view key, std::string_view value) const;
    // Stores the integer as decimal text.
    void WriteInteger(std::string_view section, std::string_view key, int value) const;

private:
    std::filesystem::path path_;
};

}  // namespace ostrevane
