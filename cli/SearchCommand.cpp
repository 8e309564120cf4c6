#include <algorithm>
#include <ostream>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/RunDriver.h"
#include "engine/CurlWebClient.h"
#include "engine/MainThread.h"
#include "engine/RunEngine.h"
#include "harvest/CsvExport.h"
#include "harvest/KeywordSearch.h"
#include "harvest/LinkExtraction.h"
#include "harvest/SearchEngines.h"

namespace ostrevane::cli {
namespace {

// Collects names as the window does, and counts the pages that arrived.
class CountingHarvest final : public SearchJobHandler {
public:
    void CollectDomains(const std::string& page, FoundDomainList& found, const std::string& origin) override {
        ++Pages;
        harvest_.CollectDomains(page, found, origin);
    }
    int Pages = 0;

private:
    HarvestJobHandler harvest_;
};

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined;
}

// An output file is checked before the run, so that an hour's search is not lost at the end.
void CheckOutputFolder(const std::filesystem::path& output) {
    const std::filesystem::path folder = output.parent_path().empty() ? "." : output.parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        throw UsageError("cannot write " + output.string() + ": no folder " + folder.string());
    }
}

}  // namespace

int SearchCommand(const std::vector<std::string>& arguments, Console& console) {
    const Arguments options(arguments, {"keyword", "engine", "pages", "configs", "output"}, {});
    if (!options.Positional().empty()) {
        throw UsageError("unexpected argument '" + options.Positional().front() + "'");
    }
    const std::optional<std::string> keyword = options.Value("keyword");
    if (!keyword) {
        throw UsageError("search needs --keyword WORD");
    }
    const std::filesystem::path configs = ConfigsDirectory(options.Values("configs"), console);
    const std::filesystem::path catalogue = configs / SearchEnginesFileName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(catalogue, error)) {
        throw UsageError("no search-engine catalogue at " + catalogue.string());
    }
    const std::vector<std::string> catalogued = ReadSearchEngineNames(catalogue);
    std::vector<std::string> engines = options.Values("engine");
    for (const std::string& engine : engines) {
        if (std::find(catalogued.begin(), catalogued.end(), engine) == catalogued.end()) {
            throw UsageError("unknown engine '" + engine + "' (the catalogue lists: " + JoinNames(catalogued) + ")");
        }
    }
    if (engines.empty()) {
        engines = catalogued;
    }
    const Preferences preferences = ReadPreferences(configs / "preferences.ini");
    const int pages = options.Number("pages", MinPagesPerEngine, MaxPagesPerEngine)
                          .value_or(ClampPagesPerEngine(preferences.Pages));
    const std::optional<std::string> output = options.Value("output");
    if (output) {
        CheckOutputFolder(*output);
    }

    const CurlGlobal curl;
    CallQueue calls;
    CurlWebClientFactory web(curl);
    CountingHarvest harvest;
    NoValidation validation;
    RunEngine engine(RunEngine::Services{calls, web, harvest, validation});
    engine.ApplyPreferences(preferences);
    StartKeywordSearch(engine, catalogue, engines, pages, *keyword);
    const int jobs = engine.View().GaugeMaximum;
    RunToEnd(engine, calls, console, "pages");
    const std::int64_t kilobytes = engine.State().BytesReceived / 1000;
    engine.Shutdown();

    const std::vector<ResultRow>& rows = engine.Results().Rows();
    if (output) {
        WriteExportFile(*output, rows);
    } else {
        console.Out << ExportText(rows) << std::flush;
    }
    console.Err << engine.View().Heading << '\n';
    console.Err << harvest.Pages << " of " << jobs << " result pages fetched";
    if (harvest.Pages < jobs) {
        console.Err << ", " << jobs - harvest.Pages << " not";
    }
    console.Err << "; " << kilobytes << " kb received.\n";
    return ExitSuccess;
}

}  // namespace ostrevane::cli
