#include "util/Text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <immintrin.h>
#define OSTREVANE_HAVE_BLOCKS 1
#endif

namespace ostrevane {
namespace {

constexpr std::size_t NoPosition = std::string::npos;

// Occurrences count only before the text's first NUL byte.
std::size_t SearchLimit(std::string_view text) {
    const void* nul = std::memchr(text.data(), '\0', text.size());
    return nul == nullptr ? text.size() : static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
}

// The leftmost occurrence of the pattern in text[from..limit), or NoPosition. Longer patterns
// are found 16 positions at a time by their first and last bytes, then compared in full.
std::size_t Find(std::string_view text, std::size_t from, std::size_t limit, std::string_view pattern) {
    if (from >= limit || limit - from < pattern.size()) {
        return NoPosition;
    }
    const char* p = text.data();
    if (pattern.size() == 1) {
        const void* at = std::memchr(p + from, pattern.front(), limit - from);
        return at == nullptr ? NoPosition : static_cast<std::size_t>(static_cast<const char*>(at) - p);
    }
    const std::size_t last = pattern.size() - 1;
    std::size_t i = from;
#if OSTREVANE_HAVE_BLOCKS
    const __m128i first = _mm_set1_epi8(pattern.front());
    const __m128i final = _mm_set1_epi8(pattern.back());
    for (; i + last + 16 <= limit; i += 16) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + last));
        unsigned candidates = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(head, first), _mm_cmpeq_epi8(tail, final))));
        while (candidates != 0) {
            const std::size_t at = i + static_cast<unsigned>(__builtin_ctz(candidates));
            if (std::memcmp(p + at + 1, pattern.data() + 1, last - 1) == 0) {
                return at;
            }
            candidates &= candidates - 1;
        }
    }
#endif
    const std::size_t at = text.substr(0, limit).find(pattern, i);
    return at == std::string_view::npos ? NoPosition : at;
}

// One left-to-right pass: each occurrence of the original text is replaced once and the inserted
// text is never searched.
std::string ReplaceEach(std::string_view text, std::string_view pattern, std::string_view replacement,
                        std::size_t limit) {
    std::size_t at = Find(text, 0, limit, pattern);
    if (at == NoPosition) {
        return std::string(text);
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
    out.append(text.substr(pos));
    return out;
}

bool Contains(std::string_view text, char c) { return text.find(c) != std::string_view::npos; }

// Writes the outcome of ReplaceAll's second phase while the first one runs: bytes pass through,
// and whenever the output ends in a marker, the marker becomes the replacement. The replacement
// holds no marker character, so what it leaves at the end never completes a marker, and the
// leftmost marker of the whole text is always the one completed last. The buffer keeps 64 bytes
// of slack beyond the written part for 16-byte stores.
class MarkerOutput final {
public:
    MarkerOutput(std::string_view replacement, std::size_t capacity)
        : replacement_(replacement), buffer_(capacity + Slack, '\0') {}

    void Reserve(std::size_t more) {
        if (written_ + more + Slack > buffer_.size()) {
            buffer_.resize(std::max(buffer_.size() * 2, written_ + more + Slack));
        }
    }

    // Bytes that hold no '$' cannot complete a marker.
    void Plain(const char* p, std::size_t n) {
        Reserve(n);
        std::memcpy(buffer_.data() + written_, p, n);
        written_ += n;
    }

    void Bytes(const char* p, std::size_t n) {
        while (n > 0) {
            const auto* dollar = static_cast<const char*>(std::memchr(p, '$', n));
            const std::size_t plain = dollar == nullptr ? n : static_cast<std::size_t>(dollar - p);
            Plain(p, plain);
            if (dollar == nullptr) {
                return;
            }
            Dollar();
            p += plain + 1;
            n -= plain + 1;
        }
    }

    void Dollar() {
        Reserve(replacement_.size() + 1);
        char* o = buffer_.data();
        o[written_++] = '$';
        if (written_ >= 3 && o[written_ - 3] == '$' && o[written_ - 2] == '~') {
            written_ -= 3;
            Replacement();
        }
    }

    // The marker that stands in for one occurrence of the pattern. Its first '$' completes a
    // marker with a "$~" already at the end; its "~$" then follows the replacement.
    void Marker() {
        Reserve(replacement_.size() + 2);
        char* o = buffer_.data();
        if (written_ >= 2 && o[written_ - 2] == '$' && o[written_ - 1] == '~') {
            written_ -= 2;
            Replacement();
            o[written_++] = '~';
            Dollar();  // an empty replacement may leave a '$' before it
        } else {
            Replacement();
        }
    }

#if OSTREVANE_HAVE_BLOCKS
    // The whole first phase for a one-byte pattern, 16 bytes at a time; returns how far it got.
    std::size_t SingleBytePattern(const char* p, std::size_t limit, std::size_t size, char pattern) {
        const __m128i wanted = _mm_set1_epi8(pattern);
        const __m128i dollar = _mm_set1_epi8('$');
        const std::size_t worstBlock = 16 * (replacement_.size() + 2);
        std::size_t i = 0;
        // Stores copy whole blocks from any start inside one, so 16 bytes past the block must
        // still belong to the text.
        for (; i + 16 <= limit && i + 32 <= size; i += 16) {
            Reserve(worstBlock);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            unsigned hits = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, wanted), _mm_cmpeq_epi8(v, dollar))));
            if (hits == 0) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer_.data() + written_), v);
                written_ += 16;
                continue;
            }
            unsigned start = 0;
            do {
                const auto at = static_cast<unsigned>(__builtin_ctz(hits));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer_.data() + written_),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + start)));
                written_ += at - start;
                if (p[i + at] == '$') {
                    Dollar();
                } else {
                    Marker();
                }
                start = at + 1;
                hits &= hits - 1;
            } while (hits != 0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(buffer_.data() + written_),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + start)));
            written_ += 16 - start;
        }
        return i;
    }
