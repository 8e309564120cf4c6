#include "bench/harvest/ResultPages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <span>

namespace ostrevane::bench {
namespace {

// SplitMix64: small, fast and the same on every platform.
class Rng final {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    int Between(int low, int high) {
        return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Next() % N];
    }

private:
    std::uint64_t state_;
};

struct Weighted {
    std::string_view Value;
    double Weight;
};

std::string_view PickWeighted(Rng& rng, std::span<const Weighted> items) {
    double total = 0;
    for (const Weighted& item : items) {
        total += item.Weight;
    }
    double x = rng.Unit() * total;
    for (const Weighted& item : items) {
        x -= item.Weight;
        if (x <= 0) {
            return item.Value;
        }
    }
    return items.back().Value;
}

constexpr std::string_view Syllables[] = {
    "ka",  "lo",  "mi",   "ne",   "ru",  "ta",    "so",   "vi",   "de",   "po",   "la",   "ze",  "fi",
    "gu",  "ba",  "no",   "ri",   "sa",  "te",    "mo",   "lu",   "pra",  "tel",  "win",  "dor", "fax",
    "mar", "zen", "kor",  "bel",  "sun", "hub",   "net",  "web",  "bit",  "pix",  "go",   "top", "pro",
    "max", "one", "star", "blue", "red", "green", "snap", "loop", "peak", "nova", "orbit"};

constexpr Weighted Tlds[] = {{"com", 45},   {"net", 10},  {"org", 10}, {"info", 5}, {"biz", 3}, {"us", 3},
                             {"de", 4},     {"co.uk", 4}, {"io", 3},   {"ru", 3},   {"fr", 2},  {"jp", 2},
                             {"com.au", 2}, {"eu", 1},    {"nl", 1},   {"ca", 2}};

constexpr Weighted Prefixes[] = {{"www.", 45}, {"", 25},    {"m.", 5},          {"blog.", 5}, {"shop.", 5},
                                 {"en.", 5},   {"a.b.", 3}, {"static.cdn.", 4}, {"WWW.", 3}};

constexpr std::string_view Words[] = {
    "the",   "of",      "and",      "to",    "in",    "for",         "is",           "on",          "with",   "best",
    "cheap", "buy",     "review",   "guide", "how",   "what",        "top",          "free",        "online", "new",
    "price", "compare", "official", "site",  "deals", "news",        "tips",         "2024",        "home",   "service",
    "local", "near",    "me",       "shop",  "store", "caf\xC3\xA9", "na\xC3\xAFve", "\xE2\x80\x93"};

enum class Kind {
    Http,
    Https,
    Redirect,
    RedirectEscaped,
    RedirectBase64,
    Relative,
    ProtocolRelative,
    Misc,
    Port,
    Numeric,
    RedirectEscapedTwice,
    HttpInHost
};

struct WeightedKind {
    Kind Value;
    double Weight;
};

constexpr WeightedKind Kinds[] = {{Kind::Http, 26},
                                  {Kind::Https, 26},
                                  {Kind::Redirect, 10},
                                  {Kind::RedirectEscaped, 8},
                                  {Kind::RedirectBase64, 3},
                                  {Kind::Relative, 18},
                                  {Kind::ProtocolRelative, 3},
                                  {Kind::Misc, 3},
                                  {Kind::Port, 1.5},
                                  {Kind::Numeric, 1.5},
                                  {Kind::RedirectEscapedTwice, 1},
                                  {Kind::HttpInHost, 2}};

Kind PickKind(Rng& rng) {
    double total = 0;
    for (const WeightedKind& kind : Kinds) {
        total += kind.Weight;
    }
    double x = rng.Unit() * total;
    for (const WeightedKind& kind : Kinds) {
        x -= kind.Weight;
        if (x <= 0) {
            return kind.Value;
        }
    }
    return Kind::Http;
}

std::string Label(Rng& rng, int syllables = 0) {
    if (syllables == 0) {
        syllables = rng.Between(2, 3);
    }
    std::string label;
    for (int i = 0; i < syllables; ++i) {
        label += rng.Pick(Syllables);
    }
    return label;
}

std::string Hex(std::uint64_t value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%llx", static_cast<unsigned long long>(value));
    return buffer;
}

std::string Blank(Rng& rng) {
    const double r = rng.Unit();
    if (r < 0.55) {
        return "";
    }
    if (r < 0.75) {
        return " ";
    }
    if (r < 0.85) {
        return "\n" + std::string(static_cast<std::size_t>(rng.Between(0, 12)), ' ');
    }
    if (r < 0.93) {
        return "\t";
    }
    return "\r\n\t ";
}

std::string MixedCase(Rng& rng, std::string text) {
    const double r = rng.Unit();
    if (r < 0.80) {
        return text;
    }
    if (r < 0.92) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
        return text;
    }
    if (text[0] >= 'a' && text[0] <= 'z') {
        text[0] = static_cast<char>(text[0] - 32);
    }
    return text;
}

