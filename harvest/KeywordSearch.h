#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/JobHandlers.h"

namespace ostrevane {

class RunEngine;

// The jobs of a keyword search: for every engine in the order given and every page from 1 to
// `pages`, the result page's URL and its origin (engine name, ",", page number), leaving out the
// pages an engine does not serve.
struct SearchJobs {
    std::vector<std::string> Urls;
    std::vector<std::string> Origins;
};
[[nodiscard]] SearchJobs BuildSearchJobs(const std::filesystem::path& catalogue, const std::vector<std::string>& engines,
                                         int pages, std::string_view keyword);

// The Search command: starts a harvesting run of the ticked engines' result pages for the
// keyword, exactly as typed. Nothing is checked first: with no job the run closes at the next tick.
void StartKeywordSearch(RunEngine& engine, const std::filesystem::path& catalogue,
                        const std::vector<std::string>& engines, int pages, std::string_view keyword);

// Job completion of a search job: the page's new names go into the run's found list.
class HarvestJobHandler final : public SearchJobHandler {
public:
    void CollectDomains(const std::string& page, FoundDomainList& found, const std::string& origin) override;
};

}  // namespace ostrevane