#endif

    [[nodiscard]] std::string Take() && {
        buffer_.resize(written_);
        return std::move(buffer_);
    }

private:
    static constexpr std::size_t Slack = 64;

    void Replacement() {
        if (replacement_.size() <= 16 && written_ + 16 <= buffer_.size()) {
            // Short replacements go with one 16-byte copy from a padded buffer.
            std::memcpy(buffer_.data() + written_, PaddedReplacement().data(), 16);
        } else {
            std::memcpy(buffer_.data() + written_, replacement_.data(), replacement_.size());
        }
        written_ += replacement_.size();
    }

    const std::array<char, 16>& PaddedReplacement() {
        if (!padded_) {
            padded_.emplace();
            padded_->fill('\0');
            std::memcpy(padded_->data(), replacement_.data(), std::min<std::size_t>(replacement_.size(), 16));
        }
        return *padded_;
    }

    std::string_view replacement_;
    std::string buffer_;
    std::size_t written_ = 0;
    std::optional<std::array<char, 16>> padded_;
};

// ReplaceAll for a pattern and a replacement that hold no '$', '~' or NUL: the first phase
// cannot form an occurrence across an inserted marker, so it is a plain left-to-right scan whose
// markers go straight to the second phase.
std::string ReplaceThroughMarkers(std::string_view text, std::string_view pattern, std::string_view replacement) {
    const std::size_t limit = SearchLimit(text);
    const std::size_t capacity =
        replacement.size() <= pattern.size() ? text.size() : text.size() + text.size() / 4 + 64;
    MarkerOutput out(replacement, capacity);
    const char* p = text.data();
    std::size_t pos = 0;
#if OSTREVANE_HAVE_BLOCKS
    if (pattern.size() == 1) {
        pos = out.SingleBytePattern(p, limit, text.size(), pattern.front());
    }
#endif
    // Where the next '$' stands: segments before it need no marker checks.
    std::size_t nextDollar = pos;
    const auto findDollar = [&](std::size_t from) {
        const void* at = std::memchr(p + from, '$', limit - from);
        return at == nullptr ? limit : static_cast<std::size_t>(static_cast<const char*>(at) - p);
    };
    nextDollar = findDollar(pos);
    for (std::size_t at; (at = Find(text, pos, limit, pattern)) != NoPosition; pos = at + pattern.size()) {
        if (nextDollar >= at) {
            out.Plain(p + pos, at - pos);
        } else {
            out.Bytes(p + pos, at - pos);
            nextDollar = findDollar(at);
        }
        out.Marker();
    }
    out.Bytes(p + pos, limit - pos);
    std::string result = std::move(out).Take();
    result.append(text.substr(limit));
    return result;
}

bool IsLineBreak(char c) { return c == '\r' || c == '\n' || c == '\t'; }

// Copies p[from..size) to o from n on, without line breaks; returns the new length written.
std::size_t CopyWithoutLineBreaks(const char* p, std::size_t from, std::size_t size, char* o, std::size_t n) {
    for (std::size_t i = from; i < size; ++i) {
        const char c = p[i];
        o[n] = c;
        n += IsLineBreak(c) ? 0 : 1;
    }
    return n;
}

#if OSTREVANE_HAVE_BLOCKS
struct BlockProgress {
    std::size_t Read;
    std::size_t Written;
};

// Packs the bytes of a 16-byte block whose bit is set in `keep` to the front of `out` (which has
// room for 16), returning how many there are.
inline unsigned CompactPortable(const char* in, unsigned keep, char* out) {
    unsigned n = 0;
    for (unsigned k = 0; k < 16; ++k) {
        out[n] = in[k];
        n += (keep >> k) & 1u;
    }
    return n;
}

// The bytes of a block that are a space, CR, LF or TAB.
inline __m128i BlanksPortable(__m128i v) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))),
                        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))));
}

#define OSTREVANE_BLOCKS(name) Portable##name
#define OSTREVANE_COMPACT CompactPortable
#define OSTREVANE_BLANKS BlanksPortable
#include "util/TextBlocks.inc"
#undef OSTREVANE_BLOCKS
#undef OSTREVANE_COMPACT
#undef OSTREVANE_BLANKS

