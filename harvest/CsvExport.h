#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ResultsList.h"

// The results as comma-separated text, for the window's Export command and the command line.
//
// One line per row, no header: the caption (No), then Domain, Found on, Registered, Expires,
// Registar, IP and Email, joined by ",", each line (the last one too) ended by CR LF; the raw
// WHOIS answer is not written, and an empty list gives an empty text. A field is written as it
// stands unless it holds a comma, a double quote, a CR or an LF: then it is enclosed in double
// quotes and its own double quotes are doubled (RFC 4180), so that a registrar's name or a page
// origin with a comma in it keeps its row in shape. A field ends at a NUL byte, as the system's
// texts do.
namespace ostrevane {

inline constexpr std::string_view CannotCreateFileMessage = "Cannot create file %s";
inline constexpr std::string_view ExportWriteFailedMessage = "Unable to write to %s";
inline constexpr std::string_view CannotOpenFileMessage = "Cannot open file %s";

// Raised when an export cannot be written or read; the message names the file's full path.
class ExportFileError final : public std::runtime_error {
public:
    ExportFileError(std::string_view message, const std::filesystem::path& file);
};

// The export text of the rows, in the order given.
[[nodiscard]] std::string ExportText(std::span<const ResultRow> rows);

// Creates the file (replacing one of that name) and writes the export text into it. Throws
// ExportFileError with CannotCreateFileMessage when the file cannot be created, and with
// ExportWriteFailedMessage when writing it fails (a full disk): a failed export is never
// reported as done.
void WriteExportFile(const std::filesystem::path& file, std::span<const ResultRow> rows);

// Rows back out of an export text (RFC 4180 quoting, lines ended by CR LF or LF; a UTF-8 byte
// order mark and blank lines are passed over). A line of one field is a bare domain name, as in
// a plain list of names; otherwise the fields are the caption and sub-items 0 to 6 in export
// order, missing ones empty and extra ones ignored. Every row gets ImageFound and the WHOIS
// prompt, as a freshly found row has. An unterminated quoted field runs to the end of the text.
[[nodiscard]] std::vector<ResultRow> ParseExportText(std::string_view text);

// ParseExportText over a file's content. Throws ExportFileError with CannotOpenFileMessage when
// the file cannot be read.
[[nodiscard]] std::vector<ResultRow> ReadExportFile(const std::filesystem::path& file);

}  // namespace ostrevane
