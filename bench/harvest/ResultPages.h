#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrevane::bench {

// Synthetic search-result pages shaped like real ones: 60 to 120 KB each, mostly inline style,
// script and JSON, with about 100 to 130 anchors of every kind a harvester meets (plain and
// secure results, redirects with plain, percent-encoded, twice-encoded and base64 targets,
// relative, mail, script and protocol-relative links, ports, numeric hosts, "http" inside host
// labels), tags and attributes in mixed case, blanks and line breaks inside tags, unquoted
// targets followed by another attribute, tags that merely begin with "a" (abbr, aside, article,
// address, area) and the odd "<a href=" inside a script string. Hosts come from a shared pool of
// popular sites, which recur across pages, and fresh ones under 16 top-level domains.
//
// The same (keyword, page, variant) always gives the same bytes.
class ResultPageGenerator final {
public:
    explicit ResultPageGenerator(std::uint64_t variant);

    [[nodiscard]] std::string Page(std::string_view keyword, int pageNumber) const;

private:
    std::uint64_t variant_;
    std::string popular_[60];
};

}  // namespace ostrevane::bench
