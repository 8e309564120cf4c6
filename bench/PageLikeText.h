#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace ostrevane::bench {

// Text shaped like a search-result page: markup with attributes, indented lines, inline script
// (with the odd '$') and prose, so that blanks, line breaks and quotes come as densely as they do
// in real pages. The same size always gives the same bytes.
inline std::string PageLikeText(std::size_t size) {
    static constexpr const char* Pieces[] = {
        "<div class=\"result\" data-id=\"",
        "\">\r\n      <a href=\"https://www.example-shop.com/items?id=",
        "\" rel=\"noopener\">Cheap widgets and gadgets</a>\r\n",
        "    <span class=\"snippet\">Find the best widgets for your home, garden and office. </span>\n",
        "<script>var q = $(\"#q\").val(); if (q && q.length > 2) { suggest(q, 10); }</script>\n",
        "\t\t<li><a href=\"/url?q=http://blog.widgets.example.net/2026/12/\">Widgets blog</a></li>\n",
        "  <p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.</p>\r\n",
        "{\"title\":\"Widgets\",\"url\":\"https:\\/\\/shop.example.org\\/\",\"rank\":",
    };
    std::mt19937 random(2026);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(Pieces) - 1);
    std::string page;
    page.reserve(size + 128);
    while (page.size() < size) {
        page += Pieces[pick(random)];
        page += std::to_string(random() % 100000);
    }
    page.resize(size);
    return page;
}

}  // namespace ostrevane::bench
