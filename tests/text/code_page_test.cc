// Code-page conversions and URL encoding: fixed results, round trips, malformed input and
// the agreement of the ASCII fast paths with a plain conversion.
#include "text/code_page.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace trawler {
namespace {

using namespace std::string_literals;

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 0x0F];
  }
  return out;
}

// UTF-16 code units as a wide buffer (UTF-16LE bytes).
Bytes Wide(std::u16string_view units) {
  Bytes out;
  for (const char16_t u : units) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

TEST(UrlEncodeTest, EncodesEveryByteOrKeepsThePlainSet) {
  struct Case {
    std::string text;  // GBK
    bool keepPlain;
    bool utf8First;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"abc", false, true, "%61%62%63"},
      {"abc", true, true, "abc"},
      {"a b", false, true, "%61%20%62"},
      {"a b", true, true, "a%20b"},
      {"\xD6\xD0", false, true, "%E4%B8%AD"},
      {"\xD6\xD0", true, true, "%E4%B8%AD"},  // bytes >= 0x80 are never kept
      {"\xD6\xD0", false, false, "%D6%D0"},
      {"\xD6\xD0", true, false, "%D6%D0"},
      // "/", "_" and "~" are outside the kept set.
      {"1.0/x_y~z", true, false, "1.0%2Fx%5Fy%7Ez"},
      {"\n", false, false, "%0A"},
      {"-.09AZaz", true, true, "-.09AZaz"},
      // The GBK euro sign is one byte but three in UTF-8.
      {"\x80", false, true, "%E2%82%AC"},
      {"", false, false, ""},
      {"", true, true, ""},
      {"", false, true, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlEncode(c.text, c.keepPlain, c.utf8First), c.expected)
        << "text " << Hex(c.text) << " keepPlain " << c.keepPlain << " utf8First " << c.utf8First;
  }
}

