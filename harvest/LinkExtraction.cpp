#include "harvest/LinkExtraction.h"

#include <cstddef>
#include <cstring>

namespace ostrevane {
namespace {

constexpr std::size_t None = std::string_view::npos;

constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

constexpr bool IsLinkEnd(char c) {
    return c == '\'' || c == '"' || c == '>';
}

// A link as raw page positions [Begin, End); its flat text is those bytes without blanks, folded.
struct LinkSpan {
    std::size_t Begin = 0;
    std::size_t End = 0;
};

// Walks the anchors of a page in the page's own bytes, as if they were its flat text: blanks are
// skipped where they could split a pattern, and letters are compared folded. Each of the three
// searches ("<a", "href=", link end) moves forward only, and the last answer of the two that
// can be asked again from an earlier point is kept, so no byte is searched twice by one of them.
class LinkScanner final {
public:
    explicit LinkScanner(std::string_view page) : page_(page) {}

    // The next link, or false at the end of the page.
    [[nodiscard]] bool Next(LinkSpan& link);

private:
    [[nodiscard]] std::size_t SkipBlanks(std::size_t at) const;
    // The raw position right after the next "<a" at or after pos_, or None.
    [[nodiscard]] std::size_t FindAnchor() const;
    // The raw position right after the first "href=" that begins at or after `from`, or None.
    [[nodiscard]] std::size_t FindHref(std::size_t from);
    // The raw position of the first quote or ">" at or after `from`, or None.
    [[nodiscard]] std::size_t FindLinkEnd(std::size_t from);
    // The raw position of the page's last non-blank byte.
    [[nodiscard]] std::size_t LastFlatByte();

