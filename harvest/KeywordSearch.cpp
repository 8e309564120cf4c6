#include "harvest/KeywordSearch.h"

#include "engine/RunEngine.h"
#include "harvest/LinkExtraction.h"
#include "harvest/SearchEngines.h"

namespace ostrevane {

SearchJobs BuildSearchJobs(const std::filesystem::path& catalogue, const std::vector<std::string>& engines, int pages,
                           std::string_view keyword) {
    SearchJobs jobs;
    for (const std::string& engine : engines) {
        for (int page = 1; page <= pages; ++page) {
            std::string url = BuildResultUrl(catalogue, engine, page, keyword);
            if (!url.empty()) {
                jobs.Urls.push_back(std::move(url));
                jobs.Origins.push_back(engine + "," + std::to_string(page));
            }
        }
    }
    return jobs;
}

void StartKeywordSearch(RunEngine& engine, const std::filesystem::path& catalogue,
                        const std::vector<std::string>& engines, int pages, std::string_view keyword) {
    SearchJobs jobs = BuildSearchJobs(catalogue, engines, pages, keyword);
    engine.StartSearchRun(std::move(jobs.Urls), std::move(jobs.Origins));
}

void HarvestJobHandler::CollectDomains(const std::string& page, FoundDomainList& found, const std::string& origin) {
    ostrevane::CollectDomains(page, found, origin);
}

}  // namespace ostrevane
