#include <ostream>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/RunDriver.h"
#include "engine/CurlWebClient.h"
#include "engine/MainThread.h"
#include "engine/RunEngine.h"
#include "harvest/CsvExport.h"
#include "harvest/KeywordSearch.h"
#include "validate/DateRecognition.h"
#include "validate/PosixTcpConnector.h"
#include "validate/ValidationCommands.h"
#include "validate/ValidationJob.h"
#include "validate/WhoisClient.h"
#include "validate/WhoisInterpretation.h"

namespace ostrevane::cli {
namespace {

constexpr std::string_view WhoisTableFileName = "whoistldconf.ini";

// Checks that the configuration files a command reads are there, before it does anything.
void RequireConfigs(const std::filesystem::path& configs, std::initializer_list<std::string_view> names) {
    for (const std::string_view name : names) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(configs / name, error)) {
            throw UsageError("missing configuration file " + (configs / name).string());
        }
    }
}

std::string WithLineEnd(std::string text) {
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    return text;
}

}  // namespace

int ValidateCommand(const std::vector<std::string>& arguments, Console& console) {
    const Arguments options(arguments, {"input", "configs", "output"}, {"errors-only"});
    if (!options.Positional().empty()) {
        throw UsageError("unexpected argument '" + options.Positional().front() + "' (use --input FILE)");
    }
    const std::filesystem::path configs = ConfigsDirectory(options.Values("configs"), console);
    RequireConfigs(configs, {WhoisTableFileName, WhoisResponseFileName, DateFormatsFileName});
    std::vector<std::string> input;
    if (const auto file = options.Value("input")) {
        input.push_back(*file);
    }
    std::vector<ResultRow> rows = ParseExportText(ReadInput(input, console));
    if (rows.empty()) {
        throw UsageError("no domain names to validate in the input");
    }
    const bool errorsOnly = options.Flag("errors-only");
    const std::optional<std::string> output = options.Value("output");
    if (output) {
        const std::filesystem::path folder = std::filesystem::path(*output).parent_path();
        std::error_code error;
        if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
            throw UsageError("cannot write " + *output + ": no folder " + folder.string());
        }
    }

    const std::filesystem::path preferencesFile = configs / "preferences.ini";
    const CurlGlobal curl;
    CallQueue calls;
    CurlWebClientFactory web(curl);
    PosixTcpConnector connector;
    HarvestJobHandler harvest;
    ValidationJob job(connector, configs);
    RunEngine engine(RunEngine::Services{calls, web, harvest, job});
    engine.ApplyPreferences(ReadPreferences(preferencesFile));
    for (ResultRow& row : rows) {
        // An export keeps no pictures: a row whose availability is a final answer counts as
        // validated, so that --errors-only passes it over.
        const std::string& registered = row.SubItems[SubRegistered];
        if (errorsOnly && (registered == RegisteredText || registered == NotRegisteredText)) {
            row.Picture = ImageValidated;
        }
        engine.Results().AppendRow(std::move(row));
    }
    StartValidation(engine, preferencesFile, errorsOnly);
    const int queued = engine.View().GaugeMaximum;
    RunToEnd(engine, calls, console, "names");
    engine.Shutdown();

    const std::vector<ResultRow>& results = engine.Results().Rows();
    if (output) {
        WriteExportFile(*output, results);
    } else {
        console.Out << ExportText(results) << std::flush;
    }
    int failed = 0;
    int expiring = 0;
    for (const ResultRow& row : results) {
        failed += row.Picture == ImageError || row.Picture == ImageValidating ? 1 : 0;
        expiring += row.Picture == ImageExpiring ? 1 : 0;
    }
    console.Err << queued << " of " << results.size() << " names validated; " << failed << " with errors, "
                << expiring << " expiring within 90 days.\n";
    return ExitSuccess;
}

int WhoisCommand(const std::vector<std::string>& arguments, Console& console) {
    const Arguments options(arguments, {"configs"}, {});
    if (options.Positional().size() != 1) {
        throw UsageError("whois needs exactly one DOMAIN");
    }
    const std::string& domain = options.Positional().front();
    const std::filesystem::path configs = ConfigsDirectory(options.Values("configs"), console);
    RequireConfigs(configs, {WhoisTableFileName, WhoisResponseFileName, DateFormatsFileName});
    const Preferences preferences = ReadPreferences(configs / "preferences.ini");
    PosixTcpConnector connector;
    const WhoisLookupResult lookup = WhoisLookup(connector, configs / WhoisTableFileName, domain, "",
                                                 std::chrono::milliseconds(preferences.Timeout), {});
    const WhoisAnswerReading reading = ReadWhoisAnswer(lookup.Text, configs, CurrentLocalYear());
    console.Out << WithLineEnd(lookup.Text) << "Registrar: " << lookup.Registrar << '\n'
                << "Expires: " << reading.Expires << '\n'
                << "Email: " << reading.Email << '\n';
    return ExitSuccess;
}

int InterpretCommand(const std::vector<std::string>& arguments, Console& console) {
    const Arguments options(arguments, {"configs"}, {});
    const std::filesystem::path configs = ConfigsDirectory(options.Values("configs"), console);
    RequireConfigs(configs, {WhoisResponseFileName, DateFormatsFileName});
    const std::string answer = ReadInput(options.Positional(), console);
    const WhoisAnswerReading reading = ReadWhoisAnswer(answer, configs, CurrentLocalYear());
    console.Out << "Expires: " << reading.Expires << '\n' << "Email: " << reading.Email << '\n';
    return ExitSuccess;
}

}  // namespace ostrevane::cli
