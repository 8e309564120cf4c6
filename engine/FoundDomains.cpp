#include "engine/FoundDomains.h"

#include "util/Text.h"

namespace ostrevane {

void FoundDomainList::Clear() {
    domains_.clear();
    origins_.clear();
    folded_.clear();
}

bool FoundDomainList::Contains(std::string_view name) const { return folded_.contains(AsciiLowerCopy(name)); }

void FoundDomainList::Append(std::string name, std::string origin) {
    folded_.insert(AsciiLowerCopy(name));
    domains_.push_back(std::move(name));
    origins_.push_back(std::move(origin));
}

void FoundDomainList::RemoveDomainsIf(const std::function<bool(const std::string&)>& drop) {
    std::erase_if(domains_, [&](const std::string& name) {
        if (!drop(name)) {
            return false;
        }
        folded_.erase(AsciiLowerCopy(name));
        return true;
    });
}

}  // namespace ostrevane
