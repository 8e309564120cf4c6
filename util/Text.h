#pragma once

#include <string>
#include <string_view>

// Text operations shared by the URL builder, the page fetcher, the link extractor and the WHOIS
// client and interpreter. Texts are byte strings; every function is pure and thread-safe.
namespace ostrevane {

// The placeholder that ReplaceAll puts in place of the pattern before it inserts the replacement.
inline constexpr std::string_view ReplaceMarker = "$~$";

// Replaces the leftmost occurrence of the pattern again and again, each search starting over at
// the beginning of the text, until none is left. Occurrences count only before the text's first
// NUL byte; an empty pattern or text has none. Runs in time linear in the text's length: after a
// replacement only the few bytes around its edge are searched again.
// When the replacement contains the pattern the rescan would never end; each occurrence of the
// original text is then replaced once, left to right. Other replacements that overlap their own
// edges stop after 64 times the text's length in replacements or bytes.
[[nodiscard]] std::string ReplaceRescan(std::string text, std::string_view pattern,
                                        std::string_view replacement);

// Replaces every occurrence of the pattern in two phases through ReplaceMarker: the pattern
// becomes the marker, then every marker (one that stood in the text before included) becomes the
// replacement. A replacement that contains the pattern is therefore inserted once per occurrence.
[[nodiscard]] std::string ReplaceAll(std::string_view text, std::string_view pattern,
                                     std::string_view replacement);

// The text without its CR, LF and TAB bytes.
[[nodiscard]] std::string StripLineBreaks(std::string_view text);

// StripLineBreaks, then ReplaceAll of a space by nothing: spaces go, and so does every marker.
[[nodiscard]] std::string StripWhitespace(std::string_view text);

// ASCII case folding, as the system compares names and keys without regard to case.
[[nodiscard]] char AsciiLower(char c);
[[nodiscard]] char AsciiUpper(char c);
[[nodiscard]] std::string AsciiLowerCopy(std::string_view text);
[[nodiscard]] std::string AsciiUpperCopy(std::string_view text);
[[nodiscard]] bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace ostrevane
