#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/FoundDomains.h"

// Domain names out of fetched result pages. The method is textual on purpose: it parses neither
// HTML nor URLs, and the exact cuts below decide which names a search yields.
//
// A page is read as if every space, TAB, CR and LF had been removed from it and every ASCII
// letter lower-cased (its "flat text"). Every tag whose flat text begins with "<a" is an anchor
// (so <abbr>, <area>, <address> as well); its link is the flat text after the next "href=" that
// follows, wherever it stands, one opening quote skipped, up to the first single quote, double
// quote or ">". A link that runs to the end of the page loses the page's last character. A page
// that ends right after "<a" or "href=" ends the scan; the links found before count.
//
// The page is read in one pass without building its flat text: the position of the next "<",
// "href=" and link end are each searched once, so the work is linear in the page's length
// whatever it holds. Every function here is pure and may run on any thread.
namespace ostrevane {

// Appends the page's links to the list, in page order, as flat text (duplicates stay).
void ExtractLinks(std::string_view page, std::vector<std::string>& links);

// The domain name a link gives, or nothing for a link that names no host:
//  1. its %XX escapes are decoded once, left to right (the bytes they give keep their case);
//  2. the host is the text after the last "http://" or "https://" of the link, so a redirect's
//     target decides; a link with neither gives nothing;
//  3. leading "/" go, then the text is cut at the first "?", then "&", then "/";
//  4. the last two dot-separated labels are kept: a port stays on the name, 192.168.1.20 gives
//     1.20, a host without a dot stays whole, and "http://" gives the empty name.
// The link is taken as ExtractLinks gives it (flat text).
[[nodiscard]] std::optional<std::string> ReduceLinkToDomain(std::string_view link);

// Reduces every link of the page and appends each name not yet in the list (compared without
// regard to case) together with the page's origin; the first spelling and the first page win.
// Main thread only, as the list is the run's.
void CollectDomains(std::string_view page, FoundDomainList& found, std::string_view origin);

}  // namespace ostrevane
