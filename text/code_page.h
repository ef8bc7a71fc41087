// Code-page conversions and URL encoding, over ICU.
//
// GBK is ICU's "windows-936-2000" table (0x80 <-> U+20AC, user-defined areas <-> private
// use), with "?" (0x3F) for a character outside GBK and no best-fit fallbacks. UTF-8 is
// ICU's converter; malformed UTF-8 becomes one U+FFFD per maximal subpart and never stops a
// conversion. The system code page (code page 0) is GBK, whatever the process locale.
//
// A "wide buffer" is `Bytes` holding UTF-16LE code units, two bytes each, low byte first.
//
// Every routine is a pure function of its arguments: thread-safe, no state, nothing
// reported. Empty input gives empty output.
#ifndef TRAWLER_TEXT_CODE_PAGE_H_
#define TRAWLER_TEXT_CODE_PAGE_H_

#include <string>
#include <string_view>

#include "text/text.h"

namespace trawler {

inline constexpr int kCodePageSystem = 0;  // the system code page: GBK in this program
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// Every byte of `text` (or of its UTF-8 form when `utf8First`) as "%" and two upper-case
// hex digits; with `keepPlain`, "-", ".", 0-9, A-Z and a-z stay as they are.
// Example: UrlEncode("ab", false, true) == "%61%62"; UrlEncode("a b", true, true) == "a%20b".
[[nodiscard]] Text UrlEncode(std::string_view text, bool keepPlain = false,
                             bool utf8First = false);

// `text` (GBK) re-encoded as UTF-8. The result is a Text holding UTF-8 bytes.
[[nodiscard]] Text GbkToUtf8(std::string_view text);

// `text` decoded from `codePage` into a wide buffer ending with one zero code unit; the
// buffer is sized by the system code page. Empty text gives empty Bytes.
// Example: AnsiToUnicode("ab", 936) == "a\0b\0\0\0" (six bytes).
[[nodiscard]] Bytes AnsiToUnicode(std::string_view text, int codePage = kCodePageUtf8);

// The wide buffer, up to its first zero unit, encoded into `codePage`, in a buffer of twice
// its system-code-page size; the text up to the first zero byte.
[[nodiscard]] Text UnicodeToAnsi(std::string_view wide, int codePage = kCodePageSystem);

// UTF-8 bytes to GBK Text (Utf8ToUnicode then UnicodeToGbk). A U+0000 ends the text.
// Example: Utf8ToGbk("\xE4\xB8\xAD") == "\xD6\xD0"; Utf8ToGbk({"a\0b", 3}) == "a".
[[nodiscard]] Text Utf8ToGbk(std::string_view data);

// UTF-8 bytes to a wide buffer of exactly their code units, no terminator.
[[nodiscard]] Bytes Utf8ToUnicode(std::string_view data);

// A wide buffer (a final odd byte dropped) to GBK, a base character and a following
// combining mark composed first where a precomposed character exists. The text ends before
// the first U+0000.
[[nodiscard]] Text UnicodeToGbk(std::string_view wide);

// Edges of the program: GBK Text <-> UTF-16 (Qt strings, the regex engine). The terminal
// and command-line arguments use GbkToUtf8 and Utf8ToGbk above. GBK -> UTF-16 maps every
// byte sequence (a malformed one to U+FFFD); UTF-16 -> GBK gives "?" for what GBK lacks
// and ends before a U+0000.
[[nodiscard]] std::u16string GbkToUtf16(std::string_view text);
[[nodiscard]] Text Utf16ToGbk(std::u16string_view text);

}  // namespace trawler

#endif  // TRAWLER_TEXT_CODE_PAGE_H_