TEST(CodePageTest, FixedResults) {
  struct Case {
    const char* what;
    std::function<std::string()> run;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"AnsiToUnicode ab 936", [] { return AnsiToUnicode("ab", kCodePageGbk); }, "a\0b\0\0\0"s},
      {"AnsiToUnicode empty", [] { return AnsiToUnicode("", kCodePageGbk); }, ""},
      {"AnsiToUnicode GBK pair", [] { return AnsiToUnicode("\xD6\xD0", kCodePageGbk); },
       "\x2D\x4E\0\0"s},
      {"Utf8ToUnicode 61 62", [] { return Utf8ToUnicode("ab"); }, "a\0b\0"s},
      // No terminator is looked for: a zero byte is decoded like any other.
      {"Utf8ToUnicode 61 00 62", [] { return Utf8ToUnicode("a\0b"s); }, "a\0\0\0b\0"s},
      {"Utf8ToUnicode empty", [] { return Utf8ToUnicode(""); }, ""},
      {"Utf8ToGbk E4 B8 AD", [] { return Utf8ToGbk("\xE4\xB8\xAD"); }, "\xD6\xD0"},
      {"Utf8ToGbk 61 00 62", [] { return Utf8ToGbk("a\0b"s); }, "a"},
      {"Utf8ToGbk empty", [] { return Utf8ToGbk(""); }, ""},
      {"UnicodeToGbk odd three bytes", [] { return UnicodeToGbk("a\0b"s); }, "a"},
      {"UnicodeToGbk one byte", [] { return UnicodeToGbk("a"); }, ""},
      {"UnicodeToGbk stops at U+0000", [] { return UnicodeToGbk(Wide(u"a\0b"s)); }, "a"},
      {"UnicodeToAnsi to UTF-8", [] { return UnicodeToAnsi(Wide(u"\u4E2D\0"s), 65001); },
       "\xE4\xB8\xAD"},
      {"UnicodeToAnsi default is GBK", [] { return UnicodeToAnsi(Wide(u"\u4E2D\0"s)); },
       "\xD6\xD0"},
      {"UnicodeToAnsi empty", [] { return UnicodeToAnsi(""); }, ""},
      {"GbkToUtf8", [] { return GbkToUtf8("a\xD6\xD0"); }, "a\xE4\xB8\xAD"},
      // e + U+0301 composes to U+00E9, which GBK holds as A8 A6.
      {"compose e U+0301", [] { return Utf8ToGbk("e\xCC\x81"); }, "\xA8\xA6"},
      {"compose in a wide buffer", [] { return UnicodeToGbk(Wide(u"xe\u0301")); }, "x\xA8\xA6"},
      // Stacked marks compose step by step: u + U+0308 + U+0301 -> U+01D8 (GBK A8 B6).
      {"compose stacked marks", [] { return Utf8ToGbk("u\xCC\x88\xCC\x81"); }, "\xA8\xB6"},
      // No precomposed form: the mark stays and GBK lacks it.
      {"mark without composite", [] { return Utf8ToGbk("q\xCC\x81"); }, "q?"},
      // Only base + mark pairs are composed: the Angstrom sign is not rewritten to U+00C5
      // as full NFC would; GBK lacks both, so it stays one "?".
      {"no full normalisation", [] { return Utf8ToGbk("\xE2\x84\xAB"); }, "?"},
      // A Thai letter is outside GBK.
      {"Thai letter", [] { return Utf8ToGbk("a\xE0\xB8\x81z"); }, "a?z"},
      {"emoji outside GBK", [] { return Utf8ToGbk("\xF0\x9F\x98\x80"); }, "?"},
      {"euro to GBK", [] { return Utf8ToGbk("\xE2\x82\xAC"); }, "\x80"},
      {"Utf16ToGbk", [] { return Utf16ToGbk(u"a\u4E2De\u0301\0z"s); }, "a\xD6\xD0\xA8\xA6"},
      {"GbkToUtf16", [] { return Wide(GbkToUtf16("a\xD6\xD0\x80")); }, Wide(u"a\u4E2D\u20AC")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(c.run()), Hex(c.expected)) << c.what;
  }
}

TEST(CodePageTest, EuroSignSurvivesTheRoundTrip) {
  // Each euro sign is one GBK byte but three UTF-8 bytes, more than twice its GBK size:
  // the UTF-8 form must still come back whole.
  const std::string utf8 = "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC 5";
  const Text gbk = Utf8ToGbk(utf8);
  EXPECT_EQ(Hex(gbk), "80 80 80 80 20 35");
  EXPECT_EQ(Hex(GbkToUtf8(gbk)), Hex(utf8));
  EXPECT_EQ(UrlEncode(gbk, false, true), "%E2%82%AC%E2%82%AC%E2%82%AC%E2%82%AC%20%35");
}

