// GBK-aware text operations on which all scraping and protocol handling rests.
//
// Positions count bytes from 1; -1 means "not found". Searching, splitting, replacing and
// lower-casing step over a double-byte GBK character (a byte 0x80-0xFF and the byte after
// it) as one unit, so a match never begins on a trail byte, and a trail byte in 0x40-0x7E is
// never taken for an ASCII character. Cutting by count (TextLeft, TextRight, TextMid) counts
// bytes and may cut a pair in two. A space, for TrimSpaces and RemoveSpaces, is 0x20 or the
// ideographic space 0xA1 0xA1; tab, CR and LF are not spaces.
//
// None of these operations fails: missing markers, empty inputs and positions out of range
// give the empty text or -1. Every routine is a pure function of its arguments and is safe
// to call from any thread.
#ifndef TRAWLER_TEXT_TEXT_OPS_H_
#define TRAWLER_TEXT_TEXT_OPS_H_

#include <cstdint>
#include <string_view>

#include "text/text.h"

namespace trawler {

// "#引号" in GBK: inside the markers of TextBetween it stands for one double quote, so that
// markers taken from HTML can hold quotes.
inline constexpr std::string_view QuotePlaceholder = "#\xD2\xFD\xBA\xC5";

// 1-based position of the first occurrence of `needle` that begins at or after `start`
// (below 1 counts as 1), or -1. An empty needle gives 1 when the searched stretch is not
// empty, -1 when it is. With `ignoreCase` ASCII letters are compared folded. A lead byte
// followed by the end of the text ends the search. The walk over characters begins at
// `start`, which is taken to be a character boundary (callers resume after a marker).
// One pass over the text, whatever its length.
// Example: FindText("\xB0\xA1", "\xA1") == -1 (the 0xA1 is a trail byte).
[[nodiscard]] int FindText(std::string_view text, std::string_view needle, int start = 1,
                           bool ignoreCase = false);

// 1-based position of the last occurrence of `needle` in the whole text (case-sensitive),
// or -1. Occurrences may overlap: FindLastText("aaa", "aa") == 2. An empty needle gives 1
// for a non-empty text, as FindText does.
[[nodiscard]] int FindLastText(std::string_view text, std::string_view needle);

// The first `count` bytes; the whole text if shorter; empty if count <= 0.
[[nodiscard]] Text TextLeft(std::string_view text, int count);
// The last `count` bytes; the whole text if shorter; empty if count <= 0.
[[nodiscard]] Text TextRight(std::string_view text, int count);
// `count` bytes from the 1-based `start`, fewer if the text ends first; empty if start < 1,
// start beyond the last byte, or count <= 0.
[[nodiscard]] Text TextMid(std::string_view text, int start, int count);

// The text without leading and trailing spaces (0x20 and 0xA1 0xA1 on a character boundary).
[[nodiscard]] Text TrimSpaces(std::string_view text);
// The text with every space (0x20, and 0xA1 0xA1 on a character boundary) removed.
[[nodiscard]] Text RemoveSpaces(std::string_view text);
// Every occurrence of `oldText` replaced by `newText`, left to right, without overlap,
// case-sensitive; the text unchanged when it or `oldText` is empty.
[[nodiscard]] Text ReplaceText(std::string_view text, std::string_view oldText,
                               std::string_view newText);
// The items between separators. An empty text gives an empty list; an empty separator a
// list holding the whole text. Empty items are kept, but a final empty item is not.
// Example: SplitText("a;;b;", ";") == {"a", "", "b"}; SplitText(";a", ";") == {"", "a"}.
[[nodiscard]] TextList SplitText(std::string_view text, std::string_view separator);
// A-Z turned into a-z; trail bytes of double-byte characters are left alone.
[[nodiscard]] Text ToLowerAscii(std::string_view text);
// Full-width ASCII forms (0xA3 0xA1-0xFE) and the ideographic space read as ASCII, then
// leading white space, an optional sign and decimal digits up to the first other character.
// No digits give 0; a run beyond 32 bits saturates at INT32_MIN / INT32_MAX.
[[nodiscard]] std::int32_t TextToInt(std::string_view text);

// The text strictly between the first `left` at or after `start` (1-based; 0 or below means
// the beginning) and the first `right` that begins after it; empty when either is missing.
// QuotePlaceholder in either marker stands for '"'. Without `matchCase` the markers are
// found regardless of the case of ASCII letters.
// Example: TextBetween("k=v; k=w;", "k=", ";", 3) == "w".
[[nodiscard]] Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                               int start = 0, bool matchCase = false);

// The value of one header line: the text after its first ':' without leading and trailing
// spaces; empty when the line holds no ':'.
// Example: HeaderValue("Host:a:80") == "a:80".
[[nodiscard]] Text HeaderValue(std::string_view line);

}  // namespace trawler

#endif  // TRAWLER_TEXT_TEXT_OPS_H_
