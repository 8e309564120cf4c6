#pragma once

#include <string_view>

namespace ostrevane {

// The text after the name's last "." (the whole name when it has none, the empty text when it
// ends in ".").
[[nodiscard]] std::string_view ExtractTld(std::string_view name);

// The end-of-run filter: a name is listed when its top-level domain (the text after its last
// ".") is exactly COM, NET, ORG, INFO, BIZ or US, in any case.
[[nodiscard]] bool HasListedTld(std::string_view name);

}  // namespace ostrevane
