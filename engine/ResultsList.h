#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrevane {

// Row pictures, in the order of the picture strip.
inline constexpr int ImageFound = 0;       // found, not validated yet
inline constexpr int ImageValidated = 1;   // validated without failure
inline constexpr int ImageError = 2;       // the validation failed
inline constexpr int ImageValidating = 3;  // a worker has started this row's validation
inline constexpr int ImageExpiring = 4;    // validated, expiring within 90 days either way

// The sub-items of a row; all but the last have a column of their own.
enum SubItem : std::size_t {
    SubDomain = 0,
    SubFoundOn = 1,
    SubRegistered = 2,
    SubExpires = 3,
    SubRegistrar = 4,
    SubIp = 5,
    SubEmail = 6,
    SubWhoisText = 7,
    SubItemCount = 8,
};

// The column headers, No first ("Registar" is spelled so).
inline constexpr std::array<std::string_view, 8> ResultColumnHeaders{
    "No", "Domain", "Found on", "Registered", "Expires", "Registar", "IP", "Email"};

// What a row shows in the WHOIS pane until it is validated.
inline constexpr std::string_view WhoisPromptText =
    "Please select a validated domain from the list on the left to display the Who is server response for that domain.";

struct ResultRow {
    std::string Caption;  // the row's number, set by renumbering
    std::array<std::string, SubItemCount> SubItems;
    int Picture = ImageFound;

    [[nodiscard]] const std::string& Domain() const { return SubItems[SubDomain]; }
};

// The results table's content, owned and changed by the main thread only. Rows are found by
// their Domain text, never kept by position, since the user may sort at any time.
class ResultsList final {
public:
    void Clear();
    // Appends a found name: picture ImageFound, Domain and Found on filled, the WHOIS prompt as
    // its raw answer, an empty caption until the next renumbering.
    ResultRow& Append(std::string domain, std::string foundOn);
    // Appends a row as it is (rows read back from an export).
    ResultRow& AppendRow(ResultRow row);

    [[nodiscard]] std::size_t Count() const { return rows_.size(); }
    [[nodiscard]] bool Empty() const { return rows_.empty(); }
    [[nodiscard]] const std::vector<ResultRow>& Rows() const { return rows_; }
    [[nodiscard]] const ResultRow& operator[](std::size_t index) const { return rows_[index]; }
    // A row to change in place; call Touch() afterwards so that views notice.
    [[nodiscard]] ResultRow& At(std::size_t index) { return rows_[index]; }

    // The first row whose Domain equals the name exactly (case-sensitive), or nullptr.
    [[nodiscard]] ResultRow* Find(std::string_view domain);
    [[nodiscard]] const ResultRow* Find(std::string_view domain) const;

    // Sets every caption, first to last, to its position counted from 1.
    void Renumber();

    // Sorts ascending by the column (0 = No, read as a number; 1 to 7 = the texts of sub-items
    // 0 to 6 as unsigned bytes, a prefix first) and remembers it as the sort column. Captions
    // that are not numbers come before the numbered ones. Ties keep their previous order.
    void Sort(std::size_t column);
    [[nodiscard]] std::size_t SortColumn() const { return sortColumn_; }

    // Bumped by every change, so that a view can tell when to redraw.
    [[nodiscard]] std::uint64_t Version() const { return version_; }
    void Touch() { ++version_; }

private:
    std::vector<ResultRow> rows_;
    std::size_t sortColumn_ = 0;
    std::uint64_t version_ = 0;
};

}  // namespace ostrevane
