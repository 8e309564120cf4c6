#include "util/Text.h"

#include <array>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ostrevane {
namespace {

using namespace std::string_literals;

// The operations read literally: search from the beginning after every replacement, only before
// the first NUL. `endless` reports a rescan that does not stop.
std::string LiteralRescan(std::string text, std::string_view pattern, std::string_view replacement, bool& endless) {
    if (pattern.empty()) {
        return text;
    }
    for (int steps = 0;; ++steps) {
        const std::string_view searchable = std::string_view(text).substr(0, text.find('\0'));
        const std::size_t at = searchable.find(pattern);
        if (at == std::string_view::npos) {
            return text;
        }
        if (steps > 2000) {
            endless = true;
            return text;
        }
        text.replace(at, pattern.size(), replacement);
    }
}

std::string LiteralReplaceAll(std::string text, std::string_view pattern, std::string_view replacement, bool& endless) {
    if (pattern.empty()) {
        return text;
    }
    return LiteralRescan(LiteralRescan(std::move(text), pattern, "$~$", endless), "$~$", replacement, endless);
}

std::string LiteralStripLineBreaks(std::string text) {
    for (std::size_t i = text.size(); i-- > 0;) {
        if (text[i] == '\r' || text[i] == '\n' || text[i] == '\t') {
            text.erase(i, 1);
        }
    }
    return text;
}

std::string LiteralStripWhitespace(std::string text) {
    bool endless = false;
    return LiteralReplaceAll(LiteralStripLineBreaks(std::move(text)), " ", "", endless);
}

TEST(ReplaceAllTest, ReplacesThroughTheMarker) {
    struct Row {
        const char* Name;
        std::string Text;
        std::string Pattern;
        std::string Replacement;
        std::string Expected;
    };
    const std::array Rows{
        Row{"spaces to %20", "a b c", " ", "%20", "a%20b%20c"},
        Row{"leftmost first, no overlap", "aaa", "aa", "x", "xa"},
        Row{"empty pattern", "a b", "", "x", "a b"},
        Row{"empty text", "", "a", "x", ""},
        Row{"case-sensitive", "ABC", "b", "x", "ABC"},
        Row{"a marker already in the text becomes the replacement", "1$~$2", "z", "Q", "1Q2"},
        Row{"empty replacement", "a b", " ", "", "ab"},
        Row{"replacement holding the pattern is inserted once", "a-a", "a", "aa", "aa-aa"},
        Row{"keyword and page", "q=$Keyword&p=$Page", "$Keyword", "cheap tools", "q=cheap tools&p=$Page"},
        Row{"rescan across the edge of an inserted marker", "x$aa", "$a", "Z", "xZ~$"},
        Row{"a deleted marker joins its neighbours into a new one", "$$~$~$", "z", "", ""},
        Row{"nothing after the first NUL", "a a\0a a"s, " ", "_", "a_a\0a a"s},
        Row{"a pattern holding NUL never occurs", "a\0b"s, "\0"s, "x", "a\0b"s},
    };
    for (const Row& row : Rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ReplaceAll(row.Text, row.Pattern, row.Replacement), row.Expected);
        bool endless = false;
        EXPECT_EQ(LiteralReplaceAll(row.Text, row.Pattern, row.Replacement, endless), row.Expected);
    }
}

// Patterns that are part of the marker, and replacements that hold it, would make the literal
// rescan run forever; here they end, whatever they return.
TEST(ReplaceAllTest, EndsForPatternsAndReplacementsThatHoldTheMarker) {
    const std::array<std::string_view, 7> patterns{"$", "~", "$~", "~$", "$~$", "$$~", "a"};
    const std::array<std::string_view, 5> replacements{"$~$", "x$~$y", "~$$~", "$", ""};
    const std::string text = "a$~$b $ ~ $~ ~$ $$~$~$ end";
    for (const std::string_view pattern : patterns) {
        for (const std::string_view replacement : replacements) {
            SCOPED_TRACE(std::string(pattern) + " -> " + std::string(replacement));
            // The phases stop at 64 times the text they work on, which the marker phase triples.
            EXPECT_LT(ReplaceAll(text, pattern, replacement).size(), 64 * (3 * text.size() + 64) + 64);
        }
    }
    // A keyword holding the marker, as a user may type it into the search field.
    EXPECT_EQ(ReplaceAll("q=$Keyword", "$Keyword", "a$~$b").substr(0, 2), "q=");
}

