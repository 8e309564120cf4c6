#include "util/Text.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ostrevane {
namespace {

constexpr std::size_t NoPosition = std::string::npos;

// Occurrences count only before the text's first NUL byte.
std::size_t SearchLimit(std::string_view text) {
    const void* nul = std::memchr(text.data(), '\0', text.size());
    return nul == nullptr ? text.size() : static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
}

std::size_t Find(std::string_view text, std::size_t from, std::size_t limit, std::string_view pattern) {
    if (from >= limit || limit - from < pattern.size()) {
        return NoPosition;
    }
    const std::string_view region = text.substr(from, limit - from);
    const std::size_t at = pattern.size() == 1 ? region.find(pattern.front()) : region.find(pattern);
    return at == NoPosition ? NoPosition : from + at;
}

// One left-to-right pass: each occurrence of the original text is replaced once and the inserted
// text is never searched.
std::string ReplaceEach(const std::string& text, std::string_view pattern, std::string_view replacement,
                        std::size_t limit) {
    std::size_t at = Find(text, 0, limit, pattern);
    if (at == NoPosition) {
        return text;
    }
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (at != NoPosition) {
        out.append(text, pos, at - pos);
        out.append(replacement);
        pos = at + pattern.size();
        at = Find(text, pos, limit, pattern);
    }
    out.append(text, pos, NoPosition);
    return out;
}

bool Contains(std::string_view text, char c) { return text.find(c) != std::string_view::npos; }

}  // namespace

std::string ReplaceRescan(std::string text, std::string_view pattern, std::string_view replacement) {
    if (pattern.empty() || text.empty() || Contains(pattern, '\0')) {
        return text;
    }
    const std::size_t limit = SearchLimit(text);
    if (replacement.find(pattern) != std::string_view::npos) {
        return ReplaceEach(text, pattern, replacement, limit);
    }

    // The text is `out` followed by the unread bytes text[pos..]. No occurrence starts in `out`
    // before `from`: after a replacement at j, only positions from j - |pattern| + 1 on can hold
    // an occurrence that the rescan from the beginning would find, so only that edge is searched
    // again. `outNul` is where a NUL brought in by the replacement cuts the search short.
    const std::size_t patternSize = pattern.size();
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    std::size_t from = 0;
    std::size_t outNul = NoPosition;
    const bool replacementHasNul = Contains(replacement, '\0');
    // A replacement that overlaps its own edges can make the rescan grow the text without end,
    // or far beyond any use (a keyword of marker characters can). The rescan stops after as many
    // replacements, or at as many bytes, as 64 times the text; fixed patterns never get near.
    const std::size_t bound = 64 * (text.size() + 64);
    std::size_t budget = bound;

    const auto replaced = [&](std::size_t at) {
        from = at >= patternSize - 1 ? at - (patternSize - 1) : 0;
        if (replacementHasNul) {
            outNul = out.find('\0');
        }
    };

    while (budget-- > 0 && out.size() < bound) {
        bool found = false;
        const std::size_t edgeEnd = std::min(out.size(), outNul);
        for (std::size_t j = from; j < edgeEnd && !found; ++j) {
            if (out[j] != pattern.front()) {
                continue;
            }
            const std::size_t inOut = out.size() - j;
            if (inOut >= patternSize) {
                if (std::string_view(out).substr(j, patternSize) == pattern) {
                    out.replace(j, patternSize, replacement);
                    replaced(j);
                    found = true;
                }
            } else if (outNul == NoPosition && limit - pos >= patternSize - inOut &&
                       std::string_view(out).substr(j) == pattern.substr(0, inOut) &&
                       std::string_view(text).substr(pos, patternSize - inOut) == pattern.substr(inOut)) {
                out.resize(j);
                out.append(replacement);
                pos += patternSize - inOut;
                replaced(j);
                found = true;
            }
        }
        if (found) {
            continue;
        }
        from = out.size();
        const std::size_t at = outNul == NoPosition ? Find(text, pos, limit, pattern) : NoPosition;
        if (at == NoPosition) {
            break;
        }
        out.append(text, pos, at - pos);
        const std::size_t outAt = out.size();
        out.append(replacement);
        pos = at + patternSize;
        replaced(outAt);
    }
    out.append(text, pos, NoPosition);
    return out;
}

