#include "harvest/CsvExport.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>

namespace ostrevane {
namespace {

constexpr std::string_view Utf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view LineEnd = "\r\n";
constexpr std::size_t ExportedSubItems = SubWhoisText;  // sub-items 0 to 6; the WHOIS answer stays out

std::string FullName(const std::filesystem::path& file) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error);
    return error ? file.string() : absolute.string();
}

std::string FormatMessage(std::string_view message, const std::filesystem::path& file) {
    std::string text(message);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, FullName(file));
    }
    return text;
}

void AppendField(std::string_view field, std::string& out) {
    field = field.substr(0, field.find('\0'));
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(field);
        return;
    }
    out.push_back('"');
    for (const char c : field) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads one record starting at `at`, which it moves past the record's line end.
std::vector<std::string> ParseRecord(std::string_view text, std::size_t& at) {
    std::vector<std::string> fields;
    const std::size_t size = text.size();
    while (true) {
        std::string field;
        if (at < size && text[at] == '"') {
            ++at;
            while (at < size) {
                if (text[at] == '"') {
                    if (at + 1 < size && text[at + 1] == '"') {
                        field.push_back('"');
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field.push_back(text[at++]);
            }
        }
        // Unquoted text, or whatever a sloppy writer left after a closing quote, is kept as it is.
        while (at < size && text[at] != ',' && text[at] != '\r' && text[at] != '\n') {
            field.push_back(text[at++]);
        }
        fields.push_back(std::move(field));
        if (at < size && text[at] == ',') {
            ++at;
            continue;
        }
        if (at < size && text[at] == '\r') {
            ++at;
        }
        if (at < size && text[at] == '\n') {
            ++at;
        }
        return fields;
    }
}

}  // namespace

ExportFileError::ExportFileError(std::string_view message, const std::filesystem::path& file)
    : std::runtime_error(FormatMessage(message, file)) {}

std::string ExportText(std::span<const ResultRow> rows) {
    std::string text;
    for (const ResultRow& row : rows) {
        AppendField(row.Caption, text);
        for (std::size_t i = 0; i < ExportedSubItems; ++i) {
            text.push_back(',');
            AppendField(row.SubItems[i], text);
        }
        text.append(LineEnd);
    }
    return text;
}

void WriteExportFile(const std::filesystem::path& file, std::span<const ResultRow> rows) {
    const std::string text = ExportText(rows);
    std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(file.c_str(), "wb"));
    if (!stream) {
        throw ExportFileError(CannotCreateFileMessage, file);
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), stream.get()) == text.size();
    // Closing flushes the last buffer, so its result counts as much as the write's.
    const bool closed = std::fclose(stream.release()) == 0;
    if (!written || !closed) {
        throw ExportFileError(ExportWriteFailedMessage, file);
    }
}

std::vector<ResultRow> ParseExportText(std::string_view text) {
    if (text.starts_with(Utf8ByteOrderMark)) {
        text.remove_prefix(Utf8ByteOrderMark.size());
    }
    std::vector<ResultRow> rows;
    std::size_t at = 0;
    while (at < text.size()) {
        std::vector<std::string> fields = ParseRecord(text, at);
        if (fields.size() == 1 && fields.front().empty()) {
            continue;  // a blank line
        }
        ResultRow row;
        if (fields.size() == 1) {
            row.SubItems[SubDomain] = std::move(fields.front());
        } else {
            row.Caption = std::move(fields.front());
            for (std::size_t i = 0; i < ExportedSubItems && i + 1 < fields.size(); ++i) {
                row.SubItems[i] = std::move(fields[i + 1]);
            }
        }
        row.SubItems[SubWhoisText] = std::string(WhoisPromptText);
        row.Picture = ImageFound;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ResultRow> ReadExportFile(const std::filesystem::path& file) {
    std::error_code error;
    // A folder opens as a stream on this system and then reads as empty.
    std::ifstream in(file, std::ios::binary);
    if (!in || std::filesystem::is_directory(file, error)) {
        throw ExportFileError(CannotOpenFileMessage, file);
    }
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        throw ExportFileError(CannotOpenFileMessage, file);
    }
    return ParseExportText(text);
}

}  // namespace ostrevane
