#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrevane {

// The bytes of a regular file; nothing when it is missing, a folder, or cannot be read.
[[nodiscard]] std::optional<std::string> ReadFileBytes(const std::filesystem::path& file);

// The lines of a text, split at CR LF, LF or CR; a line end at the very end of the text starts no
// further line. The views point into the text.
[[nodiscard]] std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace ostrevane