std::string ReplaceAll(std::string text, std::string_view pattern, std::string_view replacement) {
    // An empty pattern has no occurrence; the text comes back as it is.
    if (pattern.empty() || text.empty()) {
        return text;
    }
    // When neither the pattern nor a non-empty replacement holds a marker character, no
    // occurrence can form across the edge of an inserted marker or replacement, so both phases
    // are single left-to-right passes. They fuse into one when the text holds no '$' either,
    // since then the only markers are the inserted ones. (Deleting a marker can join a '$~' and
    // a '$' of the text around it into a new one, hence the empty replacement's exception.)
    const auto plain = [](std::string_view s) { return !Contains(s, '$') && !Contains(s, '~') && !Contains(s, '\0'); };
    if (plain(pattern) && plain(replacement)) {
        const std::size_t limit = SearchLimit(text);
        if (std::memchr(text.data(), '$', limit) == nullptr) {
            return ReplaceEach(text, pattern, replacement, limit);
        }
        if (!replacement.empty()) {
            const std::string marked = ReplaceEach(text, pattern, ReplaceMarker, limit);
            return ReplaceEach(marked, ReplaceMarker, replacement, SearchLimit(marked));
        }
    }
    return ReplaceRescan(ReplaceRescan(std::move(text), pattern, ReplaceMarker), ReplaceMarker, replacement);
}

std::string StripLineBreaks(std::string_view text) {
    std::string out(text.size(), '\0');
    char* o = out.data();
    const char* p = text.data();
    const std::size_t size = text.size();
    std::size_t n = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i tab = _mm_set1_epi8('\t');
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const unsigned drop = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, tab))));
        if (drop == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + n), v);
            n += 16;
            continue;
        }
        for (unsigned k = 0; k < 16; ++k) {
            o[n] = p[i + k];
            n += ((drop >> k) & 1u) ^ 1u;
        }
    }
#endif
    for (; i < size; ++i) {
        const char c = p[i];
        o[n] = c;
        n += (c != '\r' && c != '\n' && c != '\t') ? 1 : 0;
    }
    out.resize(n);
    return out;
}

std::string StripWhitespace(std::string_view text) {
    // The same text as ReplaceAll(StripLineBreaks(text), " ", ""), in one pass. Each space
    // becomes a marker and every marker is deleted, leftmost first, with a rescan after each
    // deletion. The output never holds a marker, so the leftmost marker of the whole text is
    // always the first one completed at the output's end: pushing a '$' that completes one
    // deletes it, and a pushed marker vanishes unless the output ends in "$~", where it joins
    // that "$~" instead. Nothing is searched after the first NUL byte.
    std::string out(text.size(), '\0');
    char* o = out.data();
    const char* p = text.data();
    const std::size_t size = text.size();
    std::size_t n = 0;
    std::size_t i = 0;
    const auto endsWithDollarTilde = [&] { return n >= 2 && o[n - 2] == '$' && o[n - 1] == '~'; };
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i dollar = _mm_set1_epi8('$');
    const __m128i nul = _mm_setzero_si128();
#endif
    while (i < size) {
#if defined(__SSE2__)
        if (i + 16 <= size) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const unsigned special =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, dollar), _mm_cmpeq_epi8(v, nul))));
            const unsigned blank = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, cr)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, tab)))));
            if (special == 0) {
                if (blank == 0) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + n), v);
                    n += 16;
                    i += 16;
                    continue;
                }
                // Without a '$' in the block, and with an output that does not end in '$' or
                // "$~", no marker can form: blanks simply go.
                if (n == 0 || (o[n - 1] != '$' && !endsWithDollarTilde())) {
                    for (unsigned k = 0; k < 16; ++k) {
                        o[n] = p[i + k];
                        n += ((blank >> k) & 1u) ^ 1u;
                    }
                    i += 16;
                    continue;
                }
            }
        }
#endif
        const char c = p[i];
        if (c == '\0') {
            break;
        }
        ++i;
        switch (c) {
        case '\r':
        case '\n':
        case '\t':
            break;
        case ' ':
            if (endsWithDollarTilde()) {
                n -= 2;
                if (n > 0 && o[n - 1] == '$') {
                    --n;
                } else {
                    o[n++] = '~';
                    o[n++] = '$';
                }
            }
            break;
        case '$':
            o[n++] = '$';
            if (n >= 3 && o[n - 3] == '$' && o[n - 2] == '~') {
                n -= 3;
            }
            break;
        default:
            o[n++] = c;
            break;
        }
    }
    // After the first NUL only the line breaks go.
    for (; i < size; ++i) {
        const char c = p[i];
        o[n] = c;
        n += (c != '\r' && c != '\n' && c != '\t') ? 1 : 0;
    }
    out.resize(n);
    return out;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AsciiLowerCopy(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiLower);
    return out;
}

std::string AsciiUpperCopy(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), AsciiUpper);
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace ostrevane
