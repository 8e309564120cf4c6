#include "harvest/SearchEngines.h"

#include <algorithm>
#include <limits>

#include "util/IniFile.h"
#include "util/Text.h"

namespace ostrevane {
namespace {

constexpr std::string_view CatalogueGeneralSection = "general";
constexpr std::string_view CountKey = "secount";
constexpr std::string_view NameKeyPrefix = "se";
constexpr std::string_view MaxPageKey = "mp";
constexpr std::string_view UrlKey = "url";
constexpr std::string_view PageStepKey = "lpp";
constexpr std::string_view PageOffsetKey = "offset";
constexpr std::string_view KeywordPlaceholder = "$Keyword";
constexpr std::string_view PagePlaceholder = "$Page";
constexpr int NoPageLimit = -1;

// offset + (page - 1) * step, wrapped to 32 bits as the catalogue's numbering is defined.
std::int32_t PageValue(int offset, int page, int step) {
    const std::uint32_t value =
        static_cast<std::uint32_t>(offset) + (static_cast<std::uint32_t>(page) - 1u) * static_cast<std::uint32_t>(step);
    return static_cast<std::int32_t>(value);
}

}  // namespace

void SearchEngineList::Assign(std::vector<std::string> names) {
    rows_.clear();
    rows_.reserve(names.size());
    for (std::string& name : names) {
        rows_.push_back(SearchEngineRow{std::move(name), false});
    }
    ++version_;
}

void SearchEngineList::SetChecked(std::size_t index, bool checked) {
    if (rows_.at(index).Checked != checked) {
        rows_[index].Checked = checked;
        ++version_;
    }
}

std::vector<std::string> SearchEngineList::CheckedNames() const {
    std::vector<std::string> names;
    for (const SearchEngineRow& row : rows_) {
        if (row.Checked) {
            names.push_back(row.Name);
        }
    }
    return names;
}

std::vector<std::string> ReadSearchEngineNames(const std::filesystem::path& catalogue) {
    const IniFile ini(catalogue);
    const int count = std::min(ini.ReadInteger(CatalogueGeneralSection, CountKey, 0), MaxSearchEngines);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        const std::string key = std::string(NameKeyPrefix) + std::to_string(i);
        names.push_back(ini.ReadString(CatalogueGeneralSection, key, UnnamedEngine));
    }
    return names;
}

void LoadSearchEngines(const std::filesystem::path& catalogue, SearchEngineList& list) {
    list.Assign(ReadSearchEngineNames(catalogue));
}

std::string BuildResultUrl(const std::filesystem::path& catalogue, std::string_view engine, int page,
                           std::string_view keyword) {
    const IniFile ini(catalogue);
    int maxPage = ini.ReadInteger(engine, MaxPageKey, DefaultMaxPage);
    if (maxPage == NoPageLimit) {
        maxPage = std::numeric_limits<std::int32_t>::max();
    }
    // A page past the limit has no address whatever the other keys say; the Search command asks
    // for every page up to its count, so most calls end here without reading the file again.
    if (page > maxPage) {
        return {};
    }
    std::string url = ini.ReadString(engine, UrlKey, DefaultResultUrl);
    const int step = ini.ReadInteger(engine, PageStepKey, DefaultPageStep);
    const int offset = ini.ReadInteger(engine, PageOffsetKey, DefaultPageOffset);
    url = ReplaceAll(url, KeywordPlaceholder, keyword);
    return ReplaceAll(url, PagePlaceholder, std::to_string(PageValue(offset, page, step)));
}

int ClampPagesPerEngine(int value) {
    return std::clamp(value, MinPagesPerEngine, MaxPagesPerEngine);
}

int StorePagesPerEngine(const std::filesystem::path& preferences, int value) {
    const int pages = ClampPagesPerEngine(value);
    IniFile(preferences).WriteInteger(PreferencesGeneralSection, PagesPreferenceKey, pages);
    return pages;
}

}  // namespace ostrevane
