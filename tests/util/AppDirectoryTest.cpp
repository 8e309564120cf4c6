#include "util/AppDirectory.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TempDir.h"

namespace ostrevane {
namespace {

TEST(ExtractDirectoryTest, KeepsEverythingUpToTheLastSlash) {
    struct Row {
        const char* Name;
        std::string_view Path;
        std::string_view Expected;
    };
    constexpr std::array Rows{
        Row{"plain", "/opt/tools/app", "/opt/tools/"},
        Row{"root", "/app", "/"},
        Row{"no slash", "app", ""},
        Row{"empty", "", ""},
        Row{"trailing slash", "/opt/tools/", "/opt/tools/"},
        Row{"backslash is an ordinary character", "/opt/a\\b", "/opt/"},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ExtractDirectory(row.Path), row.Expected);
    }
}

TEST(ConfigPathTest, AppendsTheConfigsFolderAndName) {
    EXPECT_EQ(ConfigPath("/opt/tools/", "preferences.ini"), std::filesystem::path("/opt/tools/configs/preferences.ini"));
    // Without a directory the bare relative name remains.
    EXPECT_EQ(ConfigPath("", "preferences.ini"), std::filesystem::path("configs/preferences.ini"));
}

TEST(AppDirectoryTest, IsTheFolderOfTheRunningExecutable) {
    const std::string directory = AppDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    EXPECT_TRUE(std::filesystem::equivalent(directory, std::filesystem::read_symlink("/proc/self/exe").parent_path()));
}

std::string RunAndCapture(const std::filesystem::path& program) {
    std::string output;
    FILE* pipe = ::popen(("'" + program.string() + "'").c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    ::pclose(pipe);
    return output;
}

// A program installed deep in the file system still finds its folder, however long its path.
TEST(AppDirectoryTest, HasNoLengthLimit) {
    const test::TempDir temp;
    for (const std::size_t depth : {1, 8, 40}) {
        SCOPED_TRACE(depth);
        std::filesystem::path folder = temp.Path();
        for (std::size_t i = 0; i < depth; ++i) {
            folder /= "a-rather-long-folder-name-" + std::to_string(i);
        }
        std::filesystem::create_directories(folder);
        const std::filesystem::path program = folder / "print_app_directory";
        std::filesystem::copy_file(PRINT_APP_DIRECTORY_PATH, program, std::filesystem::copy_options::overwrite_existing);
        EXPECT_EQ(RunAndCapture(program), folder.string() + "/");
    }
}

}  // namespace
}  // namespace ostrevane