// The fast paths must give exactly the text of the literal two-phase rescan. Random texts over an
// alphabet dense in marker characters, blanks and NULs reach every edge interaction.
TEST(ReplaceAllTest, MatchesTheLiteralRescanOnRandomTexts) {
    const std::array<std::string_view, 10> patterns{"a", " ", "aa", "a$", "$a", "$$", "$$~", "~$$", "a~", "\"a"};
    const std::array<std::string_view, 10> replacements{"", "x", "%20", "$", "~", "$$", "~$", "$~", "a", "~$$~"};
    const std::string alphabet = "$~ a\"\r\0"s;
    std::mt19937 random(20261211);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<std::size_t> length(0, 14);
    int compared = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text(length(random), ' ');
        for (char& c : text) {
            c = alphabet[pick(random)];
        }
        for (const std::string_view pattern : patterns) {
            for (const std::string_view replacement : replacements) {
                bool endless = false;
                const std::string expected = LiteralReplaceAll(text, pattern, replacement, endless);
                const std::string actual = ReplaceAll(text, pattern, replacement);
                if (!endless) {
                    ++compared;
                    ASSERT_EQ(actual, expected) << "text '" << text << "' pattern '" << pattern << "' replacement '"
                                                << replacement << "'";
                }
            }
        }
    }
    EXPECT_GT(compared, 250000);
}

TEST(ReplaceRescanTest, MatchesTheLiteralRescanOnRandomTexts) {
    const std::array<std::string_view, 6> patterns{"ab", "ba", "a", "aab", "bb", "abab"};
    const std::array<std::string_view, 7> replacements{"", "a", "b", "ba", "bba", "aa", "abb"};
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coin(0, 2);
    std::uniform_int_distribution<std::size_t> length(0, 12);
    for (int round = 0; round < 1000; ++round) {
        std::string text(length(random), 'a');
        for (char& c : text) {
            c = "ab\0"[coin(random)];
        }
        for (const std::string_view pattern : patterns) {
            for (const std::string_view replacement : replacements) {
                bool endless = false;
                const std::string expected = LiteralRescan(text, pattern, replacement, endless);
                const std::string actual = ReplaceRescan(text, pattern, replacement);
                if (!endless && replacement.find(pattern) == std::string_view::npos) {
                    ASSERT_EQ(actual, expected) << "text '" << text << "' pattern '" << pattern << "' replacement '"
                                                << replacement << "'";
                }
            }
        }
    }
}

TEST(StripTest, RemovesTheirCharacters) {
    EXPECT_EQ(StripLineBreaks("x y\r\n\tz"), "x yz");
    EXPECT_EQ(StripWhitespace(" x\r\n\ty z "), "xyz");
    EXPECT_EQ(StripLineBreaks(""), "");
    EXPECT_EQ(StripWhitespace(""), "");
    // Whitespace removal goes through the marker, so markers go too and may form anew.
    EXPECT_EQ(StripWhitespace("price $~$ 10"), "price10");
    EXPECT_EQ(StripWhitespace("$~ $"), "~$$");
    // Line breaks go everywhere; spaces only before the first NUL.
    EXPECT_EQ(StripWhitespace("a b\0c d\r\n"s), "ab\0c d"s);
}

// The block-wise paths must agree with the literal definition wherever a block boundary falls.
TEST(StripTest, MatchesTheLiteralDefinitionOnRandomTexts) {
    std::string everyByte(256, '\0');
    for (int b = 0; b < 256; ++b) {
        everyByte[static_cast<std::size_t>(b)] = static_cast<char>(b);
    }
    const std::array<std::string, 4> alphabets{"$~ a\r\n\t\0"s, "abcdefgh <>=\" \n", "ab$ ~\t", everyByte};
    std::mt19937 random(42);
    for (const std::string& alphabet : alphabets) {
        std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
        for (int round = 0; round < 400; ++round) {
            std::string text(std::uniform_int_distribution<std::size_t>(0, 300)(random), ' ');
            for (char& c : text) {
                c = alphabet[pick(random)];
            }
            ASSERT_EQ(StripLineBreaks(text), LiteralStripLineBreaks(text)) << text;
            ASSERT_EQ(StripWhitespace(text), LiteralStripWhitespace(text)) << text;
        }
    }
}

TEST(CaseTest, FoldsAsciiOnly) {
    EXPECT_EQ(AsciiLowerCopy("WWW.Example.COM"), "www.example.com");
    EXPECT_EQ(AsciiUpperCopy("abc-\xC3\xA9"), "ABC-\xC3\xA9");
    EXPECT_TRUE(EqualsIgnoreCase("General", "gENERAL"));
    EXPECT_FALSE(EqualsIgnoreCase("general", "generals"));
    EXPECT_FALSE(EqualsIgnoreCase("\xC3\xA9", "\xC3\x89"));
}

}  // namespace
}  // namespace ostrevane
