#include "engine/ResultsList.h"

#include <algorithm>
#include <optional>

#include "util/IniFile.h"

namespace ostrevane {

void ResultsList::Clear() {
    rows_.clear();
    Touch();
}

ResultRow& ResultsList::Append(std::string domain, std::string foundOn) {
    ResultRow row;
    row.SubItems[SubDomain] = std::move(domain);
    row.SubItems[SubFoundOn] = std::move(foundOn);
    row.SubItems[SubWhoisText] = std::string(WhoisPromptText);
    return AppendRow(std::move(row));
}

ResultRow& ResultsList::AppendRow(ResultRow row) {
    rows_.push_back(std::move(row));
    Touch();
    return rows_.back();
}

ResultRow* ResultsList::Find(std::string_view domain) {
    const auto found = std::find_if(rows_.begin(), rows_.end(), [&](const ResultRow& row) { return row.Domain() == domain; });
    return found == rows_.end() ? nullptr : &*found;
}

const ResultRow* ResultsList::Find(std::string_view domain) const {
    return const_cast<ResultsList*>(this)->Find(domain);
}

void ResultsList::Renumber() {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i].Caption = std::to_string(i + 1);
    }
    Touch();
}

void ResultsList::Sort(std::size_t column) {
    if (column >= ResultColumnHeaders.size()) {
        return;
    }
    sortColumn_ = column;
    if (column == 0) {
        // The numbers are read once; a caption that is not one sorts before all numbers.
        std::vector<std::pair<std::optional<int>, std::size_t>> keys;
        keys.reserve(rows_.size());
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            keys.emplace_back(ParseProfileInteger(rows_[i].Caption), i);
        }
        std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
            if (a.first.has_value() != b.first.has_value()) {
                return !a.first.has_value();
            }
            return a.first.has_value() && *a.first < *b.first;
        });
        std::vector<ResultRow> sorted;
        sorted.reserve(rows_.size());
        for (const auto& key : keys) {
            sorted.push_back(std::move(rows_[key.second]));
        }
        rows_ = std::move(sorted);
    } else {
        // std::string compares its bytes as unsigned values, a prefix first.
        const std::size_t item = column - 1;
        std::stable_sort(rows_.begin(), rows_.end(),
                         [item](const ResultRow& a, const ResultRow& b) { return a.SubItems[item] < b.SubItems[item]; });
    }
    Touch();
}

}  // namespace ostrevane
