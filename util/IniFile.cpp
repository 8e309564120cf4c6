#include "util/IniFile.h"

#include <charconv>
#include <cstdint>
#include <fcntl.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "util/Text.h"
#include "util/TextFile.h"

namespace ostrevane {
namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// One line of a profile file, already trimmed.
struct ProfileLine {
    enum class Kind { Other, Section, Key };
    Kind Kind = Kind::Other;
    std::string_view Name;   // section or key name
    std::string_view Value;  // key lines only
};

ProfileLine ClassifyLine(std::string_view raw) {
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') {
        return {};
    }
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        return {ProfileLine::Kind::Section, Trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)), {}};
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return {ProfileLine::Kind::Key, Trim(line.substr(0, equals)), value};
}

// Splits the content into lines, each with its own line end (the last one may have none).
std::vector<std::string_view> SplitRawLines(std::string_view content) {
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        const std::size_t length = end == std::string_view::npos ? content.size() : end + 1;
        lines.push_back(content.substr(0, length));
        content.remove_prefix(length);
    }
    return lines;
}

std::string_view WithoutByteOrderMark(std::string_view content) {
    if (content.starts_with(ByteOrderMark)) {
        content.remove_prefix(ByteOrderMark.size());
    }
    return content;
}

std::optional<std::string> FindValue(const std::filesystem::path& path, std::string_view section, std::string_view key) {
    const std::optional<std::string> content = ReadFileBytes(path);
    if (!content) {
        return std::nullopt;
    }
    std::string_view rest = WithoutByteOrderMark(*content);
    bool inSection = false;
    bool sectionSeen = false;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const ProfileLine line = ClassifyLine(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.Kind == ProfileLine::Kind::Section) {
            if (sectionSeen) {
                // Only the first section of a name counts.
                return std::nullopt;
            }
            inSection = EqualsIgnoreCase(line.Name, section);
            sectionSeen = inSection;
        } else if (inSection && line.Kind == ProfileLine::Kind::Key && EqualsIgnoreCase(line.Name, key)) {
            return std::string(line.Value.substr(0, MaxProfileValueLength));
        }
    }
    return std::nullopt;
}

bool Unsafe(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Writes the bytes to a temporary file beside the target, syncs it and renames it over the
// target. Returns false when any step fails; the target is then untouched.
bool ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes, mode_t mode) {
    std::string temporary = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    for (std::size_t written = 0; ok && written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        written += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

}  // namespace

IniWriteError::IniWriteError(const std::filesystem::path& file)
    : std::runtime_error("Unable to write to " + file.string()) {}

std::optional<int> ParseProfileInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with("$")) {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return std::nullopt;
    }
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (base == 16) {
        // Up to eight hexadecimal digits give a 32-bit pattern: $FFFFFFFF reads as -1.
        if (magnitude > 0xFFFFFFFFull) {
            return std::nullopt;
        }
        const auto bits = static_cast<std::uint32_t>(magnitude);
        const auto value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
        return value;
    }
    if (magnitude > (negative ? 2147483648ull : 2147483647ull)) {
        return std::nullopt;
    }
    return static_cast<int>(negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude));
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    std::optional<std::string> value = FindValue(path_, section, key);
    return value ? std::move(*value) : std::string(defaultValue.substr(0, MaxProfileValueLength));
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const std::optional<std::string> value = FindValue(path_, section, key);
    if (!value) {
        return defaultValue;
    }
    return ParseProfileInteger(*value).value_or(defaultValue);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int value) const {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) const {
    if (Unsafe(section) || section.find(']') != std::string_view::npos || Unsafe(key) ||
        key.find('=') != std::string_view::npos || Trim(key).empty() || Unsafe(value)) {
        throw std::invalid_argument("a profile section, key or value may not hold a line break");
    }
    std::filesystem::path target = std::filesystem::absolute(path_);
    std::error_code error;
    if (std::filesystem::is_symlink(target, error)) {
        // Write through a link to the file it names, so the link stays.
        const std::filesystem::path resolved = std::filesystem::canonical(target, error);
        if (!error) {
            target = resolved;
        }
    }

    mode_t mode = 0644;
    std::string content;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        std::optional<std::string> existing = ReadFileBytes(target);
        if (!existing) {
            // Rewriting a file that cannot be read would lose every other key in it.
            throw IniWriteError(target);
        }
        content = std::move(*existing);
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    const bool hasMark = std::string_view(content).starts_with(ByteOrderMark);
    const std::string_view body = WithoutByteOrderMark(content);
    const std::string_view eol = body.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    const std::vector<std::string_view> lines = SplitRawLines(body);

    // Where the key stands, or where a new key goes: after the last key of the section.
    std::optional<std::size_t> sectionAt;
    std::optional<std::size_t> keyAt;
    std::size_t insertAt = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ProfileLine line = ClassifyLine(lines[i]);
        if (line.Kind == ProfileLine::Kind::Section) {
            if (sectionAt) {
                break;
            }
            if (EqualsIgnoreCase(line.Name, section)) {
                sectionAt = i;
                insertAt = i + 1;
            }
        } else if (sectionAt && line.Kind == ProfileLine::Kind::Key) {
            if (EqualsIgnoreCase(line.Name, key)) {
                keyAt = i;
                break;
            }
            insertAt = i + 1;
        }
    }

    std::string updated;
    updated.reserve(content.size() + section.size() + key.size() + value.size() + 8);
    if (hasMark) {
        updated += ByteOrderMark;
    }
    // A line that gets a successor needs a line end of its own.
    const auto appendEnded = [&](std::string_view rawLine) {
        updated += rawLine;
        if (!rawLine.ends_with('\n')) {
            updated += eol;
        }
    };
    const std::string keyLine = std::string(Trim(key)) + "=" + std::string(value);
    if (keyAt) {
        // Keep the key's own spelling, the indentation and the line end; only the value changes.
        const std::string_view line = lines[*keyAt];
        const std::size_t equals = line.find('=');
        const std::size_t lineEnd = line.ends_with("\r\n") ? line.size() - 2 : line.ends_with('\n') ? line.size() - 1 : line.size();
        for (std::size_t i = 0; i < *keyAt; ++i) {
            updated += lines[i];
        }
        updated += line.substr(0, line.find_first_not_of(" \t"));
        updated += Trim(line.substr(0, equals));
        updated += '=';
        updated += value;
        updated += line.substr(lineEnd);
        for (std::size_t i = *keyAt + 1; i < lines.size(); ++i) {
            updated += lines[i];
        }
    } else if (sectionAt) {
        for (std::size_t i = 0; i + 1 < insertAt; ++i) {
            updated += lines[i];
        }
        appendEnded(lines[insertAt - 1]);
        updated += keyLine;
        updated += eol;
        for (std::size_t i = insertAt; i < lines.size(); ++i) {
            updated += lines[i];
        }
    } else {
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            updated += lines[i];
        }
        if (!lines.empty()) {
            appendEnded(lines.back());
            if (!Trim(lines.back()).empty()) {
                updated += eol;  // a blank line between sections
            }
        }
        updated += '[';
        updated += Trim(section);
        updated += ']';
        updated += eol;
        updated += keyLine;
        updated += eol;
    }

    if (!ReplaceFileAtomically(target, updated, mode)) {
        throw IniWriteError(target);
    }
}

}  // namespace ostrevane