    std::string_view page_;
    std::size_t pos_ = 0;  // where the search for the next "<a" starts
    // The last "href=" search: begun at hrefFrom_, found beginning at hrefStart_ and ending at
    // hrefEnd_ (both None when there was none). A search from a point up to hrefStart_ finds it.
    std::size_t hrefFrom_ = None;
    std::size_t hrefStart_ = None;
    std::size_t hrefEnd_ = None;
    // The last link-end search: begun at endFrom_, found at endAt_ (None when there was none).
    std::size_t endFrom_ = None;
    std::size_t endAt_ = None;
    std::size_t lastFlat_ = None;
};

std::size_t LinkScanner::SkipBlanks(std::size_t at) const {
    while (at < page_.size() && IsBlank(page_[at])) {
        ++at;
    }
    return at;
}

std::size_t LinkScanner::FindAnchor() const {
    const char* data = page_.data();
    const std::size_t size = page_.size();
    std::size_t at = pos_;
    while (at < size) {
        const void* found = std::memchr(data + at, '<', size - at);
        if (found == nullptr) {
            return None;
        }
        const std::size_t next = SkipBlanks(static_cast<std::size_t>(static_cast<const char*>(found) - data) + 1);
        if (next < size && FoldAscii(data[next]) == 'a') {
            return next + 1;
        }
        at = next;
    }
    return None;
}

std::size_t LinkScanner::FindHref(std::size_t from) {
    if (hrefFrom_ != None && from >= hrefFrom_ && (hrefStart_ == None || from <= hrefStart_)) {
        return hrefEnd_;
    }
    hrefFrom_ = from;
    hrefStart_ = None;
    hrefEnd_ = None;
    const char* data = page_.data();
    const std::size_t size = page_.size();
    // Every "href=" ends in "=", which is rarer than any of its letters: find each "=" and read
    // the four letters before it backwards, blanks skipped, never before `from`.
    static constexpr char Word[] = {'f', 'e', 'r', 'h'};
    std::size_t at = from;
    while (at < size) {
        const void* found = std::memchr(data + at, '=', size - at);
        if (found == nullptr) {
            break;
        }
        const std::size_t equals = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        std::size_t i = equals;
        bool matched = true;
        for (const char expected : Word) {
            while (i > from && IsBlank(data[i - 1])) {
                --i;
            }
            if (i == from || FoldAscii(data[i - 1]) != expected) {
                matched = false;
                break;
            }
            --i;
        }
        if (matched) {
            hrefStart_ = i;
            hrefEnd_ = equals + 1;
            break;
        }
        at = equals + 1;
    }
    return hrefEnd_;
}

std::size_t LinkScanner::FindLinkEnd(std::size_t from) {
    if (endFrom_ != None && from >= endFrom_ && (endAt_ == None || from <= endAt_)) {
        return endAt_;
    }
    endFrom_ = from;
    endAt_ = None;
    for (std::size_t i = from; i < page_.size(); ++i) {
        if (IsLinkEnd(page_[i])) {
            endAt_ = i;
            break;
        }
    }
    return endAt_;
}

std::size_t LinkScanner::LastFlatByte() {
    if (lastFlat_ == None) {
        std::size_t i = page_.size();
        while (i > 0 && IsBlank(page_[i - 1])) {
            --i;
        }
        // Only asked once a non-blank byte is known to exist, so i is at least 1.
        lastFlat_ = i - 1;
    }
    return lastFlat_;
}

bool LinkScanner::Next(LinkSpan& link) {
    const std::size_t size = page_.size();
    const std::size_t anchor = FindAnchor();
    if (anchor == None) {
        pos_ = size;
        return false;
    }
    std::size_t at = FindHref(anchor);
    if (at == None) {
        // Without an "href=" further on, the link starts four flat characters after the "<a".
        at = anchor;
        for (int count = 0; count < 4 && at < size; ++at) {
            if (!IsBlank(page_[at])) {
                ++count;
            }
        }
    }
    at = SkipBlanks(at);
    if (at < size && (page_[at] == '"' || page_[at] == '\'')) {
        at = SkipBlanks(at + 1);
    }
    if (at >= size) {
        // The page ends right after "<a", "href=" or its quote: nothing more to read.
        pos_ = size;
        return false;
    }
    std::size_t end = FindLinkEnd(at);
    if (end == None) {
        end = LastFlatByte();
    }
    link = LinkSpan{at, end};
    pos_ = at;
    return true;
}

void AppendFlat(std::string_view page, const LinkSpan& link, std::string& out) {
    for (std::size_t i = link.Begin; i < link.End; ++i) {
        const char c = page[i];
        if (!IsBlank(c)) {
            out.push_back(FoldAscii(c));
        }
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Every %XX with two hex digits becomes its byte, left to right; the bytes it gives are not read
// again, so "%2541" gives "%41".
std::string DecodeEscapesOnce(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::optional<std::string> ReduceDecoded(std::string_view link) {
    static constexpr std::string_view Plain = "http://";
    static constexpr std::string_view Secure = "https://";
    const std::size_t plain = link.rfind(Plain);
    const std::size_t secure = link.rfind(Secure);
    std::string_view host;
    if (secure != None && (plain == None || secure > plain)) {
        host = link.substr(secure + Secure.size());
    } else if (plain != None) {
        host = link.substr(plain + Plain.size());
    } else {
        return std::nullopt;
    }
    const std::size_t first = host.find_first_not_of('/');
    host = first == None ? std::string_view{} : host.substr(first);
    // Cutting at the first "?", then the first "&", then the first "/" leaves what stands
    // before the first of the three.
    host = host.substr(0, host.find_first_of("?&/"));
    const std::size_t last = host.rfind('.');
    if (last != None && last > 0) {
        const std::size_t before = host.rfind('.', last - 1);
        if (before != None) {
            host = host.substr(before + 1);
        }
    }
    return std::string(host);
}

}  // namespace

void ExtractLinks(std::string_view page, std::vector<std::string>& links) {
    LinkScanner scanner(page);
    LinkSpan link;
    while (scanner.Next(link)) {
        std::string flat;
        AppendFlat(page, link, flat);
        links.push_back(std::move(flat));
    }
}

std::optional<std::string> ReduceLinkToDomain(std::string_view link) {
    if (link.find('%') == None) {
        return ReduceDecoded(link);
    }
    return ReduceDecoded(DecodeEscapesOnce(link));
}

void CollectDomains(std::string_view page, FoundDomainList& found, std::string_view origin) {
    LinkScanner scanner(page);
    LinkSpan link;
    std::size_t previousEnd = None;
    std::string flat;
    while (scanner.Next(link)) {
        // Links that end at the same byte overlap: the later one is a tail of the one before.
        // The last "http://" or "https://" of the earlier link gives the tail the same name when
        // it lies in the tail, and the tail has none otherwise (where the tail starts inside an
        // escape of the earlier link it begins with hex digits, which never begin "http").
        // Reducing only the first of them keeps a page of unclosed anchors linear.
        if (link.End == previousEnd) {
            continue;
        }
        previousEnd = link.End;
        flat.clear();
        AppendFlat(page, link, flat);
        std::optional<std::string> name = ReduceLinkToDomain(flat);
        if (name && !found.Contains(*name)) {
            found.Append(std::move(*name), std::string(origin));
        }
    }
}

}  // namespace ostrevane