std::string PercentEncode(std::string_view text) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(Digits[byte >> 4]);
            out.push_back(Digits[byte & 15]);
        }
    }
    return out;
}

std::string Prose(Rng& rng, std::string_view keyword, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            text.push_back(' ');
        }
        text += rng.Unit() < 0.08 ? keyword : rng.Pick(Words);
    }
    return text;
}

std::string Path(Rng& rng, std::string_view keyword) {
    static constexpr std::string_view Parts[] = {"wiki", "p", "2023", "products", "en-us"};
    std::string path = "/";
    const int parts = rng.Between(0, 3);
    for (int i = 0; i < parts; ++i) {
        if (i > 0) {
            path.push_back('/');
        }
        const int which = rng.Between(0, 6);
        path += which == 0 ? std::string(keyword) : which == 1 ? Label(rng, 1) : std::string(Parts[which - 2]);
    }
    if (rng.Unit() < 0.3) {
        path += ".html";
    }
    if (rng.Unit() < 0.25) {
        path += "?id=" + std::to_string(rng.Between(1, 99999)) + "&ref=serp";
    }
    return path;
}

std::string Script(Rng& rng, std::size_t size) {
    std::string text;
    while (text.size() < size) {
        std::string name = "_";
        const int length = rng.Between(3, 9);
        for (int i = 0; i < length; ++i) {
            name.push_back("abcdefghijklmnopqrstuvwxyz0123456789"[rng.Next() % 36]);
        }
        text.append(static_cast<std::size_t>(rng.Between(0, 8)), ' ');
        const double r = rng.Unit();
        if (r < 0.004) {
            text += name + ".innerHTML='<a href=\"'+u+'\">'+t+'</a>';";
        } else if (r < 0.5) {
            text += "var " + name + "=function(a,b){return a&&b?a.split(\"-\").join(b):null};";
        } else if (r < 0.8) {
            text += "window." + name + "={k:" + std::to_string(rng.Between(0, 1000000)) + ",s:\"" + Hex(rng.Next()) +
                    "\",f:[";
            const int values = rng.Between(2, 12);
            for (int i = 0; i < values; ++i) {
                text += (i > 0 ? "," : "") + std::to_string(rng.Between(0, 999));
            }
            text += "]};";
        } else {
            text += "if(" + name + ">" + std::to_string(rng.Between(0, 99)) + "){" + name + "(" +
                    std::to_string(rng.Between(0, 9)) + ",'" + Label(rng) + "')}";
        }
        text += rng.Unit() < 0.66 ? "\n" : "\r\n";
    }
    return text;
}

std::string Style(Rng& rng, std::size_t size) {
    std::string text;
    while (text.size() < size) {
        text += ".c" + Hex(rng.Next() & 0xFFFFF) + "{margin:" + std::to_string(rng.Between(0, 20)) + "px " +
                std::to_string(rng.Between(0, 20)) + "px;color:#" + Hex(rng.Next() & 0xFFFFFF) +
                ";font:" + std::to_string(rng.Between(10, 20)) + "px/1.4 arial,sans-serif}\n";
    }
    return text;
}

}  // namespace

ResultPageGenerator::ResultPageGenerator(std::uint64_t variant) : variant_(variant) {
    Rng rng(variant * 7919 + 1);
    for (std::string& host : popular_) {
        host = Label(rng) + "." + std::string(PickWeighted(rng, Tlds));
    }
}

