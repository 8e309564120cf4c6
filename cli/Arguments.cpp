#include "cli/Arguments.h"

#include <charconv>

namespace ostrevane::cli {

Arguments::Arguments(const std::vector<std::string>& arguments,
                     const std::set<std::string, std::less<>>& valueOptions,
                     const std::set<std::string, std::less<>>& flags) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!argument.starts_with("--")) {
            positional_.push_back(argument);
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        if (valueOptions.contains(name)) {
            if (equals != std::string::npos) {
                values_[name].push_back(argument.substr(equals + 1));
            } else if (i + 1 < arguments.size()) {
                values_[name].push_back(arguments[++i]);
            } else {
                throw UsageError("option --" + name + " needs a value");
            }
        } else if (flags.contains(name) && equals == std::string::npos) {
            flags_.insert(name);
        } else {
            throw UsageError("unknown option " + argument);
        }
    }
}

std::optional<std::string> Arguments::Value(std::string_view name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) {
        return std::nullopt;
    }
    if (found->second.size() > 1) {
        throw UsageError("option --" + std::string(name) + " is given more than once");
    }
    return found->second.front();
}

std::vector<std::string> Arguments::Values(std::string_view name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? std::vector<std::string>{} : found->second;
}

std::optional<int> Arguments::Number(std::string_view name, int low, int high) const {
    const std::optional<std::string> text = Value(name);
    if (!text) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || error != std::errc() || end != text->data() + text->size() || value < low || value > high) {
        throw UsageError("--" + std::string(name) + " takes a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + *text + "'");
    }
    return value;
}

}  // namespace ostrevane::cli
