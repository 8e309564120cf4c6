#include "validate/ValidationCommands.h"

#include "engine/ResultsList.h"
#include "engine/RunEngine.h"
#include "util/IniFile.h"

namespace ostrevane {
namespace {

std::string EncodeQueryValue(std::string_view value) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '.' || byte == '_' || byte == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += Hex[byte >> 4];
            encoded += Hex[byte & 0x0F];
        }
    }
    return encoded;
}

}  // namespace

std::string ReadAvailabilityCheckUrl(const std::filesystem::path& preferencesFile) {
    const IniFile preferences(preferencesFile);
    std::string url = preferences.ReadString(ResellerSection, "url", DefaultResellerUrl);
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    return url + "/interface.asp?command=check&uid=" +
           EncodeQueryValue(preferences.ReadString(ResellerSection, "uid", DefaultResellerUid)) +
           "&pw=" + EncodeQueryValue(preferences.ReadString(ResellerSection, "pw", DefaultResellerPw)) + "&DomainList=";
}

std::vector<std::string> ValidationQueue(const ResultsList& results, bool errorsOnly) {
    std::vector<std::string> queue;
    for (std::size_t i = results.Count(); i-- > 0;) {
        const ResultRow& row = results[i];
        if (errorsOnly && (row.Picture == ImageValidated || row.Picture == ImageExpiring)) {
            continue;
        }
        queue.push_back(row.Domain());
    }
    return queue;
}

bool StartValidation(RunEngine& engine, const std::filesystem::path& preferencesFile, bool errorsOnly) {
    if (!engine.View().IsEnabled(Command::Validate)) {
        return false;
    }
    engine.StartValidationRun(ValidationQueue(engine.Results(), errorsOnly), ReadAvailabilityCheckUrl(preferencesFile));
    return true;
}

}  // namespace ostrevane
