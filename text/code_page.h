// Code-page conversions and URL encoding, over ICU.
//
// GBK is ICU's "windows-936-2000" table (0x80 <-> U+20AC, user-defined areas <-> private
// use), with "?" (0x3F) for a character outside GBK and no best-fit fallbacks. UTF-8 is
// ICU's converter; malformed UTF-8 becomes one U+FFFD per maximal subpart and never stops a
// conversion. The system code page (code page 0) is GBK, whatever the process locale.
//
// A "wide buffer" is `Bytes` holding UTF-16LE code units, two bytes each, low byte first.
//
// Every routine is a pure function of its arguments: thread-safe, no state visible to the
// caller, nothing reported. Empty input gives empty output. Each thread opens its own two ICU
// converters on its first conversion and keeps them (thread_local) until it ends: opening a
// converter costs more than converting a page, and a converter must not be shared between
// threads. A code page other than 0, 936 and 65001 gives an empty result.
//
// Runs of ASCII are copied without ICU (they are the same bytes in GBK, UTF-8 and, widened,
// UTF-16) by Utf8ToGbk, GbkToUtf16 and Utf16ToGbk; only the stretches around other bytes go through
// ICU, with the same result as converting the whole text there.
//
// "Valid GBK", as every Text made here is: no zero byte; single bytes 0x01-0x7F, 0x80 (the
// euro sign) and 0xFF (U+F8F5, private use); pairs of a lead byte 0x81-0xFE and a trail byte
// 0x40-0x7E or 0x80-0xFE that the table maps to a character, so that the text decodes
// without U+FFFD and encodes back to the same bytes.
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
[[nodiscard]] Text UrlEncode(std::string_view text, bool keepPlain = false, bool utf8First = false);

// `text` (GBK) re-encoded as UTF-8. The result is a Text holding UTF-8 bytes.
[[nodiscard]] Text GbkToUtf8(std::string_view text);

// `text` (up to a zero byte) decoded from `codePage` into a wide buffer ending with one zero
// code unit; the buffer is sized by the system code page (further zero units after the text
// when `codePage` needs fewer units), or larger when `codePage` needs more units, so that no
// text is cut short. Empty text gives empty Bytes.
// Example: AnsiToUnicode("ab", 936) == "a\0b\0\0\0" (six bytes).
[[nodiscard]] Bytes AnsiToUnicode(std::string_view text, int codePage = kCodePageUtf8);

// The wide buffer, up to its first zero unit (or its end), encoded into `codePage`. The
// whole text is returned even when it needs more than twice its system-code-page size, as
// the UTF-8 form of the GBK euro sign (0x80, three UTF-8 bytes) does.
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
