#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ostrevane::test {

// A fresh folder under the system's temporary directory, removed with everything in it when the
// object goes out of scope.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }
    // Writes bytes to a file inside the folder (creating sub-folders) and returns its path.
    std::filesystem::path Write(std::string_view relative, std::string_view bytes) const;
    // The whole content of a file inside the folder, or the empty text when it cannot be read.
    [[nodiscard]] std::string Read(std::string_view relative) const;

private:
    std::filesystem::path path_;
};

}  // namespace ostrevane::test
