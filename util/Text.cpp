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
// are found 16 positions at a time by their first and last bytes, then compared in full. With
// `dollar`, also tells whether a '$' may stand before the occurrence (true may overstate it).
std::size_t Find(std::string_view text, std::size_t from, std::size_t limit, std::string_view pattern,
                 bool* dollar = nullptr) {
    if (dollar != nullptr) {
        *dollar = true;
    }
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
    __m128i dollars = _mm_setzero_si128();
    for (; i + last + 16 <= limit; i += 16) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + last));
        dollars = _mm_or_si128(dollars, _mm_cmpeq_epi8(head, _mm_set1_epi8('$')));
        unsigned candidates = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(head, first), _mm_cmpeq_epi8(tail, final))));
        while (candidates != 0) {
            const std::size_t at = i + static_cast<unsigned>(__builtin_ctz(candidates));
            if (std::memcmp(p + at + 1, pattern.data() + 1, last - 1) == 0) {
                if (dollar != nullptr) {
                    *dollar = _mm_movemask_epi8(dollars) != 0;
                }
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
    MarkerOutput(std::string_view replacement, std::size_t capacity) : replacement_(replacement) {
        buffer_.reserve(capacity + Slack);
    }

    // Makes room for `more` bytes (and the slack) beyond the written part. The buffer's size is
    // the part that may be written directly; growing it fills the new part, so it grows by what
    // is asked unless `ahead` asks for more at once.
    void Reserve(std::size_t more, std::size_t ahead = 0) {
        if (written_ + more + Slack > buffer_.size()) {
            buffer_.resize(std::max(written_ + more + Slack, written_ + ahead));
        }
    }

    // Bytes that hold no '$' cannot complete a marker; they are appended without being filled
    // in first.
    void Plain(const char* p, std::size_t n) {
        buffer_.resize(written_);
        buffer_.append(p, n);
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
        constexpr std::size_t Ahead = 64 * 1024;
        std::size_t i = 0;
        // Stores copy whole blocks from any start inside one, so 16 bytes past the block must
        // still belong to the text.
        for (; i + 16 <= limit && i + 32 <= size; i += 16) {
            Reserve(worstBlock, Ahead);
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
    // A segment without a '$' cannot complete a marker and is copied as it is.
    bool dollar = true;
    for (std::size_t at; (at = Find(text, pos, limit, pattern, &dollar)) != NoPosition; pos = at + pattern.size()) {
        if (dollar) {
            out.Bytes(p + pos, at - pos);
        } else {
            out.Plain(p + pos, at - pos);
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
// The block loops of StripLineBreaks and StripWhitespace work on whole blocks and report how far
// they got; the caller finishes byte by byte. Two versions: 16-byte blocks with plain SSE2 (every
// x86-64 processor), and 32-byte blocks that pack the kept bytes with byte shuffles (AVX2).
struct BlockProgress {
    std::size_t Read;
    std::size_t Written;
};

// Whether an output that ends in '$' or "$~" might join the next blank into a marker.
bool QuietEnd(const char* o, std::size_t n) {
    return n == 0 || (o[n - 1] != '$' && !(n >= 2 && o[n - 2] == '$' && o[n - 1] == '~'));
}

// Packs the bytes of a 16-byte block whose bit is set in `keep` to the front of `out` (which has
// room for 16), returning how many there are.
unsigned CompactBlock(const char* in, unsigned keep, char* out) {
    unsigned n = 0;
    for (unsigned k = 0; k < 16; ++k) {
        out[n] = in[k];
        n += (keep >> k) & 1u;
    }
    return n;
}

unsigned Mask(__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }

__m128i LineBreaks(__m128i v) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                        _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
}

BlockProgress StripLineBreaksBlocks(const char* p, std::size_t size, char* o) {
    std::size_t i = 0;
    std::size_t n = 0;
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const unsigned drop = Mask(LineBreaks(v));
        if (drop == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + n), v);
            n += 16;
        } else {
            n += CompactBlock(p + i, ~drop & 0xFFFFu, o + n);
        }
    }
    return {i, n};
}

// Blanks go at once while no marker can form. A marker needs a '~' between two '$', so a block
// without '~' or NUL after an output that does not end in '$' or "$~" only loses its blanks; any
// other block is left to the byte loop.
BlockProgress StripWhitespaceBlocks(const char* p, std::size_t size, char* o, std::size_t n) {
    std::size_t i = 0;
    for (; i + 16 <= size && QuietEnd(o, n); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        if (Mask(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('~')), _mm_cmpeq_epi8(v, _mm_setzero_si128()))) != 0) {
            break;
        }
        const unsigned blank = Mask(_mm_or_si128(LineBreaks(v), _mm_cmpeq_epi8(v, _mm_set1_epi8(' '))));
        n += CompactBlock(p + i, ~blank & 0xFFFFu, o + n);
    }
    return {i, n};
}

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
#pragma GCC target("avx2,popcnt")
// Packs the kept bytes of a block of 8 x `parts` bytes, eight at a time, into `out` (which has
// room for the whole block).
unsigned CompactShuffled(const char* in, unsigned keep, char* out, unsigned parts) {
    unsigned n = 0;
    for (unsigned part = 0; part < parts; ++part) {
        const unsigned mask = (keep >> (8 * part)) & 0xFFu;
        const __m128i packed =
            _mm_shuffle_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 8 * part)),
                             _mm_loadl_epi64(reinterpret_cast<const __m128i*>(ShuffleTable[mask].data())));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + n), packed);
        n += static_cast<unsigned>(__builtin_popcount(mask));
    }
    return n;
}

