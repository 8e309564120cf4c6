#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The search-engine catalogue (configs/searchengines.ini) and the "Pages" setting.
//
// The catalogue is read afresh by every call and never cached, so an edit to the file takes
// effect at the next search. Its layout: section "general" holds `secount` and the names se0,
// se1, ...; each engine has a section of its own name with `url` (the result-page template with
// "$Keyword" and "$Page"), `mp` (the highest result page it serves, -1 for no limit), `offset`
// (the "$Page" value of page 1) and `lpp` (the step between two pages' "$Page" values).
namespace ostrevane {

inline constexpr std::string_view SearchEnginesFileName = "searchengines.ini";

// The name of an engine whose se key is missing.
inline constexpr std::string_view UnnamedEngine = "n/a";

// A catalogue lists at most this many engines, whatever its `secount` says: a mistyped count
// would otherwise fill memory with unnamed rows.
inline constexpr int MaxSearchEngines = 1000;

// What an engine section gives for a key it lacks.
inline constexpr int DefaultMaxPage = 0;  // no page at all
inline constexpr int DefaultPageStep = 1000;
inline constexpr int DefaultPageOffset = 1000;
inline constexpr std::string_view DefaultResultUrl = "";  // an engine without `url` yields no job

// One row of the engine check list.
struct SearchEngineRow {
    std::string Name;
    bool Checked = false;
};

// The engines of the search panel in catalogue order, each with its check box. The window
// renders it and forwards clicks; the Search command reads the ticked names. Main thread only.
class SearchEngineList final {
public:
    // Replaces every row by the names given, all unchecked.
    void Assign(std::vector<std::string> names);

    [[nodiscard]] std::size_t Count() const { return rows_.size(); }
    [[nodiscard]] const std::vector<SearchEngineRow>& Rows() const { return rows_; }
    [[nodiscard]] const SearchEngineRow& operator[](std::size_t index) const { return rows_[index]; }
    void SetChecked(std::size_t index, bool checked);
    // The ticked engines' names, first row to last.
    [[nodiscard]] std::vector<std::string> CheckedNames() const;

    // Bumped by every change, so that a view can tell when to redraw.
    [[nodiscard]] std::uint64_t Version() const { return version_; }

private:
    std::vector<SearchEngineRow> rows_;
    std::uint64_t version_ = 0;
};

// The engine names the catalogue lists, in order: `secount` names (at most MaxSearchEngines),
// each from its se key or UnnamedEngine. A missing or unreadable catalogue lists none.
[[nodiscard]] std::vector<std::string> ReadSearchEngineNames(const std::filesystem::path& catalogue);

// Refills the list from the catalogue; every row starts unchecked.
void LoadSearchEngines(const std::filesystem::path& catalogue, SearchEngineList& list);

// The URL of the engine's result page `page` (counted from 1) for the keyword, or the empty text
// when the engine has no such page (above its `mp`, or no section of its own). The keyword goes
// in as typed, before "$Page" is replaced, and "$Page" becomes offset + (page - 1) * lpp in
// 32-bit signed arithmetic (wrapping as the engines' numbering always has).
[[nodiscard]] std::string BuildResultUrl(const std::filesystem::path& catalogue, std::string_view engine, int page,
                                         std::string_view keyword);

// The "Pages" setting: result pages per engine, from 0 to 1000.
inline constexpr int MinPagesPerEngine = 0;
inline constexpr int MaxPagesPerEngine = 1000;
inline constexpr std::string_view PreferencesGeneralSection = "general";
inline constexpr std::string_view PagesPreferenceKey = "pages";

[[nodiscard]] int ClampPagesPerEngine(int value);

// Clamps the value, stores it as `pages` in section "general" of the preferences file (every
// other line kept) and returns it. Throws IniWriteError when the file cannot be written; the
// clamped value, ClampPagesPerEngine(value), is then still the one to use.
int StorePagesPerEngine(const std::filesystem::path& preferences, int value);

}  // namespace ostrevane
