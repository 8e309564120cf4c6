#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ostrevane {

// The directory part of a path: everything up to and including its last '/', or the empty text
// when the path has none.
[[nodiscard]] std::string ExtractDirectory(std::string_view path);

// The directory of the running executable, ending in '/', worked out anew at every call. There is
// no length limit: a program installed in a deep folder still finds its configuration. The empty
// text when the system cannot tell (then callers use bare relative names).
[[nodiscard]] std::string AppDirectory();

// Where the configuration file `name` lives for a program whose directory is `appDirectory`:
// appDirectory + "configs/" + name.
[[nodiscard]] std::filesystem::path ConfigPath(std::string_view appDirectory, std::string_view name);

}  // namespace ostrevane