TEST(CodePageTest, MalformedInputNeverStopsAConversion) {
  struct Case {
    std::string input;
    std::string expected;
  };
  // Malformed UTF-8: one U+FFFD (one "?" in GBK) per maximal subpart, then on.
  const std::vector<Case> utf8Cases = {
      {"\xC0"
       "AB",
       "?AB"},  // a lead byte never valid
      {"\xE4\xB8"
       "A\xE4\xB8\xAD",
       "?A\xD6\xD0"},  // a cut-off sequence before ASCII
      {"\xED\xA0\x80"
       "x",
       "???x"},                      // an encoded surrogate
      {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
      {"\x80\xBF"
       "z",
       "??z"},              // stray trail bytes
      {"x\xE4\xB8", "x?"},  // cut off at the end
      {"\xE0\x80\xAF"
       "z",
       "???z"},                                // an overlong form of "/"
      {"\xC1\xBF\xE4\xB8\xAD", "??\xD6\xD0"},  // an overlong two-byte form
  };
  for (const Case& c : utf8Cases) {
    EXPECT_EQ(Hex(Utf8ToGbk(c.input)), Hex(c.expected)) << "UTF-8 " << Hex(c.input);
    EXPECT_EQ(Hex(UnicodeToGbk(Utf8ToUnicode(c.input))), Hex(c.expected))
        << "UTF-8 " << Hex(c.input);
  }
  // Malformed GBK: a lead byte without a valid trail is U+FFFD, and the byte after it (an
  // ASCII trail, 0xFF) is read on its own.
  struct WideCase {
    std::string input;
    std::u16string expected;
  };
  const std::vector<WideCase> gbkCases = {
      {"\x81 a", u"\uFFFD a"},
      {"\x81\x7F", u"\uFFFD\x7F"},
      {"a\x81", u"a\uFFFD"},
      {"\x81\xFF", u"\uFFFD\uF8F5"},
      // A GBK trail byte may be ASCII: B0 41 is one character, not B0 and "A".
      {"\xB0\x41", u"\u7646"},
  };
  for (const WideCase& c : gbkCases) {
    EXPECT_EQ(Hex(Wide(GbkToUtf16(c.input))), Hex(Wide(c.expected))) << "GBK " << Hex(c.input);
  }
}

TEST(CodePageTest, FastPathsAgreeWithPlainConversionOnAPage) {
  // A page that switches between long ASCII runs, short gaps and Chinese text, with marks,
  // malformed bytes and ASCII GBK trail bytes at the switches.
  std::string utf8;
  for (int row = 0; row < 200; ++row) {
    utf8 += "<tr><td class=\"name\">";
    utf8 += (row % 3 == 0) ? "\xE4\xB8\xAD\xE6\x96\x87" : "plain name";
    utf8 += (row % 7 == 0) ? "e\xCC\x81" : "";
    utf8 += (row % 11 == 0) ? "\xE4\xB8" : "";
    utf8 += "</td><td>" + std::to_string(row) + " MB</td><td>\xE2\x82\xAC</td></tr>\n";
  }
  const Text gbk = Utf8ToGbk(utf8);
  EXPECT_EQ(gbk, UnicodeToGbk(Utf8ToUnicode(utf8)));

  const Bytes wide = AnsiToUnicode(gbk, kCodePageGbk);
  EXPECT_EQ(Wide(GbkToUtf16(gbk)) + "\0\0"s, wide);
  const std::string withAsciiTrails = gbk + "\xB0\x41\xB0\x41 x \x81";
  EXPECT_EQ(Wide(GbkToUtf16(withAsciiTrails)) + "\0\0"s,
            AnsiToUnicode(withAsciiTrails, kCodePageGbk));

  // UTF-16 to GBK: the fast path against the plain conversion of the whole text (the wide
  // buffer routine), with a mark after an ASCII letter at the start of a stretch, pairs and
  // lone surrogates at the edges of stretches, text outside GBK, and a U+0000 that ends it.
  std::u16string units = GbkToUtf16(gbk);
  units +=
      u"e\u0301 x\U0001F600"
      u"0123456789abcdefgh\xD83D"
      u"0123456789abcdefgh\xDE00"
      u"\u4E2D\u0E01\u20AC"
      u"ab\0cd"s;
  EXPECT_EQ(Hex(Utf16ToGbk(units)), Hex(UnicodeToGbk(Wide(units))));
  const std::vector<std::u16string> shortTexts = {
      u"", u"a", u"1.5 GB", u"\u4E2D", u"a\u4E2D", u"\u4E2Da", u"e\u0301", u"\xD800", u"\0a"s,
  };
  for (const std::u16string& text : shortTexts) {
    EXPECT_EQ(Hex(Utf16ToGbk(text)), Hex(UnicodeToGbk(Wide(text)))) << Hex(Wide(text));
  }
}

TEST(CodePageTest, FastPathsAgreeWithPlainConversionOnEveryCharacter) {
  // Each character alone between ASCII runs longer than the gaps the fast paths bridge, so
  // that every character is looked up on its own rather than carried along with a
  // neighbour that sends its stretch through ICU.
  const std::u16string gap = u"<td class=\"x\">abc</td>";
  std::u16string characters = gap;
  for (std::uint32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    characters += static_cast<char16_t>(c);
    characters += gap;
  }
  // Supplementary characters and lone surrogates too.
  characters += u"\U0001F600" + gap + u"\xD800" + gap + u"\xDFFF" + gap;
  const Bytes wide = Wide(characters);
  const Text expected = UnicodeToGbk(wide);
  EXPECT_TRUE(Utf16ToGbk(characters) == expected);
  const Text utf8 = UnicodeToAnsi(wide + "\0\0"s, kCodePageUtf8);
  EXPECT_TRUE(Utf8ToGbk(utf8) == UnicodeToGbk(Utf8ToUnicode(utf8)));

  // Every lead byte with every byte after it (mapped pairs, unmapped pairs, ASCII trails).
  std::string gbk = "<td>";
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    for (int trail = 0x01; trail <= 0xFF; ++trail) {
      gbk += static_cast<char>(lead);
      gbk += static_cast<char>(trail);
      gbk += "<td class=\"x\">abc</td>";
    }
  }
  EXPECT_TRUE(Wide(GbkToUtf16(gbk)) + "\0\0"s == AnsiToUnicode(gbk, kCodePageGbk));
}