// For each 8-bit mask, the shuffle that moves the bytes whose bits are set to the front.
constexpr std::array<std::array<std::uint8_t, 8>, 256> MakeShuffleTable() {
    std::array<std::array<std::uint8_t, 8>, 256> table{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned n = 0;
        for (unsigned k = 0; k < 8; ++k) {
            if ((mask >> k) & 1u) {
                table[mask][n++] = static_cast<std::uint8_t>(k);
            }
        }
        for (; n < 8; ++n) {
            table[mask][n] = 0x80;
        }
    }
    return table;
}
alignas(64) constexpr std::array<std::array<std::uint8_t, 8>, 256> ShuffleTable = MakeShuffleTable();

#pragma GCC push_options
#pragma GCC target("ssse3,popcnt")
inline unsigned CompactShuffle(const char* in, unsigned keep, char* out) {
    const unsigned low = keep & 0xFFu;
    const unsigned high = keep >> 8;
    const __m128i first = _mm_shuffle_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in)),
                                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ShuffleTable[low].data())));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), first);
    const auto lowCount = static_cast<unsigned>(__builtin_popcount(low));
    const __m128i second = _mm_shuffle_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8)),
                                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ShuffleTable[high].data())));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + lowCount), second);
    return lowCount + static_cast<unsigned>(__builtin_popcount(high));
}

// The blanks have distinct low nibbles (space 0x20, TAB 0x09, LF 0x0A, CR 0x0D): a byte is one
// when the table entry its low nibble picks equals it. The other entries hold a byte of another
// low nibble, and bytes from 0x80 pick 0, so neither ever matches.
inline __m128i BlanksShuffle(__m128i v) {
    const __m128i table = _mm_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0);
    return _mm_cmpeq_epi8(_mm_shuffle_epi8(table, v), v);
}

#define OSTREVANE_BLOCKS(name) Shuffle##name
#define OSTREVANE_COMPACT CompactShuffle
#define OSTREVANE_BLANKS BlanksShuffle
#include "util/TextBlocks.inc"
#undef OSTREVANE_BLOCKS
#undef OSTREVANE_COMPACT
#undef OSTREVANE_BLANKS
#pragma GCC pop_options

bool HasByteShuffle() {
    static const bool has = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return has;
}
#endif

}  // namespace

std::string ReplaceRescan(std::string_view text, std::string_view pattern, std::string_view replacement) {
    if (pattern.empty() || text.empty() || Contains(pattern, '\0')) {
        return std::string(text);
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
    out.append(text.substr(pos));
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view pattern, std::string_view replacement) {
    // An empty pattern has no occurrence; the text comes back as it is.
    if (pattern.empty() || text.empty()) {
        return std::string(text);
    }
    // Pattern and replacement without marker characters: both phases in one pass.
    const auto plain = [](std::string_view s) { return !Contains(s, '$') && !Contains(s, '~') && !Contains(s, '\0'); };
    if (plain(pattern) && plain(replacement)) {
        return ReplaceThroughMarkers(text, pattern, replacement);
    }
    return ReplaceRescan(ReplaceRescan(text, pattern, ReplaceMarker), ReplaceMarker, replacement);
}

std::string StripLineBreaks(std::string_view text) {
    std::string out(text.size(), '\0');
    char* o = out.data();
    const char* p = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
    std::size_t n = 0;
#if OSTREVANE_HAVE_BLOCKS
    const BlockProgress done =
        HasByteShuffle() ? ShuffleStripLineBreaksBlocks(p, size, o) : PortableStripLineBreaksBlocks(p, size, o);
    i = done.Read;
    n = done.Written;
#endif
    out.resize(CopyWithoutLineBreaks(p, i, size, o, n));
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
#if OSTREVANE_HAVE_BLOCKS
    const bool shuffle = HasByteShuffle();
#endif
    while (i < size) {
#if OSTREVANE_HAVE_BLOCKS
        const BlockProgress done = shuffle ? ShuffleStripWhitespaceBlocks(p + i, size - i, o, n)
                                           : PortableStripWhitespaceBlocks(p + i, size - i, o, n);
        i += done.Read;
        n = done.Written;
#endif
        // A block the fast path left, byte by byte.
        const std::size_t blockEnd = std::min(size, i + 16);
        for (; i < blockEnd && p[i] != '\0'; ++i) {
            const char c = p[i];
            if (IsLineBreak(c)) {
                continue;
            }
            if (c == ' ') {
                if (endsWithDollarTilde()) {
                    n -= 2;
                    if (n > 0 && o[n - 1] == '$') {
                        --n;
                    } else {
                        o[n++] = '~';
                        o[n++] = '$';
                    }
                }
                continue;
            }
            o[n++] = c;
            if (c == '$' && n >= 3 && o[n - 3] == '$' && o[n - 2] == '~') {
                n -= 3;
            }
        }
        if (i < size && p[i] == '\0') {
            break;
        }
    }
    // After the first NUL only the line breaks go.
    out.resize(CopyWithoutLineBreaks(p, i, size, o, n));
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
