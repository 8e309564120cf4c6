#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace ostrevane {

// The names a keyword search has found, in order of discovery, each with the origin of the page
// it was first found on (FoundDomains and FoundOn, kept together). A name counts as found when a
// name equal to it without regard to ASCII case is in the list; the lookup is a hash probe, so
// collecting stays as fast with thousands of names as with a few. Main thread only.
class FoundDomainList final {
public:
    void Clear();
    // True when a name equal to this one without regard to case was appended.
    [[nodiscard]] bool Contains(std::string_view name) const;
    // Appends the name and its origin; the caller has checked Contains.
    void Append(std::string name, std::string origin);

    [[nodiscard]] std::size_t Count() const { return domains_.size(); }
    [[nodiscard]] const std::vector<std::string>& Domains() const { return domains_; }
    [[nodiscard]] const std::vector<std::string>& Origins() const { return origins_; }

    // The end-of-run filter drops names but keeps the origins where they are (entry i of the
    // origins no longer pairs with entry i of the names after a removal before it). Drops every
    // name the predicate holds for, in one pass.
    void RemoveDomainsIf(const std::function<bool(const std::string&)>& drop);

private:
    std::vector<std::string> domains_;
    std::vector<std::string> origins_;
    std::unordered_set<std::string> folded_;  // every appended name in lower case
};

}  // namespace ostrevane
