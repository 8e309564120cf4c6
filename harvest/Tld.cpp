#include "harvest/Tld.h"

#include <array>

#include "util/Text.h"

namespace ostrevane {

std::string_view ExtractTld(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

bool HasListedTld(std::string_view name) {
    static constexpr std::array<std::string_view, 6> Listed{"COM", "NET", "ORG", "INFO", "BIZ", "US"};
    // A name without a dot has no top-level domain of its own.
    if (name.find('.') == std::string_view::npos) {
        return false;
    }
    const std::string_view tld = ExtractTld(name);
    for (const std::string_view listed : Listed) {
        if (EqualsIgnoreCase(tld, listed)) {
            return true;
        }
    }
    return false;
}

}  // namespace ostrevane
