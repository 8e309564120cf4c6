#include "util/AppDirectory.h"

#include <system_error>

namespace ostrevane {

std::string ExtractDirectory(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string AppDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : ExtractDirectory(executable.string());
}

std::filesystem::path ConfigPath(std::string_view appDirectory, std::string_view name) {
    std::string path(appDirectory);
    path += "configs/";
    path += name;
    return path;
}

}  // namespace ostrevane