std::string ResultPageGenerator::Page(std::string_view keyword, int pageNumber) const {
    std::uint64_t seed = variant_ * 0x100000001b3ULL + static_cast<std::uint64_t>(pageNumber);
    for (const char c : keyword) {
        seed = (seed ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    Rng rng(seed);
    const std::string kw(keyword);

    const auto host = [&] {
        std::string base;
        if (rng.Unit() < 0.22) {
            const double pareto = std::pow(1.0 - rng.Unit(), -1.0 / 1.2);
            base = popular_[std::min<std::size_t>(static_cast<std::size_t>(pareto) - 1, std::size(popular_) - 1)];
        } else {
            std::string stem = Label(rng);
            if (rng.Unit() < 0.3) {
                const int which = rng.Between(0, 3);
                stem = which == 0 ? kw + stem : which == 1 ? stem + kw : which == 2 ? "best" + kw : kw + "-" + stem;
            }
            base = stem + "." + std::string(PickWeighted(rng, Tlds));
        }
        return std::string(PickWeighted(rng, Prefixes)) + base;
    };

    const auto href = [&](Kind kind) -> std::string {
        switch (kind) {
        case Kind::Http:
            return "http://" + host() + Path(rng, kw);
        case Kind::Https:
            return "https://" + host() + Path(rng, kw);
        case Kind::Redirect: {
            std::string target = "http://" + host() + Path(rng, kw);
            for (std::size_t at = target.find('&'); at != std::string::npos; at = target.find('&', at + 5)) {
                target.replace(at, 1, "&amp;");
            }
            return "/url?q=" + target + "&sa=U&ved=" + Hex(rng.Next() >> 16);
        }
        case Kind::RedirectEscaped:
            return "https://r.serp-fixture.test/rd?u=" + PercentEncode("https://" + host() + Path(rng, kw)) +
                   "&ck=" + Hex(rng.Next() >> 24);
        case Kind::RedirectEscapedTwice:
            return "https://r.serp-fixture.test/rd?u=" +
                   PercentEncode(PercentEncode("https://" + host() + Path(rng, kw))) + "&ck=" + Hex(rng.Next() >> 24);
        case Kind::HttpInHost:
            return std::string(rng.Unit() < 0.5 ? "http" : "https") + "://" + std::string(PickWeighted(rng, Prefixes)) +
                   Label(rng, 1) + "http" + Label(rng, 1) + "." + std::string(PickWeighted(rng, Tlds)) + Path(rng, kw);
        case Kind::RedirectBase64:
            return "https://www.serp-fixture.test/ck/a?!&&p=" + Hex(rng.Next()) + "&u=a1aHR0cHM6Ly9" +
                   Hex(rng.Next() >> 32) + "&ntb=1";
        case Kind::Relative: {
            const int which = rng.Between(0, 5);
            return which == 0 ? "/search?q=" + kw + "+" + std::string(rng.Pick(Words)) +
                                    "&first=" + std::to_string(rng.Between(1, 9) * 10 + 1)
                   : which == 1 ? std::string("#")
                   : which == 2 ? "/images/search?q=" + kw
                   : which == 3 ? "/videos?q=" + kw
                   : which == 4 ? std::string("/settings")
                                : "?q=" + kw + "&tbm=nws";
        }
        case Kind::ProtocolRelative:
            return "//cdn." + host() + "/img/" + Hex(rng.Next() >> 40) + ".png";
        case Kind::Misc: {
            const int which = rng.Between(0, 3);
            return which == 0   ? "mailto:info@" + host()
                   : which == 1 ? "javascript:void(0)"
                   : which == 2 ? "tel:+15550100"
                                : "";
        }
        case Kind::Port: {
            static constexpr int Ports[] = {8080, 8443, 81};
            return "http://" + host() + ":" + std::to_string(rng.Pick(Ports)) + "/";
        }
        case Kind::Numeric:
            return "http://192.0.2." + std::to_string(rng.Between(1, 254)) + "/" + kw;
        }
        return {};
    };

    const auto anchor = [&](std::string_view text, Kind kind) {
        const std::string target = href(kind);
        const std::string a = MixedCase(rng, "a");
        const std::string hrefName = MixedCase(rng, "href");
        static constexpr std::string_view Quotes[] = {"\"", "\"", "\"", "'", ""};
        const std::string_view quote = target.find(' ') == std::string::npos ? rng.Pick(Quotes) : "\"";
        if (quote.empty() && rng.Unit() < 0.5) {
            return "<" + a + " " + hrefName + "=" + target + " target=_blank>" + std::string(text) + "</" + a + ">";
        }
        static constexpr std::string_view Extras[] = {"", " class=\"l\"", " data-ved=\"4f2a\"", " rel=\"noopener\"",
                                                      " ping=\"/p?x=1\""};
        std::string pre = rng.Unit() < 0.33 ? " id=\"r" + std::to_string(rng.Between(1, 99)) + "\"" : "";
        std::string blank = Blank(rng);
        return "<" + a + pre + (blank.empty() ? " " : blank) + hrefName + Blank(rng) + "=" + Blank(rng) +
               std::string(quote) + target + std::string(quote) + std::string(rng.Pick(Extras)) + ">" +
               std::string(text) + "</" + a + ">";
    };

    const std::size_t target = static_cast<std::size_t>(rng.Between(60000, 120000));
    const std::string nl = rng.Unit() < 0.3 ? "\r\n" : "\n";
    std::string page;
    page.reserve(target + 16384);
    page += "<!DOCTYPE html>" + nl + "<HTML lang=\"en\">" + nl + "<head><meta charset=\"utf-8\"><title>" + kw +
            " - Search</title>" + nl;
    page += "<style>" + Style(rng, static_cast<std::size_t>(rng.Between(4000, 12000))) + "</style>" + nl;
    page += "<script>" + Script(rng, static_cast<std::size_t>(rng.Between(8000, 20000))) + "</script>" + nl +
            "</head>" + nl + "<body class=\"srp\">" + nl;
    page += "<header><nav>";
    for (const std::string_view item : {"All", "Images", "Videos", "News", "Maps", "Shopping", "Books", "Flights"}) {
        page += anchor(item, Kind::Relative) + Blank(rng);
    }
    page += "<abbr title=\"Search\">S</abbr></nav></header>" + nl;
    page += "<form action=\"/search\"><input name=\"q\" value=\"" + kw +
            "\"><input type=hidden name=first value=" + std::to_string(pageNumber) + "></form>" + nl;
    page += "<aside class=\"ads\">";
    const int ads = rng.Between(3, 5);
    for (int i = 0; i < ads; ++i) {
        const Kind kind = std::array{Kind::RedirectEscaped, Kind::Redirect, Kind::RedirectBase64}[rng.Next() % 3];
        page += "<div class=\"ad\">" + anchor("Ad: " + Prose(rng, kw, 4), kind) + "<cite>" + host() + "</cite><p>" +
                Prose(rng, kw, 18) + "</p></div>" + nl;
    }
    page += "</aside>" + nl + "<main id=\"b_results\">" + nl;
    for (int i = 0; i < 10; ++i) {
        page += "<article class=\"r\" data-pos=\"" + std::to_string(i) + "\">" + nl;
        const std::string blank = Blank(rng);
        page += "<h2>" + anchor(Prose(rng, kw, 6), PickKind(rng)) + "</h2>" + (blank.empty() ? nl : blank);
        page += "<div class=\"s\"><cite>" + host() + "</cite>" + Blank(rng) + "<p>" +
                Prose(rng, kw, rng.Between(25, 60)) + "</p>";
        const int extra = rng.Between(2, 6);
        for (int j = 0; j < extra; ++j) {
            page += anchor(Prose(rng, kw, 2), PickKind(rng)) + Blank(rng);
        }
        page += anchor("Cached", std::array{Kind::Redirect, Kind::Relative, Kind::Https}[rng.Next() % 3]);
        page += "</div></article>" + nl;
        if (i == 4) {
            page += "<script>" + Script(rng, static_cast<std::size_t>(rng.Between(2000, 6000))) + "</script>" + nl;
        }
    }
    page += "</main>" + nl + "<div class=\"rel\">";
    for (int i = 0; i < 8; ++i) {
        page += anchor(kw + " " + Prose(rng, kw, 2), Kind::Relative) + Blank(rng);
    }
    page += "</div><nav class=\"pg\">";
    for (int i = 1; i <= 10; ++i) {
        page += "<a href=\"/search?q=" + kw + "&amp;first=" + std::to_string(1 + (i - 1) * 10) + "\">" +
                std::to_string(i) + "</a>";
    }
    page += "</nav>" + nl + "<footer><address>" + Prose(rng, kw, 5) + "</address>";
    const int footer = rng.Between(4, 8);
    for (int i = 0; i < footer; ++i) {
        const Kind kind = std::array{Kind::Https, Kind::Http, Kind::Misc, Kind::ProtocolRelative}[rng.Next() % 4];
        page += anchor(Prose(rng, kw, 2), kind) + Blank(rng);
    }
    page += "<map name=\"m\"><area shape=\"rect\" coords=\"0,0,1,1\" href=\"" + href(Kind::Http) +
            "\"></map></footer>" + nl;
    while (page.size() + 200 < target) {
        page += "<script type=\"application/json\" id=\"d" + Hex(rng.Next() & 0xFFFF) + "\">" +
                Script(rng, std::min<std::size_t>(8000, target - page.size())) + "</script>" + nl;
    }
    page += "</body></HTML>" + nl;
    return page;
}

}  // namespace ostrevane::bench