unsigned Mask32(__m256i bytes) { return static_cast<unsigned>(_mm256_movemask_epi8(bytes)); }

// The blanks have distinct low nibbles (space 0x20, TAB 0x09, LF 0x0A, CR 0x0D): a byte is one
// when the table entry its low nibble picks equals it. The other entries hold a byte of another
// low nibble, and bytes from 0x80 pick 0, so neither ever matches. Without the space in the
// table it finds the line breaks alone.
__m256i NibbleMatch(__m256i v, char space) {
    const __m256i table = _mm256_setr_epi8(space, 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0,  //
                                           space, 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0);
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, v), v);
}

BlockProgress StripLineBreaksBlocksAvx2(const char* p, std::size_t size, char* o) {
    std::size_t i = 0;
    std::size_t n = 0;
    for (; i + 32 <= size; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        n += CompactShuffled(p + i, ~Mask32(NibbleMatch(v, 1)), o + n, 4);
    }
    return {i, n};
}

BlockProgress StripWhitespaceBlocksAvx2(const char* p, std::size_t size, char* o, std::size_t n) {
    std::size_t i = 0;
    for (; i + 32 <= size && QuietEnd(o, n); i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        if (Mask32(_mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('~')),
                                   _mm256_cmpeq_epi8(v, _mm256_setzero_si256()))) != 0) {
            break;
        }
        n += CompactShuffled(p + i, ~Mask32(NibbleMatch(v, ' ')), o + n, 4);
    }
    return {i, n};
}
#pragma GCC pop_options

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    return has;
}
#endif

}  // namespace

std::string ReplaceRescan(std::string text, std::string_view pattern, std::string_view replacement) {
    if (pattern.empty() || text.empty() || Contains(pattern, '\0')) {
        return text;
    }
    // Without an occurrence the text comes back as it is, without a copy; the search for the
    // first NUL waits until there is an occurrence to check against it.
    const std::size_t first = Find(text, 0, text.size(), pattern);
    if (first == NoPosition) {
        return text;
    }
    const std::size_t limit = SearchLimit(text);
    if (first + pattern.size() > limit) {
        return text;
    }
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
    return ReplaceRescan(ReplaceRescan(std::string(text), pattern, ReplaceMarker), ReplaceMarker, replacement);
}

std::string StripLineBreaks(std::string_view text) {
    std::string out(text.size(), '\0');
    char* o = out.data();
    const char* p = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
    std::size_t n = 0;
#if OSTREVANE_HAVE_BLOCKS
    const BlockProgress done = HasAvx2() ? StripLineBreaksBlocksAvx2(p, size, o) : StripLineBreaksBlocks(p, size, o);
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
    const bool avx2 = HasAvx2();
#endif
    while (i < size) {
#if OSTREVANE_HAVE_BLOCKS
        const BlockProgress done =
            avx2 ? StripWhitespaceBlocksAvx2(p + i, size - i, o, n) : StripWhitespaceBlocks(p + i, size - i, o, n);
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