TEST(CodePageTest, FastPathsAgreeWhereverABlockOfAsciiEnds) {
  // ASCII is taken in blocks of 16 bytes (8 UTF-16 units); whatever ends a run must be seen
  // at every place inside a block: a character, a mark, a malformed byte, a zero byte.
  const std::vector<std::string> ends = {
      "\xE4\xB8\xAD", "e\xCC\x81", "\xC0", "\xE4\xB8", "\xD6\xD0", "\x80", std::string(1, '\0')};
  for (std::size_t lead = 0; lead <= 34; ++lead) {
    for (const std::string& end : ends) {
      const std::string text = std::string(lead, 'a') + end + std::string(20, 'b') + end + "c";
      const std::string where = "after " + std::to_string(lead) + " bytes: " + Hex(end);
      EXPECT_EQ(Hex(Utf8ToGbk(text)), Hex(UnicodeToGbk(Utf8ToUnicode(text)))) << where;
      const Bytes plain = AnsiToUnicode(text, kCodePageGbk);
      // The plain conversion ends at a zero byte; GbkToUtf16 maps every byte.
      if (end.find('\0') == std::string::npos) {
        EXPECT_EQ(Wide(GbkToUtf16(text)) + "\0\0"s, plain) << where;
      }
      const std::u16string units = GbkToUtf16(Utf8ToGbk(std::string(lead, 'a'))) + u"\u4E2D" +
                                   (end.size() == 1 ? std::u16string(1, end[0] & 0x7F) : u"") +
                                   std::u16string(20, u'b');
      EXPECT_EQ(Hex(Utf16ToGbk(units)), Hex(UnicodeToGbk(Wide(units)))) << where;
    }
  }
}

TEST(CodePageTest, ThreadsConvertAtOnce) {
  // Each thread keeps converters of its own; several converting at once must not disturb
  // one another (the search threads and the GUI thread all convert pages).
  std::string utf8;
  for (int i = 0; i < 300; ++i) utf8 += "<td>\xE4\xB8\xAD e\xCC\x81 \xE2\x82\xAC \xC0</td>";
  const Text expected = Utf8ToGbk(utf8);
  const std::u16string expectedWide = GbkToUtf16(expected);
  const Text expectedUrl = UrlEncode(expected, false, true);
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round) {
        if (Utf8ToGbk(utf8) != expected) ++mismatches[t];
        if (GbkToUtf16(expected) != expectedWide) ++mismatches[t];
        if (UrlEncode(expected, false, true) != expectedUrl) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace trawler
