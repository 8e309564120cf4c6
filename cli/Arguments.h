#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ostrevane::cli {

// A usage error: its message is shown on one line, and the program exits with status 2.
class UsageError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The options of one subcommand: "--name value" or "--name=value" for options that take a
// value (repeatable ones keep every value), "--name" for flags, the rest positional. A lone "-"
// is positional (standard input).
class Arguments final {
public:
    Arguments(const std::vector<std::string>& arguments, const std::set<std::string, std::less<>>& valueOptions,
              const std::set<std::string, std::less<>>& flags);

    [[nodiscard]] std::optional<std::string> Value(std::string_view name) const;
    [[nodiscard]] std::vector<std::string> Values(std::string_view name) const;
    [[nodiscard]] bool Flag(std::string_view name) const { return flags_.contains(std::string(name)); }
    [[nodiscard]] const std::vector<std::string>& Positional() const { return positional_; }

    // The option's value as a whole number within [low, high]; UsageError otherwise.
    [[nodiscard]] std::optional<int> Number(std::string_view name, int low, int high) const;

private:
    std::map<std::string, std::vector<std::string>, std::less<>> values_;
    std::set<std::string, std::less<>> flags_;
    std::vector<std::string> positional_;
};

}  // namespace ostrevane::cli
